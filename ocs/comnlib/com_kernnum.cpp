// Conversion kernels whose source is a number: bit, i1, i2, i4, flt4, flt8,
// mny4, money and num (exact numeric), to every fixed-size kind, exact
// numerics, character and binary targets.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "com_raw.h"
#include "comnlib/com_cvt.h"
#include "comnlib/com_kern.h"
#include "comnlib/com_num.h"

namespace {

enum class K { Bit, I1, I2, I4, Flt4, Flt8, Mny4, Money, Num };
enum class T { Bit, I1, I2, I4, I8, Flt4, Flt8, Mny4, Money, Num, Char, Bin, VarChar, VarBin };

using i64 = std::int64_t;

using comraw::load;
using comraw::store;

bool is_int(K k) { return k == K::Bit || k == K::I1 || k == K::I2 || k == K::I4; }
bool is_money(K k) { return k == K::Mny4 || k == K::Money; }

i64 int_value(K k, const void* p) {
  switch (k) {
    case K::Bit:
    case K::I1: return load<std::uint8_t>(p);
    case K::I2: return load<std::int16_t>(p);
    default: return load<std::int32_t>(p);
  }
}

COM_MONEY money_value(K k, const void* p) {
  COM_MONEY m;
  if (k == K::Mny4) com__mny4tomny(static_cast<const COM_MONEY4*>(p), &m);
  else m = load<COM_MONEY>(p);
  return m;
}

i64 units(const COM_MONEY& m) {
  return static_cast<i64>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(m.mnyhigh)) << 32) |
                          m.mnylow);
}

// The exact numeric source as an operand over a private copy.
struct NumSrc {
  COM_NUMERIC n;
  COM_EXCTNUME op;
  explicit NumSrc(const void* p) {
    std::memcpy(&n, p, sizeof n);
    op = COM_EXCTNUME{comn_num_getlen(n.precision), n.precision, n.scale, n.value};
  }
};

// The value of a float or exact-numeric source as a double; for a numeric
// source whose value has no double, the largest double of its sign.
int double_value(K k, const void* p, double* d) {
  if (k == K::Flt4) *d = load<float>(p);
  else if (k == K::Flt8) *d = load<double>(p);
  else {
    NumSrc s(p);
    *d = 0.0;
    int rc = com__subexctnumetoflt8(&s.op, d);
    if (rc == 1) return COMN_EOVERFLOW;
    if (rc == 5) return COMN_EUNDERFLOW;
  }
  return COMN_OK;
}

int size_of(K k) {
  switch (k) {
    case K::Bit: case K::I1: return 1;
    case K::I2: return 2;
    case K::I4: case K::Flt4: case K::Mny4: return 4;
    case K::Flt8: case K::Money: return 8;
    case K::Num: return COM_NUME_MAXLEN;
  }
  return 0;
}

struct Range {
  i64 lo, hi;
  int size;
};

Range range_of(T t) {
  if (t == T::I1) return {0, 255, 1};
  if (t == T::I2) return {-32768, 32767, 2};
  return {INT32_MIN, INT32_MAX, 4};
}

void put_int(T t, void* dst, i64 v) {
  if (t == T::I1) store(dst, static_cast<std::uint8_t>(v));
  else if (t == T::I2) store(dst, static_cast<std::int16_t>(v));
  else store(dst, static_cast<std::int32_t>(v));
}

// An integer into an integer target, saturating.
int int_to_int(T t, i64 v, void* dst, std::int32_t* outlen) {
  Range r = range_of(t);
  *outlen = r.size;
  int st = COMN_OK;
  if (v < r.lo) v = r.lo, st = COMN_EOVERFLOW;
  if (v > r.hi) v = r.hi, st = COMN_EOVERFLOW;
  put_int(t, dst, v);
  return st;
}

