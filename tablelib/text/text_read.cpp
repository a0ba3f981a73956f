// Opening a text table: the whole file is read into memory.  Tables with
// column definitions ("#c" lines) take their columns from them; tables
// without take them from the first data line and widen them as later lines
// need.
#include "text_read.h"

#include <algorithm>
#include <string>
#include <vector>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "vos/scan.h"

using tbl::Column;
using tbl::Table;

namespace tbtext {
namespace {

constexpr const char* kDefsFirst = "tbtopn:  column definitions must precede all data lines";

std::string too_long(int lineno) {
  return "string in line " + std::to_string(lineno) +
         " is too long for a table; the maximum is 1022";
}

// The reading state of one open.
struct Reader {
  Table* tp = nullptr;
  std::string line;
  int lineno = 0;
  int cls = kLineComment;
  bool have_line = false;  // `line` holds a line not yet handled

  // Next line; false at the end of the file.
  bool next() {
    if (have_line) {
      have_line = false;
      return true;
    }
    return tbzlin(tp->fd, line, lineno, cls) != -2;
  }
};

// Stores one word as the value of a column in row r.
void tbzpbt(Table* tp, Column* cp, int r, std::string_view word) {
  if (r > tp->allrows) grow_rows(tp, r + 1000);
  tp->nrows = std::max(tp->nrows, r);
  TextColumn& tc = cells(cp);
  std::size_t i = static_cast<std::size_t>(r - 1);
  if (is_double(cp)) {
    double d = tbl::kIndefD;
    tc.d[i] = read_double(word, d) ? d : tbl::kIndefD;
  } else if (is_int(cp)) {
    long l = 0;
    bool ok = read_long(word, l) && l >= -2147483647L && l <= 2147483647L;
    tc.i[i] = ok ? static_cast<int>(l) : tbl::kIndefI;
  } else {
    tc.s[i] = std::string(word.substr(0, text_width(cp)));
  }
}

// Adds one column to the table being read.
Column* add_column(Table* tp, const std::string& name, const std::string& units,
                   const std::string& fmt, int dtype) {
  Column* cp = nullptr;
  int nelem = 1;
  tbl::tbcadd(tp, &cp, &name, &units, &fmt, &dtype, &nelem, 1);
  return cp;
}

// Stores a data line of a table with column definitions as row r.
void tbzmex(Table* tp, const std::string& line, int r, int lineno) {
  std::size_t ip = 0;
  std::string word;
  if (r > tp->allrows) grow_rows(tp, r + 1000);
  tp->nrows = std::max(tp->nrows, r);  // every data line is a row
  for (int k = 1; vos::ctowrd(line, ip, word, 1023) > 0; ++k) {
    if (k > tp->ncols)
      fail(1, "column was found that was not explicitly defined (line " +
                  std::to_string(lineno) + ")");
    if (word.size() > 1022) fail(1, too_long(lineno));
    if (word.empty()) continue;
    Column* cp = tp->cols[static_cast<std::size_t>(k - 1)].get();
    if (!is_text(cp) && word.back() == ',') word.pop_back();
    tbzpbt(tp, cp, r, word);
  }
}

void tbzrdx(Reader& rd) {
  Table* tp = rd.tp;
  int r = 0;
  while (rd.next()) {
    if (rd.cls == kLineComment) {
      tbl::tbbcmt(tp, rd.line);
    } else if (rd.cls == kLineKeyword) {
      tbl::tbzkey(tp, rd.line, 0);
    } else if (rd.cls == kLineColumn) {
      if (r > 0) fail(1, kDefsFirst);
      std::string name, fmt, units;
      int dtype = 0;
      tbbecd(rd.line, name, dtype, fmt, units);
      add_column(tp, name, units, fmt, dtype);
    } else {
      tbzmex(tp, rd.line, ++r, rd.lineno);
    }
  }
}

// Per-column facts gathered while reading a table without definitions.
struct Scratch {
  std::vector<int> width, prec;
  std::vector<char> letter;
};

// True for a word that separates values: an unquoted word that begins with
// a comma.  The column definer and the row reader both skip it.
bool is_separator(const std::string& line, std::size_t before, const std::string& word) {
  std::size_t first = line.find_first_not_of(" \t", before);
  bool quoted = first != std::string::npos && (line[first] == '"' || line[first] == '\'');
  return !quoted && !word.empty() && word[0] == ',';
}

// Defines the columns from the first data line.
void tbzcol(Table* tp, const std::string& line, Scratch& sc) {
  if (line.compare(0, 10, "SIMPLE  = ") == 0) fail(1, "file is an image header, not a table");
  std::size_t pos = 0;
  std::string word;
  int width = 0, prec = 0, dtype = 0;
  char letter = 's';
  int n = 0;
  for (;;) {
    std::size_t before = pos;
    if (tbl::tbbwrd(line, pos, word, 1023, width, prec, dtype, letter) == 0) break;
    if (is_separator(line, before, word)) continue;
    ++n;
    int consumed = static_cast<int>(pos - before);
    width = std::max(width, n == 1 ? consumed : consumed - 1);
    int t = dtype == tbl::kTyInt ? tbl::kTyInt
            : dtype == tbl::kTyDouble ? tbl::kTyDouble
                                      : -std::min(std::max(width, 1), 1023);
    add_column(tp, "c" + std::to_string(n), "", "", t);
    sc.width.push_back(width);
    sc.prec.push_back(prec);
    sc.letter.push_back(letter);
  }
}

// Stores a data line of a table without definitions as row r, widening
// columns as its values need.
void tbzmem(Table* tp, const std::string& line, int r, int lineno, Scratch& sc) {
  if (r > tp->allrows) grow_rows(tp, r + 1000);
  tp->nrows = std::max(tp->nrows, r);  // every data line is a row
  std::size_t pos = 0;
  std::string word;
  int width = 0, prec = 0, dtype = 0;
  char letter = 's';
  int k = 0;
  for (;;) {
    std::size_t before = pos;
    if (tbl::tbbwrd(line, pos, word, 1023, width, prec, dtype, letter) == 0) break;
    if (is_separator(line, before, word)) continue;
    ++k;
    if (k > tp->ncols)
      fail(1, "column found in line " + std::to_string(lineno) + " that was not defined in first row");
    if (width > 1022) fail(1, too_long(lineno));
    std::size_t c = static_cast<std::size_t>(k - 1);
    Column* cp = tp->cols[c].get();
    sc.width[c] = std::max(sc.width[c], width);
    sc.prec[c] = std::max(sc.prec[c], prec);
    bool text_word = dtype != tbl::kTyInt && dtype != tbl::kTyDouble;
    if (is_text(cp)) {
      if (width > static_cast<int>(text_width(cp))) tbzt2t(tp, cp, sc.width[c]);
    } else if (text_word) {
      if (is_double(cp)) tbzd2t(tp, cp, sc.width[c], sc.prec[c], sc.letter[c]);
      else tbzi2t(tp, cp, sc.width[c]);
      sc.letter[c] = 's';
    } else if (is_int(cp) && dtype == tbl::kTyDouble && word.rfind("INDEF", 0) != 0) {
      tbzi2d(tp, cp);
    }
    if (is_double(cp)) {
      char& cl = sc.letter[c];
      if (letter == 'h') {
        if (cl == 'g') sc.prec[c] = std::max({sc.prec[c] - 6, prec, 1});
        cl = 'h';
      } else if (letter == 'm' && cl != 'h') {
        if (cl == 'g') sc.prec[c] = std::max({sc.prec[c] - 4, prec, 1});
        cl = 'm';
      } else if (letter == 'g' && cl == 'd') {
        cl = 'g';
      }
    }
    tbzpbt(tp, cp, r, word);
  }
}

void tbzrds(Reader& rd) {
  Table* tp = rd.tp;
  Scratch sc;
  int r = 0;
  while (rd.next()) {
    if (rd.cls == kLineComment) {
      tbl::tbbcmt(tp, rd.line);
    } else if (rd.cls == kLineKeyword) {
      tbl::tbzkey(tp, rd.line, 0);
    } else if (rd.cls == kLineColumn) {
      fail(1, kDefsFirst);
    } else {
      if (++r == 1) tbzcol(tp, rd.line, sc);
      tbzmem(tp, rd.line, r, rd.lineno, sc);
    }
  }
  for (std::size_t c = 0; c < sc.width.size() && c < tp->cols.size(); ++c) {
    Column* cp = tp->cols[c].get();
    int w = sc.width[c];
    if (is_double(cp)) {
      cp->format = double_format(w, sc.prec[c], sc.letter[c], false);
      cp->length = 4;
    } else if (is_int(cp)) {
      cp->format = "%" + std::to_string(std::min(w, 11)) + "d";
      cp->length = 2;
    } else {
      cp->format = "%-" + std::to_string(text_width(cp)) + "s";
      cp->length = (static_cast<int>(text_width(cp)) + 1) / 2;
    }
    cp->nelem = 1;
  }
}

}  // namespace

std::string double_format(int width, int prec, char fmtchar, bool left) {
  int w = std::min(width, 25);
  int p = prec;
  if (fmtchar == 'g' && p < w - 2) p = w - 2;
  p = std::min(p, 16);
  return std::string("%") + (left ? "-" : "") + std::to_string(w) + "." + std::to_string(p) +
         fmtchar;
}

void tbztyp(std::string_view word, int& dtype) {
  int t = 0;
  tbl::tbbtyp(word, t);
  if (t == tbl::kTyReal) t = tbl::kTyDouble;
  else if (t == tbl::kTyShort) t = tbl::kTyInt;
  else if (t == tbl::kTyBool) t = -8;
  dtype = t;
}

void tbbecd(std::string_view line, std::string& name, int& dtype, std::string& fmt,
            std::string& units) {
  std::size_t ip = 3;
  std::string type;
  fmt.clear();
  units.clear();
  if (line.size() < 3 || vos::ctowrd(line, ip, name, 79) == 0)
    fail(1, "could not read column name");
  if (vos::ctowrd(line, ip, type, 79) == 0) type = "d";
  std::string f;
  if (vos::ctowrd(line, ip, f, 79) > 0) vos::ctowrd(line, ip, units, 79);
  tbztyp(type, dtype);
  tbl::tbbftp(f, fmt);
  if (!fmt.empty() && !format_fits(fmt, dtype)) fmt.clear();
}

}  // namespace tbtext

