// Small text helpers shared by the server's files.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace standin {

// A whole text read as a decimal number (after optional blanks and a
// sign); false when it is empty or anything follows the digits.
inline bool parse_long(const std::string& s, long& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  v = std::strtol(s.c_str(), &end, 10);
  return end != s.c_str() && *end == '\0';
}

inline std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A name as an SQL identifier in double quotes.
inline std::string quoted(const std::string& name) { return "\"" + name + "\""; }

// Two lower-case hexadecimal digits per byte.
inline std::string hex_digits(const void* p, std::size_t n) {
  static const char d[] = "0123456789abcdef";
  const auto* b = static_cast<const std::uint8_t*>(p);
  std::string out;
  out.reserve(2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    out += d[b[i] >> 4];
    out += d[b[i] & 15];
  }
  return out;
}
inline std::string hex_digits(const std::string& s) { return hex_digits(s.data(), s.size()); }

}  // namespace standin
