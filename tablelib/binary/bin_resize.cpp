// Rewriting a binary table with new sizes (header slots, row length, row
// allocation), in place in the table's own file.  The file is open as a
// change under the file layer's journal, so every byte overwritten here is
// saved first and a failure anywhere rolls the whole change back when the
// table is discarded at close.
//
// Data moves run in the order that reads every byte before it is
// overwritten: when everything moves up (the header and the rows or the
// column blocks grow), from the end of the file down; when everything moves
// down, from the start up; when the header grows but the rows shrink (or
// the other way round), the data is first moved past the end of both
// layouts and from there to its place, since no one order serves.
#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "binio.h"
#include "vos/error.h"
#include "vos/files.h"

namespace tbl {

using tbbin::read_at;
using tbbin::write_at;

namespace {

constexpr long kChunkChars = 1 << 19;

// The header records under the new sizes: column records 1..oldncols moved
// from under the old maxpar, the free column slots zeroed, the added
// parameter records blank.  Must run once no data still to be moved lies
// where the new header goes.
void rewrite_header(Table* tp, int fd, int oldmaxpar, int oldncols) {
  const bool up = tp->maxpar >= oldmaxpar;
  std::vector<unsigned char> rec(80);  // a parameter record: 40 chars
  for (int k = 0; k < oldncols; ++k) {
    const int c = up ? oldncols - k : k + 1;
    read_at(fd, 25 + 40L * oldmaxpar + 32L * (c - 1), rec.data(), 32, "tbtchs");
    write_at(fd, 25 + 40L * tp->maxpar + 32L * (c - 1), rec.data(), 32);
  }
  std::fill(rec.begin(), rec.end(), 0);
  for (int c = oldncols + 1; c <= tp->maxcols; ++c)
    write_at(fd, 25 + 40L * tp->maxpar + 32L * (c - 1), rec.data(), 32);
  std::fill(rec.begin(), rec.end(), ' ');
  for (int n = std::min(oldmaxpar, tp->maxpar) + 1; n <= tp->maxpar; ++n)
    write_at(fd, 25 + 40L * (n - 1), rec.data(), 40);
}

// Re-lays `nrows` rows from (src, stride S) to (dst, stride D): the first
// `u` chars of each row are copied, the rest of the D chars come from
// `fill`.  Runs of rows move in one transfer each, from the last run
// (`down`: from the first) on.
void relay_rows(int fd, long src, long S, long dst, long D, long nrows, long u,
                const unsigned char* fill, bool down) {
  if (nrows <= 0) return;
  const long per = std::max(1L, kChunkChars / std::max({S, D, 1L}));
  std::vector<unsigned char> in, out;
  for (long done = 0; done < nrows;) {
    const long cnt = std::min(per, nrows - done);
    const long first = down ? done : nrows - done - cnt;  // 0-based row
    in.resize(std::size_t(cnt * S) * 2);
    out.resize(std::size_t(cnt * D) * 2);
    read_at(fd, src + first * S, in.data(), cnt * S, "tbtchs");
    for (long r = 0; r < cnt; ++r) {
      unsigned char* o = out.data() + std::size_t(r * D) * 2;
      std::copy(fill, fill + D * 2, o);
      std::copy(in.data() + std::size_t(r * S) * 2, in.data() + std::size_t(r * S + u) * 2, o);
    }
    write_at(fd, dst + first * D, out.data(), cnt * D);
    done += cnt;
  }
}

// Cuts the file after char `end` of the new layout when it is longer.
void cut_after(int fd, long end) {
  if (vos::fstati(fd, vos::F_FILESIZE) > end) vos::truncate_open(fd, static_cast<long long>(end) * 2);
}

// The table's change has failed with this error (the first one counts).
void ends_change(Table* tp, int code, const std::string& message) {
  tp->discard = true;
  if (tp->failure.empty()) {
    tp->failure_code = code;
    tp->failure = message;
  }
}

// Runs `resize`; a failure may leave the file half rewritten, so it ends
// the table's change: every later call raises it again, and the close rolls
// the file back.
template <class F>
void in_place(Table* tp, F resize) {
  try {
    resize(tp->fd);
    tbtwsi(tp);
  } catch (const vos::Error& e) {
    ends_change(tp, e.code(), e.message());
    throw;
  } catch (const std::bad_alloc&) {
    ends_change(tp, vos::SYS_MFULL, "Out of memory");
    throw;
  }
}

}  // namespace

// Rewrites an open, writable row-ordered table in the sizes already set in
// the descriptor; the arguments are the old sizes.  Chars past the old used
// row length come from the null row.
void tbxsiz(Table* tp, int oldmaxpar, int oldmaxcols, int oldncols, int oldallrowlen,
            int oldrowlen) {
  tbbin::null_row(tp);  // a longer row gets a zero-filled tail
  if (tp->nrows == 0 && tp->maxpar == oldmaxpar && tp->maxcols == oldmaxcols) return;
  in_place(tp, [&](int fd) {
    const long R = oldallrowlen, R2 = tp->allrowlen, n = tp->nrows;
    const long B = tbtbod(oldmaxpar, oldmaxcols), B2 = tp->bod;
    const long u = std::min<long>(oldrowlen, R2);
    const long end = B2 - 1 + n * R2;
    const unsigned char* fill = tbbin::null_row(tp).data();
    if (B2 >= B && R2 >= R) {
      relay_rows(fd, B, R, B2, R2, n, u, fill, false);
      rewrite_header(tp, fd, oldmaxpar, oldncols);
    } else if (B2 <= B && R2 <= R) {
      rewrite_header(tp, fd, oldmaxpar, oldncols);
      relay_rows(fd, B, R, B2, R2, n, u, fill, true);
    } else {
      const long stage = std::max(vos::fstati(fd, vos::F_FILESIZE), end) + 1;
      std::vector<unsigned char> whole(std::size_t(R) * 2);
      relay_rows(fd, B, R, stage, R, n, R, whole.data(), true);
      rewrite_header(tp, fd, oldmaxpar, oldncols);
      relay_rows(fd, stage, R, B2, R2, n, u, fill, true);
    }
    cut_after(fd, end);
  });
}

// Rewrites an open, writable column-ordered table in the sizes already set in
// the descriptor; the arguments are the old sizes.  Each column keeps its
// first min(old, new) elements; added rows are null.
void tbysiz(Table* tp, int oldmaxpar, int oldmaxcols, int oldncols, int oldallrows) {
  if (tp->maxpar == oldmaxpar && tp->maxcols == oldmaxcols &&
      (tp->allrows == oldallrows || oldncols == 0))
    return;
  if (tp->fd <= 0) return;
  in_place(tp, [&](int fd) {
    const long A = oldallrows, A2 = tp->allrows, m = std::min(A, A2);
    const long B = tbtbod(oldmaxpar, oldmaxcols), B2 = tp->bod;
    std::vector<Column*> cols = tbbin::real_columns(tp, oldncols);
    std::sort(cols.begin(), cols.end(), [](const Column* a, const Column* b) { return a->offset < b->offset; });
    long end = B2 - 1;
    for (Column* cp : cols) end = std::max(end, B2 + long(cp->offset) * A2 + long(cp->length) * A2 - 1);
    auto place = [&](Column* cp, long src) {
      tbbin::move_chars(fd, src, B2 + cp->offset * A2, cp->length * m, "tbtchs");
      if (A2 > A) tbyscn(tp, fd, &cp, 1, int(A) + 1, int(A2));
    };
    if (B2 >= B && A2 >= A) {
      for (auto it = cols.rbegin(); it != cols.rend(); ++it) place(*it, B + (*it)->offset * A);
      rewrite_header(tp, fd, oldmaxpar, oldncols);
    } else if (B2 <= B && A2 <= A) {
      rewrite_header(tp, fd, oldmaxpar, oldncols);
      for (Column* cp : cols) place(cp, B + cp->offset * A);
    } else {
      long stage = std::max(vos::fstati(fd, vos::F_FILESIZE), end) + 1;
      std::vector<long> staged;
      for (Column* cp : cols) {
        staged.push_back(stage);
        tbbin::move_chars(fd, B + cp->offset * A, stage, cp->length * m, "tbtchs");
        stage += cp->length * m;
      }
      rewrite_header(tp, fd, oldmaxpar, oldncols);
      for (std::size_t i = 0; i < cols.size(); ++i) place(cols[i], staged[i]);
    }
    cut_after(fd, end);
  });
}

}  // namespace tbl
