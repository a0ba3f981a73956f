// Whole-table reading, writing and comparison through the c_ entry points.
#include "fuzz/table_snapshot.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>

#include "fuzz/fuzz_support.h"

namespace fuzz {

namespace {

// Records the first failed call of a read.
void note(Snapshot* s, const char* what) {
  if (c_voserr() == 0) return;
  if (s->clean) s->first_error = std::string(what) + ": " + c_voserrmsg();
  s->clean = false;
}

std::string bits(double v) {
  if (std::isnan(v)) return "nan";
  std::uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  char b[24];
  std::snprintf(b, sizeof b, "d%016llx", static_cast<unsigned long long>(u));
  return b;
}

std::string bits(float v) {
  if (std::isnan(v)) return "nan";
  std::uint32_t u;
  std::memcpy(&u, &v, sizeof u);
  char b[16];
  std::snprintf(b, sizeof b, "r%08x", u);
  return b;
}

bool is_text(int dtype) { return dtype < 0 || dtype == 2; }

// Room for n strings of kSnapMaxText characters, as char* arrays.
struct TextBuffers {
  std::vector<std::vector<char>> store;
  std::vector<char*> ptrs;
  explicit TextBuffers(std::size_t n) : store(n, std::vector<char>(kSnapMaxText + 1, '\0')) {
    for (auto& s : store) ptrs.push_back(s.data());
  }
  std::string at(std::size_t i) const {
    const std::vector<char>& s = store[i];
    FUZZ_CHECK(std::memchr(s.data(), '\0', s.size()) != nullptr, "unterminated text out");
    return std::string(s.data());
  }
};

// The value a single-element getter gives, or none when it fails.
template <class T>
std::optional<T> got(void (*get)(TablePtr, ColumnPtr, int, T*), TablePtr tp, ColumnPtr cp, int row) {
  T v{};
  get(tp, cp, row, &v);
  if (c_voserr() != 0) return std::nullopt;
  return v;
}

// One element through every single-element getter; the value in the
// column's own type.
std::string element(TablePtr tp, ColumnPtr cp, int dtype, int row, Snapshot* s,
                    std::string* as_text, double* as_double) {
  std::vector<char> text(kSnapMaxText + 1, '\0');
  c_tbegtt(tp, cp, row, text.data(), kSnapMaxText);
  bool text_ok = c_voserr() == 0;
  note(s, "tbegtt");
  FUZZ_CHECK(std::memchr(text.data(), '\0', text.size()) != nullptr, "unterminated tbegtt");
  *as_text = text_ok ? std::string(text.data()) : "!err";
  const auto d = got(c_tbegtd, tp, cp, row);
  *as_double = d ? *d : std::nan("");
  const auto r = got(c_tbegtr, tp, cp, row);
  const auto i = got(c_tbegti, tp, cp, row);
  const auto sh = got(c_tbegts, tp, cp, row);
  const auto b = got(c_tbegtb, tp, cp, row);
  if (is_text(dtype)) return *as_text;
  std::string own;
  switch (dtype) {
    case TBL_TY_BOOL: own = b ? (*b ? "b1" : "b0") : "!err"; break;
    case TBL_TY_SHORT: own = sh ? "s" + std::to_string(*sh) : "!err"; break;
    case TBL_TY_INT: own = i ? "i" + std::to_string(*i) : "!err"; break;
    case TBL_TY_REAL: own = r ? bits(*r) : "!err"; break;
    case TBL_TY_DOUBLE: own = d ? bits(*d) : "!err"; break;
    default: return "?" + *as_text;
  }
  // A value refused in the column's own type (a 64-bit integer no double
  // holds) is a read that did not go cleanly: there is nothing to copy.
  if (own == "!err" && s->clean) {
    s->clean = false;
    s->first_error = "row " + std::to_string(row) + ": get in the column's own type refused";
  }
  return own;
}

// The elements of an array cell through every array getter; the values in
// the column's own type.
std::vector<std::string> array_cell(TablePtr tp, ColumnPtr cp, int dtype, int nelem, int row,
                                    Snapshot* s) {
  int n = std::min(nelem, kSnapMaxElems);
  std::vector<std::string> out(static_cast<std::size_t>(n), "!err");
  TextBuffers tb(static_cast<std::size_t>(n));
  int got = c_tbagtt(tp, cp, row, tb.ptrs.data(), kSnapMaxText, 1, n);
  note(s, "tbagtt");
  bool ok = c_voserr() == 0;
  FUZZ_CHECK(got >= 0 && got <= n, "tbagtt count " + std::to_string(got));
  std::vector<double> d(static_cast<std::size_t>(n));
  std::vector<float> r(static_cast<std::size_t>(n));
  std::vector<int> iv(static_cast<std::size_t>(n)), bv(static_cast<std::size_t>(n));
  std::vector<short> sv(static_cast<std::size_t>(n));
  int gd = c_tbagtd(tp, cp, row, d.data(), 1, n);
  bool d_ok = c_voserr() == 0;
  int gr = c_tbagtr(tp, cp, row, r.data(), 1, n);
  bool r_ok = c_voserr() == 0;
  int gi = c_tbagti(tp, cp, row, iv.data(), 1, n);
  bool i_ok = c_voserr() == 0;
  int gs = c_tbagts(tp, cp, row, sv.data(), 1, n);
  bool s_ok = c_voserr() == 0;
  int gb = c_tbagtb(tp, cp, row, bv.data(), 1, n);
  bool b_ok = c_voserr() == 0;
  for (int c : {gd, gr, gi, gs, gb}) FUZZ_CHECK(c >= 0 && c <= n, "array count " + std::to_string(c));
  for (int k = 0; k < n; ++k) {
    auto u = static_cast<std::size_t>(k);
    if (is_text(dtype)) {
      if (ok && k < got) out[u] = tb.at(u);
      continue;
    }
    switch (dtype) {
      case TBL_TY_BOOL: if (b_ok && k < gb) out[u] = bv[u] ? "b1" : "b0"; break;
      case TBL_TY_SHORT: if (s_ok && k < gs) out[u] = "s" + std::to_string(sv[u]); break;
      case TBL_TY_INT: if (i_ok && k < gi) out[u] = "i" + std::to_string(iv[u]); break;
      case TBL_TY_REAL: if (r_ok && k < gr) out[u] = bits(r[u]); break;
      case TBL_TY_DOUBLE: if (d_ok && k < gd) out[u] = bits(d[u]); break;
      default: break;
    }
  }
  return out;
}

// Texts and doubles of the scalar columns of a row, through the row getters.
void row_values(TablePtr tp, const std::vector<ColumnPtr>& cps, int row,
                std::vector<std::string>* texts, std::vector<double>* doubles, bool* ok_t,
                bool* ok_d) {
  int n = static_cast<int>(cps.size());
  TextBuffers tb(cps.size());
  std::vector<int> nulls(cps.size() + 1);
  c_tbrgtt(tp, cps.data(), tb.ptrs.data(), nulls.data(), kSnapMaxText, n, row);
  *ok_t = c_voserr() == 0;
  for (std::size_t i = 0; i < cps.size(); ++i) texts->push_back(tb.at(i));
  doubles->assign(cps.size(), 0.0);
  c_tbrgtd(tp, cps.data(), doubles->data(), nulls.data(), n, row);
  *ok_d = c_voserr() == 0;
  std::vector<float> r(cps.size());
  std::vector<int> iv(cps.size());
  std::vector<short> sv(cps.size());
  c_tbrgtr(tp, cps.data(), r.data(), nulls.data(), n, row);
  c_tbrgti(tp, cps.data(), iv.data(), nulls.data(), n, row);
  c_tbrgts(tp, cps.data(), sv.data(), nulls.data(), n, row);
  c_tbrgtb(tp, cps.data(), iv.data(), nulls.data(), n, row);
}

// The double a value text of bits holds (NaN for any other text).
double value_of(const std::string& v) {
  if (v.size() != 17 || v[0] != 'd') return std::nan("");
  std::uint64_t u = std::stoull(v.substr(1), nullptr, 16);
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

bool near(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b || std::fabs(a - b) <= 1e-14 * std::max(std::fabs(a), std::fabs(b));
}

// True when a and b print alike with 16 significant digits.
bool same_to_16_digits(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return false;
  char x[40], y[40];
  std::snprintf(x, sizeof x, "%.16g", a);
  std::snprintf(y, sizeof y, "%.16g", b);
  return a == b || std::strcmp(x, y) == 0;
}

// True when b is a as a sexagesimal print format writes it: such a format
// (%w.dh or %w.dm) shows seconds to d decimals, so a value comes back to
// within that, and a field of 60 or more read from the file comes back
// carried into the next field, rounded differently in its last bit.
bool same_as_written(double a, double b, const std::string& format) {
  if (std::isnan(a) || std::isnan(b) || format.empty()) return false;
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(format.back())));
  if (letter != 'h' && letter != 'm') return false;
  int d = 0;
  const std::size_t dot = format.find('.');
  if (dot != std::string::npos) d = std::atoi(format.c_str() + dot + 1);
  // The formatter writes at most nine decimals of a second.
  const double step = std::pow(10.0, -std::min(d, 9)) / 60.0;
  return std::fabs(a - b) <= step + 1e-14 * std::max(std::fabs(a), std::fabs(b));
}

bool same_double(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || bits(a) == bits(b);
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  std::size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

bool comment_like(const std::string& kw) {
  std::string k = upper(kw.substr(0, 8));
  return k == "HISTORY" || k == "COMMENT" || trim(k).empty();
}

// The keywords of a FITS header that describe the HDU's structure and
// columns (those a copy of all header parameters skips); the writer makes
// its own.
bool fits_structural(const std::string& kw) {
  static const char* const whole[] = {"XTENSION", "BITPIX", "PCOUNT", "GCOUNT", "TFIELDS", "END",
                                      "THEAP", "SIMPLE", "EXTEND"};
  static const char* const prefix[] = {"NAXIS", "TBCOL", "TFORM", "TTYPE", "TUNIT", "TSCAL",
                                       "TZERO", "TNULL", "TDISP", "TDIM"};
  std::string k = upper(kw.substr(0, 8));
  for (const char* w : whole)
    if (k == w) return true;
  for (const char* p : prefix)
    if (k.rfind(p, 0) == 0) return true;
  return false;
}

// True when every character is printable ASCII, all a FITS header holds.
bool printable(const std::string& text) {
  for (char c : text)
    if (c < 0x20 || c > 0x7e) return false;
  return true;
}

// A name CFITSIO writes as a keyword of its own (others it writes under
// its long-keyword convention).
bool fits_keyword(const std::string& kw) {
  for (char c : upper(kw))
    if (!std::isupper(static_cast<unsigned char>(c)) && !std::isdigit(static_cast<unsigned char>(c)) &&
        c != '_' && c != '-')
      return false;
  return true;
}

// The keywords a round trip writes and compares (for a FITS table, not the
// structural ones): the first of each name
// (adding a keyword again replaces it) and every comment-like one; not a
// text value that begins with a quote, which the add routines take as a
// quoted value followed by a comment.
std::vector<SnapKeyword> kept_keywords(const Snapshot& s, int type) {
  std::vector<SnapKeyword> out;
  std::set<std::string> seen;
  for (const SnapKeyword& k : s.keywords) {
    if (type == 14 && (fits_structural(k.name) || !fits_keyword(k.name) || !printable(k.text)))
      continue;
    std::string v = trim(k.text);
    if (!v.empty() && (v[0] == '\'' || v[0] == '"')) continue;
    if (comment_like(k.name) || seen.insert(upper(k.name)).second) out.push_back(k);
  }
  return out;
}

std::string compare_keywords(const Snapshot& a, const Snapshot& b, bool keywords, int type);

void read_keywords(TablePtr tp, Snapshot* s) {
  int npar = c_tbpsta(tp, 24);
  note(s, "tbpsta 24");
  for (int p = 1; p <= npar && p <= 200; ++p) {
    char kw[9 + 8] = {};
    char value[81 + 8] = {};
    int dtype = 0;
    c_tbhgnp(tp, p, kw, &dtype, value);
    note(s, "tbhgnp");
    FUZZ_CHECK(std::memchr(kw, '\0', 9) != nullptr, "tbhgnp keyword unterminated");
    FUZZ_CHECK(std::memchr(value, '\0', 81) != nullptr, "tbhgnp value unterminated");
    SnapKeyword k{kw, dtype, value, value};
    char text[kSnapMaxText + 1];
    c_tbhgtt(tp, kw, text, kSnapMaxText);
    c_tbhgcm(tp, kw, text, kSnapMaxText);
    double d = c_tbhgtd(tp, kw);
    bool d_ok = c_voserr() == 0;
    float r = c_tbhgtr(tp, kw);
    bool r_ok = c_voserr() == 0;
    int i = c_tbhgti(tp, kw);
    bool i_ok = c_voserr() == 0;
    int b = c_tbhgtb(tp, kw);
    bool b_ok = c_voserr() == 0;
    if (!comment_like(k.name)) {
      switch (dtype) {
        case TBL_TY_DOUBLE: k.value = d_ok ? bits(d) : "!err"; break;
        case TBL_TY_REAL: k.value = r_ok ? bits(r) : "!err"; break;
        case TBL_TY_INT: k.value = i_ok ? "i" + std::to_string(i) : "!err"; break;
        case TBL_TY_BOOL: k.value = b_ok ? (b ? "b1" : "b0") : "!err"; break;
        default: break;
      }
      // A keyword the getters cannot find by its name (one stored in lower
      // case, say) has no value to write back.
      if (k.value == "!err" && s->clean) {
        s->clean = false;
        s->first_error = "keyword " + k.name + " not found by its name";
      }
    }
    s->keywords.push_back(k);
  }
}

}  // namespace

void read_whole(TablePtr tp, Snapshot* s) {
  for (int code : {1, 3, 5, 6, 7, 8, 9, 21, 22, 23, 24, 25, 26, 34}) {
    c_tbpsta(tp, code);
    note(s, "tbpsta");
  }
  char name[kSnapMaxText + 1];
  c_tbtnam(tp, name, kSnapMaxText);
  s->nrows = c_tbpsta(tp, 21);
  int ncols = c_tbpsta(tp, 22);
  note(s, "tbpsta 21/22");
  FUZZ_CHECK(s->nrows >= 0 && ncols >= 0,
             "negative size: rows " + std::to_string(s->nrows) + " cols " + std::to_string(ncols));
  std::vector<ColumnPtr> cps;
  for (int c = 1; c <= ncols && c <= kSnapMaxCols; ++c) {
    ColumnPtr cp = c_tbcnum(tp, c);
    note(s, "tbcnum");
    if (cp == nullptr) break;
    SnapColumn col;
    char cname[80] = {}, units[80] = {}, fmt[80] = {};
    int num = 0, lenfmt = 0;
    c_tbcinf(cp, &num, cname, units, fmt, &col.dtype, &col.nelem, &lenfmt);
    note(s, "tbcinf");
    col.name = cname;
    col.units = units;
    col.format = fmt;
    for (int code = 41; code <= 47; ++code) {
      char t[kSnapMaxText + 1];
      c_tbcigi(cp, code);
      c_tbcigt(cp, code, t, kSnapMaxText);
    }
    ColumnPtr found = nullptr;
    c_tbcfnd1(tp, cname, &found);
    note(s, "tbcfnd1");
    c_tbcdes(tp, cp);
    cps.push_back(cp);
    s->cols.push_back(col);
  }
  int nread = std::min(s->nrows, kSnapMaxRows);
  std::vector<ColumnPtr> scalars;
  std::vector<std::size_t> scalar_index;
  for (std::size_t c = 0; c < cps.size(); ++c)
    if (s->cols[c].nelem <= 1) {
      scalars.push_back(cps[c]);
      scalar_index.push_back(c);
    }
  // Element texts and doubles of the scalar columns, to compare with what
  // the row and column-range getters deliver.
  std::vector<std::vector<std::string>> etext(static_cast<std::size_t>(nread));
  std::vector<std::vector<double>> edouble(static_cast<std::size_t>(nread));
  for (int row = 1; row <= nread; ++row) {
    auto r = static_cast<std::size_t>(row - 1);
    std::vector<std::vector<std::string>> cells;
    for (std::size_t c = 0; c < cps.size(); ++c) {
      const SnapColumn& col = s->cols[c];
      std::string t;
      double d = 0;
      std::string v = element(tp, cps[c], col.dtype, row, s, &t, &d);
      if (col.nelem > 1) {
        cells.push_back(array_cell(tp, cps[c], col.dtype, col.nelem, row, s));
      } else {
        cells.push_back({v});
        etext[r].push_back(t);
        edouble[r].push_back(d);
      }
    }
    s->cells.push_back(cells);
    if (scalars.empty()) continue;
    std::vector<std::string> rt;
    std::vector<double> rd;
    bool ok_t = false, ok_d = false;
    row_values(tp, scalars, row, &rt, &rd, &ok_t, &ok_d);
    note(s, "row getters");
    for (std::size_t k = 0; k < scalars.size(); ++k) {
      if (ok_t && etext[r][k] != "!err")
        FUZZ_CHECK(rt[k] == etext[r][k], "row " + std::to_string(row) + " column " +
                                             std::to_string(scalar_index[k] + 1) + ": tbrgtt '" +
                                             rt[k] + "' tbegtt '" + etext[r][k] + "'");
      if (ok_d && !std::isnan(edouble[r][k]))
        FUZZ_CHECK(same_double(rd[k], edouble[r][k]),
                   "row " + std::to_string(row) + ": tbrgtd differs from tbegtd");
    }
  }
  // Column ranges over the rows read.
  if (nread > 0) {
    for (std::size_t k = 0; k < scalars.size(); ++k) {
      auto n = static_cast<std::size_t>(nread);
      TextBuffers tb(n);
      std::vector<int> nulls(n), iv(n);
      std::vector<double> d(n);
      std::vector<float> r(n);
      std::vector<short> sv(n);
      c_tbcgtt(tp, scalars[k], tb.ptrs.data(), nulls.data(), kSnapMaxText, 1, nread);
      bool ok_t = c_voserr() == 0;
      note(s, "tbcgtt");
      c_tbcgtd(tp, scalars[k], d.data(), nulls.data(), 1, nread);
      bool ok_d = c_voserr() == 0;
      c_tbcgtr(tp, scalars[k], r.data(), nulls.data(), 1, nread);
      c_tbcgti(tp, scalars[k], iv.data(), nulls.data(), 1, nread);
      c_tbcgts(tp, scalars[k], sv.data(), nulls.data(), 1, nread);
      c_tbcgtb(tp, scalars[k], iv.data(), nulls.data(), 1, nread);
      for (std::size_t row = 0; row < n; ++row) {
        if (ok_t && etext[row][k] != "!err")
          FUZZ_CHECK(tb.at(row) == etext[row][k],
                     "row " + std::to_string(row + 1) + ": tbcgtt '" + tb.at(row) + "' tbegtt '" +
                         etext[row][k] + "'");
        if (ok_d && !std::isnan(edouble[row][k]))
          FUZZ_CHECK(same_double(d[row], edouble[row][k]),
                     "row " + std::to_string(row + 1) + ": tbcgtd differs from tbegtd");
      }
    }
  }
  read_keywords(tp, s);
}

bool read_table(const std::string& name, Snapshot* snap) {
  TablePtr tp = c_tbtopn(name.c_str(), TBL_READ_ONLY, nullptr);
  if (c_voserr() != 0 || tp == nullptr) {
    snap->clean = false;
    snap->first_error = std::string("tbtopn: ") + c_voserrmsg();
    if (tp != nullptr) c_tbtclo(tp);
    return false;
  }
  read_whole(tp, snap);
  c_tbtclo(tp);
  note(snap, "tbtclo");
  return true;
}

std::string write_table(const Snapshot& snap, const std::string& name, int type, bool keywords) {
  std::string err;
  auto check = [&](const char* what) {
    if (c_voserr() != 0 && err.empty()) err = std::string(what) + ": " + c_voserrmsg();
    return err.empty();
  };
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, nullptr);
  if (!check("tbtopn") || tp == nullptr) return err.empty() ? "tbtopn: no table" : err;
  if (type != 11 && type != 14) c_tbpset(tp, 5, type);
  check("tbpset 5");
  // A text table is written with its column definitions, so that types and
  // formats are kept rather than guessed again from the values.
  if (type == 13) c_tbpset(tp, 9, 1302);
  check("tbpset 9");
  c_tbpset(tp, 6, static_cast<int>(snap.keywords.size()) + 5);
  check("tbpset 6");
  c_tbpset(tp, 7, static_cast<int>(snap.cols.size()) + 1);
  check("tbpset 7");
  std::vector<ColumnPtr> cps(snap.cols.size(), nullptr);
  for (std::size_t c = 0; c < snap.cols.size() && err.empty(); ++c) {
    const SnapColumn& col = snap.cols[c];
    c_tbcdef1(tp, &cps[c], col.name.c_str(), col.units.c_str(), col.format.c_str(), col.dtype,
              col.nelem);
    check("tbcdef1");
  }
  if (err.empty()) {
    c_tbtcre(tp);
    check("tbtcre");
  }
  for (std::size_t r = 0; r < snap.cells.size() && err.empty(); ++r) {
    int row = static_cast<int>(r + 1);
    for (std::size_t c = 0; c < snap.cols.size() && err.empty(); ++c) {
      const SnapColumn& col = snap.cols[c];
      const std::vector<std::string>& cell = snap.cells[r][c];
      for (std::size_t e = 0; e < cell.size() && err.empty(); ++e) {
        const std::string& v = cell[e];
        int first = static_cast<int>(e + 1);
        if (is_text(col.dtype)) {
          const char* p = v.c_str();
          if (col.nelem > 1) c_tbaptt(tp, cps[c], row, &p, kSnapMaxText, first, 1);
          else c_tbeptt(tp, cps[c], row, p);
        } else if (v == "nan" || v.size() < 2) {
          continue;  // not written: no exact value to compare
        } else if (col.dtype == TBL_TY_DOUBLE) {
          std::uint64_t u = std::stoull(v.substr(1), nullptr, 16);
          double d;
          std::memcpy(&d, &u, sizeof d);
          if (col.nelem > 1) c_tbaptd(tp, cps[c], row, &d, first, 1);
          else c_tbeptd(tp, cps[c], row, d);
        } else if (col.dtype == TBL_TY_REAL) {
          auto u = static_cast<std::uint32_t>(std::stoul(v.substr(1), nullptr, 16));
          float f;
          std::memcpy(&f, &u, sizeof f);
          if (col.nelem > 1) c_tbaptr(tp, cps[c], row, &f, first, 1);
          else c_tbeptr(tp, cps[c], row, f);
        } else if (col.dtype == TBL_TY_INT || col.dtype == TBL_TY_BOOL) {
          int i = col.dtype == TBL_TY_BOOL ? (v == "b1") : std::stoi(v.substr(1));
          if (col.dtype == TBL_TY_BOOL) {
            if (col.nelem > 1) c_tbaptb(tp, cps[c], row, &i, first, 1);
            else c_tbeptb(tp, cps[c], row, i);
          } else {
            if (col.nelem > 1) c_tbapti(tp, cps[c], row, &i, first, 1);
            else c_tbepti(tp, cps[c], row, i);
          }
        } else if (col.dtype == TBL_TY_SHORT) {
          auto sh = static_cast<short>(std::stoi(v.substr(1)));
          if (col.nelem > 1) c_tbapts(tp, cps[c], row, &sh, first, 1);
          else c_tbepts(tp, cps[c], row, sh);
        }
        check("cell put");
      }
    }
  }
  if (keywords) {
    for (const SnapKeyword& k : kept_keywords(snap, type)) {
      if (!err.empty()) break;
      const std::string& v = k.value;
      if (type == 13 || comment_like(k.name) || v.size() < 2 || v == "nan" || v[0] == '!' ||
          k.dtype == 2 || k.dtype == 0) {
        c_tbhadt(tp, k.name.c_str(), k.text.c_str());
      } else if (k.dtype == TBL_TY_DOUBLE) {
        std::uint64_t u = std::stoull(v.substr(1), nullptr, 16);
        double d;
        std::memcpy(&d, &u, sizeof d);
        c_tbhadd(tp, k.name.c_str(), d);
      } else if (k.dtype == TBL_TY_REAL) {
        auto u = static_cast<std::uint32_t>(std::stoul(v.substr(1), nullptr, 16));
        float f;
        std::memcpy(&f, &u, sizeof f);
        c_tbhadr(tp, k.name.c_str(), f);
      } else if (k.dtype == TBL_TY_INT) {
        c_tbhadi(tp, k.name.c_str(), std::stoi(v.substr(1)));
      } else if (k.dtype == TBL_TY_BOOL) {
        c_tbhadb(tp, k.name.c_str(), v == "b1");
      }
      check("keyword add");
    }
  }
  c_tbtclo(tp);
  check("tbtclo");
  return err;
}

