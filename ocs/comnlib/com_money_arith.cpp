// Money arithmetic on the 64-bit form; smallmoney widens, computes and
// narrows.  Products and quotients are formed exactly in 128 bits.
#include <cstdint>

#include "comnlib/com_cvt.h"
#include "comnlib/com_money.h"

namespace {

using i64 = std::int64_t;
using u64 = std::uint64_t;
using u128 = unsigned __int128;

i64 get(const COM_MONEY* m) {
  return static_cast<i64>((static_cast<u64>(static_cast<std::uint32_t>(m->mnyhigh)) << 32) |
                          m->mnylow);
}

void put(i64 v, COM_MONEY* m) {
  auto u = static_cast<u64>(v);
  m->mnyhigh = static_cast<std::int32_t>(static_cast<std::uint32_t>(u >> 32));
  m->mnylow = static_cast<std::uint32_t>(u);
}

u64 magnitude(i64 v) { return v < 0 ? 0 - static_cast<u64>(v) : static_cast<u64>(v); }

// Stores a signed magnitude; false when it is outside the money range.
bool put_signed(u128 mag, bool negative, COM_MONEY* m) {
  if (negative ? mag > (u128{1} << 63) : mag >= (u128{1} << 63)) return false;
  put(negative ? static_cast<i64>(0 - static_cast<u64>(mag)) : static_cast<i64>(mag), m);
  return true;
}

int narrow(const COM_MONEY* m, COM_MONEY4* r) {
  i64 v = get(m);
  if (v > INT32_MAX || v < INT32_MIN) {
    r->mny4 = 0;
    return 1;
  }
  r->mny4 = static_cast<std::int32_t>(v);
  return 0;
}

}  // namespace

int com__mnycopy(const COM_MONEY* from, COM_MONEY* to) {
  *to = *from;
  return 0;
}

int com__mnyinc(COM_MONEY* m) {
  put(static_cast<i64>(static_cast<u64>(get(m)) + 1), m);
  return m->mnyhigh == INT32_MIN && m->mnylow == 0 ? 1 : 0;
}

int com__mnydec(COM_MONEY* m) {
  put(static_cast<i64>(static_cast<u64>(get(m)) - 1), m);
  return m->mnyhigh == INT32_MAX && m->mnylow == 0xFFFFFFFFu ? 1 : 0;
}

int com__mnyminus(const COM_MONEY* from, COM_MONEY* to) {
  i64 v = get(from);
  put(static_cast<i64>(0 - static_cast<u64>(v)), to);
  return v == INT64_MIN ? 1 : 0;
}

int com__mnyadd(const COM_MONEY* a, const COM_MONEY* b, COM_MONEY* r) {
  i64 s;
  if (__builtin_add_overflow(get(a), get(b), &s)) {
    put(0, r);
    return 1;
  }
  put(s, r);
  return 0;
}

int com__mnysub(const COM_MONEY* a, const COM_MONEY* b, COM_MONEY* r) {
  i64 s;
  if (__builtin_sub_overflow(get(a), get(b), &s)) {
    put(0, r);
    return 1;
  }
  put(s, r);
  return 0;
}

// a * b rounded to a unit, halves away from zero.
int com__mnymul(const COM_MONEY* a, const COM_MONEY* b, COM_MONEY* r) {
  i64 x = get(a), y = get(b);
  if (x == 0 || y == 0) {
    put(0, r);
    return 0;
  }
  u128 p = static_cast<u128>(magnitude(x)) * magnitude(y);
  u128 q = p / 10000;
  if (p % 10000 >= 5000) ++q;
  if (!put_signed(q, (x < 0) != (y < 0), r)) {
    put(0, r);
    return 1;
  }
  return 0;
}

// a / b truncated to a unit.
int com__mnydiv(const COM_MONEY* a, const COM_MONEY* b, COM_MONEY* r) {
  i64 x = get(a), y = get(b);
  if (y == 0) {
    put(0, r);
    return 3;
  }
  u128 q = static_cast<u128>(magnitude(x)) * 10000 / magnitude(y);
  if (!put_signed(q, (x < 0) != (y < 0), r)) {
    put(0, r);
    return 1;
  }
  return 0;
}

// There is no money remainder.
int com__mnyrem(const COM_MONEY*, const COM_MONEY*, COM_MONEY*) { return 1; }

