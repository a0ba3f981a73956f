// Conversion-matrix routines from text (char, string, ntbstring, varychar)
// to integers, floats, money and dates, read under a character set: the
// caller's attribute record, else the built-in iso_1 record.  The routines
// without the _mb infix stand in no cell and always use the built-in record.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "comnlib/com_charclass.h"
#include "comnlib/com_cvt.h"
#include "comnlib/com_datetext.h"
#include "comnlib/com_date.h"
#include "comnlib/com_inttext.h"
#include "comnlib/com_money.h"

namespace {

const COM_CHARATTRIB* attr_or_builtin(const COM_CHARATTRIB* a) {
  return a ? a : com_get_charattrib();
}

// The text of a varychar source: the srclen bytes after its length word;
// false when the length word is 0 (no value).
bool vary_text(const void* src, const char** text) {
  std::int16_t n;
  std::memcpy(&n, src, 2);
  *text = static_cast<const char*>(src) + 2;
  return n != 0;
}

int to_i1(const char* t, int n, void* dst, const COM_CHARATTRIB* a) {
  std::uint8_t v = 0;
  int r = com__chtoi1_mb(t, n, &v, attr_or_builtin(a));
  std::memcpy(dst, &v, 1);
  return r == -2 ? -3 : r == -1 ? -1 : 1;
}

int to_i2(const char* t, int n, void* dst, const COM_CHARATTRIB* a) {
  std::int16_t v = 0;
  int r = com__chtoi2_mb(t, n, &v, attr_or_builtin(a));
  std::memcpy(dst, &v, 2);
  return r == -2 ? -3 : r == -1 ? -1 : 2;
}

int to_i4(const char* t, int n, void* dst, const COM_CHARATTRIB* a) {
  std::int32_t v = 0;
  int r = com__chtoi4_mb(t, n, &v, attr_or_builtin(a));
  std::memcpy(dst, &v, 4);
  return r == -2 ? -3 : r == -1 ? -1 : r == 0 ? 0 : 4;
}

// Float text: `checked` selects the single-byte reduction and floatcheck;
// `finite_on_overflow` stores the largest finite value instead of the
// infinity the reading gave.
int to_flt(const char* t, int n, void* dst, bool four, const COM_CHARATTRIB* a, bool checked,
           bool finite_on_overflow) {
  std::string work;
  if (checked && a) {
    work.resize(static_cast<size_t>(n > 256 ? n : 256));
    int m = com__conv2ascii(t, n, work.data(), static_cast<int>(work.size()), a);
    work.resize(static_cast<size_t>(m));
  } else {
    work.assign(t, static_cast<size_t>(n));
  }
  while (!work.empty() && com_isspace(static_cast<unsigned char>(work.back()))) work.pop_back();
  // An embedded NUL would hide the rest of the text from the reading.
  if (work.find('\0') != std::string::npos) return -3;
  if (checked && !work.empty() && floatcheck(work.c_str(), a ? a->typemap : nullptr) != 0)
    return -3;
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(work.c_str(), &end);
  bool range = errno == ERANGE;
  if (end != work.c_str() + work.size()) return -3;
  if (range && v == 0.0) return -2;
  if (!four) {
    if (range && std::isinf(v)) {
      if (finite_on_overflow) v = v < 0 ? -DBL_MAX : DBL_MAX;
      std::memcpy(dst, &v, 8);
      return -1;
    }
    std::memcpy(dst, &v, 8);
    return 8;
  }
  if (v > FLT_MAX || v < -FLT_MAX) {
    float f = v < 0 ? -FLT_MAX : FLT_MAX;
    std::memcpy(dst, &f, 4);
    return -1;
  }
  float f = static_cast<float>(v);
  std::memcpy(dst, &f, 4);
  return 4;
}

int to_money(const char* t, int n, void* dst, const COM_CHARATTRIB* a) {
  COM_MONEY m{};
  int r = com__mnyfromchar_mb(&m, t, n, 0, attr_or_builtin(a));
  if (r == 0) std::memcpy(dst, &m, 8);
  return r == 0 ? 8 : r == 1 ? -1 : -3;
}

int to_mny4(const char* t, int n, void* dst, const COM_CHARATTRIB* a) {
  COM_MONEY4 m{};
  int r = com__mny4fromchar_mb(&m, t, n, 0, attr_or_builtin(a));
  if (r == 0) std::memcpy(dst, &m, 4);
  return r == 0 ? 4 : r == 1 ? -1 : -3;
}

struct DateArgs {
  const char* const* months;
  const char* const* shortmonths;
  int order;
  const COM_CHARATTRIB* attr;
};

DateArgs date_args(const char* const* months, const char* const* shortmonths, int order,
                   const COM_CHARATTRIB* a) {
  return DateArgs{months ? months : com__get_months(),
                  shortmonths ? shortmonths : com__get_shortmonths(),
                  order < 0 ? com__get_date_order_id() : order, attr_or_builtin(a)};
}

int to_datetime(const char* t, int n, void* dst, const DateArgs& d) {
  COM_DATETIME v{};
  int r = com__datefromchar_mb(&v, t, n, 0, d.order, d.months, d.shortmonths, d.attr);
  if (r < 0) return -3;
  if (r > 0) return -1;
  std::memcpy(dst, &v, 8);
  return 8;
}

int to_date4(const char* t, int n, void* dst, const DateArgs& d) {
  COM_DATETIME4 v{};
  int r = com__date4fromchar_mb(&v, t, n, 0, d.order, d.months, d.shortmonths, d.attr);
  if (r < 0) return -3;
  if (r > 0) return -1;
  std::memcpy(dst, &v, 4);
  return 4;
}

}  // namespace

