// Exact numeric arithmetic on operands: comparison, rescaling, precision
// checks, addition, subtraction, multiplication, division, rounding, ceiling
// and floor.  Intermediate results live in fixed work areas wide enough for
// any two 33-byte operands scaled by up to 10^154.
#include <algorithm>
#include <cstring>

#include "com_num_impl.h"
#include "comnlib/com_num.h"

using namespace comnum;

namespace {

constexpr int W = 200;  // work area bytes

inline u8* mag(const COM_EXCTNUME* x) { return x->value + 1; }
inline int nmag(const COM_EXCTNUME* x) { return x->length > 1 ? x->length - 1 : 0; }
inline bool neg(const COM_EXCTNUME* x) { return x->value[0] != 0; }

void load(const COM_EXCTNUME* x, u8* w) { mag_copy(mag(x), nmag(x), w, W); }

// Rescales w by 10^d: 1 on overflow, 6 when nonzero digits were dropped.
int rescale(u8* w, int d) {
  if (d > 0) return mag_mulpow10(w, W, d) ? 0 : 1;
  if (d < 0) {
    bool lost = false;
    mag_divpow10(w, W, -d, &lost, nullptr);
    return lost ? 6 : 0;
  }
  return 0;
}

// Stores w into r with the sign (0 for zero); false when it does not fit.
bool store(const u8* w, bool negative, COM_EXCTNUME* r) {
  bool ok = mag_copy(w, W, mag(r), nmag(r));
  r->value[0] = (negative && !mag_zero(w, W)) ? 1 : 0;
  return ok;
}

void zero(COM_EXCTNUME* r) {
  if (r->length > 0) std::memset(r->value, 0, static_cast<size_t>(r->length));
}

}  // namespace

// -1, 0, 1: flag 1 compares signed values, flag 2 aligns the scales first.
int com__exctnume_cmp(const COM_EXCTNUME* a, const COM_EXCTNUME* b, int flags) {
  u8 wa[W], wb[W];
  load(a, wa);
  load(b, wb);
  if (flags & 2) {
    if (a->scale < b->scale) rescale(wa, b->scale - a->scale);
    else if (b->scale < a->scale) rescale(wb, a->scale - b->scale);
  }
  int c = mag_cmp(wa, W, wb, W);
  if (!(flags & 1)) return c;
  bool za = mag_zero(wa, W), zb = mag_zero(wb, W);
  bool na = neg(a) && !za, nb = neg(b) && !zb;
  if (na != nb) return na ? -1 : 1;
  return na ? -c : c;
}

// x * 10^d into target (or back into x): 1 overflow, 6 nonzero digits
// dropped by a scale-down (which truncates).
int com__exctnume_scale(COM_EXCTNUME* x, COM_EXCTNUME* target, int d) {
  COM_EXCTNUME* t = target ? target : x;
  u8 w[W];
  load(x, w);
  bool negative = neg(x);
  int rc = rescale(w, d);
  if (rc == 1) return 1;
  if (!store(w, negative, t)) return 1;
  return rc;
}

// 1 when the magnitude is at least 10^precision.
int com__exctnume_checkprecision(const COM_EXCTNUME* x) {
  if (x->precision > 77) return 1;
  const u8* row = Com__Nume_Byte_Power_Array[x->precision];
  return mag_cmp(mag(x), nmag(x), row + 2, row[0] - 1) >= 0 ? 1 : 0;
}

// r = a + b or a - b (a and b at one scale), rescaled to r's scale.
int com__exctnume_addorsub(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* r,
                           int subtract) {
  u8 wa[W], wb[W], w[W];
  load(a, wa);
  load(b, wb);
  bool sa = neg(a), sb = neg(b) != (subtract != 0);
  bool negative;
  if (sa == sb) {
    mag_add(wa, W, wb, W, w, W);
    negative = sa;
  } else {
    int c = mag_cmp(wa, W, wb, W);
    if (c == 0) {
      zero(r);
      return 0;
    }
    if (c < 0) {
      mag_sub(wb, W, wa, W, w, W);
      negative = sb;
    } else {
      mag_sub(wa, W, wb, W, w, W);
      negative = sa;
    }
  }
  int rc = rescale(w, r->scale - a->scale);
  if (rc == 1 || !store(w, negative, r)) {
    zero(r);
    return 1;
  }
  if (com__exctnume_checkprecision(r)) return 1;
  return rc;
}

// r = a * b at r's scale (extra digits truncated).
int com__exctnume_mul(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* r) {
  u8 w[W];
  if (!mag_mul(mag(a), nmag(a), mag(b), nmag(b), w, W)) return 1;
  if (rescale(w, r->scale - (a->scale + b->scale)) == 1) return 1;
  if (!store(w, neg(a) != neg(b), r)) return 1;
  return com__exctnume_checkprecision(r);
}

// r = a / b at r's scale, truncated; the remainder (unscaled, with a's
// sign) goes to rem when given.
int com__exctnume_div(const COM_EXCTNUME* a, const COM_EXCTNUME* b, COM_EXCTNUME* r,
                      COM_EXCTNUME* rem) {
  u8 wa[W], wb[W], q[W], rm[W];
  load(a, wa);
  load(b, wb);
  if (mag_zero(wb, W)) return 3;
  int e = r->scale - a->scale + b->scale;
  if (rescale(e >= 0 ? wa : wb, e >= 0 ? e : -e) == 1) return 1;
  mag_divmod(wa, W, wb, W, q, rm);
  if (rem) store(rm, neg(a), rem);
  if (mag_zero(q, W)) {
    zero(r);
    return 0;
  }
  if (!store(q, neg(a) != neg(b), r)) return 1;
  return com__exctnume_checkprecision(r);
}

// x rounded at `places` decimals (halves away from zero) into r, which keeps
// x's scale with the dropped digits zero.
int com__exctnume_round(const COM_EXCTNUME* x, int places, COM_EXCTNUME* r) {
  if (places >= x->scale) return com__exctnume_copy(x, r);
  int k = x->scale - places;
  if (places <= 0) k = std::min<int>(x->precision, x->scale - places);
  u8 w[W];
  load(x, w);
  int last = 0;
  mag_divpow10(w, W, k, nullptr, &last);
  if (last >= 5) mag_inc(w, W);
  if (!mag_mulpow10(w, W, k)) return 1;
  return store(w, neg(x), r) ? 0 : 1;
}

// The integer ceiling (flag set) or floor of x into r at scale 0.
int com__exctnume_ceilingfloor(const COM_EXCTNUME* x, COM_EXCTNUME* r, int ceiling) {
  u8 w[W];
  load(x, w);
  bool lost = false;
  mag_divpow10(w, W, x->scale, &lost, nullptr);
  if (lost && (ceiling ? !neg(x) : neg(x))) mag_inc(w, W);
  r->length = x->length;
  r->precision = x->precision;
  r->scale = 0;
  return store(w, neg(x), r) ? 0 : 1;
}