std::string compare(const Snapshot& a, const Snapshot& b, bool keywords, int type) {
  if (a.cols.size() != b.cols.size())
    return "column count " + std::to_string(a.cols.size()) + " vs " + std::to_string(b.cols.size());
  for (std::size_t c = 0; c < a.cols.size(); ++c) {
    const SnapColumn &x = a.cols[c], &y = b.cols[c];
    std::string at = "column " + std::to_string(c + 1) + " ";
    if (x.name != y.name) return at + "name '" + x.name + "' vs '" + y.name + "'";
    if (x.units != y.units) return at + "units '" + x.units + "' vs '" + y.units + "'";
    // A FITS table keeps a print format as a display format (TDISP), a
    // translation that does not always come back to the same text.
    if (type != 14 && x.format != y.format)
      return at + "format '" + x.format + "' vs '" + y.format + "'";
    if (x.dtype != y.dtype)
      return at + "type " + std::to_string(x.dtype) + " vs " + std::to_string(y.dtype);
    if (x.nelem != y.nelem)
      return at + "elements " + std::to_string(x.nelem) + " vs " + std::to_string(y.nelem);
  }
  // Rows without columns hold nothing to write, so none are written.
  if (a.cols.empty()) return compare_keywords(a, b, keywords, type);
  if (a.cells.size() != b.cells.size())
    return "rows read " + std::to_string(a.cells.size()) + " vs " + std::to_string(b.cells.size());
  // A text table keeps no blanks around a word that needs no quotes, and
  // a quoted word may gain or lose blanks at its end, so a text cell with
  // blanks at its ends (such as a number of a column turned into text)
  // comes back without them.
  // A FITS string carries no trailing blanks (a cell is padded with blanks
  // to the column's width when stored, and they are dropped when read), so
  // a FITS text cell compares without them.
  auto kept = [&](std::string v, std::size_t c) {
    if (type == 13 && is_text(a.cols[c].dtype)) {
      v.erase(v.find_last_not_of(' ') + 1);
      v.erase(0, v.find_first_not_of(' ') == std::string::npos ? v.size() : v.find_first_not_of(' '));
    }
    if (type == 14 && is_text(a.cols[c].dtype)) v.erase(v.find_last_not_of(' ') + 1);
    return v;
  };
  for (std::size_t r = 0; r < a.cells.size(); ++r)
    for (std::size_t c = 0; c < a.cols.size(); ++c)
      for (std::size_t e = 0; e < a.cells[r][c].size(); ++e) {
        const std::string x = kept(a.cells[r][c][e], c);
        const std::string y = e < b.cells[r][c].size() ? kept(b.cells[r][c][e], c) : "(missing)";
        // A text table writes -0 as 0: equal values, not equal bits; and the
        // print format it guesses for a double column keeps at most 16
        // significant digits, so a value read from 17 comes back rounded.
        if (type == 13 && a.cols[c].dtype == TBL_TY_DOUBLE &&
            (same_to_16_digits(value_of(x), value_of(y)) ||
             same_as_written(value_of(x), value_of(y), a.cols[c].format)))
          continue;
        if (x != y && x != "nan")
          return "row " + std::to_string(r + 1) + " column " + std::to_string(c + 1) +
                 " element " + std::to_string(e + 1) + ": '" + x + "' vs '" + y + "'";
      }
  return compare_keywords(a, b, keywords, type);
}