// 0 when the NUL-terminated text may be a float, else 1.  Digits are the
// type map's class bit 4 when a map is given.
int comn::floatcheck(const char* text, const std::uint8_t* typemap) {
  bool sign = false, digit = false, point = false, mark = false, esign = false, edigit = false;
  auto is_digit = [typemap](unsigned char c) {
    return typemap ? (typemap[4 * c + 3] & 4) != 0 : com_isdigit(c) != 0;
  };
  for (const char* p = text; *p; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if (is_digit(c)) {
      (mark ? edigit : digit) = true;
    } else if (c == '+' || c == '-') {
      if (!sign && !digit && !point && !mark) sign = true;
      else if (mark && !esign && !edigit) esign = true;
      else return 1;
    } else if (c == 'e' || c == 'E') {
      if (mark || !digit) return 1;
      mark = true;
    } else if (c == '.') {
      if (point) return 1;
      point = true;
    } else if (c == ' ' || c == '\t') {
      if (!digit && !point) continue;
      for (; *p; ++p)
        if (*p != ' ' && *p != '\t') return 1;
      break;
    } else {
      return 1;
    }
  }
  if (esign && !edigit) return 1;
  return digit ? 0 : 1;
}

#define NO_SOURCE (!src || srclen == 0)
#define TXT static_cast<const char*>(src)

// Cell routines: char, string and ntbstring sources.
int com_mb_chartoi1(const void* src, int srclen, void* dst, int, const COM_CHARATTRIB* a) {
  return NO_SOURCE ? 0 : to_i1(TXT, srclen, dst, a);
}
int com_mb_chartoi2(const void* src, int srclen, void* dst, int, const COM_CHARATTRIB* a) {
  return NO_SOURCE ? 0 : to_i2(TXT, srclen, dst, a);
}
int com_mb_chartoi4(const void* src, int srclen, void* dst, int, const COM_CHARATTRIB* a) {
  return NO_SOURCE ? 0 : to_i4(TXT, srclen, dst, a);
}
int com_mb_chartoflt8(const void* src, int srclen, void* dst, int, const COM_CHARATTRIB* a) {
  return NO_SOURCE ? 0 : to_flt(TXT, srclen, dst, false, a, true, false);
}
int com_mb_chartoflt4(const void* src, int srclen, void* dst, int, const COM_CHARATTRIB* a) {
  return NO_SOURCE ? 0 : to_flt(TXT, srclen, dst, true, a, true, false);
}
int com_mb_chartomoney(const void* src, int srclen, void* dst, int, const COM_CHARATTRIB* a) {
  return NO_SOURCE ? 0 : to_money(TXT, srclen, dst, a);
}
int com_mb_chartomny4(const void* src, int srclen, void* dst, int, const COM_CHARATTRIB* a) {
  return NO_SOURCE ? 0 : to_mny4(TXT, srclen, dst, a);
}
int com_mb_chartodatetime(const void* src, int srclen, void* dst, int,
                          const char* const* months, const char* const* shortmonths,
                          int order, const COM_CHARATTRIB* a) {
  return NO_SOURCE ? 0 : to_datetime(TXT, srclen, dst, date_args(months, shortmonths, order, a));
}
int com_mb_chartodate4(const void* src, int srclen, void* dst, int, const char* const* months,
                       const char* const* shortmonths, int order, const COM_CHARATTRIB* a) {
  return NO_SOURCE ? 0 : to_date4(TXT, srclen, dst, date_args(months, shortmonths, order, a));
}

// Cell routines: varychar sources (the srclen bytes after the length word).
#define VARY(expr)                   \
  if (NO_SOURCE) return 0;           \
  const char* t;                     \
  if (!vary_text(src, &t)) return 0; \
  return expr;

