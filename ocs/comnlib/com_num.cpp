// Exact numeric values: the size tables, the power-of-ten table, the
// magnitude helpers and the magnitude primitives of the operand record.
#include <algorithm>
#include <cstring>

#include "com_num_impl.h"
#include "comnlib/com_num.h"

using namespace comnum;

const std::uint8_t Com__Nume_Prec_To_Len[78] = {
    2,  2,  2,  3,  3,  4,  4,  4,  5,  5,  6,  6,  6,  7,  7,  8,  8,  9,  9,  9,
    10, 10, 11, 11, 11, 12, 12, 13, 13, 14, 14, 14, 15, 15, 16, 16, 16, 17, 17, 18,
    18, 19, 19, 19, 20, 20, 21, 21, 21, 22, 22, 23, 23, 24, 24, 24, 25, 25, 26, 26,
    26, 27, 27, 28, 28, 28, 29, 29, 30, 30, 31, 31, 31, 32, 32, 33, 33, 33};

const std::uint8_t Com__Nume_Len_To_Prec[35] = {
    2,  4,  7,  9,  12, 14, 16, 19, 21, 24, 26, 28, 31, 33, 36, 38, 40, 43,
    45, 48, 50, 52, 55, 57, 60, 62, 65, 67, 69, 72, 74, 77, 255, 255, 255};

namespace {

struct PowerTable {
  std::uint8_t v[78][34];
};

constexpr PowerTable make_powers() {
  PowerTable t{};
  std::uint8_t mag[33]{};  // big-endian 10^k
  mag[32] = 1;
  for (int k = 0; k < 78; ++k) {
    int first = 0;
    while (first < 32 && mag[first] == 0) ++first;
    int bytes = 33 - first;
    t.v[k][0] = static_cast<std::uint8_t>(bytes + 1);
    t.v[k][1] = 0;
    for (int i = 0; i < bytes; ++i) t.v[k][2 + i] = mag[first + i];
    unsigned carry = 0;
    for (int i = 32; i >= 0; --i) {
      unsigned x = mag[i] * 10u + carry;
      mag[i] = static_cast<std::uint8_t>(x & 0xFF);
      carry = x >> 8;
    }
  }
  return t;
}

constexpr PowerTable kPowers = make_powers();

}  // namespace

const std::uint8_t (&Com__Nume_Byte_Power_Array)[78][34] = kPowers.v;

