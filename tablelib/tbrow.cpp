// Rows: several columns of one row read or written in one call, rows made
// undefined, deleted or shifted, and the allocated row count of a
// column-ordered table.  Row numbers are the rows the caller sees (the
// selected rows under a row selector); the selection link maps them.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "vos/error.h"

namespace tbl {

namespace {

[[noreturn]] void bad_type(const char* who) {
  vos::error(81, std::string(who) + ":  table type is messed up");
}

void need_writable(const Table* tp) {
  if (tp->readonly) vos::error(3, "can't write to table; it's readonly");
}

// The back ends take a modifiable column array; they only read it.
Column** arr(Column* const* cols) { return const_cast<Column**>(cols); }

// Checks the table and every column pointer the caller gives.
void need_columns(Table* tp, Column* const* cols, int ncols, const char* who) {
  need_table(tp, who);
  if (ncols > 0 && cols == nullptr) vos::error(1, std::string(who) + ":  null column array");
  for (int k = 0; k < ncols; ++k) need_column(cols[k], who);
}

// The get of one member: binary arms take the whole row; text and FITS go
// column by column through `cell(column, index)`.
template <class BinX, class BinY, class TextCell, class FitsCell>
void get_row(Table* tp, Column* const* cols, int ncols, int row, const char* who, BinX x, BinY y,
             TextCell text, FitsCell fits) {
  need_columns(tp, cols, ncols, who);
  int r = 0;
  tbsirow(tp, row, r);
  switch (tp->type) {
    case kRowOrdered: x(r); break;
    case kColOrdered: y(r); break;
    case kTextTable:
      for (int k = 0; k < ncols; ++k) text(cols[k], r, k);
      break;
    case kFitsTable:
      for (int k = 0; k < ncols; ++k) fits(cols[k], r, k);
      break;
    default: bad_type(who);
  }
}

// The put of one member.
template <class BinX, class BinY, class TextCell, class FitsCell>
void put_row(Table* tp, Column* const* cols, int ncols, int row, const char* who, BinX x, BinY y,
             TextCell text, FitsCell fits) {
  need_columns(tp, cols, ncols, who);
  need_writable(tp);
  if (tp->type < kRowOrdered || tp->type > kFitsTable) bad_type(who);
  int r = 0;
  tbswer1(tp, row, r);
  switch (tp->type) {
    case kRowOrdered: x(r); break;
    case kColOrdered: y(r); break;
    case kTextTable:
      for (int k = 0; k < ncols; ++k) text(cols[k], r, k);
      break;
    default:
      for (int k = 0; k < ncols; ++k) fits(cols[k], r, k);
      break;
  }
  tp->modified = true;
}

std::string_view cut(const std::string& s, int maxch) {
  return std::string_view(s).substr(0, static_cast<std::size_t>(std::max(maxch, 0)));
}

}  // namespace

// ---- gets ------------------------------------------------------------------------------

void tbrgtd(Table* tp, Column* const* cols, double* vals, bool* nulls, int ncols, int row) {
  get_row(
      tp, cols, ncols, row, "tbrgtd",
      [&](int r) { tbxrgd(tp, arr(cols), vals, nulls, ncols, r); },
      [&](int r) { tbyrgd(tp, arr(cols), vals, nulls, ncols, r); },
      [&](Column* cp, int r, int k) {
        tbzgtd(tp, cp, r, vals[k]);
        nulls[k] = vals[k] == kIndefD;
      },
      [&](Column* cp, int r, int k) {
        tbfagd(tp, cp, r, vals + k, 1, 1);
        nulls[k] = vals[k] == kIndefD;
      });
}

void tbrgtr(Table* tp, Column* const* cols, float* vals, bool* nulls, int ncols, int row) {
  get_row(
      tp, cols, ncols, row, "tbrgtr",
      [&](int r) { tbxrgr(tp, arr(cols), vals, nulls, ncols, r); },
      [&](int r) { tbyrgr(tp, arr(cols), vals, nulls, ncols, r); },
      [&](Column* cp, int r, int k) {
        tbzgtr(tp, cp, r, vals[k]);
        nulls[k] = vals[k] == kIndefR;
      },
      [&](Column* cp, int r, int k) {
        tbfagr(tp, cp, r, vals + k, 1, 1);
        nulls[k] = vals[k] == kIndefR;
      });
}

void tbrgti(Table* tp, Column* const* cols, int* vals, bool* nulls, int ncols, int row) {
  get_row(
      tp, cols, ncols, row, "tbrgti",
      [&](int r) { tbxrgi(tp, arr(cols), vals, nulls, ncols, r); },
      [&](int r) { tbyrgi(tp, arr(cols), vals, nulls, ncols, r); },
      [&](Column* cp, int r, int k) {
        tbzgti(tp, cp, r, vals[k]);
        nulls[k] = vals[k] == kIndefI;
      },
      [&](Column* cp, int r, int k) {
        tbfagi(tp, cp, r, vals + k, 1, 1);
        nulls[k] = vals[k] == kIndefI;
      });
}

void tbrgts(Table* tp, Column* const* cols, short* vals, bool* nulls, int ncols, int row) {
  get_row(
      tp, cols, ncols, row, "tbrgts",
      [&](int r) { tbxrgs(tp, arr(cols), vals, nulls, ncols, r); },
      [&](int r) { tbyrgs(tp, arr(cols), vals, nulls, ncols, r); },
      [&](Column* cp, int r, int k) {
        tbzgts(tp, cp, r, vals[k]);
        nulls[k] = vals[k] == kIndefS;
      },
      [&](Column* cp, int r, int k) {
        tbfags(tp, cp, r, vals + k, 1, 1);
        nulls[k] = vals[k] == kIndefS;
      });
}

// A FITS bool cell is read as an int: 1 is true, the undefined int is false
// and flagged, anything else false.  Text bools are never flagged.
void tbrgtb(Table* tp, Column* const* cols, bool* vals, bool* nulls, int ncols, int row) {
  get_row(
      tp, cols, ncols, row, "tbrgtb",
      [&](int r) { tbxrgb(tp, arr(cols), vals, nulls, ncols, r); },
      [&](int r) { tbyrgb(tp, arr(cols), vals, nulls, ncols, r); },
      [&](Column* cp, int r, int k) {
        tbzgtb(tp, cp, r, vals[k]);
        nulls[k] = false;
      },
      [&](Column* cp, int r, int k) {
        int v = 0;
        tbfagi(tp, cp, r, &v, 1, 1);
        nulls[k] = v == kIndefI;
        vals[k] = v == 1;
      });
}

void tbrgtt(Table* tp, Column* const* cols, std::string* vals, bool* nulls, int maxch, int ncols,
            int row) {
  get_row(
      tp, cols, ncols, row, "tbrgtt",
      [&](int r) { tbxrgt(tp, arr(cols), vals, nulls, maxch, ncols, r); },
      [&](int r) { tbyrgt(tp, arr(cols), vals, nulls, maxch, ncols, r); },
      [&](Column* cp, int r, int k) {
        nulls[k] = tbzgtt(tp, cp, r, vals[k], maxch);
      },
      [&](Column* cp, int r, int k) { tbfagt(tp, cp, r, vals + k, maxch, 1, 1, nulls + k); });
}

// ---- puts ------------------------------------------------------------------------------

void tbrptd(Table* tp, Column* const* cols, const double* vals, int ncols, int row) {
  put_row(
      tp, cols, ncols, row, "tbrptd", [&](int r) { tbxrpd(tp, arr(cols), vals, ncols, r); },
      [&](int r) { tbyrpd(tp, arr(cols), vals, ncols, r); },
      [&](Column* cp, int r, int k) { tbzptd(tp, cp, r, vals[k]); },
      [&](Column* cp, int r, int k) { tbfapd(tp, cp, r, vals + k, 1, 1); });
}

void tbrptr(Table* tp, Column* const* cols, const float* vals, int ncols, int row) {
  put_row(
      tp, cols, ncols, row, "tbrptr", [&](int r) { tbxrpr(tp, arr(cols), vals, ncols, r); },
      [&](int r) { tbyrpr(tp, arr(cols), vals, ncols, r); },
      [&](Column* cp, int r, int k) { tbzptr(tp, cp, r, vals[k]); },
      [&](Column* cp, int r, int k) { tbfapr(tp, cp, r, vals + k, 1, 1); });
}

void tbrpti(Table* tp, Column* const* cols, const int* vals, int ncols, int row) {
  put_row(
      tp, cols, ncols, row, "tbrpti", [&](int r) { tbxrpi(tp, arr(cols), vals, ncols, r); },
      [&](int r) { tbyrpi(tp, arr(cols), vals, ncols, r); },
      [&](Column* cp, int r, int k) { tbzpti(tp, cp, r, vals[k]); },
      [&](Column* cp, int r, int k) { tbfapi(tp, cp, r, vals + k, 1, 1); });
}

void tbrpts(Table* tp, Column* const* cols, const short* vals, int ncols, int row) {
  put_row(
      tp, cols, ncols, row, "tbrpts", [&](int r) { tbxrps(tp, arr(cols), vals, ncols, r); },
      [&](int r) { tbyrps(tp, arr(cols), vals, ncols, r); },
      [&](Column* cp, int r, int k) { tbzpts(tp, cp, r, vals[k]); },
      [&](Column* cp, int r, int k) { tbfaps(tp, cp, r, vals + k, 1, 1); });
}

void tbrptb(Table* tp, Column* const* cols, const bool* vals, int ncols, int row) {
  put_row(
      tp, cols, ncols, row, "tbrptb", [&](int r) { tbxrpb(tp, arr(cols), vals, ncols, r); },
      [&](int r) { tbyrpb(tp, arr(cols), vals, ncols, r); },
      [&](Column* cp, int r, int k) { tbzptb(tp, cp, r, vals[k]); },
      [&](Column* cp, int r, int k) { tbfapb(tp, cp, r, vals + k, 1, 1); });
}

// Every string is taken to at most maxch characters, whatever the storage.
void tbrptt(Table* tp, Column* const* cols, const std::string* vals, int maxch, int ncols,
            int row) {
  std::vector<std::string> v(static_cast<std::size_t>(std::max(ncols, 0)));
  if (vals != nullptr)
    for (std::size_t k = 0; k < v.size(); ++k) v[k] = std::string(cut(vals[k], maxch));
  put_row(
      tp, cols, ncols, row, "tbrptt",
      [&](int r) { tbxrpt(tp, arr(cols), v.data(), maxch, ncols, r); },
      [&](int r) { tbyrpt(tp, arr(cols), v.data(), maxch, ncols, r); },
      [&](Column* cp, int r, int k) { tbzptt(tp, cp, r, v[k]); },
      [&](Column* cp, int r, int k) { tbfapt(tp, cp, r, v.data() + k, maxch, 1, 1); });
}

// ---- undefined rows, deletion, shifts ------------------------------------------------------

// Makes every column of rows first..last undefined.  Under a row selector
// every table row between the two selected rows goes, selected or not.
void tbrnll(Table* tp, int first, int last) {
  need_table(tp, "tbrnll");
  if (last < first) vos::error(1, "tbrnll:  lastrow is less than firstrow");
  need_writable(tp);
  int f = 0, l = 0;
  if (tp->rowsel) {
    if (first > tp->nselrows || last < 1) return;
    tbsirow(tp, std::max(first, 1), f);
    if (last > tp->nselrows)
      l = tp->nrows;
    else
      tbsirow(tp, last, l);
  } else {
    if (first > tp->nrows || last < 1) return;
    f = std::max(first, 1);
    l = std::min(last, tp->nrows);
  }
  switch (tp->type) {
    case kRowOrdered: tbxnll(tp, f, l); break;
    case kColOrdered: tbynll(tp, f, l); break;
    case kTextTable: tbznll(tp, f, l); break;
    case kFitsTable: tbfnll(tp, f, l); break;
    default: bad_type("tbrnll");
  }
  tp->modified = true;
}

// Makes the given columns of one row undefined; a row beyond the end only
// extends the table (new rows are undefined already).
void tbrudf(Table* tp, Column* const* cols, int ncols, int row) {
  need_columns(tp, cols, ncols, "tbrudf");
  if (tp->readonly) vos::error(3, "tbrudf:  can't delete entries in readonly table");
  if (row < 1) vos::error(1, "tbrudf:  row number must be > 0");
  int r = 0;
  if (row > (tp->rowsel ? tp->nselrows : tp->nrows)) {
    tbswer(tp, row, r);
    return;
  }
  tbsirow(tp, row, r);
  switch (tp->type) {
    case kRowOrdered: tbxudf(tp, arr(cols), ncols, r); break;
    case kColOrdered: tbyudf(tp, arr(cols), ncols, r); break;
    case kTextTable: tbzudf(tp, arr(cols), ncols, r); break;
    case kFitsTable: tbfudf(tp, arr(cols), ncols, r); break;
    default: bad_type("tbrudf");
  }
  tp->modified = true;
}

// Moves the rows from `first` (at least 1) on by `shift` rows (negative:
// up, over the rows before them).
void tbrsft(Table* tp, int first, int shift) {
  need_table(tp, "tbrsft");
  if (shift == 0) return;
  if (tp->rowsel) vos::error(1, "Can't shift rows in a table with row selector in effect.");
  if (first < 1) vos::error(1, "row number less than one is invalid");
  need_writable(tp);
  switch (tp->type) {
    case kRowOrdered: tbxsft(tp, first, shift); break;
    case kColOrdered: tbysft(tp, first, shift); break;
    case kTextTable: tbzsft(tp, first, shift); break;
    case kFitsTable: tbfsft(tp, first, shift); break;
    default: bad_type("tbrsft");
  }
  tp->modified = true;
}

// Deletes rows first..last.  Under a row selector only the trailing rows of
// the table may go, and only when no unselected row lies among them.
void tbrdel(Table* tp, int first, int last) {
  need_table(tp, "tbrdel");
  if (first < 1 || last < 1) vos::error(1, "tbrdel:  Row number less than one is invalid.");
  if (first > last) return;
  need_writable(tp);
  if (!tp->rowsel) {
    if (first > tp->nrows) return;
    const int l = std::min(last, tp->nrows);
    tbrsft(tp, first, -(l - first + 1));
    tp->modified = true;
    return;
  }
  const int c = tp->nselrows;
  if (last < c)
    vos::error(1, "Can't delete rows in the middle of a table that uses a row selector.");
  if (first > c) return;
  int r = 0;
  tbsirow(tp, first, r);
  const int d = tp->nrows - r + 1;
  if (d - 1 > c - first) vos::error(1, "tbrdel:  Range of rows to delete includes non-selected rows.");
  const int from = std::max(tp->nrows - d + 1, 1);
  switch (tp->type) {
    case kRowOrdered: tbxnll(tp, from, tp->nrows); break;
    case kColOrdered: tbynll(tp, from, tp->nrows); break;
    case kTextTable: tbznll(tp, from, tp->nrows); break;
    case kFitsTable: tbfchp(tp, d); break;
    default: vos::error(81, "tbrdel:  invalid table type");
  }
  tp->nrows = std::max(tp->nrows - d, 0);
  // The deleted rows were the last selected ones: they are no longer shown.
  tp->nselrows = first - 1;
  tp->modified = true;
}

// Allocated rows of a column-ordered table; other types ignore it.
void tbrchg(Table* tp, int allrows) {
  need_table(tp, "tbrchg");
  if (tp->type != kColOrdered) return;
  if (tp->opened)
    tbtchs(tp, -1, -1, -1, allrows);
  else
    tp->allrows = allrows;
}

}  // namespace tbl
