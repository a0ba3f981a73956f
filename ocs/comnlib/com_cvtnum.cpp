// Conversion-matrix routines with an exact-numeric side: each describes both
// sides in data-format records, runs the kernel of the pair with an all-zero
// context (built-in defaults) and maps the kernel's status to the matrix's
// result codes.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "comnlib/com_charclass.h"
#include "comnlib/com_cvt.h"
#include "comnlib/com_inttext.h"
#include "comnlib/com_kern.h"
#include "comnlib/com_num.h"

namespace {

constexpr int kNumSize = static_cast<int>(sizeof(COM_NUMERIC));

// Kernel status to matrix result: the out-length on success.
int result(int status, std::int32_t outlen) {
  switch (status) {
    case COMN_OK: return outlen;
    case COMN_EOVERFLOW: return -1;
    case COMN_EUNDERFLOW: return -2;
    case COMN_ESYNTAX: return -3;
    case COMN_EDOMAIN: return -6;
    case COMN_EPRECISION: return -7;
    case COMN_ESCALE: return -8;
    default: return status;
  }
}

COMN_DATAFORMAT format(std::int32_t datatype, std::int32_t maxlength) {
  COMN_DATAFORMAT f{};
  f.datatype = datatype;
  f.maxlength = maxlength;
  return f;
}

// A numeric source copied into a full 35-byte record, so that a short
// source is never read past its end.
struct NumIn {
  COM_NUMERIC n{};
  NumIn(const void* src, int srclen) {
    std::memcpy(&n, src, static_cast<size_t>(std::min(srclen > 0 ? srclen : kNumSize, kNumSize)));
  }
};

int from_num(ComnKernel k, const void* src, int srclen, void* dst, COMN_DATAFORMAT df) {
  if (!src || srclen == 0) return 0;
  NumIn in(src, srclen);
  COMN_CONTEXT ctx{};
  COMN_DATAFORMAT sf = format(COMN_DT_NUMERIC, kNumSize);
  std::int32_t out = 0;
  int st = k(&ctx, &sf, &in.n, &df, dst, &out);
  return result(st, out);
}

int to_num(ComnKernel k, std::int32_t datatype, std::int32_t size, const void* src, int srclen,
           void* dst, int prec, int scale) {
  if (!src || srclen == 0) return 0;
  COMN_CONTEXT ctx{};
  COMN_DATAFORMAT sf = format(datatype, size);
  COMN_DATAFORMAT df = format(COMN_DT_NUMERIC, kNumSize);
  df.precision = prec;
  df.scale = scale;
  std::int32_t out = 0;
  // Copy the source so that a short source is never read past its end.
  unsigned char in[8]{};
  std::memcpy(in, src, static_cast<size_t>(std::min(srclen > 0 ? srclen : size, size)));
  int st = k(&ctx, &sf, in, &df, dst, &out);
  return result(st, out);
}

// Numeric text for character targets: the kernel writes into `area`, at most
// `max` bytes; returns the text length or a matrix code.
int num_text(const void* src, int srclen, char* area, int max) {
  COMN_DATAFORMAT df = format(COMN_DT_CHAR, max);
  return from_num(comn_numtochar, src, srclen, area, df);
}

}  // namespace

#define FROM_NUM(name, kernel, dt, size)                                      \
  int name(const void* src, int srclen, void* dst, int) {                     \
    return from_num(kernel, src, srclen, dst, format(dt, size));              \
  }
FROM_NUM(com_numtoi1, comn_numtoi1, COMN_DT_I1, 1)
FROM_NUM(com_numtoi2, comn_numtoi2, COMN_DT_I2, 2)
FROM_NUM(com_numtoi4, comn_numtoi4, COMN_DT_I4, 4)
FROM_NUM(com_numtobit, comn_numtobit, COMN_DT_BIT, 1)
FROM_NUM(com_numtoflt4, comn_numtoflt4, COMN_DT_FLT4, 4)
FROM_NUM(com_numtoflt8, comn_numtoflt8, COMN_DT_FLT8, 8)
FROM_NUM(com_numtomny4, comn_numtomny4, COMN_DT_MNY4, 4)
FROM_NUM(com_numtomny, comn_numtomoney, COMN_DT_MONEY, 8)
#undef FROM_NUM

