// Column definition and lookup: defining new columns, finding columns by
// name or number, column information, and renaming.
#include <algorithm>
#include <string>
#include <vector>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "vos/error.h"
#include "vos/format.h"
#include "vos/scan.h"
#include "vos/strings.h"

namespace tbl {

namespace {

std::string cut79(std::string_view s) { return std::string(s.substr(0, kSzColText)); }

std::string cutn(const std::string& s, int maxch) {
  return s.substr(0, static_cast<std::size_t>(std::max(maxch, 0)));
}

// Undoes the columns added after old_ncols (a failed definition).
void drop_new_columns(Table* tp, int old_ncols, int old_rowlen) {
  tp->cols.resize(static_cast<std::size_t>(old_ncols));
  tp->ncols = old_ncols;
  tp->rowlen = old_rowlen;
}

}  // namespace

// Defines count new columns (see tables.h); the table file grows first and
// the back end writes the new columns of an open table.
void tbcdef(Table* tp, Column** cols, const std::string* names, const std::string* units,
            const std::string* fmts, const int* dtypes, const int* nelem, int count) {
  need_table(tp, "tbcdef");
  if (tp->readonly) vos::error(3, "can't define new columns in readonly table");
  if (count < 1) return;
  std::vector<Column*> found(static_cast<std::size_t>(count));
  tbcfnd(tp, names, found.data(), count);
  for (int i = 0; i < count; ++i)
    if (found[i] != nullptr)
      vos::eprintf("Warning:  column `%s' already exists.\n", cut79(names[i]));
  if (tp->type != kRowOrdered && tp->type != kFitsTable)
    for (int i = 0; i < count; ++i)
      if (nelem[i] > 1) vos::error(1, "This table type doesn't support arrays.");

  const int nmaxcols = tp->ncols + count > tp->maxcols ? tp->ncols + count + 5 : -1;
  long long newlen = tp->rowlen;
  for (int i = 0; i < count; ++i) {
    int dt = 0, elen = 0;
    tbbaln(dtypes[i], dt, elen);
    newlen += static_cast<long long>(elen) * std::max(nelem[i], 1);
  }
  if (newlen > 2147483647LL) vos::error(1, "tbcdef:  row length is too large");
  tbtchs(tp, -1, nmaxcols, std::max(static_cast<int>(newlen), tp->allrowlen), -1);

  const int old_ncols = tp->ncols, old_rowlen = tp->rowlen;
  try {
    tbcadd(tp, cols, names, units, fmts, dtypes, nelem, count);
  } catch (const vos::Error&) {
    drop_new_columns(tp, old_ncols, old_rowlen);
    throw;
  }
  if (tp->type == kFitsTable) tp->fits_null_ready = false;
  if (!tp->opened) {
    tp->modified = true;
    return;
  }
  try {
    switch (tp->type) {
      case kRowOrdered: tbxwnc(tp, cols, count, old_rowlen); break;
      case kColOrdered: tbywnc(tp, cols, count); break;
      case kTextTable: break;
      case kFitsTable:
        for (int i = 0; i < count; ++i) tbfdef(tp, cols[i]);
        break;
      default: vos::error(81, "tbcdef:  table type is messed up");
    }
  } catch (const vos::Error&) {
    drop_new_columns(tp, old_ncols, old_rowlen);
    throw;
  }
  // Only columns that exist join the column selection.
  for (int i = 0; i < count; ++i) tbscol(tp, cols[i]);
  tbtflu(tp);
  tp->modified = true;
}

// Defines one column.
void tbcdef1(Table* tp, Column*& col, std::string_view name, std::string_view units,
             std::string_view fmt, int dtype, int nelem) {
  need_table(tp, "tbcdef1");
  const std::string n = cut79(name), u = cut79(units), f = cut79(fmt);
  Column* out = nullptr;
  tbcdef(tp, &out, &n, &u, &f, &dtype, &nelem, 1);
  col = out;
}

// Finds columns by name (case-insensitive, exact); 0 for a name that names
// no column.  Each search starts where the previous one ended.
void tbcfnd(Table* tp, const std::string* names, Column** cols, int count) {
  need_table(tp, "tbcfnd");
  int start = 0;
  const int n = static_cast<int>(tp->cols.size());
  for (int i = 0; i < count; ++i) {
    cols[i] = nullptr;
    const std::string want = vos::lower(cut79(names[i]));
    if (tp->type == kTextTable) {
      std::size_t ip = 0;
      int num = 0;
      if (!want.empty() && vos::ctoi(want, ip, num) > 0 && ip == want.size()) {
        if (num >= 1 && num <= n) cols[i] = tp->cols[num - 1].get();
        continue;
      }
    }
    for (int k = 0; k < n; ++k) {
      const int c = (start + k) % n;
      if (vos::lower(tp->cols[c]->name) == want) {
        cols[i] = tp->cols[c].get();
        start = c;
        break;
      }
    }
  }
}

void tbcfnd1(Table* tp, std::string_view name, Column*& col) {
  need_table(tp, "tbcfnd1");
  const std::string n = cut79(name);
  Column* out = nullptr;
  tbcfnd(tp, &n, &out, 1);
  col = out;
}

// Column by number (1-based); nullptr when there is none.  With a column
// selector the number counts the selected columns.
Column* tbcnum(Table* tp, int colnum) {
  need_table(tp, "tbcnum");
  if (colnum < 1) return nullptr;
  if (tp->colsel) {
    if (colnum > tp->nselcols || colnum > static_cast<int>(tp->selcols.size())) return nullptr;
    return tcscolumn(tp->selcols[colnum - 1]);
  }
  if (colnum > tp->ncols || colnum > static_cast<int>(tp->cols.size())) return nullptr;
  return tp->cols[colnum - 1].get();
}

// Selector record of a column: the first selected entry that holds it;
// none without a column selector.
ColumnSelector* tbcdes(Table* tp, Column* cp) {
  need_table(tp, "tbcdes");
  if (!tp->colsel) return nullptr;
  const int n = std::min(tp->nselcols, static_cast<int>(tp->selcols.size()));
  for (int k = 0; k < n; ++k)
    if (tcscolumn(tp->selcols[k]) == cp) return tp->selcols[k];
  return nullptr;
}

// Name (41), units (42) or print format (43) of a column.
void tbcigt(Column* cp, int code, std::string& text, int maxch) {
  need_column(cp, "tbcigt");
  switch (code) {
    case 41: text = cutn(cp->name, maxch); break;
    case 42: text = cutn(cp->units, maxch); break;
    case 43: text = cutn(cp->format, maxch); break;
    default: vos::error(34, "tbcigt:  unknown parameter");
  }
}

// Data type (44), number (45), display width (46) or array length (47).
int tbcigi(Column* cp, int code) {
  need_column(cp, "tbcigi");
  switch (code) {
    case 44: return cp->dtype == kTyChar ? -(2 * cp->length) : cp->dtype;
    case 45: return cp->number;
    case 46: {
      const std::string fmt = cut79(cp->format);
      std::size_t ip = 0;
      if (ip < fmt.size() && fmt[ip] == '%') ++ip;
      if (ip < fmt.size() && fmt[ip] == '-') ++ip;
      int width = 0;
      if (vos::ctoi(fmt, ip, width) > 0) return width;
      return cp->dtype >= 0 ? 25 : 2 * cp->length;
    }
    case 47: return cp->nelem;
    default: vos::error(34, "tbcigi:  unknown parameter");
  }
}

void tbcinf(Column* cp, int& colnum, std::string& name, std::string& units, std::string& fmt,
            int& dtype, int& nelem, int& width) {
  need_column(cp, "tbcinf");
  colnum = tbcigi(cp, 45);
  tbcigt(cp, 41, name, kSzColText);
  tbcigt(cp, 42, units, kSzColText);
  tbcigt(cp, 43, fmt, kSzColText);
  dtype = tbcigi(cp, 44);
  nelem = tbcigi(cp, 47);
  width = tbcigi(cp, 46);
}

// Renaming and new units or format: in memory at once, in the file only
// for a writable table whose file exists.
void tbcnam(Table* tp, Column* cp, std::string_view name) {
  need_table(tp, "tbcnam");
  need_column(cp, "tbcnam");
  cp->name = cut79(name);
  if (tp->readonly || !tp->opened) return;
  if (tp->type == kFitsTable)
    tbfnam(tp, cp, cp->name);
  else
    tbcwcd(tp, cp);
  tp->modified = true;
}

void tbcnit(Table* tp, Column* cp, std::string_view units) {
  need_table(tp, "tbcnit");
  need_column(cp, "tbcnit");
  cp->units = cut79(units);
  if (tp->readonly || !tp->opened) return;
  if (tp->type == kFitsTable)
    tbfnit(tp, cp, cp->units);
  else
    tbcwcd(tp, cp);
  tp->modified = true;
}

void tbcfmt(Table* tp, Column* cp, std::string_view fmt) {
  need_table(tp, "tbcfmt");
  need_column(cp, "tbcfmt");
  std::string f;
  tbbadf(cut79(fmt), cp->dtype, cp->length, f, kSzColText);
  cp->format = f;
  if (tp->readonly || !tp->opened) return;
  if (tp->type == kFitsTable)
    tbffmt(tp, cp, cp->format);
  else
    tbcwcd(tp, cp);
  tp->modified = true;
}

}  // namespace tbl
