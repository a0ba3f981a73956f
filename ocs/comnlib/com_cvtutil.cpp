// Helpers shared by the conversion-matrix routines: padding, copying,
// hexadecimal digits and the float text format.
#include "comnlib/com_charclass.h"
#include "comnlib/com_cvt.h"

namespace {
const char* g_fltfmt = nullptr;
}

void com__padchar(char* target, int dstlen, int n) {
  for (int i = n; i < dstlen; ++i) target[i] = ' ';
}

void com__padntbstring(char* target, int n) {
  while (n > 1 && target[n - 1] == ' ') --n;
  target[n] = '\0';
}

const char* com_bmove(const char* source, char* target, int n) {
  for (int i = 0; i < n; ++i) target[i] = source[i];
  return n > 0 ? source + n : source;
}

char* com__bzero(char* target, unsigned n) {
  for (unsigned i = 0; i < n; ++i) target[i] = 0;
  return target + n;
}

void com__shift1(char* area, int n) {
  for (int i = n; i >= 1; --i) area[i] = area[i - 1];
}

void com_prhex(int byte, char* target) {
  static const char digits[] = "0123456789abcdef";
  target[0] = digits[(byte >> 4) & 0xF];
  target[1] = digits[byte & 0xF];
}

int com__bin2hex(const unsigned char* source, int srclen, char* target, int limit) {
  bool bounded = !(limit == 0 || limit == -1);
  int room = limit;
  for (int i = 0; i < srclen; ++i) {
    if (bounded && room < 2) return -1;
    com_prhex(source[i], target + 2 * i);
    room -= 2;
  }
  return 2 * srclen;
}

int com__hex2binbytes(const char** text, int* length) {
  const char* p = *text;
  int n = *length;
  while (n > 0 && com_isspace(static_cast<unsigned char>(p[n - 1]))) --n;
  while (n > 0 && com_isspace(static_cast<unsigned char>(p[0]))) {
    ++p;
    --n;
  }
  if (n >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    p += 2;
    n -= 2;
  }
  *text = p;
  *length = n;
  return (n + 1) / 2;
}

void com_setfltfmt(const char* format) { g_fltfmt = format; }
const char* com_getfltfmt() { return g_fltfmt; }