// m = m / d (low 16 bits of d) toward zero; returns the magnitude's remainder.
int com__mnydown(COM_MONEY* m, int d) {
  auto div = static_cast<std::uint16_t>(d);
  if (div == 0) return 0;
  i64 v = get(m);
  u64 u = magnitude(v);
  int rem = static_cast<int>(u % div);
  u /= div;
  put(v < 0 ? static_cast<i64>(0 - u) : static_cast<i64>(u), m);
  return rem;
}

// m = sign(m) * (|m| * f + a); f = 0 sets m to a.  1 when the magnitude
// reaches 2^63.
int com__mnyscale(COM_MONEY* m, int f, int a) {
  if (f == 0) {
    put(a, m);
    return 0;
  }
  i64 v = get(m);
  u128 u = static_cast<u128>(magnitude(v)) * static_cast<std::uint32_t>(f) +
           static_cast<std::uint32_t>(a);
  if (u >= (u128{1} << 63)) return 1;
  put(v < 0 ? -static_cast<i64>(u) : static_cast<i64>(u), m);
  return 0;
}

int com__mnyndigit(COM_MONEY* m, char* digit) {
  i64 v = get(m);
  u64 u = magnitude(v);
  *digit = static_cast<char>('0' + u % 10);
  u /= 10;
  put(v < 0 ? static_cast<i64>(0 - u) : static_cast<i64>(u), m);
  return u != 0;
}

int com__mnyinit(COM_MONEY* m, int n) {
  i64 v = get(m);
  u64 u = magnitude(v);
  u64 last = 0;
  for (int i = 0; i < n && u; ++i) {
    last = u % 10;
    u /= 10;
  }
  if (n > 0 && last >= 5) ++u;
  put(static_cast<i64>(u), m);
  return v < 0 ? -1 : 0;
}

int com__mnyshift(COM_MONEY* m, int n) {
  auto u = static_cast<u64>(get(m));
  for (auto bits = static_cast<std::uint32_t>(n); bits != 0; bits >>= 1) u >>= 1;
  put(static_cast<i64>(u), m);
  return 0;
}

void com__maxposmny(COM_MONEY* m) { put(INT64_MAX, m); }
void com__maxnegmny(COM_MONEY* m) { put(INT64_MIN, m); }

int com__mnyminus4(const COM_MONEY4* from, COM_MONEY4* to) {
  if (from->mny4 == INT32_MIN) {
    to->mny4 = INT32_MIN;
    return 1;
  }
  to->mny4 = -from->mny4;
  return 0;
}

int com__mnyadd4(const COM_MONEY4* a, const COM_MONEY4* b, COM_MONEY4* r) {
  i64 s = static_cast<i64>(a->mny4) + b->mny4;
  if (s > INT32_MAX || s < INT32_MIN) {
    r->mny4 = 0;
    return 1;
  }
  r->mny4 = static_cast<std::int32_t>(s);
  return 0;
}

int com__mnysub4(const COM_MONEY4* a, const COM_MONEY4* b, COM_MONEY4* r) {
  i64 s = static_cast<i64>(a->mny4) - b->mny4;
  if (s > INT32_MAX || s < INT32_MIN) {
    r->mny4 = 0;
    return 1;
  }
  r->mny4 = static_cast<std::int32_t>(s);
  return 0;
}

int com__mnymul4(const COM_MONEY4* a, const COM_MONEY4* b, COM_MONEY4* r) {
  COM_MONEY x, y, p;
  com__mny4tomny(a, &x);
  com__mny4tomny(b, &y);
  int rc = com__mnymul(&x, &y, &p);
  if (rc != 0) {
    r->mny4 = 0;
    return rc;
  }
  return narrow(&p, r);
}

int com__mnydiv4(const COM_MONEY4* a, const COM_MONEY4* b, COM_MONEY4* r) {
  COM_MONEY x, y, q;
  com__mny4tomny(a, &x);
  com__mny4tomny(b, &y);
  int rc = com__mnydiv(&x, &y, &q);
  if (rc != 0) {
    r->mny4 = 0;
    return rc;
  }
  return narrow(&q, r);
}

int com__mnyrem4(const COM_MONEY4*, const COM_MONEY4*, COM_MONEY4*) { return 1; }

char* com_cvtmnytochar(const COM_MONEY* m, char* area, int size, int flags) {
  return com__mnytochar(m, area, size, flags);
}

char* com_cvtmny4tochar(const COM_MONEY4* m4, char* area, int size, int flags) {
  return com__mny4tochar(m4, area, size, flags);
}

char* com_precmnytochar(const COM_MONEY* m, char* area, int size, int flags, int decimals) {
  return com__mnytochar(m, area, size, (decimals << 8) | flags);
}
