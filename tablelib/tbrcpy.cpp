// Copying one row between tables (or within one table).
#include <algorithm>
#include <string>
#include <vector>

#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "vos/error.h"
#include "vos/files.h"

namespace tbl {

// Copies row inrow of in to row outrow of out.  Two row-ordered tables
// copy the row's bytes at once; any other pair copies column by column
// (columns matched by number).
void tbrcpy(Table* in, Table* out, int inrow, int outrow) {
  need_table(in, "tbrcpy");
  need_table(out, "tbrcpy");
  if (out->readonly) vos::error(3, "can't write to table; it's readonly");
  if (in->type == kRowOrdered && out->type == kRowOrdered && !in->colsel) {
    int ir = 0, orow = 0;
    tbsirow(in, inrow, ir);
    tbswer1(out, outrow, orow);
    const int nchars = std::min(in->allrowlen, out->allrowlen);
    std::vector<unsigned char> buf(2 * static_cast<std::size_t>(std::max(nchars, 0)));
    if (nchars > 0) {
      vos::seek(in->fd, in->bod + static_cast<long>(ir - 1) * in->allrowlen);
      if (vos::read(in->fd, buf.data(), nchars) < nchars)
        vos::error(1, "tbrcpy:  unexpected end of file");
      vos::seek(out->fd, out->bod + static_cast<long>(orow - 1) * out->allrowlen);
      vos::write(out->fd, buf.data(), nchars);
    }
    if (orow > out->nrows) out->nrows = orow;
    out->modified = true;
    return;
  }
  const int n = std::min(tbpsta(in, 22), tbpsta(out, 22));
  for (int c = 1; c <= n; ++c) {
    Column* ci = tbcnum(in, c);
    Column* co = tbcnum(out, c);
    if (ci == nullptr || co == nullptr) continue;
    if (co->dtype < 0 || co->dtype == kTyChar) {
      std::string s;
      tbegtt(in, ci, inrow, s, 1023);
      tbeptt(out, co, outrow, s);
    } else if (co->dtype == kTyBool) {
      bool b = false;
      tbegtb(in, ci, inrow, b);
      tbeptb(out, co, outrow, b);
    } else {
      double d = 0.0;
      tbegtd(in, ci, inrow, d);
      tbeptd(out, co, outrow, d);
    }
  }
  out->modified = true;
}

}  // namespace tbl
