// Compiling a single-byte (class 1) sort order into its weight table:
// ligatures, character definitions and the final pass.
#include <cstring>
#include <string>
#include <vector>

#include "comnlib/comn_alloc.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_sort.h"

namespace {

constexpr int kChars = COMN_SORT_HDR;
constexpr int kExt = COMN_SORT_HDR + 4 * COMN_SORT_NCHARS;
constexpr std::uint8_t kNone = 255;

// One character of a definition: one byte, or two.
struct Ch {
  std::uint8_t b[2];
  int len;
};

struct Lig {
  std::uint8_t chars[10];
  int nchars;
  std::uint8_t e1, e2;
  int rel;  // 1 after, 2 equal
};

struct Builder {
  COMN_CONTEXT* ctx;
  std::uint8_t* T;
  int preference;
  Lig ligs[COMN_SORT_MAXLIGS];
  int nligs = 0;
  int p = 0, s = 0, t = 1;
  std::uint8_t map[256] = {};
  int mapfill = 0;

  std::uint8_t* chr(int b) { return T + kChars + 4 * b; }
  std::uint8_t* ext(int i) { return T + kExt + COMN_SORT_EXTSIZE * i; }
  std::uint8_t& flags() { return T[0]; }

  // A new extension entry, or -1 when all 64 are used.
  int new_ext(int kind) {
    if (T[3] >= COMN_SORT_NEXT) return -1;
    const int i = T[3]++;
    std::uint8_t* x = ext(i);
    std::memset(x, 0, COMN_SORT_EXTSIZE);
    x[0] = kNone;
    x[1] = static_cast<std::uint8_t>(kind);
    return i;
  }

