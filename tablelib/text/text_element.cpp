// Element, column and row access of text tables, all in memory.
#include <algorithm>
#include <cmath>
#include <string>

#include "tablelib/tbbackend.h"
#include "tablelib/tables.h"
#include "text_model.h"
#include "vos/format.h"
#include "vos/indef.h"
#include "vos/scan.h"
#include "vos/strings.h"

using tbl::Column;
using tbl::Table;
using namespace tbtext;

namespace {

// Index of row `row` in the column's array; raises when it lies outside.
std::size_t cell(Column* cp, int row) {
  TextColumn& tc = cells(cp);
  std::size_t n = is_double(cp) ? tc.d.size() : is_int(cp) ? tc.i.size() : tc.s.size();
  if (row < 1 || static_cast<std::size_t>(row) > n) fail(1, "text table row out of range");
  return static_cast<std::size_t>(row - 1);
}

float to_real(double d) {
  if (vos::is_indef(d) || !(std::fabs(d) <= 3.4028234e38)) return tbl::kIndefR;
  return static_cast<float>(d);
}

short to_short(long v) {
  if (v == tbl::kIndefI || v > 32767 || v < -32767) return tbl::kIndefS;
  return static_cast<short>(v);
}

std::string cut(std::string s, std::size_t n) {
  if (s.size() > n) s.resize(n);
  return s;
}

// The value of a cell as a double (undefined: INDEF).
double get_double(Column* cp, int row) {
  TextColumn& tc = cells(cp);
  std::size_t i = cell(cp, row);
  if (is_double(cp)) return tc.d[i];
  if (is_int(cp)) return tc.i[i] == tbl::kIndefI ? tbl::kIndefD : tc.i[i];
  double d = tbl::kIndefD;
  return read_double(tc.s[i], d) ? d : tbl::kIndefD;
}

// The value of a cell as a long (undefined: the undefined int).
long get_long(Column* cp, int row) {
  TextColumn& tc = cells(cp);
  std::size_t i = cell(cp, row);
  if (is_double(cp)) return round_int(tc.d[i]);
  if (is_int(cp)) return tc.i[i];
  long l = 0;
  if (!read_long(tc.s[i], l) || l > 2147483647L || l < -2147483647L) return tbl::kIndefI;
  return l;
}

void put_double(Column* cp, int row, double v, const char* textfmt, bool undef) {
  TextColumn& tc = cells(cp);
  std::size_t i = cell(cp, row);
  if (is_double(cp)) tc.d[i] = undef ? tbl::kIndefD : v;
  else if (is_int(cp)) tc.i[i] = undef ? tbl::kIndefI : round_int(v);
  else tc.s[i] = cut(undef ? "INDEF" : cut(vos::sprintf(textfmt, v), 255), text_width(cp));
}

void put_long(Column* cp, int row, long v, bool undef) {
  TextColumn& tc = cells(cp);
  std::size_t i = cell(cp, row);
  if (is_double(cp)) tc.d[i] = undef ? tbl::kIndefD : static_cast<double>(v);
  else if (is_int(cp)) tc.i[i] = undef ? tbl::kIndefI : static_cast<int>(v);
  else tc.s[i] = cut(undef ? "INDEF" : std::to_string(v), text_width(cp));
}

}  // namespace

