// Conversion-matrix routines from text: text to text, text to bytes and text
// to bit, for char-like and varychar sources.
#include <cstdint>
#include <cstring>

#include "comnlib/com_charclass.h"
#include "comnlib/com_cvt.h"

namespace {

// The text of a varychar: its length word and the bytes after it.
inline std::int16_t vlen(const void* v) {
  std::int16_t n;
  std::memcpy(&n, v, 2);
  return n;
}
inline const char* vtext(const void* v) { return static_cast<const char*>(v) + 2; }
inline void set_vlen(void* v, int n) {
  std::int16_t w = static_cast<std::int16_t>(n);
  std::memcpy(v, &w, 2);
}

int to_char(const char* s, int srclen, char* d, int dstlen) {
  int n = (dstlen == -1 || srclen <= dstlen) ? srclen : (dstlen < 0 ? srclen : dstlen);
  std::memcpy(d, s, static_cast<size_t>(n));
  if (n < srclen) return -1;
  com__padchar(d, dstlen, n);
  return n;
}

int to_ntbstring(const char* s, int srclen, char* d, int dstlen) {
  int n = srclen;
  while (n > 0 && s[n - 1] == ' ') --n;
  bool cut = false;
  if (dstlen >= 1 && n > dstlen - 1) {
    n = dstlen - 1;
    cut = true;
  }
  std::memcpy(d, s, static_cast<size_t>(n));
  d[n] = '\0';
  return cut ? -1 : n;
}

int to_varychar(const char* s, int srclen, void* d, int dstlen) {
  int n = (dstlen < 0 || srclen <= dstlen) ? srclen : dstlen;
  std::memcpy(static_cast<char*>(d) + 2, s, static_cast<size_t>(n));
  set_vlen(d, n);
  return n < srclen ? -1 : n;
}

int hexval(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hex text to bytes; `dst` receives the bytes, zero-filled to dstlen.
int hex_to_binary(const char* text, int length, unsigned char* dst, int dstlen) {
  int B = com__hex2binbytes(&text, &length);
  int written = 0, i = 0;
  bool odd = (length % 2) != 0;
  while (i < length && (dstlen < 1 || written < dstlen)) {
    int hi = 0, lo;
    if (odd && i == 0) {
      lo = hexval(static_cast<unsigned char>(text[i]));
      if (lo < 0) return -3;
      i += 1;
    } else {
      hi = hexval(static_cast<unsigned char>(text[i]));
      lo = hexval(static_cast<unsigned char>(text[i + 1]));
      if (hi < 0 || lo < 0) return -3;
      i += 2;
    }
    dst[written++] = static_cast<unsigned char>(hi * 16 + lo);
  }
  if (written < B) return -1;
  for (int k = written; k < dstlen; ++k) dst[k] = 0;
  return written;
}

int hex_to_varybin(const char* text, int length, void* dst, int dstlen) {
  const char* t = text;
  int l = length;
  int B = com__hex2binbytes(&t, &l);
  set_vlen(dst, dstlen < 1 ? B : (B < dstlen ? B : dstlen));
  return hex_to_binary(text, length, static_cast<unsigned char*>(dst) + 2, dstlen);
}

int to_bit(const char* s, int srclen, void* dst) {
  auto* b = static_cast<unsigned char*>(dst);
  *b = 0;
  int n = srclen;
  while (n > 0 && s[n - 1] == ' ') --n;
  unsigned char bit = 0;
  for (int i = 0; i < n; ++i) {
    if (s[i] < '0' || s[i] > '9') return -3;
    if (s[i] != '0') bit = 1;
  }
  *b = bit;
  return 1;
}

}  // namespace

#define SRC static_cast<const char*>(src)
#define DST static_cast<char*>(dst)
#define NO_SOURCE (!src || srclen == 0)

int com_chartochar(const void* src, int srclen, void* dst, int dstlen) {
  return NO_SOURCE ? 0 : to_char(SRC, srclen, DST, dstlen);
}
int com_chartostring(const void* src, int srclen, void* dst, int dstlen) {
  return NO_SOURCE ? 0 : com__tostring(SRC, srclen, DST, dstlen);
}
int com_chartontbstring(const void* src, int srclen, void* dst, int dstlen) {
  return NO_SOURCE ? 0 : to_ntbstring(SRC, srclen, DST, dstlen);
}
int com_chartovarychar(const void* src, int srclen, void* dst, int dstlen) {
  return NO_SOURCE ? 0 : to_varychar(SRC, srclen, dst, dstlen);
}
int com_chartobinary(const void* src, int srclen, void* dst, int dstlen) {
  return NO_SOURCE ? 0 : hex_to_binary(SRC, srclen, static_cast<unsigned char*>(dst), dstlen);
}
int com_chartovarybin(const void* src, int srclen, void* dst, int dstlen) {
  return NO_SOURCE ? 0 : hex_to_varybin(SRC, srclen, dst, dstlen);
}
int com_chartobit(const void* src, int srclen, void* dst, int) {
  return NO_SOURCE ? 0 : to_bit(SRC, srclen, dst);
}

#define VARY_GUARD                       \
  if (NO_SOURCE) return 0;               \
  int vl = vlen(src);                    \
  if (vl == 0) return 0;

int com_varychartochar(const void* src, int srclen, void* dst, int dstlen) {
  VARY_GUARD
  (void)vl;
  return to_char(vtext(src), srclen, DST, dstlen);
}
int com_varychartostring(const void* src, int srclen, void* dst, int dstlen) {
  VARY_GUARD
  (void)vl;
  return com__tostring(vtext(src), srclen, DST, dstlen);
}
int com_varychartontbstring(const void* src, int srclen, void* dst, int dstlen) {
  VARY_GUARD
  (void)vl;
  return to_ntbstring(vtext(src), srclen, DST, dstlen);
}
int com_varychartovarychar(const void* src, int srclen, void* dst, int dstlen) {
  VARY_GUARD
  (void)vl;
  if (dstlen >= 1 && dstlen < srclen) return -1;
  std::memcpy(DST + 2, vtext(src), static_cast<size_t>(srclen));
  set_vlen(dst, srclen);
  return srclen;
}
int com_varychartobinary(const void* src, int srclen, void* dst, int dstlen) {
  VARY_GUARD
  return hex_to_binary(vtext(src), vl, static_cast<unsigned char*>(dst), dstlen);
}
int com_varychartovarybin(const void* src, int srclen, void* dst, int dstlen) {
  VARY_GUARD
  return hex_to_varybin(vtext(src), vl, dst, dstlen);
}
int com_varychartobit(const void* src, int srclen, void* dst, int) {
  VARY_GUARD
  (void)vl;
  return to_bit(vtext(src), srclen, dst);
}
