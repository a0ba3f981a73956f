// Dictionary look-up, case changes, blank removal and unsigned comparison.
#include "vos/strings.h"

#include <cctype>

namespace vos {

int strdic(std::string_view word, std::string& entry, std::string_view dict, std::size_t maxch) {
  entry.clear();
  if (word.empty() || dict.empty()) return 0;
  const char delim = dict[0];
  int index = 0, found = 0, nfound = 0;
  std::string_view found_entry;
  std::size_t pos = 1;
  while (pos <= dict.size()) {
    std::size_t end = dict.find(delim, pos);
    if (end == std::string_view::npos) end = dict.size();
    std::string_view e = dict.substr(pos, end - pos);
    ++index;
    if (e == word) {
      found = index;
      found_entry = e;
      nfound = 1;
      break;  // an exact match wins over abbreviations
    }
    if (e.size() > word.size() && e.substr(0, word.size()) == word) {
      if (nfound == 0) {
        found = index;
        found_entry = e;
      }
      ++nfound;
    }
    pos = end + 1;
  }
  if (nfound != 1) return 0;
  entry = std::string(found_entry.substr(0, maxch));
  return found;
}

void strlwr(std::string& s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

void strupr(std::string& s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

std::string lower(std::string_view s) {
  std::string r(s);
  strlwr(r);
  return r;
}

std::string upper(std::string_view s) {
  std::string r(s);
  strupr(r);
  return r;
}

std::string nowhite(std::string_view s, std::size_t maxch) {
  std::string r;
  for (char c : s) {
    if (c == ' ' || c == '\t' || c == '\n') continue;
    if (r.size() >= maxch) break;
    r.push_back(c);
  }
  return r;
}

int strcmp(std::string_view a, std::string_view b) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    int x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y) return x - y;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace vos
