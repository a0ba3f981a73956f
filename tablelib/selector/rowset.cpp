// Row sets: sorted, disjoint, inclusive ranges of row numbers with the
// running count of members up to each range.  Lookups start at the range
// found last time and gallop before they bisect, so reading the members in
// order costs a probe or two per member.
//
// Arithmetic on bounds is done in 64 bits and clipped to 1..kMaxRow, so no
// input can overflow a bound or a count.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "tablelib/tbselector.h"

namespace tbl {

struct RowSet {
  std::vector<int> lo, hi, count;  // range k (1-based) at index k-1
  int cache = 0;                   // range of the last lookup; 0 none

  int n() const { return static_cast<int>(lo.size()); }
};

namespace {

constexpr long long kMaxRow = INT_MAX;

struct Range {
  long long lo, hi;
};

// Appends lo..hi after the last range (lo above every member); merges it
// with the last range when they touch.  Parts outside 1..kMaxRow are cut.
void rstade(RowSet* s, long long lo, long long hi) {
  lo = std::max(lo, 1LL);
  hi = std::min(hi, kMaxRow);
  if (lo > hi) return;
  const int n = s->n();
  if (n > 0 && static_cast<long long>(s->hi[n - 1]) + 1 >= lo) {
    s->hi[n - 1] = static_cast<int>(std::max<long long>(hi, s->hi[n - 1]));
    const long long before = n > 1 ? s->count[n - 2] : 0;
    s->count[n - 1] = static_cast<int>(before + s->hi[n - 1] - s->lo[n - 1] + 1);
    return;
  }
  const long long before = n > 0 ? s->count[n - 1] : 0;
  s->lo.push_back(static_cast<int>(lo));
  s->hi.push_back(static_cast<int>(hi));
  s->count.push_back(static_cast<int>(before + hi - lo + 1));
}

// Smallest range index k (1..n+1) with key(k) >= t, where key is ascending;
// starts at the cached range, gallops, then bisects.  Stores k as the cache.
template <class Key>
int gallop(RowSet* s, Key key, long long t) {
  const int n = s->n();
  const int c = s->cache;
  long long lo = 0, hi = n + 1;
  if (c >= 1 && c <= n) {
    long long step = 1;
    if (key(c) < t) {
      lo = c;
      for (long long p = c + 1;; step *= 2, p += step) {
        if (p > n) {
          hi = n + 1;
          break;
        }
        if (key(static_cast<int>(p)) >= t) {
          hi = p;
          break;
        }
        lo = p;
      }
    } else {
      hi = c;
      for (long long p = c - 1;; step *= 2, p -= step) {
        if (p < 1) {
          lo = 0;
          break;
        }
        if (key(static_cast<int>(p)) < t) {
          lo = p;
          break;
        }
        hi = p;
      }
    }
  }
  while (lo + 1 < hi) {
    const long long mid = (lo + hi) / 2;
    if (key(static_cast<int>(mid)) < t)
      lo = mid;
    else
      hi = mid;
  }
  s->cache = static_cast<int>(hi);
  return static_cast<int>(hi);
}

// Index of the first range whose upper bound is at least row; n+1 if none.
int rstfic(RowSet* s, long long row) {
  return gallop(s, [s](int k) { return static_cast<long long>(s->hi[k - 1]); }, row);
}

std::vector<Range> ranges_of(const RowSet* s) {
  std::vector<Range> out;
  out.reserve(s->lo.size());
  for (std::size_t k = 0; k < s->lo.size(); ++k) out.push_back({s->lo[k], s->hi[k]});
  return out;
}

// Replaces the set's ranges by the given ascending ranges (touching ones
// merged, parts outside 1..kMaxRow cut).
void rebuild(RowSet* s, const std::vector<Range>& ranges) {
  s->lo.clear();
  s->hi.clear();
  s->count.clear();
  s->cache = 0;
  for (const Range& r : ranges) rstade(s, r.lo, r.hi);
}

}  // namespace

// New set holding the range between the two values.
RowSet* rstcre(int a, int b) {
  auto* s = new RowSet;
  const int lo = std::min(a, b), hi = std::max(a, b);
  if (lo >= 1) rstade(s, lo, hi);
  return s;
}

// Frees a set.
void rstfre(RowSet*& set) {
  delete set;
  set = nullptr;
}

// A copy of a set (the cache is not copied).
RowSet* rstcoy(const RowSet* set) {
  auto* s = new RowSet;
  if (set != nullptr) {
    s->lo = set->lo;
    s->hi = set->hi;
    s->count = set->count;
  }
  return s;
}

// Number of members.
int rstnem(RowSet* set) {
  if (set == nullptr || set->count.empty()) return 0;
  return set->count.back();
}

// The i-th member, or 0 when there is none.
int rstrom(RowSet* set, int i) {
  if (set == nullptr || i < 1) return 0;
  const int k = gallop(set, [set](int j) { return static_cast<long long>(set->count[j - 1]); }, i);
  if (k < 1 || k > set->n()) return 0;
  const long long row =
      static_cast<long long>(set->hi[k - 1]) - (static_cast<long long>(set->count[k - 1]) - i);
  if (row < 1) {
    set->cache = 0;
    return 0;
  }
  return static_cast<int>(row);
}

// True when row is a member.
bool rstint(RowSet* set, int row) {
  if (set == nullptr) return false;
  const int k = rstfic(set, row);
  return k <= set->n() && set->lo[k - 1] <= row;
}

// Intersection: a two-pointer walk over both range lists.
RowSet* rstand(RowSet* a, RowSet* b) {
  auto* s = new RowSet;
  std::size_t i = 0, j = 0;
  while (i < a->lo.size() && j < b->lo.size()) {
    const long long lo = std::max(a->lo[i], b->lo[j]);
    const long long hi = std::min(a->hi[i], b->hi[j]);
    if (lo <= hi) rstade(s, lo, hi);
    if (a->hi[i] < b->hi[j])
      ++i;
    else
      ++j;
  }
  return s;
}

// Union: a merge walk in ascending order of lower bounds.
RowSet* rstor(RowSet* a, RowSet* b) {
  auto* s = new RowSet;
  std::size_t i = 0, j = 0;
  while (i < a->lo.size() || j < b->lo.size()) {
    const bool take_a = j >= b->lo.size() || (i < a->lo.size() && a->lo[i] <= b->lo[j]);
    if (take_a) {
      rstade(s, a->lo[i], a->hi[i]);
      ++i;
    } else {
      rstade(s, b->lo[j], b->hi[j]);
      ++j;
    }
  }
  return s;
}

// Complement within 1..n: members of set above n do not make rows above n
// members of the result.
RowSet* rstnot(int n, RowSet* set) {
  auto* s = new RowSet;
  long long cursor = 1;
  for (std::size_t k = 0; k < set->lo.size() && cursor <= n; ++k) {
    if (cursor < set->lo[k]) rstade(s, cursor, std::min<long long>(set->lo[k] - 1LL, n));
    cursor = std::max<long long>(cursor, set->hi[k] + 1LL);
  }
  if (cursor <= n) rstade(s, cursor, n);
  return s;
}

// Adds one row.
void rstadl(RowSet* set, int row) {
  if (row < 1) return;
  const int k = rstfic(set, row);
  if (k > set->n()) {
    rstade(set, row, row);
    return;
  }
  if (set->lo[k - 1] <= row) return;
  std::vector<Range> r = ranges_of(set);
  r.insert(r.begin() + (k - 1), Range{row, row});
  rebuild(set, r);
}

// Inserts n rows after row.
void rstadb(RowSet* set, int row, int n) {
  if (n < 1 || row < 0) return;
  const long long first = static_cast<long long>(row) + 1;
  std::vector<Range> out;
  bool placed = false;
  for (const Range& r : ranges_of(set)) {
    if (r.hi < first) {
      out.push_back(r);
    } else if (r.lo < first) {  // the block falls inside this range
      out.push_back({r.lo, r.hi + n});
      placed = true;
    } else {
      if (!placed) out.push_back({first, first + n - 1});
      placed = true;
      out.push_back({r.lo + n, r.hi + n});
    }
  }
  if (!placed) out.push_back({first, first + n - 1});
  rebuild(set, out);
}

// Removes one row.
void rstdel(RowSet* set, int row) {
  const int k = rstfic(set, row);
  if (k < 1 || k > set->n() || set->lo[k - 1] > row) return;
  std::vector<Range> r = ranges_of(set);
  const Range cut = r[k - 1];
  r.erase(r.begin() + (k - 1));
  std::vector<Range> parts;
  if (cut.lo < row) parts.push_back({cut.lo, row - 1LL});
  if (row < cut.hi) parts.push_back({row + 1LL, cut.hi});
  r.insert(r.begin() + (k - 1), parts.begin(), parts.end());
  rebuild(set, r);
}

// Deletes the block row..row+n-1.
void rstdeb(RowSet* set, int row, int n) {
  if (n < 1) return;
  const long long first = row, end = static_cast<long long>(row) + n;  // end excluded
  std::vector<Range> out;
  for (const Range& r : ranges_of(set)) {
    if (r.hi < first) {
      out.push_back(r);
      continue;
    }
    if (r.lo < first) out.push_back({r.lo, first - 1});
    const long long keep_lo = std::max(r.lo, end);
    if (keep_lo <= r.hi) out.push_back({keep_lo - n, r.hi - n});
  }
  rebuild(set, out);
}

// The set as text.
void rstshw(RowSet* set, std::string& text, int maxch) {
  text.clear();
  const std::size_t mx = static_cast<std::size_t>(std::max(maxch, 0));
  for (int k = 0; k < set->n(); ++k) {
    std::string piece;
    if (k > 0) piece.push_back(',');
    piece.append(std::to_string(set->lo[k]));
    if (set->hi[k] != set->lo[k]) {
      piece.push_back(':');
      piece.append(std::to_string(set->hi[k]));
    }
    if (text.size() + piece.size() > mx) break;
    text += piece;
  }
}

}  // namespace tbl
