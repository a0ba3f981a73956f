// Typed gets and puts of the elements of one FITS table cell.  CFITSIO
// applies scaling and converts between the stored type and the type asked
// for; undefined values are CFITSIO nulls.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <climits>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

#include "fits_table.h"
#include "fits_tform.h"
#include "tablelib/tbbackend.h"
#include "vos/format.h"
#include "vos/indef.h"
#include "vos/scan.h"
#include "vos/strings.h"

using namespace tbfio;
using namespace tbfits;
using tbl::Column;
using tbl::Table;

namespace {

bool is_string(const Column* cp) { return cp->dtype < 0; }
bool is_bool(const Column* cp) { return cp->dtype == tbl::kTyBool; }

// Elements a get reads: min(n, array length - first + 1), 0 when none.
int get_count(const Column* cp, int first, int n) {
  if (first < 1 || n < 1) return 0;
  return std::max(0, std::min(n, cp->nelem - first + 1));
}

// True when a get of element `first` on meets a cell without elements (a
// zero-width column): its first element reads as undefined, none counted.
bool no_elements(const Column* cp, int first, int n) {
  return cp->nelem == 0 && first == 1 && n >= 1;
}

// A put must lie within the cell; CFITSIO would otherwise continue the
// surplus elements into the following rows.
void check_bounds(const Column* cp, int first, int n, char letter) {
  if (first < 1 || n < 0 || static_cast<long long>(first) + n - 1 > cp->nelem)
    fail(1, std::string("tbapt") + letter + ":  attempt to put too many elements");
}

// The checks of a put (see check_bounds).  Undefined values put into a
// cell without elements (as a copy of such a cell does) leave nothing to
// write: returns false for those.
template <class T>
bool check_put(const Column* cp, int first, int n, char letter, const T* buf, T undef) {
  check_cells(cp);
  if (cp->nelem == 0 && first == 1 && std::all_of(buf, buf + std::max(n, 0), [&](const T& v) {
        if constexpr (std::is_floating_point_v<T>) return vos::is_indef(v);
        else return v == undef;
      }))
    return false;
  check_bounds(cp, first, n, letter);
  return true;
}

// One element of a wide column as written: its integer where it has one
// of 64 bits (`fits`), its text (ASCII tables), and whether it is null.
struct WideValue {
  long long v = 0;
  bool null = false;
  bool fits = true;
  std::string text;
};

// The elements of a wide column's cell.  A binary K column gives its
// integers; an ASCII field is read as the text it is (CFITSIO would read
// it through a double, losing the digits a double does not hold).
void read_wide(Table* tp, const Column* cp, int row, int first, int count,
               std::vector<WideValue>& out) {
  fitsfile* f = fptr(tp);
  out.assign(static_cast<std::size_t>(std::max(count, 0)), WideValue{});
  int status = 0;
  if (tp->subtype == tbl::kFitsAscii) {
    for (WideValue& w : out) {
      fsgacf(f, cp->number, row, w.text, w.null, status);
      if (status != 0 || w.null) continue;
      errno = 0;
      char* end = nullptr;
      w.v = std::strtoll(w.text.c_str(), &end, 10);
      w.fits = errno == 0 && end != w.text.c_str() && *end == '\0';
    }
  } else {
    std::vector<long long> v(out.size(), 0);
    std::vector<char> nul(out.size(), 0);
    fsgcfjj(f, cp->number, row, first, count, v.data(), nul.data(), status);
    for (std::size_t j = 0; j < out.size(); ++j) {
      out[j].v = v[j];
      out[j].null = nul[j] != 0;
    }
  }
  tbferr(status);
}

bool wide_unscaled(const Column* cp) {
  const FitsColumn* note = column_note(cp);
  return note != nullptr && note->wide && cp->scale == 1.0 && cp->zero == 0.0;
}

// A double get of a wide column gives each integer only where a double
// holds it exactly; any other is refused, naming the column and the row,
// rather than read as another number (a copy would keep that number).
void check_wide_doubles(Table* tp, const Column* cp, int row, int first, int count,
                        const double* d) {
  if (!wide_unscaled(cp) || count < 1) return;
  std::vector<WideValue> w;
  read_wide(tp, cp, row, first, count, w);
  for (int j = 0; j < count; ++j) {
    const double x = d[j];
    const bool exact = w[j].null || (w[j].fits && x >= -9223372036854775808.0 &&
                                     x < 9223372036854775808.0 &&
                                     static_cast<long long>(x) == w[j].v);
    if (!exact)
      fail(1, "the integer " + (w[j].fits ? std::to_string(w[j].v) : w[j].text) + " in row " +
                  std::to_string(row) + " has no double (" + column_place(tp, cp) + ")");
  }
}

// The text gets of a wide column: every integer digit for digit in the
// print format (one beyond 64 bits as written).
void wide_texts(Table* tp, const Column* cp, int row, int first, int count, std::string* buf,
                std::size_t maxch, bool* nulls) {
  std::vector<WideValue> w;
  read_wide(tp, cp, row, first, count, w);
  for (int j = 0; j < count; ++j) {
    std::string s;
    if (w[j].null) s = vos::sprintf(cp->format, tbl::kIndefD);
    else if (w[j].fits) s = vos::sprintf(cp->format, w[j].v);
    else s = vos::sprintf("%*s", tbftform::print_width(cp->format), w[j].text);
    if (s.size() > maxch) s.resize(maxch);
    buf[j] = s;
    if (nulls) nulls[j] = w[j].null;
  }
}

void bad_type() { fail(1, "bad data type in table"); }

// Reads one element of a string column as text.
std::string read_text(fitsfile* f, const Column* cp, int row, int elem, int& status) {
  std::vector<std::string> out;
  fsgcvs(f, cp->number, row, elem, 1, 1023, "", out, status);
  return out.empty() ? std::string() : out[0];
}

// Generic get for the numeric member types.
template <class T, class Scan, class Numeric>
int get_numeric(Table* tp, Column* cp, int row, T* buf, int first, int n, T undef, Scan scan,
                Numeric numeric) {
  check_cells(cp);
  fitsfile* f = fptr(tp);
  int count = get_count(cp, first, n);
  if (no_elements(cp, first, n)) buf[0] = undef;
  if (count == 0) return 0;
  int status = 0;
  if (is_string(cp)) {
    for (int j = 0; j < count; ++j) {
      std::string text = read_text(f, cp, row, first + j, status);
      T v = undef;
      vos::sscan(text);
      scan(v);
      buf[j] = vos::nscan() < 1 ? undef : v;
    }
  } else if (is_bool(cp)) {
    for (int j = 0; j < count; ++j) {
      int v = 0, nul = 0;
      fsgcfl(f, cp->number, row, first + j, 1, &v, &nul, status);
      buf[j] = nul ? undef : static_cast<T>(v != 0 ? 1 : 0);
    }
  } else {
    numeric(f, cp->number, row, first, count, undef, buf, status);
  }
  tbferr(status);
  return count;
}

// Integer get from a floating-point column: the nearest integer, halves away
// from zero; undefined values and values outside the type's range give the
// type's undefined value (CFITSIO would truncate, or fail on overflow).
template <class T>
int get_rounded(Table* tp, Column* cp, int row, T* buf, int first, int n, T undef, double max) {
  check_cells(cp);
  int count = get_count(cp, first, n);
  if (no_elements(cp, first, n)) buf[0] = undef;
  if (count == 0) return 0;
  std::vector<double> d(static_cast<std::size_t>(count), tbl::kIndefD);
  int status = 0;
  fsgcvd(fptr(tp), cp->number, row, first, count, tbl::kIndefD, d.data(), status);
  tbferr(status);
  for (int j = 0; j < count; ++j) {
    double r = std::round(d[j]);
    buf[j] = (vos::is_indef(d[j]) || !(std::fabs(r) <= max)) ? undef : static_cast<T>(r);
  }
  return count;
}

// Generic put for the numeric member types.
template <class T, class Numeric>
void put_numeric(Table* tp, Column* cp, int row, const T* buf, int first, int n, T undef,
                 const char* textfmt, char letter, Numeric numeric) {
  if (!check_put(cp, first, n, letter, buf, undef)) return;
  fitsfile* f = fptr(tp);
  int status = 0;
  if (is_string(cp)) {
    for (int j = 0; j < n; ++j) {
      if (buf[j] == undef) {
        fspclu(f, cp->number, row, first + j, 1, status);
      } else {
        std::string s = vos::sprintf(textfmt, buf[j]);
        fspcls(f, cp->number, row, first + j, 1, 255, &s, status);
      }
    }
  } else if (is_bool(cp)) {
    for (int j = 0; j < n; ++j) {
      int v = buf[j] != 0 ? 1 : 0;
      if (buf[j] == undef) fspclu(f, cp->number, row, first + j, 1, status);
      else fspcll(f, cp->number, row, first + j, 1, &v, status);
    }
  } else {
    // Values an integer column cannot hold are written undefined.
    double max = cp->dtype == tbl::kTyInt ? 2147483647.0
                 : cp->dtype == tbl::kTyShort ? 32767.0 : -1.0;
    auto is_undef = [&](T v) {
      if (v == undef) return true;
      double d = static_cast<double>(v);
      return max > 0 && !(std::fabs(std::round(d)) <= max);
    };
    if (max > 0 && std::is_floating_point_v<T>) {
      // CFITSIO would truncate: write the nearest integer, halves away from 0.
      for (int j = 0; j < n; ++j) {
        double r = std::round(static_cast<double>(buf[j]));
        if (is_undef(buf[j])) fspclu(f, cp->number, row, first + j, 1, status);
        else fspcld(f, cp->number, row, first + j, 1, &r, status);
      }
    } else if (std::none_of(buf, buf + n, is_undef)) {
      numeric(f, cp->number, row, first, n, buf, status);
    } else {
      for (int j = 0; j < n; ++j) {
        if (is_undef(buf[j])) fspclu(f, cp->number, row, first + j, 1, status);
        else numeric(f, cp->number, row, first + j, 1, buf + j, status);
      }
    }
  }
  tbferr(status);
  tp->nrows = std::max(tp->nrows, row);
}

}  // namespace