  bool is_lig_char(std::uint8_t c) const {
    for (int i = 0; i < nligs; ++i)
      for (int k = 0; k < ligs[i].nchars; ++k)
        if (ligs[i].chars[k] == c) return true;
    return false;
  }
  bool is_expansion(std::uint8_t c) const {
    for (int i = 0; i < nligs; ++i)
      if (ligs[i].e1 == c || ligs[i].e2 == c) return true;
    return false;
  }
  // "after" ligatures among the first `upto` naming c as an expansion.
  int after_count(std::uint8_t c, int upto) const {
    int n = 0;
    for (int i = 0; i < upto; ++i)
      if (ligs[i].rel == 1 && (ligs[i].e1 == c || ligs[i].e2 == c)) ++n;
    return n;
  }
};

// Splits a value into its "=" chain.  A character is one byte, or two when
// the second is not a blank, "=" or the end.  False on a malformed chain.
bool parse_chain(const std::string& v, std::vector<Ch>& out) {
  out.clear();
  size_t i = 0;
  const size_t n = v.size();
  while (i < n) {
    Ch c{};
    c.b[0] = static_cast<std::uint8_t>(v[i]);
    c.len = 1;
    if (i + 1 < n && v[i + 1] != ' ' && v[i + 1] != '=') {
      c.b[1] = static_cast<std::uint8_t>(v[i + 1]);
      c.len = 2;
    }
    i += static_cast<size_t>(c.len);
    out.push_back(c);
    while (i < n && v[i] == ' ') ++i;
    if (i == n) break;
    if (v[i] != '=') return false;
    ++i;
    while (i < n && v[i] == ' ') ++i;
    if (i == n) return false;
  }
  return !out.empty();
}

// Reads every value of the current entry.
int read_values(Builder& b, INTL_LOCFILE* lf, std::vector<std::string>& vals) {
  vals.clear();
  int st = 0;
  while (char* v = intl_nextvalue(lf, &st)) vals.emplace_back(v);
  if (st < 0) {
    b.ctx->intl_err = st;
    return COMN_EINTL;
  }
  return 1;
}

// One "lig" entry: ligatures, then the relation and its two expansion
// characters.
int get_lig(Builder& b, INTL_LOCFILE* lf) {
  std::vector<std::string> vals;
  int r = read_values(b, lf, vals);
  if (r != 1) return r;
  if (vals.size() < 2) return 0;
  const std::string& rel = vals.back();
  int relation = 0;
  size_t k = 0;
  if (rel.compare(0, 6, "after ") == 0) relation = 1;
  if (rel.compare(0, 6, "equal ") == 0) relation = 2;
  if (relation == 0) return 0;
  k = 6;
  while (k < rel.size() && rel[k] == ' ') ++k;
  if (rel.size() - k != 2) return 0;
  const auto e1 = static_cast<std::uint8_t>(rel[k]);
  const auto e2 = static_cast<std::uint8_t>(rel[k + 1]);
  const int first = b.nligs;
  std::vector<Ch> chain;
  for (size_t i = 0; i + 1 < vals.size(); ++i) {
    if (b.nligs >= COMN_SORT_MAXLIGS) return 0;
    if (!parse_chain(vals[i], chain) || chain.size() > 10) return 0;
    Lig& L = b.ligs[b.nligs];
    L = Lig{};
    for (const Ch& c : chain) {
      if (c.len != 1 || b.is_lig_char(c.b[0]) || b.is_expansion(c.b[0])) return 0;
      for (int q = 0; q < L.nchars; ++q)
        if (L.chars[q] == c.b[0]) return 0;
      L.chars[L.nchars++] = c.b[0];
    }
    L.e1 = e1;
    L.e2 = e2;
    L.rel = relation;
    if (L.nchars > 1) b.flags() |= 8;
    b.nligs++;
  }
  if (b.is_lig_char(e1) || b.is_lig_char(e2)) return 0;
  if (b.nligs > first) b.flags() |= 0x30;
  return 1;
}

// Enters one character with the current weights.
bool add_smel(Builder& b, const Ch& c) {
  std::uint8_t* e = b.chr(c.b[0]);
  if (c.len == 1) {
    if (e[2] != 0) return false;  // defined twice
    int steps = 0;
    for (int i = e[3]; i != kNone; i = b.ext(i)[0])
      if (b.ext(i)[1] != 1 || ++steps > COMN_SORT_NEXT) return false;
    e[0] = static_cast<std::uint8_t>(b.p);
    e[1] = static_cast<std::uint8_t>(b.s);
    e[2] = static_cast<std::uint8_t>(b.t);
    return true;
  }
  int steps = 0;
  for (int i = e[3]; i != kNone; i = b.ext(i)[0]) {
    const std::uint8_t* x = b.ext(i);
    if ((x[1] != 1 && x[1] != 2) || x[4] == c.b[1] || ++steps > COMN_SORT_NEXT) return false;
  }
  const int i = b.new_ext(1);
  if (i < 0) return false;
  std::uint8_t* x = b.ext(i);
  x[0] = e[3];
  x[4] = c.b[1];
  x[8] = static_cast<std::uint8_t>(b.p);
  x[9] = static_cast<std::uint8_t>(b.s);
  x[10] = static_cast<std::uint8_t>(b.t);
  e[3] = static_cast<std::uint8_t>(i);
  b.flags() |= 0x10;
  return true;
}

// One "char" entry: each value one secondary level of the entry's
// primary weight.
int get_char(Builder& b, INTL_LOCFILE* lf) {
  std::vector<std::string> vals;
  int r = read_values(b, lf, vals);
  if (r != 1) return r;
  bool first = true;
  std::vector<Ch> chain;
  for (const std::string& v : vals) {
    if (!parse_chain(v, chain)) return 0;
    if (chain.size() > 1) b.flags() |= 8;
    int reserve = 0;
    for (const Ch& c : chain) {
      if (c.len == 1 && b.is_lig_char(c.b[0])) return 0;
      if (b.s >= 2 && (b.flags() & 4) == 0) b.flags() = static_cast<std::uint8_t>((b.flags() | 2) & ~1);
      if (b.t >= 2 && b.preference) b.flags() = static_cast<std::uint8_t>((b.flags() & ~3) | 4);
      if (!add_smel(b, c)) return 0;
      b.t++;
      b.T[2] = c.b[c.len - 1];
      if (c.len == 1) reserve += b.after_count(c.b[0], b.nligs);
      if (first && c.len == 1) {
        for (; b.mapfill < b.p && b.mapfill < 256; ++b.mapfill) b.map[b.mapfill] = c.b[0];
        first = false;
      }
    }
    b.s += 1 + reserve;
    b.t = 1;
  }
  return 1;
}

// Gives each ligature character its extension entry of kind 3.
bool do_ligs(Builder& b) {
  for (int i = 0; i < b.nligs; ++i) {
    const Lig& L = b.ligs[i];
    const int extra = L.rel == 1 ? 1 : 0;
    for (int pos = 0; pos < L.nchars; ++pos) {
      const int x = b.new_ext(3);
      if (x < 0) return false;
      std::uint8_t* e = b.ext(x);
      std::uint8_t* c = b.chr(L.chars[pos]);
      e[0] = c[3];
      const std::uint8_t* w1 = b.chr(L.e1);
      const std::uint8_t* w2 = b.chr(L.e2);
      e[4] = w1[0];
      e[5] = static_cast<std::uint8_t>(w1[1] + b.after_count(L.e1, i) + extra);
      e[6] = static_cast<std::uint8_t>(pos + 1);
      e[8] = w2[0];
      e[9] = static_cast<std::uint8_t>(w2[1] + b.after_count(L.e2, i) + extra);
      e[10] = static_cast<std::uint8_t>(pos + 1);
      c[3] = static_cast<std::uint8_t>(x);
    }
  }
  return true;
}

// Final pass over all 256 bytes.
bool check_sort(Builder& b) {
  std::uint8_t* z = b.chr(0);
  z[0] = 0;
  z[1] = 0;
  z[2] = 1;
  z[3] = kNone;
  for (int ch = 0; ch < 256; ++ch) {
    std::uint8_t* e = b.chr(ch);
    const bool weights = e[2] != 0;
    if (e[3] != kNone && weights) {
      const int x = b.new_ext(0);
      if (x < 0) return false;
      std::uint8_t* nx = b.ext(x);
      std::memcpy(nx + 4, e, 3);
      int tail = e[3];
      for (int steps = 0; b.ext(tail)[0] != kNone; ++steps) {
        if (steps > COMN_SORT_NEXT) return false;
        tail = b.ext(tail)[0];
      }
      b.ext(tail)[0] = static_cast<std::uint8_t>(x);
      e[0] = e[1] = e[2] = 0;
    } else if (!weights) {
      if (e[3] == kNone || b.ext(e[3])[1] == 1) return false;
    } else {
      e[3] = b.map[e[0]];
      continue;
    }
    int steps = 0;
    for (int i = e[3]; i != kNone; i = b.ext(i)[0]) {
      std::uint8_t* x = b.ext(i);
      if (++steps > COMN_SORT_NEXT) return false;
      if (x[1] != 0 && x[1] != 1 && x[1] != 3) return false;
      if (x[1] == 0 || x[1] == 3) x[7] = b.map[x[4]];
      if (x[1] == 1 || x[1] == 3) x[11] = b.map[x[8]];
    }
  }
  return true;
}

}  // namespace

