// File transfers and descriptor helpers shared by the binary back ends.
#include "binio.h"

#include <algorithm>
#include <cstring>

#include "tablelib/tbcore.h"
#include "vos/error.h"
#include "vos/files.h"

namespace tbbin {

void fail(int code, const std::string& message) { vos::error(code, message); }

void read_at(int fd, long pos, void* buf, long nchars, const char* who) {
  if (nchars <= 0) return;
  long got = vos::read_at(fd, pos, buf, nchars);
  if (got != nchars) fail(1, std::string(who) + ":  unexpected end of file");
}

long read_upto(int fd, long pos, void* buf, long nchars) {
  if (nchars <= 0) return 0;
  long got = vos::read_at(fd, pos, buf, nchars);
  return got == vos::EOF_ ? 0 : got;
}

void write_at(int fd, long pos, const void* buf, long nchars) {
  if (nchars <= 0) return;
  vos::write_at(fd, pos, buf, nchars);
}

void move_chars(int fd, long from, long to, long nchars, const char* who) {
  if (nchars <= 0 || from == to) return;
  const long run = std::min(nchars, kMoveChars);
  std::vector<unsigned char> buf(std::size_t(run) * 2);
  for (long done = 0; done < nchars;) {
    const long cnt = std::min(run, nchars - done);
    // Towards the start the runs go first to last, else last to first.
    const long at = to < from ? done : nchars - done - cnt;
    read_at(fd, from + at, buf.data(), cnt, who);
    write_at(fd, to + at, buf.data(), cnt);
    done += cnt;
  }
}

int elem_chars(const tbl::Column* cp) {
  return std::max(0, element_chars(cp->dtype, cp->length));
}

void check_in_row(const tbl::Table* tp, const tbl::Column* cp, long chars, const char* who) {
  if (cp->offset < 0 || chars < 0 || long(cp->offset) + chars > long(tp->allrowlen))
    fail(1, std::string(who) + ":  column lies outside the row; table corrupted?");
}

std::vector<unsigned char>& null_row(tbl::Table* tp) {
  std::size_t want = std::size_t(std::max(tp->allrowlen, 0)) * 2;
  if (tp->nullrow.size() < want) tp->nullrow.resize(want, 0);
  return tp->nullrow;
}

long yoff(const tbl::Table* tp, const tbl::Column* cp, int row) {
  return long(tp->bod) + long(cp->offset) * tp->allrows + long(row - 1) * cp->length;
}

std::vector<tbl::Column*> real_columns(tbl::Table* tp, int count) {
  std::vector<tbl::Column*> out;
  int n = std::min<int>(count, int(tp->cols.size()));
  for (int i = 0; i < n; ++i) out.push_back(tp->cols[std::size_t(i)].get());
  return out;
}

void fill_null(unsigned char* p, const tbl::Column* cp, long n) {
  std::size_t esz = std::size_t(std::max(cp->length, 0)) * 2;  // column-ordered: one element per cell
  if (is_string(cp->dtype)) {  // a null string is all zeros: one fill for every element
    if (n > 0) std::memset(p, 0, std::size_t(n) * esz);
    return;
  }
  for (long k = 0; k < n; ++k) put_null(p + std::size_t(k) * esz, cp->dtype, esz);
}

void write_header(tbl::Table* tp) {
  tbl::tbtwsi(tp);
  const std::string blanks(tbl::kSzParRec, ' ');
  for (int n = 1; n <= tp->maxpar; ++n) tbl::tbhwpr(tp, n, blanks);
  for (auto& c : tp->cols) tbl::tbcwcd(tp, c.get());
  for (int slot = tp->ncols + 1; slot <= tp->maxcols; ++slot) {
    tbl::Column scratch;
    scratch.number = slot;
    tbl::tbcwcd(tp, &scratch);
  }
}

void discard_file(int fd) {
  try { if (fd > 0 && vos::is_open(fd)) vos::abandon(fd); } catch (...) {}
}

int open_new(tbl::Table* tp) {
  tp->fd = vos::open_staged(tp->name, vos::BINARY_FILE);
  return tp->fd;
}

}  // namespace tbbin
