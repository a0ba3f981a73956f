// FITS columns: reading the column keywords of a table into its column
// descriptors, adding a column, rewriting names, units, display formats and
// scaling, and array dimensions.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fits_cards.h"
#include "fits_table.h"
#include "fits_tform.h"
#include "tablelib/tables.h"
#include "tablelib/tbcore.h"
#include "vos/error.h"
#include "vos/scan.h"

using namespace tbfio;
using namespace tbfits;

namespace {

// The column keywords of one column as read from the header.
struct ColumnKeys {
  std::string ttype, tform, tunit, tdisp;
  double tscal = 1.0, tzero = 0.0;
};

std::string cut(std::string_view s, std::size_t n) { return std::string(s.substr(0, n)); }

// The text of a column keyword's value without blanks at its ends: a quoted
// value unquoted (a doubled quote inside is one quote of the text), any
// other stripped of stray quotes at its ends.
std::string entry_text(const std::string& value) {
  std::size_t start = value.find_first_not_of(' ');
  if (start != std::string::npos && value[start] == '\'') {
    std::string text = tbfcard::unquote_value(std::string_view(value).substr(start));
    std::size_t b = text.find_first_not_of(' ');
    if (b == std::string::npos) return "";
    return text.substr(b, text.find_last_not_of(' ') + 1 - b);
  }
  std::size_t end = value.size();
  while (end > 1 && (value[end - 1] == ' ' || value[end - 1] == '\'')) --end;
  start = 0;
  while (start < end && (value[start] == ' ' || value[start] == '\'')) ++start;
  return value.substr(start, end - start);
}

// Reads a TSCAL/TZERO value: the whole value must be a number.
double read_scale(const std::string& value, const char* what) {
  std::size_t ip = 0;
  double d = 0;
  std::size_t n = vos::ctod(value, ip, d);
  while (ip < value.size() && (value[ip] == ' ' || value[ip] == '\t')) ++ip;
  if (n == 0 || ip != value.size())
    fail(1, std::string("can't interpret ") + what + " keyword");
  return d;
}

// Reads the column keywords of records 1 to the parameter count.  Keywords
// numbered 0 or above the column count address no column and are skipped.
void read_column_keys(tbl::Table* tp, std::vector<ColumnKeys>& keys) {
  fitsfile* f = fptr(tp);
  int ncols = static_cast<int>(keys.size());
  int status = 0;
  for (int r = 1; r <= tp->npar; ++r) {
    std::string card;
    fsgrec(f, r, card, status);
    tbferr(status);
    if (card.empty() || card[0] != 'T' || card.size() < 6) continue;
    std::size_t ip = 5;
    int n = 0;
    if (vos::ctoi(card, ip, n) == 0) continue;
    if (ip < card.size() && card[ip] != ' ' && card[ip] != '=') continue;
    if (n < 1 || n > ncols) continue;
    std::string value, comment;
    fspsvc(card, value, comment, status);
    tbferr(status);
    value = entry_text(value);
    std::string stem = card.substr(0, 5);
    ColumnKeys& k = keys[n - 1];
    if (stem == "TTYPE") k.ttype = cut(value, 70);
    else if (stem == "TFORM") k.tform = cut(value, 70);
    else if (stem == "TUNIT") k.tunit = cut(value, 70);
    else if (stem == "TDISP") k.tdisp = cut(value, 70);
    else if (stem == "TSCAL") k.tscal = read_scale(value, "TSCAL");
    else if (stem == "TZERO") k.tzero = read_scale(value, "TZERO");
  }
}

}  // namespace

namespace tbfits {

const FitsColumn* column_note(const tbl::Column* cp) {
  return cp->store ? dynamic_cast<const FitsColumn*>(cp->store.get()) : nullptr;
}

void check_cells(const tbl::Column* cp) {
  const FitsColumn* note = column_note(cp);
  if (note != nullptr && !note->refusal.empty()) fail(1, note->refusal);
}

std::string column_place(const tbl::Table* tp, const tbl::Column* cp) {
  return "column `" + cp->name + "' of " + table_place(tp);
}

}  // namespace tbfits