// Builds the weight table of a class 1 sort order from its definitions,
// the first of which (firstdef) has just been read.
int comn__build_class1(COMN_CONTEXT* ctx, comn_sortorder* so, const char* firstdef,
                       INTL_LOCFILE* lf) {
  if (so->desc->binary) return 1;
  so->table = static_cast<std::uint8_t*>(comn_calloc(COMN_SORT_TABSIZE, 1));
  if (so->table == nullptr) return COMN_NOMEM;
  Builder b{};
  b.ctx = ctx;
  b.T = so->table;
  b.preference = so->desc->preference;
  std::uint8_t* T = so->table;
  T[0] = 1;
  for (int c = 0; c < 256; ++c) b.chr(c)[3] = kNone;
  for (int i = 0; i < COMN_SORT_NEXT; ++i) b.ext(i)[0] = kNone;
  std::string name = firstdef;
  int r = 1;
  int st = 0;
  bool have = !name.empty();
  while (r == 1 && have && name == "lig") {
    r = get_lig(b, lf);
    if (r != 1) break;
    char* e = intl_nextentry(lf, &st);
    have = e != nullptr;
    if (have) name = e;
  }
  while (r == 1 && have && b.p < 255) {
    b.p++;
    b.s = 0;
    b.t = 1;
    if (name == "char") {
      r = get_char(b, lf);
    } else if (name == "ignore char" || name == "ignorechar") {
      break;
    } else {
      r = 0;
      break;
    }
    if (r != 1) break;
    char* e = intl_nextentry(lf, &st);
    have = e != nullptr;
    if (have) name = e;
  }
  if (r == 1 && st < 0) {
    ctx->intl_err = st;
    r = COMN_EINTL;
  }
  if (r == 1 && (!do_ligs(b) || !check_sort(b))) r = 0;
  return r;
}
