// Row-ordered binary tables (type 11), file level: creation, the null row,
// appending and nulling rows, new columns, undefined elements and shifts.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "binio.h"
#include "vos/files.h"

namespace tbl {

using tbbin::null_row;
using tbbin::write_at;

// Creates the file of a prepared row-ordered table: header area and null row;
// no data row is written.
void tbxnew(Table* tp) {
  if (tp->allrowlen < 0) tp->allrowlen = 5;
  tbbin::create_file(tp, [tp] {
    tp->nullrow.assign(std::size_t(tp->allrowlen) * 2, 0);
    for (auto& c : tp->cols) tbbnll(tp, c.get());
    tbbin::write_header(tp);
  });
}

// Char offset of the first char of `row`.
int tbxoff(Table* tp, int row) { return tp->bod + (row - 1) * tp->allrowlen; }

namespace {

// Writes the null row over rows first..last, whether or not they exist yet:
// one row straight from the null row, more in batches of whole rows of at
// most a block move's size.
void null_rows(Table* tp, long first, long last) {
  const long r = tp->allrowlen;
  if (r <= 0 || last < first) return;
  auto& nr = null_row(tp);
  if (first == last) return write_at(tp->fd, tp->bod + (first - 1) * r, nr.data(), r);
  const long per = std::max<long>(1, tbbin::kMoveChars / r);
  const long most = std::min(per, last - first + 1);
  std::vector<unsigned char> batch(std::size_t(most * r * 2));
  for (long j = 0; j < most; ++j)
    std::copy(nr.begin(), nr.begin() + r * 2, batch.begin() + j * r * 2);
  for (long k = first; k <= last;) {
    const long cnt = std::min(per, last - k + 1);
    write_at(tp->fd, tp->bod + (k - 1) * r, batch.data(), cnt * r);
    k += cnt;
  }
}

// Moves rows first..last (existing rows) by `shift` rows as one block of
// the file; the rows the move leaves are not changed.
void move_rows(Table* tp, long first, long last, long shift) {
  const long r = tp->allrowlen;
  if (r <= 0 || last < first) return;
  tbbin::move_chars(tp->fd, tp->bod + (first - 1) * r, tp->bod + (first + shift - 1) * r,
                    (last - first + 1) * r, "tbxsft");
}

}  // namespace

// Appends null rows after the last row up to `row`; the row count is left
// to the caller.
void tbxwer(Table* tp, int row) {
  if (row <= tp->nrows) return;
  null_rows(tp, long(tp->nrows) + 1, row);
}

// Writes the null row over rows first..last, clipped to the existing rows.
void tbxnll(Table* tp, int first, int last) {
  null_rows(tp, std::max(first, 1), std::min(last, tp->nrows));
}

// Writes the null row's chars oldrowlen+1 .. rowlen into every existing row.
static void tbxncn(Table* tp, int oldrowlen) {
  auto& nr = null_row(tp);
  int span = std::min(tp->rowlen, tp->allrowlen) - oldrowlen;
  if (oldrowlen < 0 || span <= 0) return;
  for (int r = 1; r <= tp->nrows; ++r)
    write_at(tp->fd, tbxoff(tp, r) + oldrowlen, nr.data() + std::size_t(oldrowlen) * 2, span);
}

// New columns: null row, column records, and their null values in every
// existing row.  The first failure ends the operation.
void tbxwnc(Table* tp, Column** cols, int count, int oldrowlen) {
  null_row(tp);
  for (int i = 0; i < count; ++i) tbbnll(tp, cols[i]);
  for (int i = 0; i < count; ++i) tbcwcd(tp, cols[i]);
  if (tp->nrows > 0) tbxncn(tp, oldrowlen);
}

// Sets the given columns of `row` undefined (their part of the null row).
void tbxudf(Table* tp, Column** cols, int ncols, int row) {
  auto& nr = null_row(tp);
  for (int i = 0; i < ncols; ++i) tbbin::check_in_row(tp, cols[i], cols[i]->length, "tbxudf");
  for (int i = 0; i < ncols; ++i) {
    Column* cp = cols[i];
    write_at(tp->fd, tbxoff(tp, row) + cp->offset, nr.data() + std::size_t(cp->offset) * 2,
             cp->length);
  }
}

// Moves the rows from `first` on by `shift` (negative up, positive down),
// whole rows in blocks (tbbin::move_chars), so every column moves, whatever
// the column selection.  Up: the freed rows at the end are nulled and the
// row count drops.  Down: the table grows by `shift` rows; rows
// first..first+shift-1 keep their old contents, and rows between the old
// end and the first moved row are null.
void tbxsft(Table* tp, int first, int shift) {
  const long n = tp->nrows;
  const long a = std::abs(long(shift));
  if (first > n || shift == 0) return;
  if (shift < 0) {
    if (first + a <= n) move_rows(tp, first + a, n, -a);
    if (first + a <= n + 1) {
      tbxnll(tp, int(n - a + 1), int(n));
      tp->nrows = int(std::max(n - a, 0L));
    } else {
      tbxnll(tp, first, int(n));
      tp->nrows = first - 1;
    }
    return;
  }
  if (n + a > INT_MAX) tbbin::fail(1, "tbxsft:  too many rows");
  if (first + a > n + 1) null_rows(tp, n + 1, first + a - 1);
  move_rows(tp, first, n, a);
  tp->nrows = int(n + a);
}

}  // namespace tbl
