// Column data types, print formats and new column descriptors.
#include <algorithm>
#include <string>
#include <string_view>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "vos/error.h"
#include "vos/format.h"
#include "vos/scan.h"
#include "vos/strings.h"

namespace tbl {

namespace {

std::string cut(std::string_view s, std::size_t n) { return std::string(s.substr(0, n)); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

// Checks a column data type and gives its length in 2-byte chars.
void tbbaln(int dtype_in, int& dtype_out, int& length) {
  if (dtype_in < 0) {
    if (dtype_in < -kMaxTextWidth) vos::error(42, "char string column can't be that wide");
    dtype_out = dtype_in;
    length = (1 - dtype_in) / 2;
    return;
  }
  switch (dtype_in) {
    case kTyBool: length = 2; break;
    case kTyShort: length = 1; break;
    case kTyInt: length = 2; break;
    case kTyReal: length = 2; break;
    case kTyDouble: length = 4; break;
    default: vos::error(42, "invalid data type for a table column");
  }
  dtype_out = dtype_in;
}

// The column's print format: fmt_in when it begins with "%", else the
// default for the data type.
void tbbadf(std::string_view fmt_in, int dtype, int length, std::string& fmt_out, int maxch) {
  const std::size_t mx = static_cast<std::size_t>(std::max(maxch, 0));
  if (!fmt_in.empty() && fmt_in[0] == '%') {
    fmt_out = cut(fmt_in, mx);
    return;
  }
  std::string f;
  switch (dtype) {
    case kTyBool: f = "%6b"; break;
    case kTyShort:
    case kTyInt: f = "%11d"; break;
    case kTyReal: f = "%15.7g"; break;
    case kTyDouble: f = "%25.16g"; break;
    case kTyChar: f = "%-" + std::to_string(2 * length) + "s"; break;
    default:
      if (dtype < 0) f = "%-" + std::to_string(-static_cast<long>(dtype)) + "s";
      break;
  }
  fmt_out = cut(f, mx);
}

// Parses a type word ("real", "d", "int", "ch*12", ...) into a data type.
void tbbtyp(std::string_view word, int& dtype) {
  const std::string w = vos::lower(word.substr(0, 21));
  if (!w.empty()) {
    switch (w[0]) {
      case 'r': dtype = kTyReal; return;
      case 'd': dtype = kTyDouble; return;
      case 'i': dtype = kTyInt; return;
      case 's': dtype = kTyShort; return;
      case 'b': dtype = kTyBool; return;
      default: break;
    }
  }
  if (w.rfind("ch", 0) == 0 || w.rfind("c*", 0) == 0) {
    std::size_t star = w.find('*');
    if (star != std::string::npos) {
      std::size_t ip = star + 1;
      int n = 0;
      if (vos::ctoi(w, ip, n) > 0 && n >= 1) {
        dtype = -n;
        return;
      }
    }
  }
  vos::error(42, "tbbtyp:  bad data type");
}

// Letter-first display format ("F10.3", "A12", "I5") to a print format.
void tbbftp(std::string_view fmt_in, std::string& fmt_out) {
  fmt_out.clear();
  if (fmt_in.empty()) return;
  if (fmt_in[0] == '%') {
    fmt_out = cut(fmt_in, kSzColText);
    return;
  }
  const std::string in = vos::lower(fmt_in);
  static constexpr std::string_view kLetters = "fgiedhmlaz";
  static constexpr std::string_view kPrint = "fgdeehmbsx";
  const char letter = in[0];
  const std::size_t k = kLetters.find(letter);
  if (k == std::string_view::npos) return;
  const std::string width = in.substr(1);
  std::string out;
  if (letter == 'i' && in.find('.') != std::string::npos) {
    out = "%0" + width;
  } else {
    out = "%";
    if ((letter == 'a' || letter == 'l') && (width.empty() || width[0] != '-')) out += "-";
    out += width;
  }
  out += kPrint[k];
  fmt_out = cut(out, kSzColText);
}

// Reads and classifies the next word of a text line (see tbcore.h).
int tbbwrd(std::string_view line, std::size_t& pos, std::string& word, int maxch,
           int& width, int& prec, int& dtype, char& fmtchar) {
  fmtchar = 's';
  dtype = 0;
  const std::size_t start = pos;
  const int count = static_cast<int>(
      vos::ctowrd(line, pos, word, static_cast<std::size_t>(std::max(maxch, 0))));
  if (count < 1) return 0;
  width = prec = count;

  std::size_t first = start;
  while (first < pos && is_blank(line[first])) ++first;
  if (first < pos && (line[first] == '"' || line[first] == '\'')) {
    dtype = kTyChar;
    width = count - 2;
    while (!word.empty() && word.back() == ' ') word.pop_back();
    return count;
  }

  const char c0 = word.empty() ? '\0' : word[0];
  bool candidate = false;
  if (is_digit(c0)) {
    candidate = true;
  } else if (c0 == '-' || c0 == '+' || c0 == '.') {
    candidate = word.size() > 1 && is_digit(word[1]);
  } else if (c0 == 'I') {
    if (word == "INDEFI") {
      dtype = kTyInt;
      width = 6;
      fmtchar = 'd';
      return count;
    }
    if (word.rfind("INDEF", 0) == 0) {
      dtype = kTyDouble;
      width = 5;
      prec = 5;
      fmtchar = 'g';
      return count;
    }
  }
  if (candidate) {
    int p = 0, colons = 0;
    bool dot = false, expo = false, refused = false;
    for (std::size_t k = 0; k < word.size() && !refused; ++k) {
      const char c = word[k];
      if (is_digit(c)) {
        if (!expo) ++p;
      } else if (c == '.') {
        if (dot || expo) refused = true;
        dot = true;
        if (colons > 0) p = 0;
      } else if (c == '+' || c == '-') {
        const bool after_exp = k > 0 && std::string_view("EeDd").find(word[k - 1]) != std::string_view::npos;
        if (k != 0 && !after_exp) refused = true;
      } else if (c == ':') {
        if (expo || colons == 2) refused = true;
        ++colons;
      } else if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
        if (expo) refused = true;
        expo = true;
      } else {
        refused = true;
      }
    }
    if (!refused) {
      if (p < 1 || (colons > 0 && !dot)) p = 1;
      prec = p;
      dtype = kTyDouble;
      if (colons == 2) {
        width = p + 10;
        fmtchar = 'h';
      } else if (colons == 1) {
        width = p + 7;
        fmtchar = 'm';
      } else if (expo) {
        width = p + 6;
        fmtchar = 'g';
      } else if (dot) {
        width = p + 2;
        fmtchar = 'g';
      } else {
        dtype = kTyInt;
        width = p + 1;
        fmtchar = 'd';
      }
      return count;
    }
  }
  dtype = kTyChar;
  width = count;
  return count;
}

// Appends count new column descriptors to the table (memory only; the
// caller has grown the file beforehand).
void tbcadd(Table* tp, Column** cols, const std::string* names, const std::string* units,
            const std::string* fmts, const int* dtypes, const int* nelem, int count) {
  if (tp->ncols + count > tp->maxcols) tp->maxcols = tp->ncols + count + 5;
  for (int i = 0; i < count; ++i) {
    int dtype = 0, elen = 0;
    tbbaln(dtypes[i], dtype, elen);
    std::string fmt;
    tbbadf(fmts[i], dtype, elen, fmt, kSzColText);

    auto col = std::make_unique<Column>();
    Column* cp = col.get();
    tp->cols.push_back(std::move(col));
    tp->ncols = static_cast<int>(tp->cols.size());
    cp->number = tp->ncols;
    cp->dtype = dtype;
    cp->nelem = std::max(nelem[i], 1);
    cp->length = elen * cp->nelem;
    cp->stored_type = dtype;
    cp->scale = 1.0;
    cp->zero = 0.0;
    cp->name = cut(names[i], kSzColText);
    cp->units = cut(units[i], kSzColText);
    cp->format = fmt;
    if (tp->type == kTextTable && tp->opened) {
      tbzadd(tp, cp);
      tp->rowlen = tp->allrowlen;
    } else {
      const Column* prev = tp->ncols > 1 ? tp->cols[tp->ncols - 2].get() : nullptr;
      cp->offset = prev ? prev->offset + prev->length : 0;
      tp->rowlen = cp->offset + cp->length;
    }
    cols[i] = cp;
  }
}

// Appends one comment line ("# " added unless it begins with "#") to a
// text table's comment buffer.
void tbbcmt(Table* tp, std::string_view comment) {
  if (comment.empty()) return;
  std::size_t k = 0;
  while (k < comment.size() && is_blank(comment[k])) ++k;
  if (k < comment.size() && comment[k] != '#' && comment[k] != '\n') tp->comments += "# ";
  tp->comments += comment;
  if (comment.back() != '\n') tp->comments += '\n';
}

}  // namespace tbl