namespace {

// True when the text of a FITS card with a blank keyword came back as
// written: such a card is stored as ten blanks and its text but its text is
// read from column 9, so each copy moves it two columns right and a full
// card loses its last two characters.
bool same_blank_card(const std::string& was, const std::string& back) {
  std::string x = trim(was), y = trim(back);
  for (std::size_t cut = 0; cut <= 2 && cut <= x.size(); ++cut)
    if (trim(x.substr(0, x.size() - cut)) == y) return true;
  return false;
}

std::string compare_keywords(const Snapshot& a, const Snapshot& b, bool keywords, int type) {
  if (!keywords) return "";
  std::vector<SnapKeyword> ka = kept_keywords(a, type), kb;
  for (const SnapKeyword& k : b.keywords)
    if (type != 14 || (!fits_structural(k.name) && fits_keyword(k.name) && printable(k.text)))
      kb.push_back(k);
  if (ka.size() != kb.size())
    return "keyword count " + std::to_string(ka.size()) + " vs " + std::to_string(kb.size());
  for (std::size_t i = 0; i < ka.size(); ++i) {
    const SnapKeyword &x = ka[i], &y = kb[i];
    std::string at = "keyword " + std::to_string(i + 1) + " ";
    if (upper(x.name) != upper(y.name)) return at + "'" + x.name + "' vs '" + y.name + "'";
    const std::string& xv = type == 13 ? x.text : x.value;
    const std::string& yv = type == 13 ? y.text : y.value;
    // FITS cards carry doubles with 15 significant digits.
    if (type == 14 && x.dtype == TBL_TY_DOUBLE && y.dtype == TBL_TY_DOUBLE &&
        near(value_of(xv), value_of(yv)))
      continue;
    if (type == 14 && trim(x.name).empty() && same_blank_card(xv, yv)) continue;
    if (trim(xv) != trim(yv)) return at + x.name + " value '" + xv + "' vs '" + yv + "'";
  }
  return "";
}

}  // namespace

