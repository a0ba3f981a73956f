// Conversion-matrix routines to text: integers, bits, floats, money,
// datetimes and raw bytes to the four text targets.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "comnlib/com_cvt.h"
#include "comnlib/com_date.h"
#include "comnlib/com_datetext.h"
#include "comnlib/com_inttext.h"

namespace {

enum class Text { Char, String, Ntb, Vary };

inline void set_vlen(void* v, int n) {
  std::int16_t w = static_cast<std::int16_t>(n);
  std::memcpy(v, &w, 2);
}

// Room a target offers for text, or -1 when unbounded.
int room_of(Text k, int dstlen) {
  switch (k) {
    case Text::Char:
    case Text::Vary: return dstlen < 0 ? -1 : dstlen;
    default: return dstlen < 1 ? -1 : dstlen - 1;
  }
}

// Stores `len` bytes of text with the target's padding, terminator or length
// word and returns len.
int store(Text k, const char* text, int len, void* dst, int dstlen) {
  char* d = static_cast<char*>(dst);
  switch (k) {
    case Text::Char:
      std::memcpy(d, text, static_cast<size_t>(len));
      com__padchar(d, dstlen, len);
      break;
    case Text::String:
      std::memcpy(d, text, static_cast<size_t>(len));
      com__padstring(d, dstlen, len);
      break;
    case Text::Ntb:
      std::memcpy(d, text, static_cast<size_t>(len));
      d[len] = '\0';
      break;
    case Text::Vary:
      std::memcpy(d + 2, text, static_cast<size_t>(len));
      set_vlen(dst, len);
      break;
  }
  return len;
}

// The overflow marker: "*" with the target's layout, written only where it
// fits; returns -1.
int overflow(Text k, void* dst, int dstlen) {
  int room = room_of(k, dstlen);
  if (room == 0) {
    if (k == Text::String || k == Text::Ntb) static_cast<char*>(dst)[0] = '\0';
    if (k == Text::Vary) set_vlen(dst, 0);
    return -1;
  }
  store(k, "*", 1, dst, dstlen);
  return -1;
}

// Stores text when it fits the target, else the overflow marker.
int fit(Text k, const char* text, int len, void* dst, int dstlen) {
  int room = room_of(k, dstlen);
  if (room >= 0 && len > room) return overflow(k, dst, dstlen);
  return store(k, text, len, dst, dstlen);
}

int int_to_text(Text k, long v, void* dst, int dstlen) {
  char buf[32];
  int n = com__itochar(v, buf, 0);
  return fit(k, buf, n, dst, dstlen);
}

// Float text as the matrix writes it.
int float_text(double v, const char* fmt, bool ntb, char* out, int outsize) {
  int n;
  if (fmt) n = std::snprintf(out, static_cast<size_t>(outsize), fmt, v);
  else n = std::snprintf(out, static_cast<size_t>(outsize), "%.*g", 17, v);
  if (n < 0 || n >= outsize - 4) return -1;
  if (n >= 2 && out[0] == '0' && out[1] == '.') {
    std::memmove(out, out + 1, static_cast<size_t>(n));
    --n;
  }
  if (!fmt && std::isfinite(v)) {
    char* e = std::strchr(out, 'e');
    bool point = std::strchr(out, '.') != nullptr;
    if (!point && !e) {
      std::memcpy(out + n, ".0", 3);
      n += 2;
    } else if (ntb && e && !point) {
      int at = static_cast<int>(e - out);
      std::memmove(out + at + 2, out + at, static_cast<size_t>(n - at + 1));
      out[at] = '.';
      out[at + 1] = '0';
      n += 2;
    }
  }
  return n;
}

int flt_to_text(Text k, double v, const char* fmt, void* dst, int dstlen) {
  char buf[512];
  int n = float_text(v, fmt, k == Text::Ntb, buf, sizeof buf);
  if (n < 0) return overflow(k, dst, dstlen);
  return fit(k, buf, n, dst, dstlen);
}

int money_to_text(Text k, const COM_MONEY* m, void* dst, int dstlen) {
  char area[24];
  char* p = com__mnytochar(m, area, sizeof area, 0);
  if (!p) return -1;
  int len = static_cast<int>(area + sizeof area - p);
  int room = room_of(k, dstlen);
  if (room >= 0 && len > room) return -1;  // target left alone
  return store(k, p, len, dst, dstlen);
}

std::int64_t load_int(const void* src, int size) {
  switch (size) {
    case 1: return *static_cast<const unsigned char*>(src);
    case 2: { std::int16_t v; std::memcpy(&v, src, 2); return v; }
    default: { std::int32_t v; std::memcpy(&v, src, 4); return v; }
  }
}

}  // namespace

