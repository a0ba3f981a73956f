// Pattern compilation and matching.
//
// Pattern syntax:
//   ^      at the start of the pattern: match at the start of the text only
//   $      at the end of the pattern: match at the end of the text only
//   ?      any one character
//   *      zero or more of the preceding element (so "?*" is any run)
//   [abc]  one character of the set; ranges a-z; [^...] negates
//   {...}  the enclosed part matches ignoring case
//   \c     the character c literally
//   any other character matches itself.
// Without "^" the pattern may match anywhere in the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vos {

// One element of a compiled pattern.
struct PatElem {
  enum class Kind { Char, Any, Set };
  Kind kind = Kind::Char;
  std::string chars;     // Char: the one character; Set: the member bytes
  bool negate = false;   // Set: [^...]
  bool fold = false;     // inside {...}: compare ignoring case
  bool closure = false;  // followed by "*"
};

// A compiled pattern.
struct Pattern {
  std::vector<PatElem> elems;
  bool anchor_start = false;
  bool anchor_end = false;
};

// Compiles `pattern` into `out`; returns true, or false for a syntax error
// (an unclosed "[" or "{", an empty set, "*" with nothing before it, or a
// trailing "\").
bool patmake(std::string_view pattern, Pattern& out);

// Matches compiled `pattern` against `text`: the 1-based index just past the
// first match, or 0 when there is none.
std::size_t patmatch(std::string_view text, const Pattern& pattern);

}  // namespace vos
