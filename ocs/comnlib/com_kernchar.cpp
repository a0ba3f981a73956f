// Conversion kernels whose source is character data: read into every kind,
// copied into character targets (quotes doubled on request) and read as
// hexadecimal into binary targets.  Character data are read in the
// character set of the format's locale, else of the context's default
// locale, else iso_1.
#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "comnlib/com_charclass.h"
#include "comnlib/comn_alloc.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_loc.h"
#include "comnlib/comn_locdate.h"
#include "comnlib/com_date.h"
#include "comnlib/com_datetext.h"
#include "comnlib/com_inttext.h"
#include "comnlib/com_kern.h"
#include "comnlib/com_money.h"
#include "comnlib/com_num.h"

namespace {

enum class T { Bit, I1, I2, I4, I8, Flt4, Flt8, Mny4, Money, Num, Date4, Datetime, Char, Bin,
               VarChar, VarBin };

const COM_CHARATTRIB* charattr(COMN_CONTEXT* ctx, COMN_DATAFORMAT* fmt) {
  return com_intl_charattr(ctx, fmt);
}

// The character-type cache entry of a format's locale (null: none).
comn_loccache* ctype_entry(COMN_CONTEXT* ctx, COMN_DATAFORMAT* fmt) {
  return comn__fmt_entry(ctx, fmt, COMN_LC_CTYPE);
}

// True when the two sides' texts are in different character sets.
bool needs_conversion(COMN_CONTEXT* ctx, COMN_DATAFORMAT* sf, COMN_DATAFORMAT* df) {
  comn_loccache* se = ctype_entry(ctx, sf);
  comn_loccache* de = ctype_entry(ctx, df);
  return se && de && se != de && se->chardesc != de->chardesc;
}

int syntax(std::int32_t* outlen) {
  *outlen = 0;
  return COMN_ESYNTAX;
}

// The text reduced to single-byte forms, whole (no length limit).
std::string reduce(const char* text, int n, const COM_CHARATTRIB* attr) {
  std::string s(static_cast<size_t>(n), '\0');
  s.resize(static_cast<size_t>(com__conv2ascii(text, n, s.data(), n, attr)));
  return s;
}

int to_int(T t, const char* text, int n, void* dst, std::int32_t* outlen,
           const COM_CHARATTRIB* a) {
  int r;
  if (t == T::I1) {
    std::uint8_t v = 0;
    r = com__chtoi1_mb(text, n, &v, a);
    std::memcpy(dst, &v, 1);
    *outlen = 1;
  } else if (t == T::I2) {
    std::int16_t v = 0;
    r = com__chtoi2_mb(text, n, &v, a);
    std::memcpy(dst, &v, 2);
    *outlen = 2;
  } else {
    std::int32_t v = 0;
    r = t == T::I8 ? com__chtoi8_mb(text, n, &v, a) : com__chtoi4_mb(text, n, &v, a);
    if (t == T::Bit) {
      unsigned char b = v != 0;
      if (r >= 0) std::memcpy(dst, &b, 1);
      *outlen = 1;
    } else {
      std::memcpy(dst, &v, 4);
      *outlen = 4;
    }
  }
  if (r == -2) return syntax(outlen);
  return r == -1 ? COMN_EOVERFLOW : COMN_OK;
}

int to_float(bool four, const char* text, int n, void* dst, std::int32_t* outlen,
             const COM_CHARATTRIB* a) {
  if (n >= 1024) return syntax(outlen);
  std::string s = reduce(text, n, a);
  s.resize(std::strlen(s.c_str()));
  while (!s.empty() && com_isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  *outlen = four ? 4 : 8;
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  bool range = errno == ERANGE;
  if (!four) std::memcpy(dst, &v, 8);
  if (range && v == 0.0) {
    std::memset(dst, 0, static_cast<size_t>(*outlen));
    return COMN_EUNDERFLOW;
  }
  if (!four && range && std::isinf(v)) {
    double m = v < 0 ? -DBL_MAX : DBL_MAX;
    std::memcpy(dst, &m, 8);
    return COMN_EOVERFLOW;
  }
  if (end != s.c_str() + s.size()) return syntax(outlen);
  if (four) {
    float f = v > FLT_MAX ? FLT_MAX : v < -FLT_MAX ? -FLT_MAX : static_cast<float>(v);
    std::memcpy(dst, &f, 4);
    if (v > FLT_MAX || v < -FLT_MAX) return COMN_EOVERFLOW;
  }
  return COMN_OK;
}

// The scale a text carries: fraction digits less the exponent (at least 0).
int text_scale(const std::string& s) {
  size_t e = s.find_first_of("eE");
  size_t dot = s.find('.');
  int frac = 0;
  if (dot != std::string::npos && dot < e)
    for (size_t i = dot + 1; i < std::min(e, s.size()) && com_isdigit(static_cast<unsigned char>(s[i])); ++i)
      ++frac;
  long exp = e == std::string::npos ? 0 : std::strtol(s.c_str() + e + 1, nullptr, 10);
  return static_cast<int>(std::clamp<long>(frac - exp, 0, 77));
}

int to_num(COMN_DATAFORMAT* sf, const char* text, int n, COMN_DATAFORMAT* df, void* dst,
           std::int32_t* outlen, const COM_CHARATTRIB* a) {
  bool own_prec = df->precision == COMN_SRC_PRECSCALE;
  bool own_scale = df->scale == COMN_SRC_PRECSCALE;
  if (!own_prec && (df->precision < 1 || df->precision > 77)) return COMN_EPRECISION;
  if (!own_scale && (df->scale < 0 || df->scale > 77)) return COMN_ESCALE;
  std::string s = reduce(text, n, a);
  if (sf->format & COMN_FMT_NULLTERM) s.resize(std::strlen(s.c_str()));
  int scale = own_scale ? text_scale(s) : df->scale;
  int prec = own_prec ? 77 : df->precision;
  auto* d = static_cast<unsigned char*>(dst);
  std::uint8_t v[COM_NUME_MAXLEN]{};
  int rc = com__subchartoexctnume(s.data(), static_cast<int>(s.size()), v,
                                  comn_num_getlen(prec), prec, scale, 0);
  if (rc == 2) return syntax(outlen);
  if (own_prec && rc == 0) {
    // The precision is the digits the value needs, at least its scale.
    COM_EXCTNUME x{comn_num_getlen(77), 77, static_cast<std::uint8_t>(scale), v};
    char area[COM_NUME_TEXTMAX];
    int at = com__subexctnumetochar(&x, area, sizeof area);
    int digits = 0;
    bool lead = true;
    for (int i = at; i < static_cast<int>(sizeof area); ++i) {
      if (!com_isdigit(static_cast<unsigned char>(area[i]))) continue;
      if (lead && area[i] == '0') continue;
      lead = false;
      ++digits;
    }
    prec = std::max({digits, scale, 1});
    // Move the magnitude to the front: the value takes the bytes of prec.
    int from = comn_num_getlen(77), to = comn_num_getlen(prec);
    std::memmove(v + 1, v + 1 + (from - to), static_cast<size_t>(to - 1));
    std::memset(v + to, 0, static_cast<size_t>(COM_NUME_MAXLEN - to));
  }
  d[0] = static_cast<unsigned char>(prec);
  d[1] = static_cast<unsigned char>(scale);
  std::memcpy(d + 2, v, COM_NUME_MAXLEN);
  *outlen = comn_num_getlen(prec) + 2;
  if (rc == 0) return COMN_OK;
  return rc == 6 ? COMN_ETRUNCATED : COMN_EOVERFLOW;
}

int to_money(bool four, const char* text, int n, void* dst, std::int32_t* outlen,
             const COM_CHARATTRIB* a) {
  int rc;
  if (four) {
    COM_MONEY4 m{};
    rc = com__mny4fromchar_mb(&m, text, n, 0, a);
    if (rc == 0) std::memcpy(dst, &m, 4);
    *outlen = 4;
  } else {
    COM_MONEY m{};
    rc = com__mnyfromchar_mb(&m, text, n, 0, a);
    if (rc == 0) std::memcpy(dst, &m, 8);
    *outlen = 8;
  }
  if (rc == 2) return syntax(outlen);
  return rc == 1 ? COMN_EOVERFLOW : COMN_OK;
}

// Dates: the text of a locale is parsed in utf8 (converted first) under the
// locale's month names and date order; without a locale the built-in names,
// order and iso_1 attributes apply.
int parse_date(bool four, const char* text, int n, void* dst, int order,
               const char* const* months, const char* const* shortmonths,
               const COM_CHARATTRIB* a) {
  if (four) {
    COM_DATETIME4 v{};
    int rc = com__date4fromchar_mb(&v, text, n, 0, order, months, shortmonths, a);
    if (rc == 0) std::memcpy(dst, &v, 4);
    return rc;
  }
  COM_DATETIME v{};
  int rc = com__datefromchar_mb(&v, text, n, 0, order, months, shortmonths, a);
  if (rc == 0) std::memcpy(dst, &v, 8);
  return rc;
}

int to_date(bool four, COMN_CONTEXT* ctx, COMN_DATAFORMAT* sf, const char* text, int n,
            void* dst, std::int32_t* outlen) {
  *outlen = four ? 4 : 8;
  const int order = com_intl_dateorder_id(ctx, sf);
  const char* const* months = com_intl_months(ctx, sf);
  const char* const* shortmonths = com_intl_shortmonths(ctx, sf);
  comn_loccache* se = ctype_entry(ctx, sf);
  int rc;
  if (se && ctx->intlstate && ctx->intlstate->utf8desc && ctx->intlstate->utf8desc->attr) {
    size_t room = 3 * static_cast<size_t>(n) + 1;
    auto* buf = static_cast<std::uint8_t*>(comn_malloc(room));
    if (!buf) return -1;
    std::int32_t produced = 0;
    int st = comn__convt_to_utf8(ctx, 1, sf, se, reinterpret_cast<const std::uint8_t*>(text), buf,
                                 static_cast<int>(room), &produced);
    if (st != COMN_OK) {
      comn_free(buf);
      return st;
    }
    rc = parse_date(four, reinterpret_cast<const char*>(buf), produced, dst, order, months,
                    shortmonths, ctx->intlstate->utf8desc->attr);
    comn_free(buf);
  } else {
    rc = parse_date(four, text, n, dst, order, months, shortmonths, com_get_charattrib());
  }
  if (rc < 0) return syntax(outlen);
  return rc > 0 ? COMN_EOVERFLOW : COMN_OK;
}

int hexval(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int to_binary(bool vary, const char* text, int n, COMN_DATAFORMAT* df, void* dst,
              std::int32_t* outlen) {
  comn__hex2binbytes(&text, &n);
  auto* out = static_cast<unsigned char*>(dst) + (vary ? 2 : 0);
  auto set_len = [&](int k) {
    if (vary) {
      auto w = static_cast<std::int16_t>(k);
      std::memcpy(dst, &w, 2);
    }
  };
  *outlen = 0;
  int room = vary ? COMN_VARY_ROOM : df->maxlength;
  if (!vary && room <= 0 && n > 0) return COMN_EOVERFLOW;
  int budget = std::min((n + 1) / 2, std::max(room, 0));
  int made = 0, i = 0;
  if (n % 2 == 1 && budget > 0) {
    int h = hexval(static_cast<unsigned char>(text[0]));
    if (h < 0) return set_len(0), syntax(outlen);
    out[made++] = static_cast<unsigned char>(h);
    i = 1;
  }
  for (; made < budget; i += 2) {
    int h = hexval(static_cast<unsigned char>(text[i]));
    int l = hexval(static_cast<unsigned char>(text[i + 1]));
    if (h < 0 || l < 0) return set_len(0), syntax(outlen);
    out[made++] = static_cast<unsigned char>(h << 4 | l);
  }
  if (i < n) {
    set_len(made);
    *outlen = vary ? COMN_VARY_OUTLEN : made;
    return COMN_ETRUNCATED;
  }
  if (vary) {
    set_len(made);
    *outlen = COMN_VARY_OUTLEN;
    return COMN_OK;
  }
  *outlen = made;
  return comn__padbin(made, df, dst, outlen);
}

// Bytes of whole characters within `limit` bytes of text.
int whole_chars(const char* text, int limit, const COM_CHARATTRIB* a) {
  if (!a || a->flags[0] <= 1 || !a->lentab) return limit;
  int i = 0;
  while (i < limit) {
    int w = std::max(1, a->lentab[static_cast<unsigned char>(text[i])] & 0x0F);
    if (i + w > limit) break;
    i += w;
  }
  return i;
}

int to_char(COMN_CONTEXT* ctx, COMN_DATAFORMAT* sf, const char* text, int n,
            COMN_DATAFORMAT* df, void* dst, std::int32_t* outlen, const COM_CHARATTRIB* a) {
  int max = std::max(0, df->maxlength);
  *outlen = std::min(n, max);
  if (*outlen > 0 && needs_conversion(ctx, sf, df)) {
    int st = comn_charset_convert(ctx, COMN_LC_CTYPE, sf, text, df, dst, outlen);
    if (st != COMN_OK) return st;
  } else if (df->format & COMN_FMT_QUOTES) {
    int st = comn__escchar(text, sf, dst, df, outlen, a, '\'');
    if (st != COMN_OK) return st;
  } else {
    *outlen = whole_chars(text, *outlen, a);
    if (*outlen > 0 && dst != text) std::memmove(dst, text, static_cast<size_t>(*outlen));
  }
  if (*outlen == max && max > 0 && (df->format & COMN_FMT_NULLTERM)) {
    static_cast<char*>(dst)[max - 1] = '\0';
    return COMN_ETRUNCATED;
  }
  int st = comn__padchar(n, df, dst, outlen);
  return st == COMN_EOVERFLOW ? COMN_ETRUNCATED : st;
}

int to_varchar(COMN_CONTEXT* ctx, COMN_DATAFORMAT* sf, const char* text, int n,
               COMN_DATAFORMAT* df, void* dst, std::int32_t* outlen, const COM_CHARATTRIB* a) {
  int k;
  if (needs_conversion(ctx, sf, df)) {
    COMN_DATAFORMAT room = *df;
    room.maxlength = COMN_VARY_ROOM;
    room.format = 0;
    std::int32_t produced = 0;
    int st = comn_charset_convert(ctx, COMN_LC_CTYPE, sf, text, &room,
                                  static_cast<char*>(dst) + 2, &produced);
    if (st != COMN_OK) return st;
    k = std::clamp<int>(produced, 0, COMN_VARY_ROOM);
  } else {
    k = whole_chars(text, std::min(n, COMN_VARY_ROOM), a);
    std::memmove(static_cast<char*>(dst) + 2, text, static_cast<size_t>(k));
  }
  auto w = static_cast<std::int16_t>(k);
  std::memcpy(dst, &w, 2);
  *outlen = COMN_VARY_OUTLEN;
  return k >= n ? COMN_OK : COMN_ETRUNCATED;
}

int kernel(T t, COMN_CONTEXT* ctx, COMN_DATAFORMAT* sf, const void* src, COMN_DATAFORMAT* df,
           void* dst, std::int32_t* outlen) {
  COMN_CONTEXT defaults{};
  if (!ctx) ctx = &defaults;  // no context: built-in defaults
  const COM_CHARATTRIB* a = charattr(ctx, sf);
  auto* text = static_cast<const char*>(src);
  int n = std::max(0, sf->maxlength);
  switch (t) {
    case T::Bit: case T::I1: case T::I2: case T::I4: case T::I8:
      return to_int(t, text, n, dst, outlen, a);
    case T::Flt4: case T::Flt8: return to_float(t == T::Flt4, text, n, dst, outlen, a);
    case T::Num: return to_num(sf, text, n, df, dst, outlen, a);
    case T::Mny4: case T::Money: return to_money(t == T::Mny4, text, n, dst, outlen, a);
    case T::Date4: case T::Datetime: return to_date(t == T::Date4, ctx, sf, text, n, dst, outlen);
    case T::Bin: case T::VarBin: return to_binary(t == T::VarBin, text, n, df, dst, outlen);
    case T::Char: return to_char(ctx, sf, text, n, df, dst, outlen, a);
    case T::VarChar: return to_varchar(ctx, sf, text, n, df, dst, outlen, a);
  }
  return COMN_ESYNTAX;
}

}  // namespace

void comn__hex2binbytes(const char** text, int* length) {
  const char* p = *text;
  int n = *length;
  while (n > 0 && com_isspace(static_cast<unsigned char>(p[n - 1]))) --n;
  while (n > 0 && com_isspace(static_cast<unsigned char>(*p))) ++p, --n;
  if (n >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2, n -= 2;
  *text = p;
  *length = n;
}

int comn__escchar(const void* src, COMN_DATAFORMAT* sf, void* dst, COMN_DATAFORMAT* df,
                  std::int32_t* outlen, const COM_CHARATTRIB* a, int esc) {
  auto* s = static_cast<const unsigned char*>(src);
  auto* d = static_cast<unsigned char*>(dst);
  const int n = std::max(0, sf->maxlength), max = df->maxlength;
  int count = 0;
  for (int i = 0; i < n;) {
    int w = 1;
    if (a && a->flags[0] > 1 && a->lentab) w = std::clamp(a->lentab[s[i]] & 0x0F, 1, n - i);
    int ascii = w == 1 ? s[i] : -1;
    int need = ascii == esc ? 2 * w : w;
    if (count + need > max) {
      *outlen = count;
      return COMN_ETRUNCATED;
    }
    std::memcpy(d + count, s + i, static_cast<size_t>(w));
    if (ascii == esc) std::memcpy(d + count + w, s + i, static_cast<size_t>(w));
    count += need;
    i += w;
    if (ascii == 0 && (df->format & COMN_FMT_NULLTERM)) break;
  }
  *outlen = count;
  return COMN_OK;
}

#define CDEF(tgt, T_)                                                                     \
  int comn_charto##tgt(COMN_CONTEXT* c, COMN_DATAFORMAT* sf, const void* s,               \
                       COMN_DATAFORMAT* df, void* d, std::int32_t* o) {                   \
    return kernel(T::T_, c, sf, s, df, d, o);                                             \
  }
CDEF(bit, Bit) CDEF(i1, I1) CDEF(i2, I2) CDEF(i4, I4) CDEF(i8, I8) CDEF(flt4, Flt4)
CDEF(flt8, Flt8) CDEF(mny4, Mny4) CDEF(money, Money) CDEF(num, Num) CDEF(date4, Date4)
CDEF(datetime, Datetime) CDEF(char, Char) CDEF(bin, Bin) CDEF(varchar, VarChar)
CDEF(varbin, VarBin)