using namespace tbtext;

namespace tbl {

// Reads the whole opened text file into the in-memory table.
void tbzopn(Table* tp) {
  auto tt = std::make_unique<TextTable>();
  TextTable* state = tt.get();
  state->load_failed = true;
  tp->store = std::move(tt);
  if (tp->maxpar <= 0) tp->maxpar = 128;
  if (tp->keylines.size() < static_cast<std::size_t>(tp->maxpar))
    tp->keylines.resize(static_cast<std::size_t>(tp->maxpar));
  tp->comments.clear();
  Reader rd;
  rd.tp = tp;
  tp->subtype = kTextByPosition;
  while (rd.next()) {
    if (rd.cls == kLineKeyword) {
      tbzkey(tp, rd.line, 0);
    } else if (rd.cls == kLineComment) {
      tbbcmt(tp, rd.line);
    } else {
      tp->subtype = rd.cls == kLineColumn ? kTextWithDefs : kTextByPosition;
      rd.have_line = true;
      break;
    }
  }
  if (tp->subtype == kTextWithDefs) tbzrdx(rd);
  else tbzrds(rd);
  int len = 0;
  for (auto& c : tp->cols) len += c->length;
  tp->rowlen = tp->allrowlen = len;
  state->load_failed = false;
}

}  // namespace tbl