// Numeric to numeric at the given precision and scale.  Digits dropped by a
// scale-down are truncated, as every rescaling of the matrix truncates.
int com_numtonum(const void* src, int srclen, void* dst, int, int prec, int scale) {
  if (!src || srclen == 0) return 0;
  NumIn in(src, srclen);
  COMN_CONTEXT ctx{};
  COMN_DATAFORMAT sf = format(COMN_DT_NUMERIC, kNumSize);
  COMN_DATAFORMAT df = format(COMN_DT_NUMERIC, kNumSize);
  df.precision = prec;
  df.scale = scale;
  std::int32_t out = 0;
  int st = comn_numtonum(&ctx, &sf, &in.n, &df, dst, &out);
  return result(st == COMN_ETRUNCATED ? COMN_OK : st, out);
}

// Char: the text, blank-padded to dstlen (-1: no padding, no bound).
int com_numtochar(const void* src, int srclen, void* dst, int dstlen) {
  int r = num_text(src, srclen, static_cast<char*>(dst), dstlen < 0 ? INT_MAX : dstlen);
  if (r > 0) com__padchar(static_cast<char*>(dst), dstlen, r);
  return r;
}

// String: the text, blank-padded to dstlen - 1 and NUL-terminated (dstlen
// below 1: unbounded); a text that does not fit is cut and terminated.
int com_numtostring(const void* src, int srclen, void* dst, int dstlen) {
  char* d = static_cast<char*>(dst);
  int r = num_text(src, srclen, d, dstlen < 1 ? INT_MAX : dstlen - 1);
  if (r >= 0) com__padstring(d, dstlen, r);
  else if (r == -1 && dstlen >= 1) d[dstlen - 1] = '\0';
  return r;
}

int com_numtontbstring(const void* src, int srclen, void* dst, int dstlen) {
  char* d = static_cast<char*>(dst);
  int r = num_text(src, srclen, d, dstlen < 1 ? INT_MAX : dstlen - 1);
  if (r >= 0) com__padntbstring(d, r);
  else if (r == -1 && dstlen >= 1) d[dstlen - 1] = '\0';
  return r;
}

// Varychar: the length word and the text, which must fit dstlen bytes
// (negative: the 256 bytes of a varying record).  The text is formed aside,
// so a short target is never written past its end.
int com_numtovarychar(const void* src, int srclen, void* dst, int dstlen) {
  if (!src || srclen == 0) return 0;
  char rec[2 + COMN_VARY_ROOM];
  COMN_DATAFORMAT df = format(COMN_DT_VARCHAR, dstlen < 0 ? INT_MAX : dstlen);
  int r = from_num(comn_numtovarchar, src, srclen, rec, df);
  std::int16_t n;
  std::memcpy(&n, rec, 2);
  int room = dstlen < 0 ? COMN_VARY_ROOM : std::min(dstlen, COMN_VARY_ROOM);
  if (r < 0 || n > room) {
    std::int16_t one = 1;
    std::memcpy(dst, &one, 2);
    if (room >= 1) std::memcpy(static_cast<char*>(dst) + 2, rec + 2, 1);
    return r < 0 ? r : -1;
  }
  std::memcpy(dst, rec, static_cast<size_t>(2 + n));
  return n;
}

// Binary: the 33 value bytes.
int com_numtobin(const void* src, int srclen, void* dst, int dstlen) {
  if (!src || srclen == 0) return 0;
  NumIn in(src, srclen);
  return com_anytobinary(in.n.value, COM_NUME_MAXLEN, dst, dstlen);
}

int com_numtovarybin(const void* src, int srclen, void* dst, int dstlen) {
  if (!src || srclen == 0) return 0;
  NumIn in(src, srclen);
  return com_anytovarybin(in.n.value, COM_NUME_MAXLEN, dst, dstlen);
}

