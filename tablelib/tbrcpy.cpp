// Copying one row between tables (or within one table).
#include <algorithm>
#include <string>
#include <vector>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "vos/error.h"
#include "vos/files.h"

namespace tbl {

// Copies row inrow of in to row outrow of out.  Two row-ordered tables
// copy the stored row at once: the output row takes the input row's bytes
// and, where it is longer, the rest of its own null row, so every byte of
// the output row is written.  Any other pair copies column by column
// (columns paired by number) with conversion.
void tbrcpy(Table* in, Table* out, int inrow, int outrow) {
  need_table(in, "tbrcpy");
  need_table(out, "tbrcpy");
  if (out->readonly) vos::error(3, "can't write to table; it's readonly");
  if (in->type == kRowOrdered && out->type == kRowOrdered && !in->colsel) {
    int ir = 0, orow = 0;
    tbsirow(in, inrow, ir);
    tbswer1(out, outrow, orow);
    const long inlen = std::max(in->allrowlen, 0);
    const long outlen = std::max(out->allrowlen, 0);
    std::vector<unsigned char> buf(2 * static_cast<std::size_t>(std::max(inlen, outlen)), 0);
    if (outlen > inlen) {
      const std::size_t from = 2 * static_cast<std::size_t>(inlen);
      const std::size_t to = std::min(buf.size(), out->nullrow.size());
      if (to > from) std::copy(out->nullrow.begin() + from, out->nullrow.begin() + to, buf.begin() + from);
    }
    if (inlen > 0) {
      vos::seek(in->fd, tbxoff(in, ir));
      if (vos::read(in->fd, buf.data(), inlen) < inlen) vos::error(1, "tbrcpy:  could not read row");
    }
    if (outlen > 0) {
      vos::seek(out->fd, tbxoff(out, orow));
      vos::write(out->fd, buf.data(), outlen);
    }
    if (orow > out->nrows) out->nrows = orow;
    out->modified = true;
    return;
  }
  // Pairs only the columns both tables have.
  const int n = std::min(tbpsta(in, 22), tbpsta(out, 22));
  std::vector<Column*> icols, ocols;
  for (int c = 1; c <= n; ++c) {
    Column* ci = tbcnum(in, c);
    Column* co = tbcnum(out, c);
    if (ci == nullptr || co == nullptr) continue;
    icols.push_back(ci);
    ocols.push_back(co);
  }
  tbrcsc(in, out, icols.data(), ocols.data(), inrow, outrow, static_cast<int>(icols.size()));
  out->modified = true;
}

}  // namespace tbl