// A double into an integer target: the ends of the range are compared as
// doubles before truncation.  A NaN has no integer: 0 and overflow.
int double_to_int(T t, double x, void* dst, std::int32_t* outlen) {
  Range r = range_of(t);
  *outlen = r.size;
  if (std::isnan(x)) {
    put_int(t, dst, 0);
    return COMN_EOVERFLOW;
  }
  if (x < static_cast<double>(r.lo)) return put_int(t, dst, r.lo), COMN_EOVERFLOW;
  if (x > static_cast<double>(r.hi)) return put_int(t, dst, r.hi), COMN_EOVERFLOW;
  put_int(t, dst, static_cast<i64>(std::trunc(x)));
  return COMN_OK;
}

// A double into a 4-byte float, bounded by the largest single.
int double_to_flt4(double x, void* dst, std::int32_t* outlen) {
  *outlen = 4;
  if (x > FLT_MAX) return store(dst, FLT_MAX), COMN_EOVERFLOW;
  if (x < -FLT_MAX) return store(dst, -FLT_MAX), COMN_EOVERFLOW;
  store(dst, static_cast<float>(x));
  return COMN_OK;
}

// Money into an integer target: the nearest integer (halves away from zero).
int money_to_int(T t, const COM_MONEY& m, void* dst, std::int32_t* outlen) {
  std::int32_t v = 0;
  int rc = com__mnytoint(&m, &v);
  if (t == T::I4) {
    *outlen = 4;
    store(dst, v);
    return rc ? COMN_EOVERFLOW : COMN_OK;
  }
  if (rc) return COMN_EOVERFLOW;
  return int_to_int(t, v, dst, outlen);
}

// Text of a value for character targets.  `star` selects the form of a text
// that does not fit: "*" for integers and floats, the cut text otherwise.
struct Text {
  char buf[COM_NUME_TEXTMAX + 8];
  const char* p = buf;
  int len = 0;
  bool star = true;
};

void float_text(double x, Text* t) {
  if (x == 0.0) std::strcpy(t->buf, "0");
  else std::snprintf(t->buf, sizeof t->buf, "%.*g", 17, x);
  char* b = t->buf;
  if (b[0] == '0' && b[1] == '.') std::memmove(b, b + 1, std::strlen(b));
  // Infinities and NaNs print as the platform writes them, without ".0".
  if (!std::strpbrk(b, ".e") && std::isfinite(x)) std::strcat(b, ".0");
  t->len = static_cast<int>(std::strlen(b));
}

int make_text(K k, const void* src, COMN_DATAFORMAT* df, bool varying, Text* t) {
  if (is_int(k)) {
    t->len = std::snprintf(t->buf, sizeof t->buf, "%lld", static_cast<long long>(int_value(k, src)));
  } else if (k == K::Flt4 || k == K::Flt8) {
    double x = 0;
    double_value(k, src, &x);
    float_text(x, t);
  } else if (is_money(k)) {
    int decimals = 2;
    if (!varying) {
      if (df->precision < 0) df->precision = 0;
      decimals = df->precision == 0 ? 2 : df->precision > 4 ? 4 : df->precision;
    }
    COM_MONEY m = money_value(k, src);
    char* start = com__mnytochar(&m, t->buf, 24, decimals << 8);
    if (!start) return COMN_EOVERFLOW;
    t->p = start;
    t->len = static_cast<int>(t->buf + 24 - start);
    t->star = false;
  } else {
    NumSrc s(src);
    int at = com__subexctnumetochar(&s.op, t->buf, COM_NUME_TEXTMAX);
    if (at < 0) return COMN_EOVERFLOW;
    t->p = t->buf + at;
    t->len = COM_NUME_TEXTMAX - at;
    t->star = false;
  }
  return COMN_OK;
}

