// The in-memory text table: columns, sizes, keyword lines, create and close.
#include "text_model.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "tablelib/tables.h"
#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/indef.h"
#include "vos/scan.h"

using tbl::Column;
using tbl::Table;

namespace tbtext {

void fail(int code, const std::string& message) { vos::error(code, message); }

TextColumn& cells(Column* cp) {
  auto* tc = dynamic_cast<TextColumn*>(cp->store.get());
  if (tc == nullptr) fail(82, "text table column has no data; table or memory corrupted?");
  return *tc;
}

void resize_cells(Column* cp, int rows) {
  TextColumn& tc = cells(cp);
  std::size_t n = static_cast<std::size_t>(std::max(rows, 0));
  if (is_double(cp)) tc.d.resize(n, tbl::kIndefD);
  else if (is_int(cp)) tc.i.resize(n, tbl::kIndefI);
  else tc.s.resize(n);
}

void undefine(Column* cp, int row, const char* message) {
  TextColumn& tc = cells(cp);
  std::size_t r = static_cast<std::size_t>(row - 1);
  if (is_double(cp) && r < tc.d.size()) tc.d[r] = tbl::kIndefD;
  else if (is_int(cp) && r < tc.i.size()) tc.i[r] = tbl::kIndefI;
  else if (is_text(cp) && r < tc.s.size()) tc.s[r].clear();
  else if (!is_double(cp) && !is_int(cp) && !is_text(cp)) fail(1, message);
}

void grow_rows(Table* tp, int rows) {
  if (rows > tp->allrows) tbl::tbtchs(tp, -1, -1, -1, rows);
}

bool read_double(std::string_view text, double& v) {
  std::size_t ip = 0;
  double d = 0;
  if (vos::ctod(text, ip, d) == 0) return false;
  v = d;
  return true;
}

bool read_long(std::string_view text, long& v) {
  std::size_t ip = 0;
  long l = 0;
  if (vos::ctol(text, ip, l) == 0) return false;
  v = l;
  return true;
}

int round_int(double v) {
  if (vos::is_indef(v) || !(v > -2147483647.5 && v < 2147483647.5)) return tbl::kIndefI;
  double r = v < 0 ? -static_cast<double>(static_cast<long long>(-v + 0.5))
                   : static_cast<double>(static_cast<long long>(v + 0.5));
  if (r < -2147483647.0 || r > 2147483647.0) return tbl::kIndefI;
  return static_cast<int>(r);
}

bool format_fits(std::string_view fmt, int dtype) {
  std::size_t i = 0;
  if (i >= fmt.size() || fmt[i] != '%') return false;
  ++i;
  if (i < fmt.size() && fmt[i] == '-') ++i;
  while (i < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[i]))) ++i;
  if (i < fmt.size() && fmt[i] == '.') {
    ++i;
    while (i < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[i]))) ++i;
  }
  if (i + 1 != fmt.size()) return false;
  char c = fmt[i];
  std::string_view ok;
  if (dtype == tbl::kTyDouble || dtype == tbl::kTyReal) ok = "fgeEGhHmM";
  else if (dtype == tbl::kTyInt || dtype == tbl::kTyShort) ok = "dxo";
  else if (dtype == tbl::kTyBool) ok = "b";
  else if (dtype < 0) ok = "s";
  return ok.find(c) != std::string_view::npos;
}

std::string usable_format(const Column* cp) {
  if (format_fits(cp->format, cp->dtype)) return cp->format;
  std::string out;
  tbl::tbbadf("", cp->dtype, cp->length, out, tbl::kSzColText);
  return out;
}

}  // namespace tbtext

using namespace tbtext;

namespace tbl {

// Maps a new column's type onto the in-memory types and gives it its array.
void tbzadd(Table* tp, Column* cp) {
  int t = cp->dtype;
  if (t == kTyReal) t = kTyDouble;
  else if (t == kTyShort) t = kTyInt;
  else if (t == kTyBool) t = -8;
  else if (t == kTyChar) t = -std::min(2 * std::max(cp->length, 1), kMaxTextWidth);
  else if (t != kTyDouble && t != kTyInt && !(t < 0 && t >= -kMaxTextWidth))
    fail(1, "tbzadd:  invalid data type");
  cp->dtype = t;
  cp->stored_type = t;
  cp->nelem = 1;
  cp->length = t == kTyDouble ? 4 : t == kTyInt ? 2 : (-t + 1) / 2;
  cp->store = std::make_unique<TextColumn>();
  resize_cells(cp, tp->allrows);
}

// Grows the keyword-line array and the column arrays to the sizes the
// descriptor now holds; nothing ever shrinks.
void tbzsiz(Table* tp, int oldmaxpar, int oldallrows) {
  (void)oldmaxpar;
  if (tp->keylines.size() < static_cast<std::size_t>(std::max(tp->maxpar, 0)))
    tp->keylines.resize(static_cast<std::size_t>(tp->maxpar));
  if (tp->allrows > oldallrows)
    for (auto& c : tp->cols)
      if (c->store) resize_cells(c.get(), tp->allrows);
}

// Stores a keyword line as header parameter n (n <= 0 appends).
void tbzkey(Table* tp, std::string_view line, int parnum) {
  if (line.empty()) return;
  int n = parnum <= 0 ? tp->npar + 1 : parnum;
  if (n > tp->npar + 1) fail(1, "tbzkey:  keyword number is out of range");
  if (n > tp->maxpar) tbtchs(tp, tp->npar + 128, -1, -1, -1);
  if (tp->keylines.size() < static_cast<std::size_t>(n))
    tp->keylines.resize(static_cast<std::size_t>(std::max(n, tp->maxpar)));
  std::string s(line);
  if (!s.empty() && s.back() == '\n') s.pop_back();
  tp->keylines[static_cast<std::size_t>(n - 1)] = std::move(s);
  tp->npar = std::max(tp->npar, n);
  tp->modified = true;
}

// Makes the in-memory table of a new text table and opens its file.
void tbznew(Table* tp) {
  // A new file appears whole at close; until then the name must stay free.
  if (tp->name == "STDOUT" || tp->name == "STDERR")
    tp->fd = vos::open(tp->name, tp->iomode, vos::TEXT_FILE);
  else if (vos::access(tp->name))
    vos::error(vos::SYS_FACCESS, "File already exists (" + tp->name + ")");
  if (tp->allrows <= 0) tp->allrows = 100;
  if (!tp->store) tp->store = std::make_unique<TextTable>();
  for (auto& c : tp->cols) tbzadd(tp, c.get());
  if (tp->maxpar <= 0) tp->maxpar = 128;
  if (tp->keylines.size() < static_cast<std::size_t>(tp->maxpar))
    tp->keylines.resize(static_cast<std::size_t>(tp->maxpar));
}

// Makes room for `row` and makes it the last row when it lies beyond.
void tbzwer(Table* tp, int row) {
  if (row > tp->allrows) grow_rows(tp, row + 1000);
  if (row > tp->nrows) tp->nrows = row;
}

// Writes the table when it was created or opened and then changed (and is
// not discarded), then frees the in-memory table.
void tbzclo(Table* tp) {
  auto* tt = dynamic_cast<TextTable*>(tp->store.get());
  bool failed = tt != nullptr && tt->load_failed;
  if (tp->opened && tp->modified && !tp->readonly && !tp->discard && !failed) tbzwrt(tp);
  for (auto it = tp->cols.rbegin(); it != tp->cols.rend(); ++it) (*it)->store.reset();
  tp->comments.clear();
  tp->keylines.clear();
}

}  // namespace tbl
