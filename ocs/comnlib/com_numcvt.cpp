// Exact numeric conversions: to and from doubles, 32-bit integers, money and
// decimal text.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "com_num_impl.h"
#include "comnlib/com_charclass.h"
#include "comnlib/com_num.h"

using namespace comnum;

namespace {

constexpr int W = 200;

inline u8* mag(const COM_EXCTNUME* x) { return x->value + 1; }
inline int nmag(const COM_EXCTNUME* x) { return x->length > 1 ? x->length - 1 : 0; }

// The precision and scale used by the integer, double and money readers
// when the caller gives none.
void default_precscale(int length, int* precision, int* scale) {
  if (*precision == 0 || *precision > 77) {
    *precision = comn_num_getprec(length);
    *scale = 0;
  }
}

bool valid_length(int length) { return length >= 2 && length <= COM_NUME_MAXLEN; }

// Stores the magnitude w (W bytes) into value bytes of `length` with the sign,
// then checks the precision: 0, or 1 when it does not fit.
int finish(const u8* w, bool negative, u8* value, int length, int precision, int scale) {
  if (!mag_copy(w, W, value + 1, length - 1)) return 1;
  value[0] = (negative && !mag_zero(w, W)) ? 1 : 0;
  COM_EXCTNUME x{length, static_cast<u8>(precision), static_cast<u8>(scale), value};
  return com__exctnume_checkprecision(&x);
}

}  // namespace

int com__subexctnumetochar(const COM_EXCTNUME* x, char* area, int size) {
  u8 w[W];
  mag_copy(mag(x), nmag(x), w, W);
  bool zero = mag_zero(w, W);
  int p = size;
  auto put = [&](char c) {
    if (p == 0) return false;
    area[--p] = c;
    return true;
  };
  for (int i = 0; i < x->scale; ++i)
    if (!put(static_cast<char>('0' + mag_divsmall(w, W, 10)))) return -1;
  if (x->scale > 0 && !put('.')) return -1;
  do {
    if (!put(static_cast<char>('0' + mag_divsmall(w, W, 10)))) return -1;
  } while (!mag_zero(w, W));
  if (!zero && x->value[0] != 0 && !put('-')) return -1;
  return p;
}

int com__subexctnumetoflt8(const COM_EXCTNUME* x, double* d) {
  if (x->length == 0) return 0;
  if (mag_zero(mag(x), nmag(x))) {
    *d = 0.0;
    return 0;
  }
  char area[COM_NUME_TEXTMAX + 1];
  int at = com__subexctnumetochar(x, area, COM_NUME_TEXTMAX);
  if (at < 0) return 1;
  area[COM_NUME_TEXTMAX] = '\0';
  errno = 0;
  double v = std::strtod(area + at, nullptr);
  if (errno == ERANGE && v == 0.0) return 5;
  if (errno == ERANGE && std::isinf(v)) {
    *d = v < 0 ? -DBL_MAX : DBL_MAX;
    return 1;
  }
  *d = v;
  return 0;
}

int com__longtoexctnume(std::int32_t v, std::uint8_t* value, int length, int precision,
                        int scale) {
  if (!valid_length(length)) return 1;
  default_precscale(length, &precision, &scale);
  if (scale > 77) return 1;
  std::memset(value, 0, static_cast<size_t>(length));
  u8 w[W]{};
  std::uint32_t m = v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) w[W - 1 - i] = static_cast<u8>(m >> (8 * i));
  if (!mag_mulpow10(w, W, scale)) return 1;
  return finish(w, v < 0, value, length, precision, scale);
}

int com__longlongtoexctnume(std::int32_t v, std::uint8_t* value, int length, int precision,
                            int scale) {
  return com__longtoexctnume(v, value, length, precision, scale);
}

int com__doubletoexctnume(double d, std::uint8_t* value, int length, int precision,
                          int scale) {
  if (!valid_length(length)) return 1;
  default_precscale(length, &precision, &scale);
  if (d == 0.0) {
    std::memset(value, 0, static_cast<size_t>(length));
    return 0;
  }
  // A NaN or an infinity has no exact value.
  if (!std::isfinite(d)) return std::isnan(d) ? 2 : 1;
  char text[40];
  int n = std::snprintf(text, sizeof text, "%.*g", 17, d);
  int rc = com__subchartoexctnume(text, n, value, length, precision, scale, 1);
  if (rc == 2) return 2;
  if (rc != 0 && rc != 6) return 1;
  COM_EXCTNUME x{length, static_cast<u8>(precision), static_cast<u8>(scale), value};
  return com__exctnume_checkprecision(&x);
}

int com__exctnumetomny8(const COM_EXCTNUME* x, COM_MONEY* m) {
  u8 rb[COM_NUME_MAXLEN + 1]{};
  int len = x->length > 0 && x->length <= COM_NUME_MAXLEN ? x->length : COM_NUME_MAXLEN;
  COM_EXCTNUME r{len, x->precision, x->scale, rb};
  if (com__exctnume_round(x, 4, &r) != 0) return 0;
  u8 w[W];
  mag_copy(mag(&r), nmag(&r), w, W);
  int rc = x->scale >= 4 ? (mag_divpow10(w, W, x->scale - 4, nullptr, nullptr), 0)
                         : (mag_mulpow10(w, W, 4 - x->scale) ? 0 : 1);
  if (rc != 0 || !mag_zero(w, W - 8)) return 0;
  std::uint64_t u = 0;
  for (int i = W - 8; i < W; ++i) u = (u << 8) | w[i];
  bool negative = x->value[0] != 0;
  std::int64_t v;
  if (u < (1ull << 63)) v = negative ? -static_cast<std::int64_t>(u) : static_cast<std::int64_t>(u);
  else if (u == (1ull << 63) && negative) v = INT64_MIN;
  else return 0;
  auto uv = static_cast<std::uint64_t>(v);
  m->mnyhigh = static_cast<std::int32_t>(static_cast<std::uint32_t>(uv >> 32));
  m->mnylow = static_cast<std::uint32_t>(uv);
  return 1;
}

int com__mny8toexctnume(const COM_MONEY* m, std::uint8_t* value, int length, int precision,
                        int scale) {
  if (!valid_length(length)) return 1;
  default_precscale(length, &precision, &scale);
  if (scale > 77) scale = 0;
  std::int64_t v = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(m->mnyhigh)) << 32) | m->mnylow);
  std::uint64_t u = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  u8 w[W]{};
  for (int i = 0; i < 8; ++i) w[W - 1 - i] = static_cast<u8>(u >> (8 * i));
  if (scale < 4) {
    int last = 0;
    mag_divpow10(w, W, 4 - scale, nullptr, &last);
    if (last >= 5) mag_inc(w, W);
  } else if (!mag_mulpow10(w, W, scale - 4)) {
    return 1;
  }
  std::memset(value, 0, static_cast<size_t>(length));
  return finish(w, v < 0, value, length, precision, scale);
}
