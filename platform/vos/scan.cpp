// Number, word and token parsing (see vos/scan.h).
#include "vos/scan.h"

#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "vos/indef.h"

namespace vos {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// The text ends at a NUL byte.
std::string_view clip(std::string_view s) {
  std::size_t z = s.find('\0');
  return z == std::string_view::npos ? s : s.substr(0, z);
}

std::size_t skip_white(std::string_view s, std::size_t ip) {
  while (ip < s.size() && (s[ip] == ' ' || s[ip] == '\t')) ++ip;
  return ip;
}

// Reads an unsigned decimal number (digits, optional fraction, optional
// exponent) at ip; returns its end, or ip when there is none.  The text with
// d/D exponents turned into e is appended to `text`.
std::size_t scan_decimal(std::string_view s, std::size_t ip, std::string& text, bool allow_exp) {
  std::size_t i = ip;
  bool digits = false;
  while (i < s.size() && is_digit(s[i])) { text.push_back(s[i++]); digits = true; }
  if (i < s.size() && s[i] == '.') {
    std::size_t j = i + 1;
    std::string frac = ".";
    bool fdig = false;
    while (j < s.size() && is_digit(s[j])) { frac.push_back(s[j++]); fdig = true; }
    if (digits || fdig) {
      text += frac;
      i = j;
      digits = true;
    }
  }
  if (!digits) return ip;
  if (allow_exp && i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    std::size_t j = i + 1;
    std::string e = "e";
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) e.push_back(s[j++]);
    if (j < s.size() && is_digit(s[j])) {
      while (j < s.size() && is_digit(s[j])) e.push_back(s[j++]);
      text += e;
      i = j;
    }
  }
  return i;
}

// Reads a run of digits as an unsigned value; false on overflow of `limit`.
bool digits_value(std::string_view s, std::size_t& i, unsigned long long limit, unsigned long long& v) {
  v = 0;
  bool ok = true;
  while (i < s.size() && is_digit(s[i])) {
    unsigned d = static_cast<unsigned>(s[i] - '0');
    if (v > (limit - d) / 10) ok = false;
    else v = v * 10 + d;
    ++i;
  }
  return ok;
}

std::size_t read_integer(std::string_view str, std::size_t& ip, long long lo, long long hi, long long& out) {
  std::string_view s = clip(str);
  std::size_t i = skip_white(s, ip);
  bool neg = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  if (i >= s.size() || !is_digit(s[i])) return 0;
  unsigned long long v;
  unsigned long long limit = neg ? static_cast<unsigned long long>(-(lo + 1)) + 1 : static_cast<unsigned long long>(hi);
  if (!digits_value(s, i, limit, v)) return 0;
  out = neg ? -static_cast<long long>(v - 1) - 1 : static_cast<long long>(v);
  if (neg && v == 0) out = 0;
  std::size_t n = i - ip;
  ip = i;
  return n;
}

}  // namespace

std::size_t ctod(std::string_view str, std::size_t& ip, double& value) {
  std::string_view s = clip(str);
  if (ip > s.size()) return 0;
  std::size_t i = skip_white(s, ip);
  if (s.substr(i, 5) == "INDEF" && (i + 5 >= s.size() || !std::isalnum(static_cast<unsigned char>(s[i + 5])))) {
    value = INDEFD;
    std::size_t n = i + 5 - ip;
    ip = i + 5;
    return n;
  }
  bool neg = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  std::string text;
  // Sexagesimal fields: integer digits followed by ':'.
  std::size_t j = i;
  while (j < s.size() && is_digit(s[j])) ++j;
  if (j > i && j + 1 < s.size() && s[j] == ':' && (is_digit(s[j + 1]) || s[j + 1] == '.')) {
    double total = 0.0, div = 1.0;
    std::size_t k = i;
    for (int field = 0; field < 3; ++field) {
      std::string f;
      std::size_t e = scan_decimal(s, k, f, false);
      if (e == k) break;
      total += std::strtod(f.c_str(), nullptr) / div;
      div *= 60.0;
      k = e;
      if (field < 2 && k + 1 < s.size() && s[k] == ':' && f.find('.') == std::string::npos &&
          (is_digit(s[k + 1]) || s[k + 1] == '.')) {
        ++k;
      } else {
        break;
      }
    }
    value = neg ? -total : total;
    std::size_t n = k - ip;
    ip = k;
    return n;
  }
  std::size_t e = scan_decimal(s, i, text, true);
  if (e == i) return 0;
  double v = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(v)) v = INDEFD;  // out of the double range
  else if (neg) v = -v;
  value = v;
  std::size_t n = e - ip;
  ip = e;
  return n;
}

