// Integer text and the single-byte forms of characters.
#include "comnlib/com_inttext.h"

#include <cstdio>
#include <cstring>

int com__itochar(long value, char* target, int maximum) {
  char buf[32];
  int n = std::snprintf(buf, sizeof buf, "%ld", value);
  if (maximum >= 1 && n > maximum) {
    target[0] = '*';
    return 1;
  }
  std::memcpy(target, buf, static_cast<size_t>(n));
  return n;
}

int com__single_byte_form(const unsigned char* p, int remaining, int* len,
                          const COM_CHARATTRIB* attr) {
  int n = 1;
  if (attr && attr->lentab) {
    n = attr->lentab[p[0]] & 0x0F;
    if (n < 1) n = 1;  // a zero length must never stall the caller
    if (n > remaining) n = remaining;
  }
  *len = n;
  if (attr && attr->mbmap) {
    int e = attr->mbmap[p[0]];
    if (n == 1) return e;
    if (e == 0) return 0;
    return attr->mbmap[256 * e + p[1]];
  }
  if (attr && attr->typemap) return attr->typemap[4 * p[0] + 1];
  return p[0];
}

namespace {

// The reader shared by the 32-bit routines.
int chtoi(const char* text, int length, std::int32_t* result, const COM_CHARATTRIB* attr) {
  *result = 0;
  if (length < 1) return 0;
  bool multibyte = attr && attr->flags[0] > 1;
  enum { Leading, Digits, Trailing } state = Leading;
  bool neg = false, signed_seen = false;
  std::int64_t v = 0;
  auto p = reinterpret_cast<const unsigned char*>(text);
  int i = 0;
  while (i < length) {
    int step = 1;
    int c = multibyte ? com__single_byte_form(p + i, length - i, &step, attr) : p[i];
    if (state == Leading) {
      if (c == ' ') { i += step; continue; }
      if (c == '-' || c == '+') {
        if (signed_seen) { *result = 0; return -2; }
        signed_seen = true;
        neg = (c == '-');
        i += step;
        continue;
      }
      state = Digits;
    }
    if (state == Digits) {
      if (c >= '0' && c <= '9') {
        v = neg ? v * 10 - (c - '0') : v * 10 + (c - '0');
        if (v > 2147483647LL || v < -2147483648LL) {
          *result = static_cast<std::int32_t>(v / 10);
          return -1;
        }
        *result = static_cast<std::int32_t>(v);
        i += step;
        continue;
      }
      state = Trailing;
    }
    if (c != ' ') return -2;
    i += step;
  }
  *result = static_cast<std::int32_t>(v);
  return 4;
}

}  // namespace

int com__chtoi4_mb(const char* text, int length, std::int32_t* result,
                   const COM_CHARATTRIB* attr) {
  return chtoi(text, length, result, attr);
}

int com__chtoi8_mb(const char* text, int length, std::int32_t* result,
                   const COM_CHARATTRIB* attr) {
  return chtoi(text, length, result, attr);
}

int com__chtoi2_mb(const char* text, int length, std::int16_t* result,
                   const COM_CHARATTRIB* attr) {
  std::int32_t v = 0;
  int r = chtoi(text, length, &v, attr);
  if (r <= 0) {
    *result = 0;
    return r;
  }
  *result = static_cast<std::int16_t>(static_cast<std::uint32_t>(v) & 0xFFFF);
  return (v < -32768 || v > 32767) ? -1 : r;
}

int com__chtoi1_mb(const char* text, int length, std::uint8_t* result,
                   const COM_CHARATTRIB* attr) {
  std::int32_t v = 0;
  int r = chtoi(text, length, &v, attr);
  if (r <= 0) {
    *result = 0;
    return r;
  }
  *result = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) & 0xFF);
  return (v < 0 || v > 255) ? -1 : r;
}

int com__conv2ascii(const char* src, int srclen, char* dst, int dstmax,
                    const COM_CHARATTRIB* attr) {
  auto p = reinterpret_cast<const unsigned char*>(src);
  int i = 0, o = 0;
  while (i < srclen && o < dstmax) {
    int step = 1;
    int c = com__single_byte_form(p + i, srclen - i, &step, attr);
    if (c != 0) {
      dst[o++] = static_cast<char>(c);
    } else {
      for (int k = 0; k < step && o < dstmax; ++k) dst[o++] = static_cast<char>(p[i + k]);
    }
    i += step;
  }
  return o;
}
