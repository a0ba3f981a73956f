// Rewriting a binary table with new sizes (header slots, row length, row
// allocation).  The new layout is written to a temporary file beside the
// table, complete with its size record, flushed and then renamed over the
// table's file in one step; only then is the old descriptor closed and the
// file reopened.  Any failure before the rename removes the temporary file
// and leaves the old file open and untouched; the table is then discarded
// when it is closed, so that changes made before the failure go too.
#include <algorithm>
#include <string>
#include <vector>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "binio.h"
#include "vos/files.h"

namespace tbl {

using tbbin::read_at;
using tbbin::write_at;

namespace {

constexpr long kChunkChars = 1 << 19;

// Header-parameter records: copies the first min(old, new) slots and fills
// the added slots with blanks.
void tbtscu(Table* tp, int oldfd, int newfd, int oldmaxpar) {
  int k = std::min(oldmaxpar, tp->maxpar);
  std::vector<unsigned char> rec(80);
  for (int n = 1; n <= k; ++n) {
    long pos = 25 + 40L * (n - 1);
    read_at(oldfd, pos, rec.data(), 40, "tbtchs");
    write_at(newfd, pos, rec.data(), 40);
  }
  std::fill(rec.begin(), rec.end(), ' ');
  for (int n = k + 1; n <= tp->maxpar; ++n) write_at(newfd, 25 + 40L * (n - 1), rec.data(), 40);
}

// Column records: copies records 1..oldncols to their place under the new
// maxpar and writes the remaining slots as zeros.
void tbtscd(Table* tp, int oldfd, int newfd, int oldmaxpar, int oldncols) {
  std::vector<unsigned char> rec(64);
  for (int c = 1; c <= oldncols; ++c) {
    read_at(oldfd, 25 + 40L * oldmaxpar + 32L * (c - 1), rec.data(), 32, "tbtchs");
    write_at(newfd, 25 + 40L * tp->maxpar + 32L * (c - 1), rec.data(), 32);
  }
  std::fill(rec.begin(), rec.end(), 0);
  for (int c = oldncols + 1; c <= tp->maxcols; ++c)
    write_at(newfd, 25 + 40L * tp->maxpar + 32L * (c - 1), rec.data(), 32);
}

// Writes the new row-ordered file: placeholder size record, header records
// and every row re-laid at the new stride; chars past the old used row
// length come from the null row.
void tbxscp(Table* tp, int oldfd, int newfd, int oldmaxpar, int oldmaxcols, int oldncols,
            int oldallrowlen, int oldrowlen) {
  const long R = oldallrowlen, R2 = tp->allrowlen;
  const long B = tbtbod(oldmaxpar, oldmaxcols), B2 = tp->bod;
  auto& nr = tbbin::null_row(tp);
  std::vector<unsigned char> row(std::size_t(std::max(R, R2)) * 2 + 2, 0);
  std::copy(nr.begin(), nr.begin() + R2 * 2, row.begin());
  std::vector<unsigned char> zeros(48, 0);
  write_at(newfd, 1, zeros.data(), 24);
  tbtscu(tp, oldfd, newfd, oldmaxpar);
  tbtscd(tp, oldfd, newfd, oldmaxpar, oldncols);
  long u = std::min<long>(oldrowlen, R2);
  for (long r = 1; r <= tp->nrows; ++r) {
    read_at(oldfd, B + (r - 1) * R, row.data(), u, "tbtchs");
    write_at(newfd, B2 + (r - 1) * R2, row.data(), R2);
  }
}

// Writes the new column-ordered file: header records, then each old column's
// first min(A, A') elements at its new block start, and null values for the
// added rows when the allocation grew.
void tbyscp(Table* tp, int oldfd, int newfd, int oldmaxpar, int oldmaxcols, int oldncols,
            int oldallrows) {
  const long A = oldallrows, A2 = tp->allrows, m = std::min(A, A2);
  const long B = tbtbod(oldmaxpar, oldmaxcols), B2 = tp->bod;
  std::vector<unsigned char> zeros(48, 0);
  write_at(newfd, 1, zeros.data(), 24);
  tbtscu(tp, oldfd, newfd, oldmaxpar);
  tbtscd(tp, oldfd, newfd, oldmaxpar, oldncols);
  std::vector<unsigned char> buf;
  for (Column* cp : tbbin::real_columns(tp, oldncols)) {
    const long L = cp->length;
    const long total = L * m;
    for (long done = 0; done < total;) {
      long cnt = std::min(kChunkChars, total - done);
      buf.resize(std::size_t(cnt) * 2);
      read_at(oldfd, B + cp->offset * A + done, buf.data(), cnt, "tbtchs");
      write_at(newfd, B2 + cp->offset * A2 + done, buf.data(), cnt);
      done += cnt;
    }
    if (A2 > A) tbyscn(tp, newfd, &cp, 1, int(A) + 1, int(A2));
  }
}

// Directory part of the table's host file name ("" for the current one).
std::string table_dir(const Table* tp) {
  std::string host = vos::osfn(tp->name);
  std::size_t slash = host.rfind('/');
  return slash == std::string::npos ? std::string() : host.substr(0, slash + 1);
}

// Runs `write_new(oldfd, newfd)` into a temporary file beside the table, puts
// the size record in it, flushes, renames it over the table's file and
// reopens the table on it.  Before the rename any failure removes the
// temporary file and leaves the old file open and untouched.
template <class F>
void replace_file(Table* tp, F write_new) {
  const int oldfd = tp->fd;
  long bufsize = vos::fstati(oldfd, vos::F_BUFSIZE);
  std::string tmp = vos::mktemp(table_dir(tp) + "tmptbl");
  int newfd = vos::open(tmp, vos::NEW_FILE, vos::BINARY_FILE);
  try {
    write_new(oldfd, newfd);
    tp->fd = newfd;  // the size record goes to the new file
    tbtwsi(tp);
    tp->fd = oldfd;
    vos::flush(newfd);
    vos::close(newfd);
    newfd = 0;
    vos::rename(tmp, tp->name);
  } catch (...) {
    tp->fd = oldfd;
    tp->discard = true;  // the change that failed may be one of several
    tbbin::discard_file(newfd, tmp);
    throw;
  }
  // The renamed file now holds the whole table; the old descriptor refers to
  // the replaced file and is dropped (a write to it that failed still
  // discards the table).
  try { tbtcfd(tp); } catch (...) {}
  int mode = tp->iomode;
  if (mode == vos::NEW_FILE || mode == vos::TEMP_FILE || mode == vos::NEW_COPY)
    mode = vos::READ_WRITE;
  tp->fd = vos::open(tp->name, mode, vos::BINARY_FILE);
  vos::fseti(tp->fd, vos::F_BUFSIZE, bufsize);
}

}  // namespace

// Rewrites an open, writable row-ordered table in the sizes already set in
// the descriptor; the arguments are the old sizes.
void tbxsiz(Table* tp, int oldmaxpar, int oldmaxcols, int oldncols, int oldallrowlen,
            int oldrowlen) {
  tbbin::null_row(tp);  // a longer row gets a zero-filled tail
  if (tp->nrows == 0 && tp->maxpar == oldmaxpar && tp->maxcols == oldmaxcols) return;
  replace_file(tp, [&](int oldfd, int newfd) {
    tbxscp(tp, oldfd, newfd, oldmaxpar, oldmaxcols, oldncols, oldallrowlen, oldrowlen);
  });
}

// Rewrites an open, writable column-ordered table in the sizes already set in
// the descriptor; the arguments are the old sizes.
void tbysiz(Table* tp, int oldmaxpar, int oldmaxcols, int oldncols, int oldallrows) {
  if (tp->maxpar == oldmaxpar && tp->maxcols == oldmaxcols &&
      (tp->allrows == oldallrows || oldncols == 0))
    return;
  if (tp->fd <= 0) return;
  replace_file(tp, [&](int oldfd, int newfd) {
    tbyscp(tp, oldfd, newfd, oldmaxpar, oldmaxcols, oldncols, oldallrows);
  });
}

}  // namespace tbl