int to_char(K k, const void* src, COMN_DATAFORMAT* df, void* dst, std::int32_t* outlen) {
  char* d = static_cast<char*>(dst);
  *outlen = 0;
  if (k == K::Bit) {
    if (df->maxlength >= 1) {
      d[0] = static_cast<char>('0' + load<std::uint8_t>(src));
      *outlen = 1;
    }
    return comn__padchar(1, df, dst, outlen);
  }
  Text t;
  int st = make_text(k, src, df, false, &t);
  if (st != COMN_OK) return st;
  const int max = df->maxlength;
  const bool nul = (df->format & COMN_FMT_NULLTERM) != 0;
  if (t.len < max || (t.len == max && !nul)) {
    std::memcpy(d, t.p, static_cast<size_t>(t.len));
    *outlen = t.len;
    return comn__padchar(t.len, df, dst, outlen);
  }
  if (t.star) {
    if (max < 2) return COMN_EOVERFLOW;
    d[0] = '*';
    *outlen = 1;
    int pad = comn__padchar(1, df, dst, outlen);
    return pad == COMN_OK ? COMN_EOVERFLOW : pad;
  }
  int n = max > 0 ? max : 0;
  std::memcpy(d, t.p, static_cast<size_t>(n));
  *outlen = n;
  comn__padchar(t.len, df, dst, outlen);
  return COMN_EOVERFLOW;
}

int to_varchar(K k, const void* src, COMN_DATAFORMAT* df, void* dst, std::int32_t* outlen) {
  char* d = static_cast<char*>(dst) + 2;
  *outlen = COMN_VARY_OUTLEN;
  if (k == K::Bit) {
    d[0] = static_cast<char>('0' + load<std::uint8_t>(src));
    store(dst, static_cast<std::int16_t>(1));
    return COMN_OK;
  }
  Text t;
  int st = make_text(k, src, df, true, &t);
  if (st != COMN_OK) return st;
  if (t.len <= COMN_VARY_ROOM) {
    std::memcpy(d, t.p, static_cast<size_t>(t.len));
    store(dst, static_cast<std::int16_t>(t.len));
    return COMN_OK;
  }
  if (t.star) {
    d[0] = '*';
    store(dst, static_cast<std::int16_t>(1));
  } else {
    std::memcpy(d, t.p, COMN_VARY_ROOM);
    store(dst, static_cast<std::int16_t>(COMN_VARY_ROOM));
  }
  return COMN_EOVERFLOW;
}

// Exact numeric to exact numeric.  The value is rescaled before it is fitted
// into the target's length, so a long source whose rescaled value fits a
// short target converts.
int num_to_num(const void* src, COMN_DATAFORMAT* df, void* dst, std::int32_t* outlen) {
  NumSrc s(src);
  int tp = df->precision == COMN_SRC_PRECSCALE ? s.n.precision : df->precision;
  if (tp < 1 || tp > 77) return COMN_EPRECISION;
  int ts = df->scale == COMN_SRC_PRECSCALE ? s.n.scale : df->scale;
  if (ts < 0 || ts > 77) return COMN_ESCALE;
  auto* d = static_cast<std::uint8_t*>(dst);
  d[0] = static_cast<std::uint8_t>(tp);
  d[1] = static_cast<std::uint8_t>(ts);
  std::memset(d + 2, 0, COM_NUME_MAXLEN);
  *outlen = comn_num_getlen(tp) + 2;
  std::uint8_t wv[COM_NUME_MAXLEN]{};
  COM_EXCTNUME work{COM_NUME_MAXLEN, static_cast<std::uint8_t>(tp), static_cast<std::uint8_t>(ts), wv};
  if (com__exctnume_copy(&s.op, &work) != 0) return COMN_EOVERFLOW;
  int rc = com__exctnume_scale(&work, nullptr, ts - s.n.scale);
  if (rc == 1) return COMN_EOVERFLOW;
  COM_EXCTNUME target{comn_num_getlen(tp), static_cast<std::uint8_t>(tp),
                      static_cast<std::uint8_t>(ts), d + 2};
  if (com__exctnume_copy(&work, &target) != 0 || com__exctnume_checkprecision(&target))
    return COMN_EOVERFLOW;
  return rc == 6 ? COMN_ETRUNCATED : COMN_OK;
}