int com_mb_varychartoi1(const void* src, int srclen, void* dst, int, const COM_CHARATTRIB* a) {
  VARY(to_i1(t, srclen, dst, a))
}
int com_mb_varychartoi2(const void* src, int srclen, void* dst, int, const COM_CHARATTRIB* a) {
  VARY(to_i2(t, srclen, dst, a))
}
int com_mb_varychartoi4(const void* src, int srclen, void* dst, int, const COM_CHARATTRIB* a) {
  VARY(to_i4(t, srclen, dst, a))
}
int com_mb_varychartoflt8(const void* src, int srclen, void* dst, int, const COM_CHARATTRIB* a) {
  VARY(to_flt(t, srclen, dst, false, a, true, false))
}
int com_mb_varychartoflt4(const void* src, int srclen, void* dst, int, const COM_CHARATTRIB* a) {
  VARY(to_flt(t, srclen, dst, true, a, true, false))
}
int com_mb_varychartomoney(const void* src, int srclen, void* dst, int,
                           const COM_CHARATTRIB* a) {
  VARY(to_money(t, srclen, dst, a))
}
int com_mb_varychartomny4(const void* src, int srclen, void* dst, int, const COM_CHARATTRIB* a) {
  VARY(to_mny4(t, srclen, dst, a))
}
int com_mb_varychartodatetime(const void* src, int srclen, void* dst, int,
                              const char* const* months, const char* const* shortmonths,
                              int order, const COM_CHARATTRIB* a) {
  VARY(to_datetime(t, srclen, dst, date_args(months, shortmonths, order, a)))
}
int com_mb_varychartodate4(const void* src, int srclen, void* dst, int,
                           const char* const* months, const char* const* shortmonths, int order,
                           const COM_CHARATTRIB* a) {
  VARY(to_date4(t, srclen, dst, date_args(months, shortmonths, order, a)))
}

// Routines in no cell: always the built-in record; the float readers skip
// the reduction and the check and store the largest finite value on overflow.
int com_chartoi1(const void* s, int n, void* d, int l) { return com_mb_chartoi1(s, n, d, l, nullptr); }
int com_chartoi2(const void* s, int n, void* d, int l) { return com_mb_chartoi2(s, n, d, l, nullptr); }
int com_chartoi4(const void* s, int n, void* d, int l) { return com_mb_chartoi4(s, n, d, l, nullptr); }
int com_chartomoney(const void* s, int n, void* d, int l) {
  return com_mb_chartomoney(s, n, d, l, nullptr);
}
int com_chartomny4(const void* s, int n, void* d, int l) {
  return com_mb_chartomny4(s, n, d, l, nullptr);
}
int com_chartoflt8(const void* src, int srclen, void* dst, int) {
  return NO_SOURCE ? 0 : to_flt(TXT, srclen, dst, false, nullptr, false, true);
}
int com_chartoflt4(const void* src, int srclen, void* dst, int) {
  return NO_SOURCE ? 0 : to_flt(TXT, srclen, dst, true, nullptr, false, true);
}
int com_chartodatetime(const void* s, int n, void* d, int l, const char* const* m,
                       const char* const* sm, int order) {
  return com_mb_chartodatetime(s, n, d, l, m, sm, order, nullptr);
}
int com_chartodate4(const void* s, int n, void* d, int l, const char* const* m,
                    const char* const* sm, int order) {
  return com_mb_chartodate4(s, n, d, l, m, sm, order, nullptr);
}
int com_varychartoi1(const void* s, int n, void* d, int l) {
  return com_mb_varychartoi1(s, n, d, l, nullptr);
}
int com_varychartoi2(const void* s, int n, void* d, int l) {
  return com_mb_varychartoi2(s, n, d, l, nullptr);
}
int com_varychartoi4(const void* s, int n, void* d, int l) {
  return com_mb_varychartoi4(s, n, d, l, nullptr);
}
int com_varychartomoney(const void* s, int n, void* d, int l) {
  return com_mb_varychartomoney(s, n, d, l, nullptr);
}
int com_varychartomny4(const void* s, int n, void* d, int l) {
  return com_mb_varychartomny4(s, n, d, l, nullptr);
}
int com_varychartoflt8(const void* src, int srclen, void* dst, int) {
  VARY(to_flt(t, srclen, dst, false, nullptr, false, true))
}
int com_varychartoflt4(const void* src, int srclen, void* dst, int) {
  VARY(to_flt(t, srclen, dst, true, nullptr, false, true))
}
int com_varychartodatetime(const void* s, int n, void* d, int l, const char* const* m,
                           const char* const* sm, int order) {
  return com_mb_varychartodatetime(s, n, d, l, m, sm, order, nullptr);
}
int com_varychartodate4(const void* s, int n, void* d, int l, const char* const* m,
                        const char* const* sm, int order) {
  return com_mb_varychartodate4(s, n, d, l, m, sm, order, nullptr);
}
