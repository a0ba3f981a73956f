// Column-ordered binary tables (type 12), file level: creation with null
// blocks, nulling rows, growing the row allocation, new columns, undefined
// elements and shifts.  Each column is one block of `allrows` elements.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "tablelib/tables.h"
#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "binio.h"
#include "vos/files.h"

namespace tbl {

using tbbin::write_at;
using tbbin::yoff;

namespace {

// Raises the invalid-datatype error of `who` for the first column whose
// type no routine knows; checked before anything is written.
void check_types(Column* const* cols, int n, const char* who, const char* text) {
  for (int i = 0; i < n; ++i)
    if (!tbbin::is_known(cols[i]->dtype)) tbbin::fail(82, std::string(who) + text);
}

}  // namespace

// Writes the null value of each given column into rows first..last of its
// block, in the file `fd` (the table's own, or the new file of a rewrite).
void tbyscn(Table* tp, int fd, Column** cols, int n, int first, int last) {
  check_types(cols, n, "tbyscn", ":  invalid datatype; table corrupted?");
  if (last < first) return;
  std::vector<unsigned char> buf;
  for (int i = 0; i < n; ++i) {
    Column* cp = cols[i];
    long esz = cp->length;
    if (esz <= 0) continue;
    long per = std::max<long>(1, tbbin::kMoveChars / esz);
    // The first transfer is the largest; the later ones write a part of it.
    const long most = std::min<long>(per, long(last) - first + 1);
    buf.resize(std::size_t(most * esz * 2));
    tbbin::fill_null(buf.data(), cp, most);
    for (long r = first; r <= last;) {
      long cnt = std::min<long>(per, last - r + 1);
      write_at(fd, yoff(tp, cp, int(r)), buf.data(), cnt * esz);
      r += cnt;
    }
  }
}

// Null-fills the whole block of each given column in the table's file.
void tbyncn(Table* tp, Column** cols, int n) { tbyscn(tp, tp->fd, cols, n, 1, tp->allrows); }

// Creates the file of a prepared column-ordered table: header area and a
// null block of `allrows` elements for every column.
void tbynew(Table* tp) {
  if (tp->allrows <= 0) tp->allrows = 100;
  std::vector<Column*> cols = tbbin::real_columns(tp, tp->ncols);
  check_types(cols.data(), int(cols.size()), "tbynew", ":  invalid datatype; table corrupted?");
  tbbin::create_file(tp, [&] {
    tp->nullrow.clear();
    tbbin::write_header(tp);
    tbyncn(tp, cols.data(), int(cols.size()));
  });
}

// Char offset of the element of `row` in column `cp`.
int tbyoff(Table* tp, Column* cp, int row) { return int(yoff(tp, cp, row)); }

// Null-fills rows first..last (clipped to the allocation) of every column.
void tbynll(Table* tp, int first, int last) {
  first = std::max(first, 1);
  last = std::min(last, tp->allrows);
  if (last < first) return;
  std::vector<Column*> cols = tbbin::real_columns(tp, tp->ncols);
  tbyscn(tp, tp->fd, cols.data(), int(cols.size()), first, last);
}

// Grows the row allocation to row * 1.2 + 100 (single precision, truncated)
// when `row` lies past it; the row count is left to the caller.
void tbywer(Table* tp, int row) {
  if (row <= tp->allrows) return;
  float want = float(row) * 1.2f + 100.0f;
  int allrows = want >= 2147483520.0f ? INT_MAX : int(want);
  tbtchs(tp, -1, -1, -1, std::max(allrows, row));
}

// New columns: their records, then their whole blocks null-filled.
void tbywnc(Table* tp, Column** cols, int count) {
  check_types(cols, count, "tbywnc", ":  invalid datatype; table corrupted?");
  for (int i = 0; i < count; ++i) tbcwcd(tp, cols[i]);
  tbyncn(tp, cols, count);
}

// Writes the null value of each given column into `row`.
void tbyudf(Table* tp, Column** cols, int ncols, int row) {
  check_types(cols, ncols, "tbyudf", ":  invalid datatype; table corrupted?");
  if (row < 1 || row > tp->allrows) tbbin::fail(1, "tbyudf:  row is outside the allocated rows");
  for (int i = 0; i < ncols; ++i) tbyscn(tp, tp->fd, &cols[i], 1, row, row);
}

// Moves the rows from `first` on by `shift` in every column block (negative
// up, positive down), growing the allocation when needed.  Up: the freed rows
// at the end are nulled and the row count drops; down: the row count grows by
// `shift` and rows first..first+shift-1 keep their old contents.
void tbysft(Table* tp, int first, int shift) {
  int n = tp->nrows;
  int a = std::abs(shift);
  if (shift == 0) return;
  if (shift > 0 && long(std::max(first - 1, n)) + shift > INT_MAX)
    tbbin::fail(1, "tbysft:  too many rows");
  if (first > n) {
    if (shift > 0) tbywer(tp, first + shift - 1);
    return;
  }
  std::vector<Column*> cols = tbbin::real_columns(tp, tp->ncols);
  check_types(cols.data(), int(cols.size()), "tbysft", ":  table or memory corrupted?");
  if (shift > 0) tbywer(tp, n + shift);
  if (n + shift < first) {
    tbynll(tp, first, n);
    tp->nrows = std::max(first - 1, 0);
    return;
  }
  // Rows r1..n of every block move by `shift`, in blocks.
  const int r1 = shift > 0 ? first : first + a;
  const long count = long(n) - r1 + 1;
  for (Column* cp : cols) {
    if (count <= 0 || cp->length <= 0) continue;
    tbbin::move_chars(tp->fd, yoff(tp, cp, r1), yoff(tp, cp, r1 + shift), count * cp->length,
                      "tbysft");
  }
  if (shift > 0) {
    tp->nrows = n + shift;
  } else {
    tbynll(tp, n - a + 1, n);
    tp->nrows = std::max(n - a, 0);
  }
}

}  // namespace tbl