std::size_t ctor(std::string_view str, std::size_t& ip, float& value) {
  double d;
  std::size_t n = ctod(str, ip, d);
  if (n == 0) return 0;
  if (is_indef(d) || std::fabs(d) > FLT_MAX) value = INDEFR;
  else value = static_cast<float>(d);
  return n;
}

std::size_t ctoi(std::string_view str, std::size_t& ip, int& value) {
  long long v;
  std::size_t n = read_integer(str, ip, INT_MIN, INT_MAX, v);
  if (n) value = static_cast<int>(v);
  return n;
}

std::size_t ctol(std::string_view str, std::size_t& ip, long& value) {
  long long v;
  std::size_t n = read_integer(str, ip, LONG_MIN, LONG_MAX, v);
  if (n) value = static_cast<long>(v);
  return n;
}

std::size_t ctowrd(std::string_view str, std::size_t& ip, std::string& word, std::size_t maxch) {
  std::string_view s = clip(str);
  if (ip > s.size()) return 0;
  std::size_t i = skip_white(s, ip);
  if (i >= s.size() || s[i] == '\n') return 0;
  std::size_t start = i;
  std::string w;
  char q = s[i];
  if (q == '"' || q == '\'') {
    ++i;
    while (i < s.size() && s[i] != q && s[i] != '\n') {
      if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == q) ++i;
      if (w.size() < maxch) w.push_back(s[i]);
      ++i;
    }
    if (i < s.size() && s[i] == q) ++i;
  } else {
    while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != '\n') {
      if (w.size() < maxch) w.push_back(s[i]);
      ++i;
    }
  }
  word = std::move(w);
  ip = i;
  return i - start;
}

int ctotok(std::string_view str, std::size_t& ip, std::string& token, std::size_t maxch) {
  std::string_view s = clip(str);
  token.clear();
  if (ip > s.size()) ip = s.size();
  std::size_t i = skip_white(s, ip);
  auto put = [&](char c) {
    if (token.size() < maxch) token.push_back(c);
  };
  auto done = [&](int type) {
    ip = i;
    return type;
  };
  if (i >= s.size()) return done(TOK_EOS);
  char c = s[i];
  if (c == '\n') {
    put(c);
    ++i;
    return done(TOK_NEWLINE);
  }
  if (is_alpha(c) || c == '_') {
    while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' ||
                            s[i] == '.' || s[i] == '$'))
      put(s[i++]);
    return done(TOK_IDENTIFIER);
  }
  if (is_digit(c) || (c == '.' && i + 1 < s.size() && is_digit(s[i + 1]))) {
    std::string text;
    std::size_t e = scan_decimal(s, i, text, true);
    for (std::size_t k = i; k < e; ++k) put(s[k]);
    i = e;
    return done(TOK_NUMBER);
  }
  if (c == '"' || c == '\'') {
    ++i;
    while (i < s.size() && s[i] != c && s[i] != '\n') {
      if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == c) ++i;
      put(s[i++]);
    }
    if (i < s.size() && s[i] == c) ++i;
    return done(c == '"' ? TOK_STRING : TOK_CHARCON);
  }
  static constexpr std::string_view punct = "(),:;[\\]{}";
  if (punct.find(c) != std::string_view::npos) {
    put(c);
    ++i;
    return done(TOK_PUNCTUATION);
  }
  static constexpr std::string_view ops = "+-*/=<>!&|^~%";
  if (ops.find(c) != std::string_view::npos) {
    put(c);
    ++i;
    if (i < s.size()) {
      char d = s[i];
      if ((d == '=' && (c == '=' || c == '!' || c == '<' || c == '>')) ||
          (c == '*' && d == '*') || (c == '&' && d == '&') || (c == '|' && d == '|') ||
          (c == '/' && d == '/')) {
        put(d);
        ++i;
      }
    }
    return done(TOK_OPERATOR);
  }
  put(c);
  ++i;
  return done(TOK_UNKNOWN);
}

}  // namespace vos