#define INT_TOTEXT(name, size)                                                             \
  int com_##name##tochar(const void* s, int l, void* d, int dl) {                          \
    return (!s || !l) ? 0 : int_to_text(Text::Char, static_cast<long>(load_int(s, size)), d, dl); \
  }                                                                                        \
  int com_##name##tostring(const void* s, int l, void* d, int dl) {                        \
    return (!s || !l) ? 0 : int_to_text(Text::String, static_cast<long>(load_int(s, size)), d, dl); \
  }                                                                                        \
  int com_##name##tontbstring(const void* s, int l, void* d, int dl) {                     \
    return (!s || !l) ? 0 : int_to_text(Text::Ntb, static_cast<long>(load_int(s, size)), d, dl); \
  }                                                                                        \
  int com_##name##tovarychar(const void* s, int l, void* d, int dl) {                      \
    return (!s || !l) ? 0 : int_to_text(Text::Vary, static_cast<long>(load_int(s, size)), d, dl); \
  }
INT_TOTEXT(i1, 1)
INT_TOTEXT(i2, 2)
INT_TOTEXT(i4, 4)
INT_TOTEXT(bit, 1)

namespace {
double load_flt8(const void* s) { double v; std::memcpy(&v, s, 8); return v; }
double load_flt4(const void* s) { float v; std::memcpy(&v, s, 4); return v; }
COM_MONEY load_money(const void* s) { COM_MONEY m; std::memcpy(&m, s, 8); return m; }
COM_MONEY load_mny4(const void* s) {
  std::int32_t v;
  std::memcpy(&v, s, 4);
  std::int64_t w = v;
  COM_MONEY m;
  m.mnyhigh = static_cast<std::int32_t>(w >> 32);
  m.mnylow = static_cast<std::uint32_t>(w & 0xFFFFFFFF);
  return m;
}
}  // namespace

#define FLT_TOTEXT(name, loader)                                                 \
  int com_##name##tochar(const void* s, int l, void* d, int dl, const char* f) { \
    return (!s || !l) ? 0 : flt_to_text(Text::Char, loader(s), f, d, dl);       \
  }                                                                              \
  int com_##name##tostring(const void* s, int l, void* d, int dl, const char* f) { \
    return (!s || !l) ? 0 : flt_to_text(Text::String, loader(s), f, d, dl);     \
  }                                                                              \
  int com_##name##tontbstring(const void* s, int l, void* d, int dl, const char* f) { \
    return (!s || !l) ? 0 : flt_to_text(Text::Ntb, loader(s), f, d, dl);        \
  }                                                                              \
  int com_##name##tovarychar(const void* s, int l, void* d, int dl, const char* f) { \
    return (!s || !l) ? 0 : flt_to_text(Text::Vary, loader(s), f, d, dl);       \
  }
FLT_TOTEXT(flt8, load_flt8)
FLT_TOTEXT(flt4, load_flt4)

#define MNY_TOTEXT(name, loader)                                              \
  int com_##name##tochar(const void* s, int l, void* d, int dl) {             \
    if (!s || !l) return 0;                                                   \
    COM_MONEY m = loader(s);                                                  \
    return money_to_text(Text::Char, &m, d, dl);                              \
  }                                                                           \
  int com_##name##tostring(const void* s, int l, void* d, int dl) {           \
    if (!s || !l) return 0;                                                   \
    COM_MONEY m = loader(s);                                                  \
    return money_to_text(Text::String, &m, d, dl);                            \
  }                                                                           \
  int com_##name##tontbstring(const void* s, int l, void* d, int dl) {        \
    if (!s || !l) return 0;                                                   \
    COM_MONEY m = loader(s);                                                  \
    return money_to_text(Text::Ntb, &m, d, dl);                               \
  }                                                                           \
  int com_##name##tovarychar(const void* s, int l, void* d, int dl) {         \
    if (!s || !l) return 0;                                                   \
    COM_MONEY m = loader(s);                                                  \
    return money_to_text(Text::Vary, &m, d, dl);                              \
  }
MNY_TOTEXT(money, load_money)
MNY_TOTEXT(mny4, load_mny4)

