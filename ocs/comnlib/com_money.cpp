// Money values: the text writer and the conversions to and from integers
// and floats.
#include <cmath>
#include <cstdint>

#include "comnlib/com_cvt.h"

char* com__mnytochar(const COM_MONEY* m, char* area, int size, int flags) {
  std::int64_t v = (static_cast<std::int64_t>(m->mnyhigh) << 32) | m->mnylow;
  bool neg = v < 0;
  std::uint64_t mag = neg ? (~static_cast<std::uint64_t>(v) + 1) : static_cast<std::uint64_t>(v);
  int decimals = (flags >> 8) & 0xFF;
  if (decimals == 0) decimals = 2;
  if (decimals > 4) decimals = 4;
  bool seps = (flags & 0xFF) == 1;
  std::uint64_t rem = 0;
  for (int i = decimals; i < 4; ++i) {
    rem = mag % 10;
    mag /= 10;
  }
  if (decimals < 4 && rem >= 5) mag += 1;
  char* p = area + size;
  auto put = [&](char c) -> bool {
    if (p == area) return false;
    *--p = c;
    return true;
  };
  for (int i = 0; i < decimals; ++i) {
    if (!put(static_cast<char>('0' + mag % 10))) return nullptr;
    mag /= 10;
  }
  if (!put('.')) return nullptr;
  int digits = 0;
  do {
    if (seps && digits > 0 && digits % 3 == 0 && !put(',')) return nullptr;
    if (!put(static_cast<char>('0' + mag % 10))) return nullptr;
    mag /= 10;
    ++digits;
  } while (mag > 0);
  if (neg && !put('-')) return nullptr;
  return p;
}

char* com__mny4tochar(const COM_MONEY4* m4, char* area, int size, int flags) {
  std::int64_t w = m4->mny4;
  COM_MONEY m{static_cast<std::int32_t>(w >> 32), static_cast<std::uint32_t>(w & 0xFFFFFFFF)};
  return com__mnytochar(&m, area, size, flags);
}

// Money and smallmoney conversions to and from integers and floats.

namespace {

std::int64_t to64(const COM_MONEY* m) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(m->mnyhigh)) << 32) |
                                   m->mnylow);
}

void from64(std::int64_t v, COM_MONEY* m) {
  auto u = static_cast<std::uint64_t>(v);
  m->mnyhigh = static_cast<std::int32_t>(static_cast<std::uint32_t>(u >> 32));
  m->mnylow = static_cast<std::uint32_t>(u & 0xFFFFFFFFu);
}

}  // namespace

int com__inttomny(COM_MONEY* m, std::int32_t v) {
  from64(static_cast<std::int64_t>(v) * 10000, m);
  return 0;
}

int com__mnytoint(const COM_MONEY* m, std::int32_t* v) {
  std::int64_t x = to64(m);
  bool neg = x < 0;
  std::uint64_t mag = neg ? ~static_cast<std::uint64_t>(x) + 1 : static_cast<std::uint64_t>(x);
  std::uint64_t q = mag / 10000, r = mag % 10000;
  if (r >= 5000) ++q;
  if (neg ? q > 2147483648ull : q > 2147483647ull) {
    *v = neg ? INT32_MIN : INT32_MAX;
    return 1;
  }
  *v = neg ? static_cast<std::int32_t>(-static_cast<std::int64_t>(q)) : static_cast<std::int32_t>(q);
  return 0;
}

int com__mnytoflt8(const COM_MONEY* m, int, double* d) {
  *d = m->mnyhigh * 429496.7296 + m->mnylow / 10000.0;
  return 8;
}

int com__mnytoflt4(const COM_MONEY* m, int, float* f) {
  double d;
  com__mnytoflt8(m, 8, &d);
  *f = static_cast<float>(d);
  return 4;
}

int com__flt8tomny(const double* src, int len, COM_MONEY* m) {
  if (!src || len == 0) {
    from64(0, m);
    return 8;
  }
  double x = *src;
  double a = std::fabs(x) + 0.00005;
  // A NaN has no money value: refuse it as an overflow.
  if (std::isnan(x) || a > 922337203685477.6) return -1;
  if (a == 922337203685477.6) {
    from64(x < 0 ? -INT64_MAX : INT64_MAX, m);
    return 8;
  }
  double high = std::trunc(a / 429496.7296);
  double rest = (a - high * 429496.7296) * 10000.0;
  if (rest < 0) rest = 0;
  std::uint32_t low;
  if (rest >= 2147483648.0) low = static_cast<std::uint32_t>(rest - 2147483648.0) + 2147483648u;
  else low = static_cast<std::uint32_t>(rest);
  std::int64_t v = static_cast<std::int64_t>(high) * 4294967296LL + low;
  if (x < 0) v = -v;
  from64(v, m);
  return 8;
}

int com__flt4tomny(const float* src, int len, COM_MONEY* m) {
  if (!src || len == 0) return com__flt8tomny(nullptr, 0, m);
  double d = *src;
  return com__flt8tomny(&d, 8, m);
}

int com__mny4tomny(const COM_MONEY4* m4, COM_MONEY* m) {
  from64(m4->mny4, m);
  return 0;
}

int com__mnytomny4(const COM_MONEY* m, COM_MONEY4* m4) {
  std::int64_t v = to64(m);
  if (v > INT32_MAX) {
    m4->mny4 = INT32_MAX;
    return -1;
  }
  if (v < INT32_MIN) {
    m4->mny4 = INT32_MIN;
    return -1;
  }
  m4->mny4 = static_cast<std::int32_t>(v);
  return 4;
}

int com__inttomny4(COM_MONEY4* m4, std::int32_t v) {
  std::int64_t x = static_cast<std::int64_t>(v) * 10000;
  if (x > INT32_MAX || x < INT32_MIN) {
    m4->mny4 = x > 0 ? INT32_MAX : INT32_MIN;
    return 1;
  }
  m4->mny4 = static_cast<std::int32_t>(x);
  return 0;
}

int com__mny4toint(const COM_MONEY4* m4, std::int32_t* v) {
  COM_MONEY m;
  com__mny4tomny(m4, &m);
  return com__mnytoint(&m, v);
}

int com__mny4toflt8(const COM_MONEY4* m4, double* d) {
  *d = m4->mny4 / 10000.0;
  return 8;
}

int com__mny4toflt4(const COM_MONEY4* m4, float* f) {
  *f = static_cast<float>(m4->mny4 / 10000.0);
  return 4;
}

int com__flt8tomny4(const double* d, int len, COM_MONEY4* m4) {
  m4->mny4 = 0;
  COM_MONEY m;
  if (com__flt8tomny(d, len, &m) < 0) return -1;
  return com__mnytomny4(&m, m4) < 0 ? -1 : 4;
}

int com__flt4tomny4(const float* f, int len, COM_MONEY4* m4) {
  m4->mny4 = 0;
  COM_MONEY m;
  if (com__flt4tomny(f, len, &m) < 0) return -1;
  return com__mnytomny4(&m, m4) < 0 ? -1 : 4;
}