int to_num(K k, const void* src, COMN_DATAFORMAT* df, void* dst, std::int32_t* outlen) {
  if (k == K::Num) return num_to_num(src, df, dst, outlen);
  int p = df->precision, s = df->scale;
  if (p < 1 || p > 77) return COMN_EPRECISION;
  if (s < 0 || s > 77) return COMN_ESCALE;
  auto* d = static_cast<std::uint8_t*>(dst);
  d[0] = static_cast<std::uint8_t>(p);
  d[1] = static_cast<std::uint8_t>(s);
  std::memset(d + 2, 0, COM_NUME_MAXLEN);
  *outlen = sizeof(COM_NUMERIC);
  int len = comn_num_getlen(p), rc;
  if (is_int(k)) {
    rc = com__longtoexctnume(static_cast<std::int32_t>(int_value(k, src)), d + 2, len, p, s);
  } else if (is_money(k)) {
    COM_MONEY m = money_value(k, src);
    rc = com__mny8toexctnume(&m, d + 2, len, p, s);
  } else {
    double x = 0;
    double_value(k, src, &x);
    rc = com__doubletoexctnume(x, d + 2, len, p, s);
  }
  if (rc != 0) {
    std::memset(d + 2, 0, COM_NUME_MAXLEN);
    return COMN_EOVERFLOW;
  }
  return COMN_OK;
}

int to_money(K k, T t, const void* src, void* dst, std::int32_t* outlen) {
  bool four = t == T::Mny4;
  *outlen = four ? 4 : 8;
  COM_MONEY m{};
  if (is_int(k)) {
    auto v = static_cast<std::int32_t>(int_value(k, src));
    if (four) {
      COM_MONEY4 m4{};
      int rc = com__inttomny4(&m4, v);
      store(dst, m4);
      return rc ? COMN_EOVERFLOW : COMN_OK;
    }
    com__inttomny(&m, v);
    store(dst, m);
    return COMN_OK;
  }
  if (k == K::Flt4 || k == K::Flt8) {
    double x = 0;
    double_value(k, src, &x);
    if (four) {
      COM_MONEY4 m4{};
      int rc = com__flt8tomny4(&x, 8, &m4);
      store(dst, m4);
      return rc < 0 ? COMN_EOVERFLOW : COMN_OK;
    }
    if (com__flt8tomny(&x, 8, &m) < 0) return COMN_EOVERFLOW;
    store(dst, m);
    return COMN_OK;
  }
  if (k == K::Num) {
    NumSrc s(src);
    if (com__exctnumetomny8(&s.op, &m) == 0) return COMN_EOVERFLOW;
  } else {
    m = money_value(k, src);
  }
  if (!four) {
    store(dst, m);
    return COMN_OK;
  }
  COM_MONEY4 m4{};
  int rc = com__mnytomny4(&m, &m4);
  store(dst, m4);
  return rc < 0 ? COMN_EOVERFLOW : COMN_OK;
}

int to_float(K k, T t, const void* src, void* dst, std::int32_t* outlen) {
  bool four = t == T::Flt4;
  double x = 0;
  int st = COMN_OK;
  if (is_int(k)) x = static_cast<double>(int_value(k, src));
  else if (k == K::Mny4) {
    auto m4 = load<std::int32_t>(src);
    if (four) {
      *outlen = 4;
      store(dst, static_cast<float>(m4) / 10000.0f);
      return COMN_OK;
    }
    x = m4 / 10000.0;
  } else if (k == K::Money) {
    COM_MONEY m = money_value(k, src);
    com__mnytoflt8(&m, 8, &x);
  } else if (k == K::Flt4 && four) {
    *outlen = 4;
    std::memcpy(dst, src, 4);
    return COMN_OK;
  } else {
    st = double_value(k, src, &x);
  }
  if (four) {
    int f = double_to_flt4(x, dst, outlen);
    return st != COMN_OK ? st : f;
  }
  *outlen = 8;
  store(dst, x);
  return st;
}