namespace tbl {

// Element gets: the cell converted to the caller's type (undefined cells and
// unreadable text give the type's undefined value).
void tbzgtd(Table*, Column* cp, int row, double& v) { v = get_double(cp, row); }

void tbzgtr(Table*, Column* cp, int row, float& v) {
  if (is_text(cp)) {
    float r = kIndefR;
    std::size_t ip = 0;
    v = vos::ctor(cells(cp).s[cell(cp, row)], ip, r) > 0 ? r : kIndefR;
    return;
  }
  v = to_real(get_double(cp, row));
}

void tbzgti(Table*, Column* cp, int row, int& v) { v = static_cast<int>(get_long(cp, row)); }

void tbzgts(Table*, Column* cp, int row, short& v) { v = to_short(get_long(cp, row)); }

void tbzgtb(Table*, Column* cp, int row, bool& v) {
  TextColumn& tc = cells(cp);
  std::size_t i = cell(cp, row);
  if (is_double(cp)) {
    v = round_int(tc.d[i]) != 0;
  } else if (is_int(cp)) {
    v = tc.i[i] != 0;
  } else {
    std::string word;
    std::size_t ip = 0;
    vos::ctowrd(tc.s[i], ip, word, 255);
    word = vos::lower(word);
    v = word == "yes" || word == "true";
  }
}

bool tbzgtt(Table*, Column* cp, int row, std::string& text, int maxch) {
  TextColumn& tc = cells(cp);
  std::size_t i = cell(cp, row);
  std::size_t m = static_cast<std::size_t>(std::max(maxch, 0));
  bool undefined = false;
  if (is_double(cp)) {
    undefined = vos::is_indef(tc.d[i]);
    text = undefined ? "INDEF" : vos::sprintf(usable_format(cp), tc.d[i]);
  } else if (is_int(cp)) {
    undefined = tc.i[i] == kIndefI;
    text = undefined ? "INDEF" : vos::sprintf(usable_format(cp), tc.i[i]);
  } else {
    text = tc.s[i];
    undefined = text.empty() || text == "INDEF";
  }
  text = cut(text, m);
  return undefined;
}

// Element puts: the value converted to the cell's type; text cells are cut
// to the column's width.
void tbzptd(Table*, Column* cp, int row, double v) {
  put_double(cp, row, v, "%.16g", vos::is_indef(v));
}

void tbzptr(Table*, Column* cp, int row, float v) {
  put_double(cp, row, v, "%.6g", v == kIndefR);
}

void tbzpti(Table*, Column* cp, int row, int v) { put_long(cp, row, v, v == kIndefI); }

void tbzpts(Table*, Column* cp, int row, short v) { put_long(cp, row, v, v == kIndefS); }

void tbzptb(Table*, Column* cp, int row, bool v) {
  if (is_text(cp)) cells(cp).s[cell(cp, row)] = cut(v ? "yes" : "no", text_width(cp));
  else put_long(cp, row, v ? 1 : 0, false);
}

void tbzptt(Table*, Column* cp, int row, std::string_view text) {
  TextColumn& tc = cells(cp);
  std::size_t i = cell(cp, row);
  if (is_double(cp)) {
    double d = kIndefD;
    tc.d[i] = read_double(text, d) ? d : kIndefD;
  } else if (is_int(cp)) {
    long l = 0;
    bool ok = read_long(text, l) && l <= 2147483647L && l >= -2147483647L;
    tc.i[i] = ok ? static_cast<int>(l) : kIndefI;
  } else {
    tc.s[i] = std::string(text.substr(0, text_width(cp)));
  }
}

// Column families: rows first..last of one column.
#define TBZ_COLUMN_GET(name, T, elem, undef_test)                                 \
  void name(Table* tp, Column* cp, T* vals, bool* nulls, int first, int last) { \
    for (int r = first; r <= last; ++r) {                                        \
      T v{};                                                                     \
      elem(tp, cp, r, v);                                                        \
      vals[r - first] = v;                                                       \
      nulls[r - first] = undef_test;                                             \
    }                                                                            \
  }
TBZ_COLUMN_GET(tbzcgb, bool, tbzgtb, false)
TBZ_COLUMN_GET(tbzcgd, double, tbzgtd, vos::is_indef(v))
TBZ_COLUMN_GET(tbzcgr, float, tbzgtr, v == kIndefR)
TBZ_COLUMN_GET(tbzcgi, int, tbzgti, v == kIndefI)
TBZ_COLUMN_GET(tbzcgs, short, tbzgts, v == kIndefS)
#undef TBZ_COLUMN_GET

void tbzcgt(Table* tp, Column* cp, std::string* vals, bool* nulls, int maxch, int first,
            int last) {
  for (int r = first; r <= last; ++r) {
    nulls[r - first] = tbzgtt(tp, cp, r, vals[r - first], maxch);
  }
}

#define TBZ_COLUMN_PUT(name, T, elem)                                            \
  void name(Table* tp, Column* cp, const T* vals, int first, int last) {        \
    for (int r = first; r <= last; ++r) elem(tp, cp, r, vals[r - first]);       \
  }
TBZ_COLUMN_PUT(tbzcpb, bool, tbzptb)
TBZ_COLUMN_PUT(tbzcpd, double, tbzptd)
TBZ_COLUMN_PUT(tbzcpr, float, tbzptr)
TBZ_COLUMN_PUT(tbzcpi, int, tbzpti)
TBZ_COLUMN_PUT(tbzcps, short, tbzpts)
#undef TBZ_COLUMN_PUT

void tbzcpt(Table* tp, Column* cp, const std::string* vals, int maxch, int first, int last) {
  for (int r = first; r <= last; ++r) {
    std::string_view v = vals[r - first];
    tbzptt(tp, cp, r, v.substr(0, static_cast<std::size_t>(std::max(maxch, 0))));
  }
}

// Sets every column of rows first..last (within the allocation) undefined.
void tbznll(Table* tp, int first, int last) {
  first = std::max(first, 1);
  last = std::min(last, tp->allrows);
  for (auto& c : tp->cols)
    for (int r = first; r <= last; ++r) undefine(c.get(), r, "tbznll:  bad datatype");
}

// Sets the given columns of one row undefined.
void tbzudf(Table*, Column** cols, int ncols, int row) {
  for (int c = 0; c < ncols; ++c) undefine(cols[c], row, "tbzudf:  bad datatype");
}

// Moves rows first..end by `shift` rows (positive: towards higher rows).
void tbzsft(Table* tp, int first, int shift) {
  int n = tp->nrows, s = shift, f = first;
  if (f > n) {
    if (s > 0 && f + s - 1 > tp->allrows) grow_rows(tp, f + s - 1);
    return;
  }
  if (n + s > tp->allrows) grow_rows(tp, n + s);
  if (s == 0) return;
  if (s < 0 && f > n + s) {
    tbznll(tp, f, n);
    tp->nrows = std::max(f - 1, 0);
    return;
  }
  for (auto& c : tp->cols) {
    Column* cp = c.get();
    if (!is_double(cp) && !is_int(cp) && !is_text(cp))
      fail(82, "tbzsft:  table or memory corrupted?");
    TextColumn& tc = cells(cp);
    auto move_rows = [&](auto& a) {
      if (s > 0) {
        for (int r = n; r >= f; --r) a[static_cast<std::size_t>(r + s - 1)] = a[static_cast<std::size_t>(r - 1)];
      } else {
        for (int r = f - s; r <= n; ++r) a[static_cast<std::size_t>(r + s - 1)] = a[static_cast<std::size_t>(r - 1)];
      }
    };
    if (is_double(cp)) move_rows(tc.d);
    else if (is_int(cp)) move_rows(tc.i);
    else move_rows(tc.s);
  }
  if (s > 0) {
    tp->nrows = n + s;
  } else {
    tbznll(tp, n + s + 1, n);
    tp->nrows = std::max(n + s, 0);
  }
}

}  // namespace tbl
