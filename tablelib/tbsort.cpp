// Sorting row numbers by the values of some columns.
#include <cmath>
#include <string>
#include <vector>

#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "vos/error.h"
#include "vos/sort.h"
#include "vos/strings.h"

namespace tbl {

namespace {

constexpr int kTextMax = 1023;

// What tbqcmp compares with: set by tbtsrt for the length of one sort.
struct SortState {
  Table* tp = nullptr;
  std::vector<Column*> cols;
  bool fold = false;
};
SortState g_sort;

// Order of two numbers: undefined values last, not-a-number just before
// them (so that the order stays total and the sort well defined), else by
// value.
template <class T>
int cmp_num(T a, T b, bool a_undef, bool b_undef) {
  const int ca = a_undef ? 2 : (std::isnan(static_cast<double>(a)) ? 1 : 0);
  const int cb = b_undef ? 2 : (std::isnan(static_cast<double>(b)) ? 1 : 0);
  if (ca != cb) return ca > cb ? 1 : -1;
  if (ca != 0 || a == b) return 0;
  return a > b ? 1 : -1;
}

// Order of two texts: empty texts last, else by character codes.
int cmp_text(std::string a, std::string b, bool fold) {
  if (fold) {
    vos::strlwr(a);
    vos::strlwr(b);
  }
  const int fa = a.empty() ? 0 : static_cast<unsigned char>(a[0]);
  const int fb = b.empty() ? 0 : static_cast<unsigned char>(b[0]);
  if (fa == fb) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  if (a.empty()) return 1;
  if (b.empty()) return -1;
  return fa > fb ? 1 : -1;
}

// Compares the cells of one numeric column; arrays element by element.
template <class T, class Get>
int cmp_cells(int nelem, Get get, T undef, bool stored_indef_double) {
  const std::size_t n = static_cast<std::size_t>(nelem < 1 ? 1 : nelem);
  std::vector<T> a(n), b(n);
  get(a.data(), b.data(), static_cast<int>(n));
  for (std::size_t k = 0; k < n; ++k) {
    const bool ua = a[k] == undef || (stored_indef_double && a[k] == static_cast<T>(kStoredIndefD));
    const bool ub = b[k] == undef || (stored_indef_double && b[k] == static_cast<T>(kStoredIndefD));
    const int c = cmp_num(a[k], b[k], ua, ub);
    if (c != 0) return c;
  }
  return 0;
}

int cmp_column(Table* tp, Column* cp, bool fold, int r1, int r2) {
  const int dtype = tbcigi(cp, 44);
  const int nelem = tbcigi(cp, 47);
  const bool array = nelem != 1;
  if (dtype < 0 || dtype == kTyChar) {
    std::string a, b;
    if (!array) {
      tbegtt(tp, cp, r1, a, kTextMax);
      tbegtt(tp, cp, r2, b, kTextMax);
      return cmp_text(a, b, fold);
    }
    for (int i = 1; i <= nelem; ++i) {
      tbagtt(tp, cp, r1, &a, kTextMax, i, 1);
      tbagtt(tp, cp, r2, &b, kTextMax, i, 1);
      const int c = cmp_text(a, b, fold);
      if (c != 0) return c;
    }
    return 0;
  }
  switch (dtype) {
    case kTyBool:
    case kTyShort:
      return cmp_cells<short>(
          nelem,
          [&](short* a, short* b, int n) {
            if (!array) {
              tbegts(tp, cp, r1, a[0]);
              tbegts(tp, cp, r2, b[0]);
            } else {
              tbagts(tp, cp, r1, a, 1, n);
              tbagts(tp, cp, r2, b, 1, n);
            }
          },
          kIndefS, false);
    case kTyInt:
      return cmp_cells<int>(
          nelem,
          [&](int* a, int* b, int n) {
            if (!array) {
              tbegti(tp, cp, r1, a[0]);
              tbegti(tp, cp, r2, b[0]);
            } else {
              tbagti(tp, cp, r1, a, 1, n);
              tbagti(tp, cp, r2, b, 1, n);
            }
          },
          kIndefI, false);
    case kTyReal:
      return cmp_cells<float>(
          nelem,
          [&](float* a, float* b, int n) {
            if (!array) {
              tbegtr(tp, cp, r1, a[0]);
              tbegtr(tp, cp, r2, b[0]);
            } else {
              tbagtr(tp, cp, r1, a, 1, n);
              tbagtr(tp, cp, r2, b, 1, n);
            }
          },
          kIndefR, false);
    case kTyDouble:
      return cmp_cells<double>(
          nelem,
          [&](double* a, double* b, int n) {
            if (!array) {
              tbegtd(tp, cp, r1, a[0]);
              tbegtd(tp, cp, r2, b[0]);
            } else {
              tbagtd(tp, cp, r1, a, 1, n);
              tbagtd(tp, cp, r2, b, 1, n);
            }
          },
          kIndefD, true);
    default:
      vos::error(82, "tbrcmp:  bad data type; table or memory corrupted?");
  }
}

}  // namespace

// -1 when row r1 sorts before row r2, 1 when after, 0 when they are equal
// in every given column.  Undefined values and empty texts sort last.
int tbrcmp(Table* tp, int ncols, Column* const* cols, bool fold, int r1, int r2) {
  need_table(tp, "tbrcmp");
  for (int k = 0; k < ncols; ++k) {
    need_column(cols[k], "tbrcmp");
    const int c = cmp_column(tp, cols[k], fold, r1, r2);
    if (c != 0) return c;
  }
  return 0;
}

// The comparison tbtsrt sorts with, on the columns it was given.
int tbqcmp(int r1, int r2) {
  if (g_sort.tp == nullptr) vos::error(1, "tbqcmp:  no sort in progress");
  return tbrcmp(g_sort.tp, static_cast<int>(g_sort.cols.size()), g_sort.cols.data(),
                g_sort.fold, r1, r2);
}

// Sorts nrows row numbers in place by the given columns.  Rows that compare
// equal keep their order.  On an error the row numbers are left as given.
void tbtsrt(Table* tp, int ncols, Column* const* cols, bool fold, int nrows, int* rows) {
  need_table(tp, "tbtsrt");
  if (nrows < 2 || rows == nullptr) return;
  if (ncols > 0 && cols == nullptr) vos::error(1, "tbtsrt:  null column array");
  for (int k = 0; k < ncols; ++k) need_column(cols[k], "tbtsrt");
  SortState saved = std::move(g_sort);
  g_sort = SortState{tp, std::vector<Column*>(cols, cols + (ncols > 0 ? ncols : 0)), fold};
  try {
    vos::qsort(rows, static_cast<std::size_t>(nrows), [](int a, int b) { return tbqcmp(a, b); });
  } catch (...) {
    g_sort = std::move(saved);
    throw;
  }
  g_sort = std::move(saved);
}

}  // namespace tbl