bool round_trip(const Snapshot& snap, const std::string& name, int type, bool keywords,
                std::string* why) {
  if (!snap.clean) return true;
  if (type == 14) {
    for (const SnapColumn& c : snap.cols)
      if (!printable(c.name) || !printable(c.units)) {
        trace("round trip skipped: a FITS header holds only printable text");
        return true;
      }
  }
  std::string refused = write_table(snap, name, type, keywords);
  if (!refused.empty()) {
    trace("round trip skipped: writing refused: " + refused);
    return true;
  }
  Snapshot back;
  if (!read_table(name, &back)) {
    *why = "written table does not open: " + back.first_error;
    return false;
  }
  if (!back.clean) {
    *why = "written table reads with an error: " + back.first_error;
    return false;
  }
  *why = compare(snap, back, keywords, type);
  trace(why->empty() ? "round trip holds" : "round trip broken: " + *why);
  return why->empty();
}

void table_file_input(const std::uint8_t* data, std::size_t size, const std::string& ext,
                      int type, bool keywords, const std::vector<std::string>& also) {
  static bool started = false;
  if (!started) {
    c_vosinit();
    started = true;
  }
  clear_scratch();
  const std::string in = scratch_path("in" + ext);
  FUZZ_CHECK(write_file(in, data, size), "cannot write " + in);
  Snapshot snap;
  read_table(in, &snap);
  trace(std::to_string(snap.nrows) + " rows, " + std::to_string(snap.cols.size()) + " columns, " +
        std::to_string(snap.keywords.size()) + " keywords; " +
        (snap.clean ? "read cleanly" : "first error " + snap.first_error));
  std::string why;
  FUZZ_CHECK(round_trip(snap, scratch_path("out" + ext), type, keywords, &why),
             "round trip: " + why);
  for (const std::string& suffix : also) {
    Snapshot more;
    read_table(in + suffix, &more);
    trace(suffix + ": " + std::to_string(more.keywords.size()) + " keywords; " +
          (more.clean ? "read cleanly" : "first error " + more.first_error));
  }
  clear_scratch();
}

void binary_file_input(const std::uint8_t* data, std::size_t size, int type) {
  std::vector<std::uint8_t> file(data, data + size);
  if (file.size() >= 36) {
    file[32] = file[33] = file[34] = 0;
    file[35] = static_cast<std::uint8_t>(type);
  }
  table_file_input(file.data(), file.size(), ".tab", type, true);
}

}  // namespace fuzz
