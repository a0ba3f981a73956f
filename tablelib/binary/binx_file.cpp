// Row-ordered binary tables (type 11), file level: creation, the null row,
// appending and nulling rows, new columns, undefined elements and shifts.
#include <algorithm>
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

// Appends null rows after the last row up to `row`; the row count is left
// to the caller.
void tbxwer(Table* tp, int row) {
  if (row <= tp->nrows) return;
  auto& nr = null_row(tp);
  long r = tp->allrowlen;
  if (r <= 0) return;
  // One row (a table growing row by row) goes out from the null row itself;
  // more go out in batches of whole rows.
  if (row == tp->nrows + 1) return write_at(tp->fd, tp->bod + long(row - 1) * r, nr.data(), r);
  const long per = std::max<long>(1, 65536 / r);
  std::vector<unsigned char> batch;
  for (long k = tp->nrows + 1; k <= row;) {
    long cnt = std::min<long>(per, row - k + 1);
    batch.resize(std::size_t(cnt * r * 2));
    for (long j = 0; j < cnt; ++j)
      std::copy(nr.begin(), nr.begin() + r * 2, batch.begin() + j * r * 2);
    write_at(tp->fd, tp->bod + (k - 1) * r, batch.data(), cnt * r);
    k += cnt;
  }
}

// Writes the null row over rows first..last, clipped to the existing rows.
void tbxnll(Table* tp, int first, int last) {
  first = std::max(first, 1);
  last = std::min(last, tp->nrows);
  auto& nr = null_row(tp);
  for (int r = first; r <= last; ++r) write_at(tp->fd, tbxoff(tp, r), nr.data(), tp->allrowlen);
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

// Moves the rows from `first` on by `shift` (negative up, positive down).
// Up: the freed rows at the end are nulled and the row count drops.  Down:
// the table grows by `shift` rows; rows first..first+shift-1 keep their old
// contents.  The first failed copy ends the shift.
void tbxsft(Table* tp, int first, int shift) {
  int n = tp->nrows;
  int a = std::abs(shift);
  if (first > n || shift == 0) return;
  if (shift < 0) {
    for (int j = first + a; j <= n; ++j) tbrcpy(tp, tp, j, j - a);
    if (first + a <= n + 1) {
      tbxnll(tp, n - a + 1, n);
      tp->nrows = std::max(n - a, 0);
    } else {
      tbxnll(tp, first, n);
      tp->nrows = first - 1;
    }
    return;
  }
  if (first + shift > n + 1) {
    for (int j = first; j <= n; ++j) tbrcpy(tp, tp, j, j + shift);
  } else {
    for (int j = n - shift + 1; j <= n; ++j) tbrcpy(tp, tp, j, j + shift);
    for (int j = n - shift; j >= first; --j) tbrcpy(tp, tp, j, j + shift);
  }
}

}  // namespace tbl
