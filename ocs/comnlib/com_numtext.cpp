// The decimal text reader of exact numerics: [blanks][sign][blanks]digits
// with at most one point, an optional exponent, trailing white space.
#include <string>

#include "com_num_impl.h"
#include "comnlib/com_charclass.h"
#include "comnlib/com_num.h"

using namespace comnum;

namespace {

constexpr int W = 200;
constexpr int kExpCap = 100000;  // exponents beyond this behave alike

// Reads the exponent after the mark at text[i]; 0 or 2 (syntax).
int read_exponent(const char* text, int len, int i, int* exp) {
  bool negative = false;
  if (i < len && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int value = 0;
  bool blanks = false;
  for (int k = 0; i < len; ++i, ++k) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (blanks) {
      if (!com_isspace(c)) return 2;
    } else if (com_isdigit(c)) {
      if (value < kExpCap) value = value * 10 + (c - '0');
    } else if (k >= 2 && com_isspace(c)) {
      blanks = true;
    } else {
      return 2;
    }
  }
  *exp = negative ? -value : value;
  return 0;
}

}  // namespace

int com__subchartoexctnume(const char* text, int textlen, std::uint8_t* value, int length,
                           int precision, int scale, int round) {
  if (length == 0) length = COM_NUME_MAXLEN;
  if (length < 2 || length > COM_NUME_MAXLEN) return 1;
  if (precision < 1 || precision > 77 || scale < 0 || scale > 77) return 1;
  std::memset(value, 0, static_cast<size_t>(length));
  if (!text || textlen < 0) textlen = 0;
  const int capacity = comn_num_getprec(length);

  int epos = textlen;
  for (char mark : {'e', 'E'}) {
    for (int i = 0; i < textlen && epos == textlen; ++i)
      if (text[i] == mark) epos = i;
    if (epos != textlen) break;
  }
  int exp = 0;
  if (epos < textlen && read_exponent(text, textlen, epos + 1, &exp) != 0) return 2;

  // Mantissa.
  int i = 0;
  while (i < epos && com_isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < epos && (text[i] == '+' || text[i] == '-')) {
    negative = text[i++] == '-';
    while (i < epos && com_isspace(static_cast<unsigned char>(text[i]))) ++i;
  }
  std::string digits;  // significant digits, leading zeros dropped
  int frac = 0;
  bool point = false;
  for (; i < epos; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (com_isdigit(c)) {
      if (!(digits.empty() && c == '0')) digits.push_back(static_cast<char>(c));
      if (point) ++frac;
    } else if (c == '.' && !point) {
      point = true;
    } else if (com_isspace(c)) {
      for (; i < epos; ++i)
        if (!com_isspace(static_cast<unsigned char>(text[i]))) return 2;
    } else {
      return 2;
    }
  }
  // Value = digits * 10^(exp - frac); the target holds it times 10^scale.
  long t = static_cast<long>(scale) + exp - frac;
  int n = static_cast<int>(digits.size());
  long drop = t < 0 ? -t : 0;
  if (drop > 0 && !round && (n > 0 || frac > 0)) return 6;
  int kept = drop >= n ? 0 : n - static_cast<int>(drop);
  int rounding = 0;
  if (drop > 0 && drop <= n) rounding = digits[static_cast<size_t>(n - drop)] - '0';
  if (kept > capacity) return round ? 1 : 6;

  u8 w[W]{};
  for (int k = 0; k < kept; ++k) mag_mulsmall(w, W, 10, static_cast<std::uint32_t>(digits[k] - '0'));
  if (rounding >= 5) mag_inc(w, W);
  if (t > 0 && !mag_zero(w, W) && (t > 160 || !mag_mulpow10(w, W, static_cast<int>(t)))) return 1;
  if (!mag_copy(w, W, value + 1, length - 1)) return 1;
  value[0] = (negative && !mag_zero(w, W)) ? 1 : 0;
  COM_EXCTNUME x{length, static_cast<u8>(precision), static_cast<u8>(scale), value};
  return com__exctnume_checkprecision(&x);
}
