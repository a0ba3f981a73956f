// Reading and writing a list of columns of one row, both orders.  A
// row-ordered write of the row just after the last one assembles the whole
// row from the null row and appends it in one transfer.
#include <algorithm>
#include <string>
#include <vector>

#include "tablelib/tbbackend.h"
#include "binio.h"
#include "binkind.h"

namespace tbl {

using namespace tbbin;

namespace {

// Char offset of the cell of `cp` in `row`.
long cell_pos(Table* tp, Column* cp, int row, bool y) {
  return y ? yoff(tp, cp, row) : long(tbxoff(tp, row)) + cp->offset;
}

// Reads the listed columns of `row` into vals/nulls, in list order.
template <class T>
void row_get(Table* tp, Column** cols, T* vals, bool* nulls, int maxch, int ncols, int row,
             bool y) {
  const Who who = routine<T>("tbrgt");
  if (ncols < 1) return;
  if (y && (row < 1 || row > tp->allrows)) fail(1, who + ":  unexpected end of file");
  const Fam f = y ? Fam::RowY : Fam::RowX;
  // Row-ordered: the cells of the listed columns lie in one span of the row,
  // read in one transfer (the same bytes the cell reads would give).
  long lo = 0, hi = 0;
  static std::vector<uint8_t> span;  // scratch kept between calls (one thread)
  if (!y) {
    lo = cols[0]->offset;
    for (int k = 0; k < ncols; ++k) {
      lo = std::min<long>(lo, cols[k]->offset);
      hi = std::max<long>(hi, cols[k]->offset + (is_known(cols[k]->dtype) ? elem_chars(cols[k]) : 0));
    }
    span.resize(std::size_t(std::max(hi - lo, 0L)) * 2);
  }
  bool have_span = false;
  std::vector<uint8_t> buf;
  for (int k = 0; k < ncols; ++k) {
    Column* cp = cols[k];
    if (!is_known(cp->dtype)) fail(82, who + ":  invalid data type");
    long esz = elem_chars(cp);
    const uint8_t* at;
    if (!y) {
      if (!have_span) {
        read_at(tp->fd, tbxoff(tp, row) + lo, span.data(), hi - lo, who.c_str());
        have_span = true;
      }
      at = span.data() + std::size_t(cp->offset - lo) * 2;
    } else {
      buf.resize(std::size_t(esz) * 2);
      read_at(tp->fd, cell_pos(tp, cp, row, y), buf.data(), esz, who.c_str());
      at = buf.data();
    }
    Cell c{cp->dtype, at, std::size_t(esz) * 2};
    bool flag;
    Kind<T>::get(c, f, cp, maxch, vals[k], &flag);
    nulls[k] = flag;
  }
}

// Appends `row` (= row count + 1) to a row-ordered table: the listed cells
// over a copy of the null row, written in one transfer.  An invalid column
// type writes nothing.
template <class T>
void row_append(Table* tp, Column** cols, const T* vals, int ncols, int row) {
  const Who who = routine<T>("tbrpt");
  for (int k = 0; k < ncols; ++k) {
    if (!is_known(cols[k]->dtype)) fail(82, who + ":  bad data type; table or memory corrupted?");
    check_in_row(tp, cols[k], elem_chars(cols[k]), who.c_str());
  }
  static std::vector<uint8_t> block;  // scratch kept between calls (one thread)
  const auto& nr = null_row(tp);
  block.assign(nr.begin(), nr.begin() + std::ptrdiff_t(tp->allrowlen) * 2);
  for (int k = 0; k < ncols; ++k) {
    Column* cp = cols[k];
    std::size_t bytes = std::size_t(elem_chars(cp)) * 2;
    Kind<T>::put(vals[k], 1023, cp->dtype, Fam::RowAppendX, block.data() + std::size_t(cp->offset) * 2,
                 bytes);
  }
  write_at(tp->fd, tbxoff(tp, row), block.data(), tp->allrowlen);
  tp->nrows = row;
}

// Writes the listed columns of `row` cell by cell.
template <class T>
void row_put(Table* tp, Column** cols, const T* vals, int maxch, int ncols, int row, bool y) {
  const Who who = routine<T>("tbrpt");
  if (!y) {
    if (row == tp->nrows + 1) return row_append(tp, cols, vals, ncols, row);
    if (row > tp->nrows) {
      tbxwer(tp, row);
      tp->nrows = row;
    }
  } else if (row > tp->allrows) {
    // A cell past the allocation would land in the next column's block.
    tbywer(tp, row);
  }
  if (row < 1) fail(1, who + ":  invalid row number");
  const Fam f = y ? Fam::RowY : Fam::RowX;
  const int maxpack = y ? maxch : 1023;
  std::vector<uint8_t> buf;
  for (int k = 0; k < ncols; ++k) {
    Column* cp = cols[k];
    if (!is_known(cp->dtype))
      fail(82, who + (y ? ":  invalid data type" : ":  bad data type; table or memory corrupted?"));
    long esz = elem_chars(cp);
    buf.resize(std::size_t(esz) * 2);
    Kind<T>::put(vals[k], maxpack, cp->dtype, f, buf.data(), buf.size());
    write_at(tp->fd, cell_pos(tp, cp, row, y), buf.data(), esz);
  }
}

}  // namespace

void tbxrgb(Table* tp, Column** c, bool* v, bool* nl, int n, int r) { row_get(tp, c, v, nl, 0, n, r, false); }
void tbxrgd(Table* tp, Column** c, double* v, bool* nl, int n, int r) { row_get(tp, c, v, nl, 0, n, r, false); }
void tbxrgr(Table* tp, Column** c, float* v, bool* nl, int n, int r) { row_get(tp, c, v, nl, 0, n, r, false); }
void tbxrgi(Table* tp, Column** c, int* v, bool* nl, int n, int r) { row_get(tp, c, v, nl, 0, n, r, false); }
void tbxrgs(Table* tp, Column** c, short* v, bool* nl, int n, int r) { row_get(tp, c, v, nl, 0, n, r, false); }
void tbxrgt(Table* tp, Column** c, std::string* v, bool* nl, int maxch, int n, int r) {
  row_get(tp, c, v, nl, maxch, n, r, false);
}
void tbyrgb(Table* tp, Column** c, bool* v, bool* nl, int n, int r) { row_get(tp, c, v, nl, 0, n, r, true); }
void tbyrgd(Table* tp, Column** c, double* v, bool* nl, int n, int r) { row_get(tp, c, v, nl, 0, n, r, true); }
void tbyrgr(Table* tp, Column** c, float* v, bool* nl, int n, int r) { row_get(tp, c, v, nl, 0, n, r, true); }
void tbyrgi(Table* tp, Column** c, int* v, bool* nl, int n, int r) { row_get(tp, c, v, nl, 0, n, r, true); }
void tbyrgs(Table* tp, Column** c, short* v, bool* nl, int n, int r) { row_get(tp, c, v, nl, 0, n, r, true); }
void tbyrgt(Table* tp, Column** c, std::string* v, bool* nl, int maxch, int n, int r) {
  row_get(tp, c, v, nl, maxch, n, r, true);
}

void tbxrpb(Table* tp, Column** c, const bool* v, int n, int r) { row_put(tp, c, v, 0, n, r, false); }
void tbxrpd(Table* tp, Column** c, const double* v, int n, int r) { row_put(tp, c, v, 0, n, r, false); }
void tbxrpr(Table* tp, Column** c, const float* v, int n, int r) { row_put(tp, c, v, 0, n, r, false); }
void tbxrpi(Table* tp, Column** c, const int* v, int n, int r) { row_put(tp, c, v, 0, n, r, false); }
void tbxrps(Table* tp, Column** c, const short* v, int n, int r) { row_put(tp, c, v, 0, n, r, false); }
void tbxrpt(Table* tp, Column** c, const std::string* v, int maxch, int n, int r) {
  row_put(tp, c, v, maxch, n, r, false);
}
void tbyrpb(Table* tp, Column** c, const bool* v, int n, int r) { row_put(tp, c, v, 0, n, r, true); }
void tbyrpd(Table* tp, Column** c, const double* v, int n, int r) { row_put(tp, c, v, 0, n, r, true); }
void tbyrpr(Table* tp, Column** c, const float* v, int n, int r) { row_put(tp, c, v, 0, n, r, true); }
void tbyrpi(Table* tp, Column** c, const int* v, int n, int r) { row_put(tp, c, v, 0, n, r, true); }
void tbyrps(Table* tp, Column** c, const short* v, int n, int r) { row_put(tp, c, v, 0, n, r, true); }
void tbyrpt(Table* tp, Column** c, const std::string* v, int maxch, int n, int r) {
  row_put(tp, c, v, maxch, n, r, true);
}

}  // namespace tbl
