// Column selectors: a list of column names, quoted names, wildcard
// patterns and array sections, with "@file" lists and "!" (or "~") before
// the first name negating the whole list.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "tablelib/tables.h"
#include "tablelib/tbselector.h"
#include "tcsintern.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/format.h"
#include "vos/pattern.h"
#include "vos/strings.h"

namespace tbl {

namespace {

constexpr int kMaxInputs = 8;    // the selector text and up to 7 files
constexpr std::size_t kMaxTok = 255;
constexpr int kEof = static_cast<int>(vos::EOF_);

// The open inputs; files are closed when it goes.
class Inputs {
 public:
  ~Inputs() {
    while (!fds_.empty()) pop_quietly();
  }
  void push(int fd) { fds_.push_back(fd); }
  void pop() {
    const int fd = fds_.back();
    fds_.pop_back();
    vos::close(fd);
  }
  bool empty() const { return fds_.empty(); }
  int size() const { return static_cast<int>(fds_.size()); }
  int top() const { return fds_.back(); }

 private:
  void pop_quietly() {
    try {
      pop();
    } catch (const vos::Error&) {
    }
  }
  std::vector<int> fds_;
};

void keep(std::string& tok, int ch) {
  if (tok.size() < kMaxTok) tok += static_cast<char>(ch);
}

// One token; "" at the end of the input.  In a file "#" starts a comment
// where a token could start.
std::string tcston(int fd, bool infile) {
  int ch = vos::getc(fd);
  while (ch != kEof) {
    if (ch <= 32 || ch == ',') {
      ch = vos::getc(fd);
    } else if (infile && ch == '#') {
      while (ch != kEof && ch != '\n') ch = vos::getc(fd);
    } else {
      break;
    }
  }
  if (ch == kEof) return "";
  if (ch == '!' || ch == '~') return "!";
  std::string tok;
  if (ch == '@') {
    for (; ch != kEof && ch > 32 && ch != ','; ch = vos::getc(fd)) keep(tok, ch);
    return tok;
  }
  if (ch == '\'' || ch == '"') {
    const int quote = ch;
    keep(tok, ch);
    for (ch = vos::getc(fd); ch != kEof && ch != quote; ch = vos::getc(fd)) keep(tok, ch);
    if (tok.size() >= kMaxTok) tok.pop_back();
    tok += static_cast<char>(quote);  // supplied at the end of the input
    // A section may follow the closing quote.
    ch = vos::getc(fd);
    if (ch != '(') {
      if (ch != kEof) vos::ungetc(fd, ch);
      return tok;
    }
  }
  int depth = 0;
  for (; ch != kEof && ch > 32; ch = vos::getc(fd)) {
    if (ch == ',' && depth == 0) break;
    if (ch == '(') ++depth;
    if (ch == ')' && depth > 0) --depth;
    keep(tok, ch);
  }
  return tok;
}

// Splits a token into its name and its section ("(...)" without blanks,
// or "").  A quoted name ends at its closing quote.  Anything after the
// section's closing parenthesis, or a section that is not closed, is a
// syntax error.
void tcsbre(const std::string& tok, std::string& name, std::string& section) {
  std::size_t open = std::string::npos;
  if (!tok.empty() && (tok[0] == '\'' || tok[0] == '"')) {
    const std::size_t close = tok.find(tok[0], 1);
    const std::size_t after = close == std::string::npos ? tok.size() : close + 1;
    if (after < tok.size() && tok[after] == '(') open = after;
  } else {
    open = tok.find('(');
  }
  name = tok.substr(0, std::min(open, tok.size()));
  section.clear();
  if (open == std::string::npos) return;
  int depth = 0;
  std::size_t k = open;
  for (; k < tok.size(); ++k) {
    if (tok[k] == '(') ++depth;
    if (tok[k] == ')' && --depth == 0) break;
  }
  if (k >= tok.size() || k + 1 != tok.size()) vos::error(1, "Syntax error in array section");
  for (std::size_t j = open; j <= k; ++j)
    if (static_cast<unsigned char>(tok[j]) > 32) section += tok[j];
}

// True when the name holds an unescaped "*", "?", "[" or "{"; then pattern
// is the anchored pattern, with "?" before each "*" outside sets.
// Otherwise literal is the name with its escaping backslashes dropped.
bool tcshaa(const std::string& name, std::string& pattern, std::string& literal) {
  bool wild = false;
  bool inset = false;
  std::string pat;
  literal.clear();
  for (std::size_t k = 0; k < name.size(); ++k) {
    const char c = name[k];
    if (c == '\\' && k + 1 < name.size()) {
      pat += c;
      pat += name[k + 1];
      literal += name[k + 1];
      ++k;
      continue;
    }
    literal += c;
    if (c == '*' || c == '?' || c == '[' || c == '{') wild = true;
    if (c == '[') inset = true;
    if (c == ']') inset = false;
    if (c == '*' && !inset) pat += '?';
    pat += c;
  }
  pattern = "^" + pat + "$";
  return wild;
}

struct Builder {
  Table* tp;
  ColumnSelector** list;
  int& count;
  int cap;