namespace comnum {

int mag_cmp(const u8* a, int na, const u8* b, int nb) {
  while (na > nb) {
    if (*a) return 1;
    ++a;
    --na;
  }
  while (nb > na) {
    if (*b) return -1;
    ++b;
    --nb;
  }
  for (int i = 0; i < na; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

std::uint32_t mag_mulsmall(u8* p, int n, std::uint32_t m, std::uint32_t add) {
  std::uint64_t carry = add;
  for (int i = n - 1; i >= 0; --i) {
    std::uint64_t v = static_cast<std::uint64_t>(p[i]) * m + carry;
    p[i] = static_cast<u8>(v & 0xFF);
    carry = v >> 8;
  }
  return static_cast<std::uint32_t>(carry);
}

std::uint32_t mag_divsmall(u8* p, int n, std::uint32_t d) {
  std::uint64_t rem = 0;
  for (int i = 0; i < n; ++i) {
    std::uint64_t v = (rem << 8) | p[i];
    p[i] = static_cast<u8>(v / d);
    rem = v % d;
  }
  return static_cast<std::uint32_t>(rem);
}

bool mag_copy(const u8* src, int ns, u8* dst, int nd) {
  bool ok = true;
  if (ns > nd) {
    ok = mag_zero(src, ns - nd);
    src += ns - nd;
    ns = nd;
  }
  std::memmove(dst + (nd - ns), src, static_cast<size_t>(ns));
  std::memset(dst, 0, static_cast<size_t>(nd - ns));
  return ok;
}

bool mag_add(const u8* a, int na, const u8* b, int nb, u8* r, int nr) {
  unsigned carry = 0;
  for (int i = 0; i < nr; ++i) {
    unsigned x = i < na ? a[na - 1 - i] : 0;
    unsigned y = i < nb ? b[nb - 1 - i] : 0;
    unsigned v = x + y + carry;
    r[nr - 1 - i] = static_cast<u8>(v & 0xFF);
    carry = v >> 8;
  }
  bool ok = carry == 0;
  for (int i = nr; i < na; ++i) ok = ok && a[na - 1 - i] == 0;
  for (int i = nr; i < nb; ++i) ok = ok && b[nb - 1 - i] == 0;
  return ok;
}

void mag_sub(const u8* a, int na, const u8* b, int nb, u8* r, int nr) {
  int borrow = 0;
  for (int i = 0; i < nr; ++i) {
    int x = i < na ? a[na - 1 - i] : 0;
    int y = i < nb ? b[nb - 1 - i] : 0;
    int v = x - y - borrow;
    borrow = v < 0;
    r[nr - 1 - i] = static_cast<u8>(v & 0xFF);
  }
}

bool mag_mul(const u8* a, int na, const u8* b, int nb, u8* r, int nr) {
  u8 tmp[512];
  int nt = na + nb;
  if (nt > static_cast<int>(sizeof tmp)) return false;
  std::memset(tmp, 0, static_cast<size_t>(nt));
  for (int i = na - 1; i >= 0; --i) {
    unsigned carry = 0;
    if (a[i] == 0) continue;
    for (int j = nb - 1; j >= 0; --j) {
      int k = i + j + 1;
      unsigned v = tmp[k] + static_cast<unsigned>(a[i]) * b[j] + carry;
      tmp[k] = static_cast<u8>(v & 0xFF);
      carry = v >> 8;
    }
    for (int k = i; carry && k >= 0; --k) {
      unsigned v = tmp[k] + carry;
      tmp[k] = static_cast<u8>(v & 0xFF);
      carry = v >> 8;
    }
  }
  return mag_copy(tmp, nt, r, nr);
}

bool mag_divmod(const u8* a, int na, const u8* b, int nb, u8* q, u8* rem) {
  if (mag_zero(b, nb)) return false;
  // Shift-and-subtract, one bit at a time: operands never exceed a few
  // hundred bytes.
  u8 r[512];
  int nr = nb + 1;
  std::memset(r, 0, static_cast<size_t>(nr));
  std::memset(q, 0, static_cast<size_t>(na));
  for (int i = 0; i < na; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      mag_mulsmall(r, nr, 2, (a[i] >> bit) & 1u);
      if (mag_cmp(r, nr, b, nb) >= 0) {
        mag_sub(r, nr, b, nb, r, nr);
        q[i] = static_cast<u8>(q[i] | (1u << bit));
      }
    }
  }
  if (rem) mag_copy(r, nr, rem, nb);
  return true;
}

bool mag_mulpow10(u8* p, int n, int k) {
  bool ok = true;
  while (k > 0) {
    int step = std::min(k, 9);
    std::uint32_t m = 1;
    for (int i = 0; i < step; ++i) m *= 10;
    if (mag_mulsmall(p, n, m, 0) != 0) ok = false;
    k -= step;
  }
  return ok;
}

void mag_divpow10(u8* p, int n, int k, bool* lost, int* last) {
  bool l = false;
  int d = 0;
  while (k > 1) {
    int step = std::min(k - 1, 9);
    std::uint32_t m = 1;
    for (int i = 0; i < step; ++i) m *= 10;
    if (mag_divsmall(p, n, m) != 0) l = true;
    k -= step;
  }
  if (k == 1) {
    d = static_cast<int>(mag_divsmall(p, n, 10));
    if (d) l = true;
  }
  if (lost) *lost = l;
  if (last) *last = d;
}

bool mag_inc(u8* p, int n) { return mag_mulsmall(p, n, 1, 1) == 0; }

}  // namespace comnum

// Sizes.  A precision outside 0..77 or a length outside 2..36 has no entry:
// both give 0 instead of reading past the tables.
int comn_num_getlen(int precision) {
  if (precision < 0 || precision > 77) return 0;
  return Com__Nume_Prec_To_Len[precision];
}

int comn_num_getprec(int length) {
  if (length < 2 || length > 36) return 0;
  return Com__Nume_Len_To_Prec[length - 2];
}

namespace {
inline u8* mag(const COM_EXCTNUME* x) { return x->value + 1; }
inline int nmag(const COM_EXCTNUME* x) { return x->length > 1 ? x->length - 1 : 0; }
}  // namespace

// 1 when x's magnitude is the small number k.
int com__exctnume_intcmp(const COM_EXCTNUME* x, int k) {
  int n = nmag(x);
  if (n == 0) return k == 0;
  return mag_zero(mag(x), n - 1) && mag(x)[n - 1] == k ? 1 : 0;
}

// Copies the magnitude right-aligned and the sign (0 or 1); 1 when nonzero
// source bytes did not fit (the low bytes are copied all the same).
int com__exctnume_copy(const COM_EXCTNUME* from, COM_EXCTNUME* to) {
  u8 sign = from->value[0] ? 1 : 0;
  bool ok = mag_copy(mag(from), nmag(from), mag(to), nmag(to));
  to->value[0] = sign;
  return ok ? 0 : 1;
}

// Divides the byte run by 10, returning the remainder; drops a leading zero
// byte while at least 3 bytes remain.
int com__exctnume_divby10(std::uint8_t** value, std::int32_t* length) {
  if (*length <= 0) return 0;
  int r = static_cast<int>(mag_divsmall(*value, *length, 10));
  if (*length >= 3 && (*value)[1] == 0 && (*value)[0] == 0) {
    ++*value;
    --*length;
  }
  return r;
}

// magnitude = magnitude * 10 + digit; 1 on a carry out.
int com__exctnume_mulby10_add(COM_EXCTNUME* x, int digit) {
  return mag_mulsmall(mag(x), nmag(x), 10, static_cast<std::uint32_t>(digit)) ? 1 : 0;
}

// Adds 1 to the magnitude: 2 for a length below 1, 1 on a carry out.
int com__exctnume_inc(COM_EXCTNUME* x) {
  if (x->length < 1) return 2;
  if (nmag(x) == 0) return 1;
  return mag_inc(mag(x), nmag(x)) ? 0 : 1;
}

// 1 when an increment would carry out of the magnitude.
int com__exctnume_needsbyte(const COM_EXCTNUME* x) {
  for (int i = 0; i < nmag(x); ++i)
    if (mag(x)[i] != 0xFF) return 0;
  return 1;
}

int com__exctnume_intadd(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* r) {
  return mag_add(mag(a), nmag(a), mag(b), nmag(b), mag(r), nmag(r)) ? 0 : 1;
}

int com__exctnume_intsub(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* r) {
  u8 tmp[256];
  int n = std::max(nmag(a), nmag(r));
  if (n > static_cast<int>(sizeof tmp)) return 1;
  mag_sub(mag(a), nmag(a), mag(b), nmag(b), tmp, n);
  return mag_copy(tmp, n, mag(r), nmag(r)) ? 0 : 1;
}

// Magnitude product; the sign byte is 0 for equal signs, else 1.
int com__exctnume_intmul(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* r) {
  u8 sign = (a->value[0] != 0) != (b->value[0] != 0) ? 1 : 0;
  bool ok = mag_mul(mag(a), nmag(a), mag(b), nmag(b), mag(r), nmag(r));
  r->value[0] = sign;
  return ok ? 0 : 1;
}

int com__exctnume_intdiv(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* q,
                         COM_EXCTNUME* rem) {
  if (mag_zero(mag(b), nmag(b))) return 3;
  u8 qt[256], rt[256];
  if (nmag(a) > 256 || nmag(b) > 256) return 1;
  mag_divmod(mag(a), nmag(a), mag(b), nmag(b), qt, rt);
  bool ok = true;
  if (q) ok = mag_copy(qt, nmag(a), mag(q), nmag(q)) && ok;
  if (rem) ok = mag_copy(rt, nmag(b), mag(rem), nmag(rem)) && ok;
  return ok ? 0 : 1;
}
