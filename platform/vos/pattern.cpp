// Pattern compilation and matching (see vos/pattern.h for the syntax).
#include "vos/pattern.h"

#include <cctype>
#include <vector>

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

// The match ends of every element suffix against every text suffix, built
// from the last element back.  row[ti] is where elements [ei..] matched from
// text position ti end (npos: no match), exactly as a backtracking matcher
// would find it: a closure takes its longest run first and backs off one
// character at a time, so it ends at the longest run after which the rest
// of the pattern matches.  Each row costs one pass over the text, so the
// whole table costs pattern length x text length, however many closures.
std::vector<std::size_t> match_ends(const Pattern& p, std::string_view t) {
  const std::size_t none = std::string_view::npos;
  const std::size_t n = t.size();
  std::vector<std::size_t> next(n + 1), row(n + 1);
  for (std::size_t ti = 0; ti <= n; ++ti) next[ti] = p.anchor_end && ti != n ? none : ti;
  for (std::size_t ei = p.elems.size(); ei-- > 0;) {
    const PatElem& e = p.elems[ei];
    if (e.closure) {
      // Going back through the text, best is the end reached from the
      // furthest run position that lets the rest match; a character the
      // element does not take ends the run.
      std::size_t best = none;
      for (std::size_t ti = n + 1; ti-- > 0;) {
        if (ti == n || !elem_matches(e, t[ti])) best = none;
        if (best == none) best = next[ti];
        row[ti] = best;
      }
    } else {
      row[n] = none;
      for (std::size_t ti = 0; ti < n; ++ti) row[ti] = elem_matches(e, t[ti]) ? next[ti + 1] : none;
    }
    next.swap(row);
  }
  return next;
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
  const std::vector<std::size_t> ends = match_ends(p, text);
  const std::size_t last_start = p.anchor_start ? 0 : text.size();
  for (std::size_t s = 0; s <= last_start; ++s)
    if (ends[s] != none) return ends[s] + 1;
  return 0;
}

}  // namespace vos