int kernel(K k, T t, COMN_CONTEXT* ctx, COMN_DATAFORMAT* sf, const void* src,
           COMN_DATAFORMAT* df, void* dst, std::int32_t* outlen) {
  if (k == K::Bit && load<std::uint8_t>(src) > 1) return COMN_EDOMAIN;
  if (k == K::Num) {
    auto* n = static_cast<const std::uint8_t*>(src);
    if (n[0] == 0 || n[0] > 77 || n[1] > 77) return COMN_EDOMAIN;
  }
  const void* image = k == K::Num ? static_cast<const std::uint8_t*>(src) + 2 : src;
  switch (t) {
    case T::Bin:
      if (k == K::Bit) {
        *outlen = 0;
        if (df->maxlength >= 1) std::memcpy(dst, src, 1), *outlen = 1;
        return comn__padbin(*outlen, df, dst, outlen);
      }
      return comn_fixedtobin(ctx, sf, image, df, dst, outlen, size_of(k));
    case T::VarBin: return comn_fixedtovarbin(ctx, sf, image, df, dst, outlen, size_of(k));
    case T::Char: return to_char(k, src, df, dst, outlen);
    case T::VarChar: return to_varchar(k, src, df, dst, outlen);
    case T::Num: return to_num(k, src, df, dst, outlen);
    case T::Mny4:
    case T::Money: return to_money(k, t, src, dst, outlen);
    case T::Flt4:
    case T::Flt8: return to_float(k, t, src, dst, outlen);
    case T::Bit: {
      bool one;
      if (is_int(k)) one = int_value(k, src) != 0;
      else if (is_money(k)) one = units(money_value(k, src)) != 0;
      else {
        double x = 0;
        double_value(k, src, &x);
        one = x != 0.0;
      }
      *outlen = 1;
      store(dst, static_cast<std::uint8_t>(one ? 1 : 0));
      return COMN_OK;
    }
    case T::I1:
    case T::I2:
    case T::I4:
    case T::I8:
      if (is_int(k)) return int_to_int(t, int_value(k, src), dst, outlen);
      if (is_money(k)) return money_to_int(t, money_value(k, src), dst, outlen);
      {
        double x = 0;
        double_value(k, src, &x);
        return double_to_int(t, x, dst, outlen);
      }
  }
  return COMN_EDOMAIN;
}

}  // namespace

#define KDEF(src, S, tgt, T_)                                                              \
  int comn_##src##to##tgt(COMN_CONTEXT* c, COMN_DATAFORMAT* sf, const void* s,             \
                          COMN_DATAFORMAT* df, void* d, std::int32_t* o) {                 \
    return kernel(K::S, T::T_, c, sf, s, df, d, o);                                        \
  }
#define KROW(src, S)                                                                       \
  KDEF(src, S, bit, Bit) KDEF(src, S, i1, I1) KDEF(src, S, i2, I2) KDEF(src, S, i4, I4)    \
  KDEF(src, S, i8, I8) KDEF(src, S, flt4, Flt4) KDEF(src, S, flt8, Flt8)                   \
  KDEF(src, S, mny4, Mny4) KDEF(src, S, money, Money) KDEF(src, S, num, Num)               \
  KDEF(src, S, char, Char) KDEF(src, S, bin, Bin) KDEF(src, S, varchar, VarChar)           \
  KDEF(src, S, varbin, VarBin)
KROW(bit, Bit)
KROW(i1, I1)
KROW(i2, I2)
KROW(i4, I4)
KROW(flt4, Flt4)
KROW(flt8, Flt8)
KROW(mny4, Mny4)
KROW(money, Money)
KROW(num, Num)
