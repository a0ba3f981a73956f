// Small text routines of the access layer.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "qelt_internal.h"

namespace qelt {

// Formats into a string of whatever length the text needs.
std::string vformat(const char* fmt, va_list ap) {
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, ap);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, ap2);
    out.resize(static_cast<std::size_t>(n));
  }
  va_end(ap2);
  return out;
}

std::string format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string out = vformat(fmt, ap);
  va_end(ap);
  return out;
}

// Removes trailing blanks in place.
void qelt_delete_trailing(std::string& s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
}

// Upper-cased copy.
std::string qelt_string_upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Lower-cased copy.
std::string qelt_string_lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Leading and trailing blanks removed, lower-cased.
std::string qelt_lowercase_str(const std::string& s) {
  std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  std::size_t e = s.find_last_not_of(' ');
  return qelt_string_lower(s.substr(b, e - b + 1));
}

// A C text (NULL counts as empty) cut to at most `max` characters.
std::string cut(const char* s, std::size_t max) {
  if (s == nullptr) return {};
  std::size_t n = strnlen(s, max);
  return std::string(s, n);
}

// Letters, digits, "_" and "$" make up a parameter name.
bool is_name_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

// End of the quoted part that starts at `open`: the next same mark that is
// not immediately followed by another one; npos when there is none.
static std::size_t qelt_get_end_quote(const std::string& text, std::size_t open) {
  char q = text[open];
  std::size_t i = open + 1;
  while (i < text.size()) {
    if (text[i] == q) {
      if (i + 1 < text.size() && text[i + 1] == q) {
        i += 2;
        continue;
      }
      return i;
    }
    ++i;
  }
  return std::string::npos;
}

// Lower-cases the text outside quoted parts.  -1 (after two error reports)
// when a quoted part has no end; the text keeps what was done so far.
int qelt_tolower_query(std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\'' || c == '"') {
      std::size_t end = qelt_get_end_quote(text, i);
      if (end == std::string::npos) {
        report_text("qelt", QELT_ERR, "error in query statement");
        report_text("dummy", QELT_ERR,
                    "Syntax error encountered in this query due to mismatched quotes:");
        return -1;
      }
      i = end + 1;
      continue;
    }
    text[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ++i;
  }
  return 0;
}

}  // namespace qelt