  bool listed(Column* cp) const {
    for (int k = 0; k < count; ++k)
      if (list[k]->column == cp) return true;
    return false;
  }
  // Appends a column unless listed already or the list is full.
  void add(Column* cp, std::string_view section) {
    if (cp == nullptr || count >= cap || listed(cp)) return;
    list[count] = tcsfit(tp, cp, section);
    ++count;
  }
  // Adds the columns one name (or pattern) selects.
  void add_name(const std::string& tok) {
    std::string name, section;
    tcsbre(tok, name, section);
    vos::strlwr(name);
    if (!name.empty() && (name[0] == '\'' || name[0] == '"')) {
      const std::string lit = name.size() >= 2 ? name.substr(1, name.size() - 2) : "";
      Column* cp = nullptr;
      tbcfnd1(tp, lit, cp);
      add(cp, section);
      return;
    }
    std::string pattern, lit;
    if (!tcshaa(name, pattern, lit)) {
      Column* cp = nullptr;
      tbcfnd1(tp, lit, cp);
      add(cp, section);
      return;
    }
    vos::Pattern pat;
    if (!vos::patmake(pattern, pat))
      vos::error(1, vos::sprintf("Syntax error in wildcard pattern (%s)", pattern));
    const int ncols = tbpsta(tp, 22);
    for (int c = 1; c <= ncols; ++c) {
      Column* cp = tbcnum(tp, c);
      if (cp == nullptr) continue;
      std::string cname;
      tbcigt(cp, 41, cname, kSzColText);
      if (vos::patmatch(vos::lower(cname), pat) > 0) add(cp, section);
    }
  }
  // Every column, whole.
  void add_all() {
    const int ncols = tbpsta(tp, 22);
    for (int c = 1; c <= ncols && count < cap; ++c) add(tbcnum(tp, c), "");
  }
  // Replaces the list by the columns it does not hold, whole.
  void complement() {
    std::vector<Column*> rest;
    const int ncols = tbpsta(tp, 22);
    for (int c = 1; c <= ncols; ++c) {
      Column* cp = tbcnum(tp, c);
      if (cp != nullptr && !listed(cp)) rest.push_back(cp);
    }
    tcsclose(list, count);
    count = 0;
    for (Column* cp : rest) add(cp, "");
  }
};

}  // namespace

// Parses a column selector into list.
void tcsopen(Table* tp, std::string_view text, ColumnSelector** list, int& count, int cap) {
  count = 0;
  Builder b{tp, list, count, cap};
  try {
    Inputs in;
    in.push(vos::stropen(text, vos::READ_ONLY));
    bool negate = false, named = false;
    while (!in.empty()) {
      const std::string tok = tcston(in.top(), in.size() > 1);
      if (tok.empty()) {
        in.pop();
      } else if (tok == "!") {
        negate = !named;
      } else if (tok[0] == '@') {
        if (in.size() >= kMaxInputs) vos::error(1, "Column list has too many nested files");
        in.push(vos::open(tok.substr(1), vos::READ_ONLY, vos::TEXT_FILE));
      } else {
        named = true;
        b.add_name(tok);
      }
    }
    if (!named) b.add_all();
    if (negate) b.complement();
  } catch (...) {
    tcsclose(list, count);
    count = 0;
    throw;
  }
}

}  // namespace tbl
