// The output table writer.
#include "orvolib/mivutab.h"

#include <string>
#include <vector>

#include "halvo/c_tables.h"
#include "orvolib/catalog.h"
#include "orvolib/orvo_error.h"

namespace {

const int kMaxHeaderParams = 6;
const int kExtraKeywords = 5;

// Ends the run with fatal error 15 when the binding reports a failure; the
// table is closed first without keeping anything it wrote (a new table
// never appears, an existing FITS file keeps its bytes).
void check(TablePtr& tp, const char* name) {
  if (c_voserr() == 0) return;
  if (tp != nullptr) c_tbtabn(tp);
  tp = nullptr;
  orvo_error(ORVO_WRITEFILE, "%s", name);
}

}  // namespace

// Writes the table as one change of the output: the new table and, for a
// FITS file, the keywords of its primary header appear together or not at
// all.
void write_mivutab(table* t, int count, const int* widths, const char* name) {
  if (t->ncols != count) orvo_error(ORVO_NWIDTHS, "%d", count);
  TablePtr tp = c_tbtopn(name, TBL_NEW_FILE, nullptr);
  check(tp, name);
  c_tbpset(tp, kMaxHeaderParams, t->keys.count + kExtraKeywords);
  check(tp, name);
  std::vector<ColumnPtr> columns(static_cast<std::size_t>(count));
  for (int c = 0; c < count; ++c) {
    c_tbcdef1(tp, &columns[static_cast<std::size_t>(c)], get_tab_colname(t, c), "", "", -widths[c], 1);
    check(tp, name);
  }
  c_tbtcre(tp);
  check(tp, name);
  std::string cell;
  for (int r = 0; r < t->rows; ++r) {
    for (int c = 0; c < count; ++c) {
      cell = get_tab_cell_bynum(t, c, r);
      if (static_cast<int>(cell.size()) > widths[c]) cell.resize(static_cast<std::size_t>(widths[c]));
      c_tbeptt(tp, columns[static_cast<std::size_t>(c)], r + 1, cell.c_str());
      check(tp, name);
    }
  }
  // A FITS file takes the keywords in its primary header, other tables in
  // their own.
  for (int k = 0; k < t->keys.count; ++k) {
    c_tbhadtp(tp, get_tab_keyname_bynum(t, k), get_tab_keyval_bynum(t, k));
    check(tp, name);
  }
  c_tbtclo(tp);
  tp = nullptr;
  check(tp, name);
}