namespace {

// Rewrites (or adds) one column keyword, keeping the old comment.
void rewrite_key(tbl::Table* tp, const std::string& key, std::string_view value,
                 const char* comment) {
  fitsfile* f = fptr(tp);
  int status = 0;
  std::string old, oldc;
  fsgkys(f, key, old, oldc, status);
  if (status == 0) {
    fsmkys(f, key, value, "&", status);
  } else if (status == KEY_NO_EXIST) {
    status = 0;
    ftcmsg();
    check_table_whole(tp);  // a card more may grow the header
    fsukys(f, key, value, comment, status);
  }
  tbferr(status);
}

}  // namespace

namespace tbl {

// Reads the definitions of columns 1 to ncols into the column descriptors.
// A column the table model cannot hold stays in the table by its name and
// number, with its refusal in its note (see FitsColumn); any other failure
// refuses the table, naming the file and the extension.
void tbfrcd(Table* tp, Column** cols, int ncols) {
  if (ncols < 1) return;
  std::vector<ColumnKeys> keys(static_cast<std::size_t>(ncols));
  try {
    read_column_keys(tp, keys);
  } catch (const vos::Error& e) {
    fail(e.code(), e.message() + " (" + table_place(tp) + ")");
  }
  for (int i = 0; i < ncols; ++i) {
    ColumnKeys& k = keys[i];
    Column* cp = cols[i];
    int n = i + 1;
    if (k.ttype.empty()) k.ttype = "c" + std::to_string(n);
    cp->number = n;
    cp->name = cut(k.ttype, kSzColText);
    if (k.tform.empty())
      fail(1, "TFORM not specified; this keyword is required (" + column_place(tp, cp) + ")");
    if (tp->subtype != kFitsAscii && tp->subtype != kFitsBinary)
      fail(1, "tbfrcd:  invalid HDU type (" + table_place(tp) + ")");
    tbftform::ColumnForm form;
    std::string pf, refusal;
    try {
      if (tp->subtype == kFitsAscii) {
        tbbftp(k.tdisp.empty() ? k.tform : k.tdisp, pf);
        form = tbftform::tbftya(k.tform, k.tscal, k.tzero, tbftform::print_width(pf));
      } else {
        form = tbftform::tbftyb(k.tform, k.tscal, k.tzero);
        if (!k.tdisp.empty()) tbbftp(k.tdisp, pf);
        else if (form.wide) pf = "%20d";  // every 64-bit integer, digit for digit
        else tbbadf("", form.data_type, form.length, pf, kSzColText);
      }
    } catch (const vos::Error& e) {
      // Held by name only: a double of one element, never read or written.
      refusal = e.message() + " (" + column_place(tp, cp) + ")";
      form = tbftform::ColumnForm{kTyDouble, kTyDouble, 1, 4, 0, false};
      pf.clear();
      tbbadf("", kTyDouble, 4, pf, kSzColText);
    }
    cp->offset = 0;
    cp->length = form.length;
    cp->dtype = form.data_type;
    cp->stored_type = form.storage_type;
    cp->nelem = form.nelem;
    cp->scale = k.tscal;
    cp->zero = k.tzero;
    cp->units = cut(k.tunit, kSzColText);
    cp->format = cut(pf, kSzColText);
    cp->store.reset();
    if (form.wide || !refusal.empty()) {
      auto note = std::make_unique<FitsColumn>();
      note->wide = form.wide;
      note->refusal = refusal;
      cp->store = std::move(note);
    }
  }
}

// Adds a new column (already described by its descriptor) to the open table.
void tbfdef(Table* tp, Column* cp) {
  int colnum = 0, dtype = 0, nelem = 1, width = 0;
  std::string name, units, fmt;
  tbcinf(cp, colnum, name, units, fmt, dtype, nelem, width);
  std::string tform;
  if (tp->subtype == kFitsAscii) tform = tbftform::tbftfo(dtype, width, fmt);
  else if (tp->subtype == kFitsBinary) tform = tbftform::binary_tform(cp->stored_type, nelem);
  else fail(1, "tbfdef:  invalid HDU type");
  std::string disp;
  if (tp->subtype == kFitsBinary) disp = tbftform::column_display(cp->stored_type, fmt);
  check_table_whole(tp);  // every row and the header grow
  fitsfile* f = fptr(tp);
  int status = 0;
  fsicol(f, colnum, name, tform, status);
  fspkys(f, column_key("TUNIT", colnum), units, "column units", status);
  if (tp->subtype == kFitsAscii) {
    fspkys(f, column_key("TNULL", colnum), "*", "undefined value for column", status);
  } else {
    fspkys(f, column_key("TDISP", colnum), disp, "display format", status);
    if (dtype == kTyInt)
      fspkyj(f, column_key("TNULL", colnum), kIndefI, "undefined value for column", status);
    else if (dtype == kTyShort)
      fspkyj(f, column_key("TNULL", colnum), kIndefS, "undefined value for column", status);
  }
  fsrdef(f, status);
  for (int r = 1; r <= tp->nrows && status == 0; ++r) fspclu(f, colnum, r, 1, nelem, status);
  tbferr(status);
  tp->fits_null_ready = false;
}

void tbfnam(Table* tp, Column* cp, std::string_view name) {
  rewrite_key(tp, column_key("TTYPE", cp->number), name, "column name");
}

void tbfnit(Table* tp, Column* cp, std::string_view units) {
  rewrite_key(tp, column_key("TUNIT", cp->number), units, "column units");
}

void tbffmt(Table* tp, Column* cp, std::string_view fmt) {
  std::string disp = tp->subtype == kFitsBinary ? tbftform::column_display(cp->stored_type, fmt)
                                                 : tbftform::tbfptf(fmt);
  rewrite_key(tp, column_key("TDISP", cp->number), disp, "print format for column");
}

// Writes the column's scale factor and zero offset when they are not 1 and 0.
static void tbfscal(Table* tp, Column* cp) {
  if (cp->scale == 1.0 && cp->zero == 0.0) return;
  check_table_whole(tp);  // the keywords may be new cards
  fitsfile* f = fptr(tp);
  int status = 0;
  if (cp->scale != 1.0)
    fsukyd(f, column_key("TSCAL", cp->number), cp->scale, 14, "scale factor for column", status);
  if (cp->zero != 0.0)
    fsukyd(f, column_key("TZERO", cp->number), cp->zero, 14, "zero offset for column", status);
  fsrdef(f, status);
  tbferr(status);
}

void tbfwcd(Table* tp, Column* cp) {
  tbfnam(tp, cp, cp->name);
  tbfnit(tp, cp, cp->units);
  tbffmt(tp, cp, cp->format);
  tbfscal(tp, cp);
}

void tbfiga(Table* tp, Column* cp, int& ndim, int* axlen, int maxdim) {
  if (!tp->opened) {
    ndim = 1;
    if (maxdim >= 1) axlen[0] = cp->nelem;
    return;
  }
  int status = 0, naxis = 0;
  std::vector<long> axes;
  fsgtdm(fptr(tp), cp->number, std::max(maxdim, 1), naxis, axes, status);
  tbferr(status);
  ndim = naxis;
  for (int i = 0; i < maxdim && i < static_cast<int>(axes.size()); ++i)
    axlen[i] = static_cast<int>(axes[i]);
}

void tbfisa(Table* tp, Column* cp, int ndim, const int* axlen) {
  if (!tp->opened) return;
  check_table_whole(tp);  // TDIM may be a new card
  std::vector<long> axes(axlen, axlen + std::max(ndim, 0));
  int status = 0;
  fsptdm(fptr(tp), cp->number, axes, status);
  tbferr(status);
}

}  // namespace tbl