#define TO_NUM(name, kernel, dt, size)                                         \
  int name(const void* src, int srclen, void* dst, int, int prec, int scale) { \
    return to_num(kernel, dt, size, src, srclen, dst, prec, scale);            \
  }
TO_NUM(com_i1tonum, comn_i1tonum, COMN_DT_I1, 1)
TO_NUM(com_i2tonum, comn_i2tonum, COMN_DT_I2, 2)
TO_NUM(com_i4tonum, comn_i4tonum, COMN_DT_I4, 4)
TO_NUM(com_bittonum, comn_bittonum, COMN_DT_BIT, 1)
TO_NUM(com_flt4tonum, comn_flt4tonum, COMN_DT_FLT4, 4)
TO_NUM(com_flt8tonum, comn_flt8tonum, COMN_DT_FLT8, 8)
TO_NUM(com_mny4tonum, comn_mny4tonum, COMN_DT_MNY4, 4)
TO_NUM(com_moneytonum, comn_moneytonum, COMN_DT_MONEY, 8)
#undef TO_NUM

namespace {

// Bytes into a numeric: precision and scale as given, the bytes as the value.
int bytes_to_num(const unsigned char* bytes, int n, void* dst, int prec, int scale) {
  auto* d = static_cast<unsigned char*>(dst);
  d[0] = static_cast<unsigned char>(prec);
  d[1] = static_cast<unsigned char>(scale);
  int k = std::min(n, COM_NUME_MAXLEN);
  std::memcpy(d + 2, bytes, static_cast<size_t>(k));
  std::memset(d + 2 + k, 0, static_cast<size_t>(COM_NUME_MAXLEN - k));
  return kNumSize;
}

}  // namespace

int com_bintonum(const void* src, int srclen, void* dst, int, int prec, int scale) {
  if (!src || srclen <= 0) return 0;
  return bytes_to_num(static_cast<const unsigned char*>(src), srclen, dst, prec, scale);
}

int com_varybintonum(const void* src, int srclen, void* dst, int, int prec, int scale) {
  if (!src || srclen == 0) return 0;
  std::int16_t n;
  std::memcpy(&n, src, 2);
  if (n <= 0) return 0;
  return bytes_to_num(static_cast<const unsigned char*>(src) + 2, std::min<int>(n, COMN_VARY_ROOM),
                      dst, prec, scale);
}

// Text to numeric: the whole text is read (no length limit), up to a NUL.
int com_mb_chartonum(const void* src, int srclen, void* dst, int, int prec, int scale,
                     const COM_CHARATTRIB* attr) {
  if (!src || srclen <= 0) return 0;
  if (prec < 1 || prec > 77) return COMN_EPRECISION;
  if (scale < 0 || scale > 77) return COMN_ESCALE;
  std::string text(static_cast<size_t>(srclen), '\0');
  int n = srclen;
  if (attr) n = com__conv2ascii(static_cast<const char*>(src), srclen, text.data(), srclen, attr);
  else std::memcpy(text.data(), src, static_cast<size_t>(srclen));
  text.resize(static_cast<size_t>(n));
  text.resize(std::strlen(text.c_str()));
  auto* d = static_cast<unsigned char*>(dst);
  d[0] = static_cast<unsigned char>(prec);
  d[1] = static_cast<unsigned char>(scale);
  std::memset(d + 2, 0, COM_NUME_MAXLEN);
  int rc = com__subchartoexctnume(text.data(), static_cast<int>(text.size()), d + 2,
                                  comn_num_getlen(prec), prec, scale, 0);
  if (rc == 0) return kNumSize;
  std::memset(d + 2, 0, COM_NUME_MAXLEN);
  return rc == 2 ? -3 : -1;
}

int com_mb_varychartonum(const void* src, int srclen, void* dst, int dstlen, int prec, int scale,
                         const COM_CHARATTRIB* attr) {
  if (!src || srclen == 0) return 0;
  std::int16_t n;
  std::memcpy(&n, src, 2);
  if (n == 0) return 0;
  return com_mb_chartonum(static_cast<const char*>(src) + 2, srclen, dst, dstlen, prec, scale,
                          attr);
}
