// Pattern compilation and matching (see vos/pattern.h for the syntax).
#include "vos/pattern.h"

#include <cctype>

namespace vos {
namespace {

char fold_char(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool elem_matches(const PatElem& e, char c) {
  switch (e.kind) {
    case PatElem::Kind::Any:
      return true;
    case PatElem::Kind::Char:
      return e.fold ? fold_char(e.chars[0]) == fold_char(c) : e.chars[0] == c;
    case PatElem::Kind::Set: {
      bool in = false;
      for (char m : e.chars) {
        if (e.fold ? fold_char(m) == fold_char(c) : m == c) {
          in = true;
          break;
        }
      }
      return in != e.negate;
    }
  }
  return false;
}

// Matches elements [ei..] against text [ti..]; returns the end of the match
// (index into text) or npos.
std::size_t match_here(const Pattern& p, std::size_t ei, std::string_view t, std::size_t ti) {
  const std::size_t none = std::string_view::npos;
  if (ei == p.elems.size()) {
    if (p.anchor_end && ti != t.size()) return none;
    return ti;
  }
  const PatElem& e = p.elems[ei];
  if (e.closure) {
    // Longest run first, then back off.
    std::size_t k = ti;
    while (k < t.size() && elem_matches(e, t[k])) ++k;
    for (;;) {
      std::size_t r = match_here(p, ei + 1, t, k);
      if (r != none) return r;
      if (k == ti) return none;
      --k;
    }
  }
  if (ti < t.size() && elem_matches(e, t[ti])) return match_here(p, ei + 1, t, ti + 1);
  return none;
}

}  // namespace

bool patmake(std::string_view pat, Pattern& out) {
  out = Pattern{};
  std::size_t i = 0, n = pat.size();
  if (i < n && pat[i] == '^') {
    out.anchor_start = true;
    ++i;
  }
  bool fold = false;
  while (i < n) {
    char c = pat[i];
    if (c == '$' && i + 1 == n) {
      out.anchor_end = true;
      ++i;
      continue;
    }
    PatElem e;
    e.fold = fold;
    if (c == '*') {
      if (out.elems.empty() || out.elems.back().closure) return false;
      out.elems.back().closure = true;
      ++i;
      continue;
    }
    if (c == '{') {
      if (fold) return false;
      fold = true;
      ++i;
      continue;
    }
    if (c == '}') {
      if (!fold) return false;
      fold = false;
      ++i;
      continue;
    }
    if (c == '?') {
      e.kind = PatElem::Kind::Any;
      ++i;
    } else if (c == '[') {
      e.kind = PatElem::Kind::Set;
      ++i;
      if (i < n && pat[i] == '^') {
        e.negate = true;
        ++i;
      }
      bool closed = false;
      while (i < n) {
        char m = pat[i];
        if (m == ']') {
          closed = true;
          ++i;
          break;
        }
        if (m == '\\') {
          if (i + 1 >= n) return false;
          m = pat[++i];
        }
        if (i + 2 < n && pat[i + 1] == '-' && pat[i + 2] != ']') {
          unsigned char lo = static_cast<unsigned char>(m);
          unsigned char hi = static_cast<unsigned char>(pat[i + 2]);
          for (unsigned v = lo; v <= hi; ++v) e.chars.push_back(static_cast<char>(v));
          i += 3;
          continue;
        }
        e.chars.push_back(m);
        ++i;
      }
      if (!closed || e.chars.empty()) return false;
    } else {
      if (c == '\\') {
        if (i + 1 >= n) return false;
        c = pat[++i];
      }
      e.kind = PatElem::Kind::Char;
      e.chars.assign(1, c);
      ++i;
    }
    out.elems.push_back(std::move(e));
  }
  if (fold) return false;
  return true;
}

std::size_t patmatch(std::string_view text, const Pattern& p) {
  const std::size_t none = std::string_view::npos;
  std::size_t last_start = p.anchor_start ? 0 : text.size();
  for (std::size_t s = 0; s <= last_start; ++s) {
    std::size_t r = match_here(p, 0, text, s);
    if (r != none) return r + 1;
  }
  return 0;
}

}  // namespace vos
