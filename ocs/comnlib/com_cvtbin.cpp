// Conversion-matrix routines from raw bytes, and from fixed-size values to
// bytes.
#include <cstdint>
#include <cstring>

#include "comnlib/com_cvt.h"

namespace {

inline std::int16_t vlen(const void* v) {
  std::int16_t n;
  std::memcpy(&n, v, 2);
  return n;
}
inline void set_vlen(void* v, int n) {
  std::int16_t w = static_cast<std::int16_t>(n);
  std::memcpy(v, &w, 2);
}

// Copies the first min(srclen, size) bytes as a raw image, zero-filling the rest.
int raw_image(const void* src, int srclen, void* dst, int size) {
  int n = srclen < size ? srclen : size;
  std::memcpy(dst, src, static_cast<size_t>(n));
  std::memset(static_cast<char*>(dst) + n, 0, static_cast<size_t>(size - n));
  return size;
}

}  // namespace

#define BIN_TO(name, size)                                      \
  int com_binto##name(const void* s, int l, void* d, int) {     \
    return (!s || !l) ? 0 : raw_image(s, l, d, size);          \
  }
BIN_TO(i1, 1)
BIN_TO(i2, 2)
BIN_TO(i4, 4)
BIN_TO(money, 8)
BIN_TO(flt8, 8)
BIN_TO(flt4, 4)
BIN_TO(mny4, 4)

int com_bintobit(const void* s, int l, void* d, int) {
  if (!s || !l) return 0;
  *static_cast<unsigned char*>(d) = *static_cast<const unsigned char*>(s) != 0;
  return 1;
}

int com_anytobinary(const void* s, int l, void* d, int dl) {
  if (!s || !l) return 0;
  int n = (dl > 0 && dl < l) ? dl : l;
  std::memcpy(d, s, static_cast<size_t>(n));
  if (dl > 0 && dl < l) return -1;
  if (dl > n) std::memset(static_cast<char*>(d) + n, 0, static_cast<size_t>(dl - n));
  return n;
}

int com_anytovarybin(const void* s, int l, void* d, int dl) {
  if (!s || !l) return 0;
  int n = (dl >= 0 && dl < l) ? dl : l;
  set_vlen(d, n);
  std::memcpy(static_cast<char*>(d) + 2, s, static_cast<size_t>(n));
  return l > dl && dl >= 0 ? -1 : n;
}

// Varybin sources: the bytes after the length word, through the binary routine.
#define VARYBIN_TO(name, via)                                                   \
  int com_varybinto##name(const void* s, int l, void* d, int dl) {              \
    if (!s || !l) return 0;                                                     \
    int vl = vlen(s);                                                           \
    if (vl <= 0) return 0;                                                      \
    return via(static_cast<const char*>(s) + 2, vl, d, dl);                     \
  }
VARYBIN_TO(i1, com_bintoi1)
VARYBIN_TO(i2, com_bintoi2)
VARYBIN_TO(i4, com_bintoi4)
VARYBIN_TO(char, com_bintochar)
VARYBIN_TO(binary, com_anytobinary)
VARYBIN_TO(bit, com_bintobit)
VARYBIN_TO(money, com_bintomoney)
VARYBIN_TO(flt8, com_bintoflt8)
VARYBIN_TO(string, com_bintostring)
VARYBIN_TO(ntbstring, com_bintontbstring)
VARYBIN_TO(varychar, com_bintovarychar)
VARYBIN_TO(flt4, com_bintoflt4)
VARYBIN_TO(mny4, com_bintomny4)

int com_varybintovarybin(const void* s, int l, void* d, int dl) {
  if (!s || !l) return 0;
  int vl = vlen(s);
  if (vl <= 0) return 0;
  if (dl >= 1 && dl < vl) return -1;
  set_vlen(d, vl);
  std::memcpy(static_cast<char*>(d) + 2, static_cast<const char*>(s) + 2, static_cast<size_t>(vl));
  return vl;
}