// Datetimes to text.
namespace {

int date_to_text(Text k, const COM_DATETIME* dt, void* dst, int dstlen,
                 const char* const* months, int style) {
  if (!months) months = com__get_shortmonths();
  char* d = static_cast<char*>(dst);
  char* out = k == Text::Vary ? d + 2 : d;
  int limit = k == Text::Char ? (dstlen < 0 ? -1 : dstlen) : (dstlen > 0 ? dstlen : 0) - 1;
  int r = com__datetochar(dt, out, limit, style, months);
  if (r == 0) return -1;
  if (r < 0) return r;
  switch (k) {
    case Text::Char: com__padchar(d, dstlen, r); break;
    case Text::String: com__padstring(d, dstlen, r); break;
    case Text::Ntb: d[r] = '\0'; break;
    case Text::Vary: set_vlen(dst, r); break;
  }
  return r;
}

COM_DATETIME load_dt(const void* s) { COM_DATETIME v; std::memcpy(&v, s, 8); return v; }
COM_DATETIME load_dt4(const void* s) {
  COM_DATETIME4 v4;
  std::memcpy(&v4, s, 4);
  COM_DATETIME v;
  com__date4todt(&v4, &v);
  return v;
}

}  // namespace

#define DATE_TOTEXT(name, kind, loader, style_expr)                                        \
  int name(const void* s, int l, void* d, int dl, const char* const* m, int style) {       \
    (void)style;                                                                           \
    if (!s || !l) return 0;                                                                \
    COM_DATETIME v = loader(s);                                                            \
    return date_to_text(kind, &v, d, dl, m, style_expr);                                   \
  }
DATE_TOTEXT(com_date2char_ex, Text::Char, load_dt, style)
DATE_TOTEXT(com_datetostring_ex, Text::String, load_dt, style)
DATE_TOTEXT(com_datetontbstring_ex, Text::Ntb, load_dt, style)
DATE_TOTEXT(com_datetovarychar_ex, Text::Vary, load_dt, style)
DATE_TOTEXT(com_date4tochar, Text::Char, load_dt4, 0)
DATE_TOTEXT(com_date4tostring, Text::String, load_dt4, 0)
DATE_TOTEXT(com_date4tontbstring, Text::Ntb, load_dt4, 0)
DATE_TOTEXT(com_date4tovarychar, Text::Vary, load_dt4, 0)

int com_date2char(const void* s, int l, void* d, int dl, const char* const* m) {
  return com_date2char_ex(s, l, d, dl, m, 9);
}
int com_datetostring(const void* s, int l, void* d, int dl, const char* const* m) {
  return com_datetostring_ex(s, l, d, dl, m, 9);
}
int com_datetontbstring(const void* s, int l, void* d, int dl, const char* const* m) {
  return com_datetontbstring_ex(s, l, d, dl, m, 9);
}
int com_datetovarychar(const void* s, int l, void* d, int dl, const char* const* m) {
  return com_datetovarychar_ex(s, l, d, dl, m, 9);
}

// Bytes to text: two lower-case hexadecimal digits a byte.
namespace {

int bin_to_text(Text k, const unsigned char* s, int srclen, void* dst, int dstlen) {
  char* d = static_cast<char*>(dst);
  char* out = k == Text::Vary ? d + 2 : d;
  int limit = (k == Text::Char || k == Text::Vary) ? dstlen : (dstlen < 1 ? -1 : dstlen - 1);
  // A target with no room at all: 0 must not read as "unbounded" here.
  if ((k == Text::String || k == Text::Ntb) && dstlen == 1) limit = -2;
  if ((k == Text::Char || k == Text::Vary) && dstlen == 0) limit = -2;
  int r = limit == -2 ? (srclen > 0 ? -1 : 0) : com__bin2hex(s, srclen, out, limit);
  if (r < 0) {
    if (k == Text::Vary) set_vlen(dst, -1);
    return -1;
  }
  switch (k) {
    case Text::Char: com__padchar(d, dstlen, r); break;
    case Text::String: com__padstring(d, dstlen, r); break;
    case Text::Ntb: d[r] = '\0'; break;
    case Text::Vary: set_vlen(dst, r); break;
  }
  return r;
}

}  // namespace

#define U8 static_cast<const unsigned char*>
int com_bintochar(const void* s, int l, void* d, int dl) {
  return (!s || !l) ? 0 : bin_to_text(Text::Char, U8(s), l, d, dl);
}
int com_bintostring(const void* s, int l, void* d, int dl) {
  return (!s || !l) ? 0 : bin_to_text(Text::String, U8(s), l, d, dl);
}
int com_bintontbstring(const void* s, int l, void* d, int dl) {
  return (!s || !l) ? 0 : bin_to_text(Text::Ntb, U8(s), l, d, dl);
}
int com_bintovarychar(const void* s, int l, void* d, int dl) {
  return (!s || !l) ? 0 : bin_to_text(Text::Vary, U8(s), l, d, dl);
}
