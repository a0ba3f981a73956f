// String helpers: dictionary look-up, case, blanks, comparison.  Strings are
// ordinary 8-bit strings; comparisons treat bytes as unsigned.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vos {

// Looks `word` up in `dict`, a list of entries separated by the dictionary's
// first character (e.g. "|row|column|").  An exact match, or an abbreviation
// that matches exactly one entry, gives the 1-based entry number and puts the
// full entry into `entry` (at most `maxch` characters); otherwise 0 (not found,
// empty word, or ambiguous) and `entry` is cleared.
int strdic(std::string_view word, std::string& entry, std::string_view dict,
           std::size_t maxch = 1023);
inline int strdic(std::string_view word, std::string_view dict) {
  std::string entry;
  return strdic(word, entry, dict);
}

// Case changes (ASCII letters only), in place and as copies.
void strlwr(std::string& s);
void strupr(std::string& s);
std::string lower(std::string_view s);
std::string upper(std::string_view s);

// Copy without blanks, tabs and newlines, at most `maxch` characters.
std::string nowhite(std::string_view s, std::size_t maxch = static_cast<std::size_t>(-1));

// Byte-wise comparison with bytes taken as unsigned: <0, 0, >0.
int strcmp(std::string_view a, std::string_view b);
inline bool streq(std::string_view a, std::string_view b) { return a == b; }

}  // namespace vos
