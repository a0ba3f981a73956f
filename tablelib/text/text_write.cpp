// Writing a text table: column definitions, keyword lines, comments and one
// data line per row, to the standard streams, in place over the table's
// file, or to a new file that appears whole.
#include <cctype>
#include <string>

#include "tablelib/tbbackend.h"
#include "text_model.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/format.h"

using tbl::Column;
using tbl::Table;

namespace tbtext {
namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

// True when a column name asks for column definitions: anything but "c"
// followed by digits of which the first is not 0 (in any case).
bool needs_definition(const Column* cp) {
  const std::string& n = cp->name;
  if (!cp->units.empty()) return true;
  if (n.size() < 2 || (n[0] != 'c' && n[0] != 'C') || n[1] == '0') return true;
  for (std::size_t i = 1; i < n.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(n[i]))) return true;
  return false;
}

// A column name or units for a definition line: in quotes when it holds a
// blank anywhere, since blanks at its ends belong to it too (unlike a cell's).
std::string quote_if_blank(const std::string& s) {
  if (s.find_first_of(" \t") == std::string::npos) return s;
  std::string q = quote_cell(s);
  // Unquoted, it has blanks only at its ends and none of # " ' or \.
  return q.front() == '"' ? q : "\"" + s + "\"";
}

// The "#c" line of one column.
std::string definition_line(const Column* cp) {
  // An empty name is written as "" (left out, the type would be taken for it).
  std::string line = "#c " + (cp->name.empty() ? std::string("\"\"") : quote_if_blank(cp->name));
  if (is_double(cp)) line += " d";
  else if (is_int(cp)) line += " i";
  else line += " ch*" + std::to_string(text_width(cp));
  line += " " + usable_format(cp) + " " + quote_if_blank(cp->units) + "\n";
  return line;
}

// An undefined int is written as "INDEFI" in the width of the int format.
std::string indefi_field(const std::string& fmt) {
  std::string f = "%";
  std::size_t i = 1;
  if (i < fmt.size() && fmt[i] == '-') {
    f += '-';
    ++i;
  }
  if (i < fmt.size() && fmt[i] == '0') ++i;
  while (i < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[i]))) f += fmt[i++];
  return vos::sprintf(f + "s", "INDEFI");
}

// A text cell's print format without its precision, which would cut the
// cell (and a quoted cell's closing quote) where the table is written.
std::string whole_text_format(const std::string& fmt) {
  const std::size_t dot = fmt.find('.');
  if (dot == std::string::npos) return fmt;
  std::size_t end = dot + 1;
  while (end < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[end]))) ++end;
  return fmt.substr(0, dot) + fmt.substr(end);
}

}  // namespace

std::string quote_cell(std::string_view text) {
  std::size_t first = text.find_first_not_of(" \t");
  bool quote = first == std::string_view::npos;  // empty or all blanks
  if (!quote) {
    std::size_t last = text.find_last_not_of(" \t");
    for (std::size_t i = first; i <= last && !quote; ++i) quote = blank(text[i]);
    quote = quote || text.find_first_of("#\"'\\") != std::string_view::npos;
  }
  if (!quote) return std::string(text);
  std::string out;
  out.reserve(text.size() + 4);
  out += '"';
  for (char c : text) {
    if (c == '"') out += '\\';
    out += c;
  }
  // A backslash just before the closing quote would keep that quote in the
  // string and leave it open to the end of the line, so that the table could
  // not be read again: a blank goes between them.
  if (out.back() == '\\') out += ' ';
  out += '"';
  return out;
}

std::string data_line(Table* tp, int row) {
  std::string line;
  std::size_t r = static_cast<std::size_t>(row - 1);
  for (int c = 0; c < tp->ncols; ++c) {
    Column* cp = tp->cols[c].get();
    TextColumn& tc = cells(cp);
    std::string fmt = usable_format(cp);
    if (c > 0) line += ' ';
    if (is_double(cp)) {
      line += vos::sprintf(fmt, r < tc.d.size() ? tc.d[r] : tbl::kIndefD);
    } else if (is_int(cp)) {
      int v = r < tc.i.size() ? tc.i[r] : tbl::kIndefI;
      line += v == tbl::kIndefI ? indefi_field(fmt) : vos::sprintf(fmt, v);
    } else {
      line += vos::sprintf(whole_text_format(fmt),
                           quote_cell(r < tc.s.size() ? tc.s[r] : std::string()));
    }
  }
  return line;
}

void tbzwrt(Table* tp) {
  if (!tp->modified) return;
  const bool to_stream = tp->name == "STDOUT" || tp->name == "STDERR";
  // A file that exists is rewritten in place under the file layer's
  // journal (it keeps its inode, links, owner and mode); a new one is
  // staged and appears whole at close.
  const bool in_place = !to_stream && tp->fd != 0;
  int out = 0;
  if (to_stream) {
    out = tp->name == "STDOUT" ? vos::STDOUT : vos::STDERR;
  } else if (in_place) {
    out = tp->fd;
    tp->fd = 0;
    vos::seek(out, vos::BOF);
  } else {
    out = vos::open_staged(tp->name, vos::TEXT_FILE);
  }
  try {
    if (tp->subtype != tbl::kTextWithDefs)
      for (auto& c : tp->cols)
        if (needs_definition(c.get())) tp->subtype = tbl::kTextWithDefs;
    std::string buf;
    auto flush_if = [&](std::size_t limit) {
      if (buf.size() >= limit) {
        vos::putline(out, buf);
        buf.clear();
      }
    };
    if (tp->subtype == tbl::kTextWithDefs)
      for (auto& c : tp->cols) buf += definition_line(c.get());
    for (int n = 0; n < tp->npar && n < static_cast<int>(tp->keylines.size()); ++n)
      buf += tp->keylines[static_cast<std::size_t>(n)] + "\n";
    buf += tp->comments;
    for (int r = 1; r <= tp->nrows; ++r) {
      buf += data_line(tp, r);
      buf += '\n';
      flush_if(1 << 16);
    }
    flush_if(1);
    if (in_place) vos::truncate_open(out, vos::note(out) - 1);
    const int o = out;
    out = 0;
    vos::close(o);
    tp->fd = 0;
  } catch (...) {
    if (!to_stream && out != 0) {
      vos::iferr([&] { vos::abandon(out); });
      vos::xerret();
    }
    throw;
  }
}

}  // namespace tbtext
