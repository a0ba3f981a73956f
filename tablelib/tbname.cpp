// Table names: a file name followed by optional bracket groups.  Selector
// groups ("[row:...]", "[column:...]") are split off first; the remaining
// bracket text is read as an extension expression (HDU number, EXTNAME,
// EXTVER, overwrite flag).
#include <algorithm>
#include <string>
#include <string_view>

#include "tablelib/tbcore.h"
#include "tbname.h"
#include "vos/error.h"
#include "vos/format.h"
#include "vos/scan.h"
#include "vos/strings.h"

namespace tbl {

namespace {

constexpr int kGroupMax = 255;  // one bracket group's text

[[noreturn]] void fail(std::string_view msg) { vos::error(1, msg); }

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

void append_max(std::string& out, std::string_view text, std::size_t maxch) {
  if (out.size() >= maxch) return;
  out.append(text.substr(0, maxch - out.size()));
}

// Index of the first token character at or after ip (blanks and tabs skipped).
std::size_t skip_blanks(std::string_view s, std::size_t ip) {
  while (ip < s.size() && is_blank(s[ip])) ++ip;
  return ip;
}

// Reads the token that must be "=" after a keyword of the expression.
void expect_equals(std::string_view expr, std::size_t& ip, std::string_view msg) {
  std::string tok;
  int type = vos::ctotok(expr, ip, tok);
  if (type != vos::TOK_OPERATOR || tok != "=") fail(msg);
}

// A bracket group that does not fit its string, named with the whole name.
[[noreturn]] void group_too_long(std::string_view name) {
  vos::error(1, vos::sprintf("Bracket group too long (%s)", name));
}

}  // namespace

// Reads one bracket group starting at pos (which must hold "[") into group;
// pos ends just after the closing "]".  Returns false when pos holds no "[".
// A group whose text is longer than maxch (at most 255) is refused: cutting
// it would select other rows, columns or extensions than the name says.
bool nextbk(std::string_view name, std::size_t& pos, std::string& group, int maxch) {
  group.clear();
  if (pos >= name.size() || name[pos] != '[') return false;
  const std::size_t keep = static_cast<std::size_t>(std::clamp(maxch, 0, kGroupMax));
  int level = 1;
  ++pos;
  bool cut = false;
  while (pos < name.size()) {
    char c = name[pos];
    bool escaped = name[pos - 1] == '\\';
    if (c == '[' && !escaped) ++level;
    if (c == ']' && !escaped) --level;
    ++pos;
    if (level == 0) break;
    if (group.size() < keep) group.push_back(c);
    else cut = true;
  }
  if (level > 0) vos::error(1, vos::sprintf("No closing bracket (%s)", name));
  if (cut) group_too_long(name);
  return true;
}

// Splits the row and column selector groups off name.  rebuilt receives the
// file name and the other groups (in brackets).
void rdselect(std::string_view name, std::string& rebuilt, std::string& rowsel,
              std::string& colsel, int maxselect) {
  const std::size_t maxsel = static_cast<std::size_t>(std::max(maxselect, 0));
  std::size_t first = 0;
  while (first < name.size()) {
    if (name[first] == '\\' && first + 1 < name.size()) {
      first += 2;
      continue;
    }
    if (name[first] == '[') break;
    ++first;
  }
  first = std::min(first, name.size());
  rebuilt.assign(name.substr(0, std::min(first, maxsel)));

  std::string groups[3];
  int ngroups = 0;
  std::size_t pos = first;
  while (ngroups < 3 && nextbk(name, pos, groups[ngroups], kGroupMax)) ++ngroups;

  rowsel.clear();
  colsel.clear();
  for (int g = 0; g < ngroups; ++g) {
    const std::string& text = groups[g];
    std::size_t colon = text.find(':');
    int which = 0;
    if (colon != std::string::npos) which = vos::strdic(text.substr(0, colon), "|row|column|");
    if (which == 0) {
      std::string back = "[" + text + "]";
      if (back.size() > kGroupMax) group_too_long(name);
      append_max(rebuilt, back, maxsel);
      continue;
    }
    std::string& target = which == 1 ? rowsel : colsel;
    if (!target.empty()) vos::error(1, vos::sprintf("Unrecognized selector (%s)", name));
    if (text.size() - (colon + 1) > maxsel) group_too_long(name);
    target.assign(text.substr(colon + 1));
  }
}

// Reads the extension expression (groups already joined, commas blanked).
void tbnexr(std::string_view expr, std::string& extname, int maxch, int& extver,
            int& hdu, int& overwrite) {
  extver = -1;
  hdu = -1;
  extname.clear();
  overwrite = 0;
  if (expr.empty()) return;
  const std::size_t maxname = static_cast<std::size_t>(std::max(maxch, 0));

  std::size_t ip = 0;
  std::string tok;
  for (;;) {
    std::size_t start = skip_blanks(expr, ip);
    int type = vos::ctotok(expr, ip, tok);
    if (type == vos::TOK_EOS || type == vos::TOK_NEWLINE) break;
    switch (type) {
      case vos::TOK_PUNCTUATION:
        break;
      case vos::TOK_NUMBER: {
        if (ip < expr.size() && is_letter(expr[ip])) {
          ip = start;
          vos::ctowrd(expr, ip, extname, maxname);
          break;
        }
        std::size_t tp = 0;
        int n = 0;
        if (vos::ctoi(tok, tp, n) == 0) fail("tbnparse:  can't read HDU number");
        if (!extname.empty()) {
          extver = n;
        } else if (extver > 0) {
          fail("tbnparse:  ambiguous number in table name");
        } else {
          hdu = n;
          if (n < 0) fail("tbnparse:  extension number can't be negative");
        }
        break;
      }
      case vos::TOK_IDENTIFIER: {
        std::string word = vos::lower(tok);
        int key = vos::strdic(word, "|extension|extname|extver|overwrite");
        if (key == 1) {
          if (hdu > 0) fail("can't specify extension number twice");
          expect_equals(expr, ip, "table name syntax:  [extension=<n>]");
          int n = 0;
          if (vos::ctoi(expr, ip, n) == 0) fail("tbnparse:  can't read extension number");
          if (n <= 0) fail("extension number must be positive");
          hdu = n;
        } else if (key == 2) {
          expect_equals(expr, ip, "table name syntax:  [extname=<n>]");
          std::string w;
          if (vos::ctowrd(expr, ip, w, maxname) == 0) fail("tbnparse:  missing EXTNAME string");
          extname = w;
        } else if (key == 3) {
          expect_equals(expr, ip, "table name syntax:  [extver=<n>]");
          int n = 0;
          if (vos::ctoi(expr, ip, n) == 0) fail("tbnparse:  invalid EXTVER number");
          extver = n;
        } else if (key == 4) {
          const std::size_t after_word = ip;
          std::string value;
          int vt = vos::ctotok(expr, ip, value);
          if (vt == vos::TOK_EOS) {
            overwrite = 1;
            goto done;
          }
          if (vt == vos::TOK_PUNCTUATION) {
            overwrite = 1;
            break;
          }
          if (vt == vos::TOK_OPERATOR && value == "=") vos::ctotok(expr, ip, value);
          int v = vos::strdic(vos::lower(value), "|+|yes|true|-|no|false");
          if (v >= 1 && v <= 3) {
            overwrite = 1;
          } else if (v >= 4 && v <= 6) {
            overwrite = 0;
          } else {
            overwrite = 1;
            ip = after_word;  // read the following token again as the next item
          }
        } else {
          if (word == "e" || word == "ex" || word == "ext")
            vos::error(1, "`" + std::string(expr) + "' is ambiguous");
          extname = tok.substr(0, maxname);
        }
        break;
      }
      case vos::TOK_STRING:
        extname = tok.substr(0, maxname);
        break;
      case vos::TOK_CHARCON:
        fail("unrecognized character in table name");
      default:
        vos::error(1, "syntax error:  `[" + std::string(expr) + "]'");
    }
  }
done:
  if (hdu > 0 && (!extname.empty() || extver > 0) && overwrite != 1)
    fail("can't give extension number and EXTNAME or EXTVER");
}

// Takes a table name apart; returns the count of its non-blank characters
// (0 for an empty or blank name, every output then cleared).
int tbnparse(std::string_view name, std::string& fname, std::string& extname,
             std::string& brackets, int maxch, int& extver, int& hdu,
             int& overwrite, std::string& rowsel, std::string& colsel,
             int maxselect) {
  const std::size_t mx = static_cast<std::size_t>(std::max(maxch, 0));
  const std::size_t worklen = static_cast<std::size_t>(
      std::max({1023, maxch, 2 * std::max(maxselect, 0)}));
  const std::string compact = vos::nowhite(name, worklen);
  if (compact.empty()) {
    fname.clear();
    extname.clear();
    brackets.clear();
    rowsel.clear();
    colsel.clear();
    hdu = -1;
    extver = -1;
    overwrite = 0;
    return 0;
  }
  const int count = static_cast<int>(compact.size());

  std::string rb;
  rdselect(name, rb, rowsel, colsel, maxselect);
  while (rb.size() > 1 && is_blank(rb.back())) rb.pop_back();
  const std::size_t m = rb.size();

  // End of the file name: step back over trailing bracket groups.
  // Positions below are 1-based; rb[p - 1] is character p.
  std::size_t end = m;
  while (end >= 1 && rb[end - 1] == ']') {
    std::size_t j = end - 1;
    for (;;) {
      if (j < 1) fail("tbnparse:  unmatched ] in file name");
      char c = rb[j - 1];
      if (c == '[') break;
      if (c == ']') fail("tbnparse:  nested brackets not allowed");
      --j;
    }
    end = j - 1;
    if (end >= 1 && rb[end - 1] == '\\') --end;
  }
  const std::size_t lastchar = end;
  if (lastchar > mx) fail("tbnparse:  file name is too long");
  if (lastchar < 1) fail("tbnparse:  no file name specified");

  fname.assign(rb.substr(0, lastchar));
  int depth = 0;
  bool escaped = false;
  for (char c : fname) {
    if ((c == '[' || c == ']') && escaped) {
      escaped = false;
      continue;
    }
    escaped = c == '\\';
    if (c == '[') ++depth;
    if (c == ']') --depth;
  }
  if (depth != 0) fail("tbnparse:  unmatched bracket in file name");
  // A bracket of the file's own name is written with a backslash before it
  // ("a\[1\].fits"), which the file name drops.
  for (std::size_t k = 0; k + 1 < fname.size(); ++k)
    if (fname[k] == '\\' && (fname[k + 1] == '[' || fname[k + 1] == ']')) fname.erase(k, 1);

  brackets.assign(lastchar < name.size() ? name.substr(lastchar, mx) : std::string_view());

  // Join the remaining groups into one expression.
  std::string expr;
  std::size_t i = lastchar + 1;  // 1-based
  if (i <= m && rb[i - 1] == '[') ++i;
  bool quoted = false;
  for (; i <= m; ++i) {
    if (expr.size() >= mx) fail("tbnparse:  name in brackets is too long");
    char c = rb[i - 1];
    if (c == '"') {
      quoted = !quoted;
      expr.push_back(c);
    } else if (c == '\\' && !quoted) {
      // dropped
    } else if (c == ';' && !quoted) {
      expr.push_back(',');
    } else if (c == ']' && i >= m) {
      // the final closing bracket
    } else if (c == ']' && !quoted) {
      if (i + 1 <= m && rb[i] == '[') {
        expr.push_back(',');
        ++i;
      } else if (i + 2 <= m && rb[i] == '\\' && rb[i + 1] == '[') {
        expr.push_back(',');
        i += 2;
      } else {
        expr.push_back(c);
      }
    } else {
      expr.push_back(c);
    }
  }
  if (quoted) fail("tbnparse:  unmatched quote in table name");
  std::replace(expr.begin(), expr.end(), ',', ' ');

  tbnexr(expr, extname, maxch, extver, hdu, overwrite);
  return count;
}

// Short form: the file name, the bracket text (cut at maxch, only on
// success) and the HDU number.
int tbparse(std::string_view name, std::string& fname, std::string& brackets,
            int maxch, int& hdu) {
  std::string ext, br, rs, cs;
  int extver = -1, overwrite = 0;
  int n = tbnparse(name, fname, ext, br, std::max(255, maxch), extver, hdu, overwrite,
                   rs, cs, 255);
  brackets = br.substr(0, static_cast<std::size_t>(std::max(maxch, 0)));
  return n;
}

}  // namespace tbl
