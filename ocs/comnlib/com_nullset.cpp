// Null setters: the value a program variable gets when the server value is
// NULL, from the connection's null value for the type or a zero value.
#include <cstdint>
#include <cstring>

#include "comnlib/com_cvt.h"

namespace {

inline bool present(const void* nv, int nl) { return nv && nl != 0; }

int fixed(void* dst, const void* nv, int nl, int size) {
  if (present(nv, nl)) std::memcpy(dst, nv, static_cast<size_t>(size));
  else std::memset(dst, 0, static_cast<size_t>(size));
  return present(nv, nl) ? size : 0;
}

inline void set_vlen(void* v, int n) {
  std::int16_t w = static_cast<std::int16_t>(n);
  std::memcpy(v, &w, 2);
}

// Varychar and varybin: the length word and the bytes, bounded by dstlen
// (the room after the length word; below 0 unbounded).
int vary(void* dst, int dstlen, const void* nv, int nl) {
  if (!present(nv, nl)) {
    set_vlen(dst, 0);
    return 0;
  }
  int n = (dstlen >= 0 && nl > dstlen) ? dstlen : nl;
  set_vlen(dst, n);
  std::memcpy(static_cast<char*>(dst) + 2, nv, static_cast<size_t>(n));
  return n < nl ? COM_CVT_NULLOVERFLOW : n;
}

}  // namespace

#define FIXED_SETTER(name, size)                                            \
  int name(void* d, int, const void* nv, int nl, int, int) {                \
    return fixed(d, nv, nl, size);                                          \
  }
FIXED_SETTER(com_seti1null, 1)
FIXED_SETTER(com_seti2null, 2)
FIXED_SETTER(com_seti4null, 4)
FIXED_SETTER(com_setbitnull, 1)
FIXED_SETTER(com_setflt4null, 4)
FIXED_SETTER(com_setmny4null, 4)
FIXED_SETTER(com_setdatetime4null, 4)
FIXED_SETTER(com_setflt8null, 8)
FIXED_SETTER(com_setmoneynull, 8)
FIXED_SETTER(com_setdatetimenull, 8)

int com_setcharnull(void* dst, int dstlen, const void* nv, int nl, int, int) {
  char* d = static_cast<char*>(dst);
  if (!present(nv, nl)) {
    com__padchar(d, dstlen, 0);
    return 0;
  }
  int n = (dstlen == -1 || nl <= dstlen || dstlen < 0) ? nl : dstlen;
  std::memcpy(d, nv, static_cast<size_t>(n));
  if (n < nl) return COM_CVT_NULLOVERFLOW;
  com__padchar(d, dstlen, n);
  return n;
}

int com_setbinarynull(void* dst, int dstlen, const void* nv, int nl, int, int) {
  char* d = static_cast<char*>(dst);
  if (!present(nv, nl)) {
    if (dstlen > 0) std::memset(d, 0, static_cast<size_t>(dstlen));
    return 0;
  }
  if (dstlen >= 1 && nl > dstlen) {
    std::memcpy(d, nv, static_cast<size_t>(dstlen));
    return COM_CVT_NULLOVERFLOW;
  }
  std::memcpy(d, nv, static_cast<size_t>(nl));
  if (dstlen > nl) std::memset(d + nl, 0, static_cast<size_t>(dstlen - nl));
  return nl;
}

int com_setstringnull(void* dst, int dstlen, const void* nv, int nl, int, int) {
  char* d = static_cast<char*>(dst);
  if (!present(nv, nl)) {
    com__padstring(d, dstlen, 0);
    return 0;
  }
  if (dstlen > 0 && nl > dstlen - 1) {
    std::memcpy(d, nv, static_cast<size_t>(dstlen - 1));
    d[dstlen - 1] = '\0';
    return COM_CVT_NULLOVERFLOW;
  }
  std::memcpy(d, nv, static_cast<size_t>(nl));
  d[nl] = '\0';
  int n = static_cast<int>(std::strlen(d));
  com__padstring(d, dstlen, n);
  return n;
}

int com_setntbstringnull(void* dst, int dstlen, const void* nv, int nl, int, int) {
  char* d = static_cast<char*>(dst);
  if (!present(nv, nl)) {
    d[0] = '\0';
    return 0;
  }
  if (dstlen >= 1 && nl > dstlen - 1) {
    std::memcpy(d, nv, static_cast<size_t>(dstlen - 1));
    d[dstlen - 1] = '\0';
    return COM_CVT_NULLOVERFLOW;
  }
  std::memcpy(d, nv, static_cast<size_t>(nl));
  d[nl] = '\0';
  return static_cast<int>(std::strlen(d));
}

int com_setvarycharnull(void* dst, int dstlen, const void* nv, int nl, int, int) {
  return vary(dst, dstlen, nv, nl);
}

int com_setvarybinnull(void* dst, int dstlen, const void* nv, int nl, int, int) {
  return vary(dst, dstlen, nv, nl);
}

// Numeric null: precision, scale and 33 value bytes.  A connection's null
// value is converted to the requested precision and scale; without one the
// value is zero.
int com_setnumnull(void* dst, int, const void* nv, int nl, int prec, int scale) {
  if (prec < 1 || prec > 77) return -7;
  if (scale > 77) return -8;
  if (present(nv, nl)) return com_numtonum(nv, nl, dst, 35, prec, scale);
  auto* d = static_cast<unsigned char*>(dst);
  d[0] = static_cast<unsigned char>(prec);
  d[1] = static_cast<unsigned char>(scale);
  std::memset(d + 2, 0, 33);
  return 35;
}
