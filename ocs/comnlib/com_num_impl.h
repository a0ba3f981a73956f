// Magnitude helpers shared by the exact-numeric files: unsigned big-endian
// byte runs of any length, worked on in place.
#pragma once

#include <cstdint>
#include <cstring>

namespace comnum {

using u8 = std::uint8_t;

inline bool mag_zero(const u8* p, int n) {
  for (int i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

// -1, 0, 1 comparing two magnitudes of any lengths.
int mag_cmp(const u8* a, int na, const u8* b, int nb);
// p = p * m + add; returns the carry left over (0 when it fitted).
std::uint32_t mag_mulsmall(u8* p, int n, std::uint32_t m, std::uint32_t add);
// p = p / d (d >= 1); returns the remainder.
std::uint32_t mag_divsmall(u8* p, int n, std::uint32_t d);
// Copies right-aligned; false when nonzero source bytes did not fit.
bool mag_copy(const u8* src, int ns, u8* dst, int nd);
// r = a + b (r of length nr >= max(na, nb)); false on a carry out of r.
bool mag_add(const u8* a, int na, const u8* b, int nb, u8* r, int nr);
// r = a - b with a >= b; r of length nr >= na.
void mag_sub(const u8* a, int na, const u8* b, int nb, u8* r, int nr);
// r = a * b, r of length nr; false when the product does not fit.
bool mag_mul(const u8* a, int na, const u8* b, int nb, u8* r, int nr);
// q = a / b, rem = a % b (q of length na, rem of length nb); false for b = 0.
bool mag_divmod(const u8* a, int na, const u8* b, int nb, u8* q, u8* rem);
// p = p * 10^k; false on overflow.
bool mag_mulpow10(u8* p, int n, int k);
// p = p / 10^k, truncating; *lost set when a nonzero remainder was dropped,
// *last the last decimal digit dropped (when k >= 1).
void mag_divpow10(u8* p, int n, int k, bool* lost, int* last);
// p = p + 1; false on a carry out.
bool mag_inc(u8* p, int n);

}  // namespace comnum
