// Conversion kernels whose source is binary data: a fixed run of bytes (bin)
// or a varying record (varbin).  Bytes are copied as they are into fixed-size
// targets and printed as lower-case hexadecimal into character targets.
#include <algorithm>
#include <cstring>

#include "comnlib/com_kern.h"
#include "comnlib/com_num.h"

namespace {

enum class T { Bit, I1, I2, I4, I8, Flt4, Flt8, Mny4, Money, Num, Date4, Datetime, Char, Bin,
               VarChar, VarBin };

struct Bytes {
  const unsigned char* p;
  int n;
};

Bytes source(bool vary, COMN_DATAFORMAT* sf, const void* src) {
  auto* b = static_cast<const unsigned char*>(src);
  if (!vary) return {b, std::max(0, sf->maxlength)};
  std::int16_t n;
  std::memcpy(&n, b, 2);
  return {b + 2, std::clamp<int>(n, 0, COMN_VARY_ROOM)};
}

int fixed_size(T t) {
  switch (t) {
    case T::I1: return 1;
    case T::I2: return 2;
    case T::Flt8: case T::Money: case T::Datetime: return 8;
    default: return 4;
  }
}

// Copies min(n, size) bytes (the rest of the target zeroed) and grades the
// length: longer is cut (-113, or -101 from a varying source), shorter -102.
int to_fixed(bool vary, Bytes b, void* dst, std::int32_t* outlen, int size) {
  int k = std::min(b.n, size);
  std::memcpy(dst, b.p, static_cast<size_t>(k));
  std::memset(static_cast<char*>(dst) + k, 0, static_cast<size_t>(size - k));
  *outlen = k;
  if (b.n > size) return vary ? COMN_EOVERFLOW : COMN_ETRUNCATED;
  return b.n < size ? COMN_EUNDERFLOW : COMN_OK;
}

int hex_pairs(Bytes b, char* d, int pairs) {
  static const char kDigits[] = "0123456789abcdef";
  for (int i = 0; i < pairs; ++i) {
    d[2 * i] = kDigits[b.p[i] >> 4];
    d[2 * i + 1] = kDigits[b.p[i] & 15];
  }
  return 2 * pairs;
}

int kernel(bool vary, T t, COMN_DATAFORMAT* sf, const void* src, COMN_DATAFORMAT* df, void* dst,
           std::int32_t* outlen) {
  Bytes b = source(vary, sf, src);
  const int cut = vary ? COMN_EOVERFLOW : COMN_ETRUNCATED;
  switch (t) {
    case T::Bit: {
      unsigned char v = b.n > 0 && b.p[0] != 0 ? 1 : 0;
      std::memcpy(dst, &v, 1);
      *outlen = 1;
      return COMN_OK;
    }
    case T::Num: {
      if (df->precision < 1 || df->precision > 77) return COMN_EPRECISION;
      if (df->scale < 0 || df->scale > 77) return COMN_ESCALE;
      auto* d = static_cast<unsigned char*>(dst);
      d[0] = static_cast<unsigned char>(df->precision);
      d[1] = static_cast<unsigned char>(df->scale);
      int st = to_fixed(vary, b, d + 2, outlen, COM_NUME_MAXLEN);
      *outlen = static_cast<std::int32_t>(sizeof(COM_NUMERIC));
      return st;
    }
    case T::Char: {
      int max = std::max(0, df->maxlength);
      int pairs = std::min(b.n, max / 2);
      *outlen = hex_pairs(b, static_cast<char*>(dst), pairs);
      if (pairs == b.n) return comn__padchar(2 * b.n, df, dst, outlen);
      return cut;
    }
    case T::VarChar: {
      int pairs = std::min(b.n, COMN_VARY_ROOM / 2);
      auto len = static_cast<std::int16_t>(hex_pairs(b, static_cast<char*>(dst) + 2, pairs));
      std::memcpy(dst, &len, 2);
      *outlen = COMN_VARY_OUTLEN;
      return pairs == b.n ? COMN_OK : cut;
    }
    case T::Bin: {
      int k = std::min(b.n, std::max(0, df->maxlength));
      std::memcpy(dst, b.p, static_cast<size_t>(k));
      *outlen = k;
      return k == b.n ? comn__padbin(k, df, dst, outlen) : cut;
    }
    case T::VarBin: {
      int k = std::min(b.n, COMN_VARY_ROOM);
      auto len = static_cast<std::int16_t>(k);
      std::memcpy(dst, &len, 2);
      std::memcpy(static_cast<char*>(dst) + 2, b.p, static_cast<size_t>(k));
      *outlen = COMN_VARY_OUTLEN;
      return k == b.n ? COMN_OK : COMN_ETRUNCATED;
    }
    default: return to_fixed(vary, b, dst, outlen, fixed_size(t));
  }
}

}  // namespace

int comn_bintofixed(COMN_CONTEXT*, COMN_DATAFORMAT* sf, const void* src, COMN_DATAFORMAT*,
                    void* dst, std::int32_t* outlen, int size) {
  Bytes b = source(false, sf, src);
  *outlen = std::min(b.n, size);
  std::memcpy(dst, b.p, static_cast<size_t>(*outlen));
  return COMN_OK;
}

int comn_varbintofixed(COMN_CONTEXT*, COMN_DATAFORMAT* sf, const void* src, COMN_DATAFORMAT*,
                       void* dst, std::int32_t* outlen, int size) {
  Bytes b = source(true, sf, src);
  *outlen = std::min(b.n, size);
  std::memcpy(dst, b.p, static_cast<size_t>(*outlen));
  return COMN_OK;
}

#define BDEF(src, vary, tgt, T_)                                                          \
  int comn_##src##to##tgt(COMN_CONTEXT*, COMN_DATAFORMAT* sf, const void* s,              \
                          COMN_DATAFORMAT* df, void* d, std::int32_t* o) {                \
    return kernel(vary, T::T_, sf, s, df, d, o);                                          \
  }
#define BROW(src, vary)                                                                   \
  BDEF(src, vary, bit, Bit) BDEF(src, vary, i1, I1) BDEF(src, vary, i2, I2)               \
  BDEF(src, vary, i4, I4) BDEF(src, vary, i8, I8) BDEF(src, vary, flt4, Flt4)             \
  BDEF(src, vary, flt8, Flt8) BDEF(src, vary, mny4, Mny4) BDEF(src, vary, money, Money)   \
  BDEF(src, vary, num, Num) BDEF(src, vary, date4, Date4)                                 \
  BDEF(src, vary, datetime, Datetime) BDEF(src, vary, char, Char) BDEF(src, vary, bin, Bin) \
  BDEF(src, vary, varchar, VarChar)
BROW(bin, false)
BROW(varbin, true)
BDEF(bin, false, varbin, VarBin)

// A varying binary record is copied whole.
int comn_varbintovarbin(COMN_CONTEXT*, COMN_DATAFORMAT* sf, const void* src, COMN_DATAFORMAT*,
                        void* dst, std::int32_t* outlen) {
  Bytes b = source(true, sf, src);
  auto len = static_cast<std::int16_t>(b.n);
  std::memcpy(dst, &len, 2);
  std::memcpy(static_cast<char*>(dst) + 2, b.p, static_cast<size_t>(b.n));
  *outlen = COMN_VARY_OUTLEN;
  return COMN_OK;
}