namespace tbfits {

std::string_view string_text(std::string_view raw, std::size_t maxch, bool& undefined) {
  // Trailing blanks of FITS strings carry nothing (an empty cell reads as
  // one blank from CFITSIO).
  std::size_t n = raw.find_last_not_of(' ') + 1;  // npos + 1 == 0: all blanks
  undefined = n == 0 || raw.substr(0, n) == "INDEF";
  if (n > maxch) {
    n = maxch;
    while (n > 0 && raw[n - 1] == ' ') --n;
  }
  return raw.substr(0, n);
}

}  // namespace tbfits

namespace tbl {

// Typed gets: elements first .. first + n - 1 of the cell (row, column),
// converted to the buffer's type; undefined elements come back as the type's
// undefined value.  Return the number of elements read.
int tbfagd(Table* tp, Column* cp, int row, double* buf, int first, int n) {
  const int count = get_numeric<double>(tp, cp, row, buf, first, n, kIndefD,
                                        [](double& v) { vos::gargd(v); }, fsgcvd);
  check_wide_doubles(tp, cp, row, first, count, buf);
  return count;
}

int tbfagr(Table* tp, Column* cp, int row, float* buf, int first, int n) {
  return get_numeric<float>(tp, cp, row, buf, first, n, kIndefR,
                            [](float& v) { vos::gargr(v); }, fsgcve);
}

int tbfagi(Table* tp, Column* cp, int row, int* buf, int first, int n) {
  if (cp->dtype == kTyReal || cp->dtype == kTyDouble)
    return get_rounded<int>(tp, cp, row, buf, first, n, kIndefI, 2147483647.0);
  return get_numeric<int>(tp, cp, row, buf, first, n, kIndefI, [](int& v) { vos::gargi(v); },
                          fsgcvj);
}

int tbfags(Table* tp, Column* cp, int row, short* buf, int first, int n) {
  if (cp->dtype == kTyReal || cp->dtype == kTyDouble)
    return get_rounded<short>(tp, cp, row, buf, first, n, kIndefS, 32767.0);
  return get_numeric<short>(tp, cp, row, buf, first, n, kIndefS,
                            [](short& v) { vos::gargs(v); }, fsgcvi);
}

// Bool get: a numeric element is true when defined and not 0, a text
// element when it reads yes, y, true or t.
int tbfagb(Table* tp, Column* cp, int row, bool* buf, int first, int n) {
  check_cells(cp);
  fitsfile* f = fptr(tp);
  int count = get_count(cp, first, n);
  if (no_elements(cp, first, n)) buf[0] = false;
  if (count == 0) return 0;
  int status = 0;
  if (is_bool(cp)) {
    std::vector<int> v(count, 0), nul(count, 0);
    fsgcfl(f, cp->number, row, first, count, v.data(), nul.data(), status);
    for (int j = 0; j < count; ++j) buf[j] = v[j] != 0 && !nul[j];
  } else if (is_string(cp)) {
    for (int j = 0; j < count; ++j) {
      std::string t = vos::lower(read_text(f, cp, row, first + j, status));
      while (!t.empty() && t.back() == ' ') t.pop_back();
      buf[j] = t == "yes" || t == "y" || t == "true" || t == "t";
    }
  } else {
    for (int j = 0; j < count; ++j) {
      double d = kIndefD;
      fsgcvd(f, cp->number, row, first + j, 1, kIndefD, &d, status);
      buf[j] = !vos::is_indef(d) && d != 0.0;
    }
  }
  tbferr(status);
  return count;
}

// Text get: string elements as stored (trailing blanks dropped), numbers in
// the column's print format.  An element is undefined when its number is the
// type's undefined value, its bool is null, or its string is empty or INDEF.
int tbfagt(Table* tp, Column* cp, int row, std::string* buf, int maxch, int first, int n,
           bool* nulls) {
  check_cells(cp);
  fitsfile* f = fptr(tp);
  int t = cp->dtype;
  if (t == kTyChar || t == 5 || t == 0 || t > kTyDouble) bad_type();
  int count = get_count(cp, first, n);
  std::size_t m = static_cast<std::size_t>(std::max(maxch, 0));
  auto flag = [&](int j, bool undefined) {
    if (nulls) nulls[j] = undefined;
  };
  if (no_elements(cp, first, n)) {
    buf[0] = is_string(cp) ? std::string() : std::string("INDEF").substr(0, m);
    flag(0, true);
  }
  if (count == 0) return 0;
  int status = 0;
  if (wide_unscaled(cp)) {
    wide_texts(tp, cp, row, first, count, buf, m, nulls);
    return count;
  }
  if (is_string(cp)) {
    // Read wide enough to tell "INDEF" from a longer word, then cut.
    static std::vector<std::string> out;
    fsgcvs(f, cp->number, row, first, count, std::max(maxch, 6), "", out, status);
    for (int j = 0; j < count && j < static_cast<int>(out.size()); ++j) {
      bool undefined = false;
      buf[j] = string_text(out[j], m, undefined);
      flag(j, undefined);
    }
  } else if (is_bool(cp)) {
    for (int j = 0; j < count; ++j) {
      int v = 0, nul = 0;
      fsgcfl(f, cp->number, row, first + j, 1, &v, &nul, status);
      buf[j] = nul ? std::string("INDEF") : vos::sprintf(cp->format, v != 0);
      if (buf[j].size() > m) buf[j].resize(m);
      flag(j, nul != 0);
    }
  } else {
    for (int j = 0; j < count; ++j) {
      int e = first + j;
      std::string s;
      bool undefined = false;
      if (t == kTyShort) {
        short v = kIndefS;
        fsgcvi(f, cp->number, row, e, 1, kIndefS, &v, status);
        s = vos::sprintf(cp->format, v);
        undefined = v == kIndefS;
      } else if (t == kTyInt) {
        int v = kIndefI;
        fsgcvj(f, cp->number, row, e, 1, kIndefI, &v, status);
        s = vos::sprintf(cp->format, v);
        undefined = v == kIndefI;
      } else if (t == kTyReal) {
        float v = kIndefR;
        fsgcve(f, cp->number, row, e, 1, kIndefR, &v, status);
        s = vos::sprintf(cp->format, v);
        undefined = v == kIndefR;
      } else {
        double v = kIndefD;
        fsgcvd(f, cp->number, row, e, 1, kIndefD, &v, status);
        s = vos::sprintf(cp->format, v);
        undefined = vos::is_indef(v);
      }
      if (s.size() > m) s.resize(m);
      buf[j] = s;
      flag(j, undefined);
    }
  }
  tbferr(status);
  return count;
}

// Typed puts: n elements from element `first` of the cell; the undefined
// value of the buffer's type writes the column's null.  A put that does not
// fit the cell is refused before anything is written.
void tbfapd(Table* tp, Column* cp, int row, const double* buf, int first, int n) {
  put_numeric<double>(tp, cp, row, buf, first, n, kIndefD, "%-25.16g", 'd', fspcld);
}

void tbfapr(Table* tp, Column* cp, int row, const float* buf, int first, int n) {
  put_numeric<float>(tp, cp, row, buf, first, n, kIndefR, "%-15.7g", 'r', fspcle);
}

void tbfapi(Table* tp, Column* cp, int row, const int* buf, int first, int n) {
  put_numeric<int>(tp, cp, row, buf, first, n, kIndefI, "%-10d", 'i', fspclj);
}

void tbfaps(Table* tp, Column* cp, int row, const short* buf, int first, int n) {
  put_numeric<short>(tp, cp, row, buf, first, n, kIndefS, "%-10d", 's', fspcli);
}

// Bool put: logical columns as such, text as yes/no, numbers as 1/0.
void tbfapb(Table* tp, Column* cp, int row, const bool* buf, int first, int n) {
  check_cells(cp);
  check_bounds(cp, first, n, 'b');
  fitsfile* f = fptr(tp);
  int status = 0;
  if (is_bool(cp)) {
    std::vector<int> v(buf, buf + n);
    fspcll(f, cp->number, row, first, n, v.data(), status);
  } else if (is_string(cp)) {
    for (int j = 0; j < n; ++j) {
      std::string s = buf[j] ? "yes" : "no";
      fspcls(f, cp->number, row, first + j, 1, 255, &s, status);
    }
  } else {
    for (int j = 0; j < n; ++j) {
      double d = buf[j] ? 1.0 : 0.0;
      fspcld(f, cp->number, row, first + j, 1, &d, status);
    }
  }
  tbferr(status);
  tp->nrows = std::max(tp->nrows, row);
}

// Text put of element 1 of one cell: a cell of a string column is written
// as its bytes where that is all a text put would do, else as tbfapt does.
void tbfptt(Table* tp, Column* cp, int row, std::string_view text) {
  check_cells(cp);
  const int width = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
  if (is_string(cp) && cp->nelem == 1) {
    int status = 0;
    if (fspcl1(fptr(tp), cp->number, row, width, text, status)) {
      tbferr(status);
      tp->nrows = std::max(tp->nrows, row);
      return;
    }
  }
  const std::string s(text);
  tbfapt(tp, cp, row, &s, width, 1, 1);
}

// Text put: string columns take the text; other columns read it as a
// number (or yes/no for logicals), and text that does not read writes null.
void tbfapt(Table* tp, Column* cp, int row, const std::string* buf, int maxch, int first,
            int n) {
  int t = cp->dtype;
  if (t == kTyChar || t == 5 || t == 0 || t > kTyDouble) bad_type();
  const std::string undefined = is_string(cp) ? "" : "INDEF";
  if (!check_put(cp, first, n, 't', buf, undefined)) return;
  fitsfile* f = fptr(tp);
  int status = 0;
  if (is_string(cp)) {
    fspcls(f, cp->number, row, first, n, std::max(maxch, 0), buf, status);
  } else {
    for (int j = 0; j < n; ++j) {
      int e = first + j;
      vos::sscan(buf[j]);
      bool undef = false;
      if (t == kTyBool) {
        bool b = false;
        vos::gargb(b);
        int v = b ? 1 : 0;
        if (vos::nscan() < 1) fspclu(f, cp->number, row, e, 1, status);
        else fspcll(f, cp->number, row, e, 1, &v, status);
        continue;
      }
      if (t == kTyShort) {
        short v = kIndefS;
        vos::gargs(v);
        undef = vos::nscan() < 1 || v == kIndefS;
        if (!undef) fspcli(f, cp->number, row, e, 1, &v, status);
      } else if (t == kTyInt) {
        int v = kIndefI;
        vos::gargi(v);
        undef = vos::nscan() < 1 || v == kIndefI;
        if (!undef) fspclj(f, cp->number, row, e, 1, &v, status);
      } else if (t == kTyReal) {
        float v = kIndefR;
        vos::gargr(v);
        undef = vos::nscan() < 1 || vos::is_indef(v);
        if (!undef) fspcle(f, cp->number, row, e, 1, &v, status);
      } else {
        double v = kIndefD;
        vos::gargd(v);
        undef = vos::nscan() < 1 || vos::is_indef(v);
        if (!undef) fspcld(f, cp->number, row, e, 1, &v, status);
      }
      if (undef) fspclu(f, cp->number, row, e, 1, status);
    }
  }
  tbferr(status);
  tp->nrows = std::max(tp->nrows, row);
}

}  // namespace tbl
