// Listing a throughput file's candidate columns through the table library,
// and rewriting the FILENAME cells.
#include <cstring>
#include <string>

#include "comptab.h"
#include "halvo/c_tables.h"
#include "loadfile/alist.h"
#include "loadfile/strfn.h"
#include "orvolib/catalog.h"
#include "orvolib/orvo_error.h"

namespace {
const int kCellMax = THRU_MAXPATH + THRU_MAXCOL + 2;
}  // namespace

void getthrulist(const char* path, text* list) {
  char xpath[THRU_MAXPATH + 1];
  xlate_fname(path, xpath, THRU_MAXPATH);
  TablePtr tp = c_tbtopn(xpath, TBL_READ_ONLY, nullptr);
  if (c_voserr() != 0) orvo_error(ORVO_OPENFILE, "%s", path);
  orvo_debug("getthrulist: opened %s", path);
  for (int n = 1;; ++n) {
    ColumnPtr cp = c_tbcnum(tp, n);
    if (c_voserr() != 0 || cp == nullptr) break;
    char name[THRU_MAXCOL + 1] = {};
    c_tbcigt(cp, TBL_COL_NAME, name, THRU_MAXCOL);
    if (c_voserr() != 0) break;
    strlcase(name);
    add_thru_candidate(list, name);
  }
  c_tbtclo(tp);
}

void getthrucol(const char* path, const char* component, char* column, int maxch) {
  text list;
  init_text(&list, 5, 100);
  getthrulist(path, &list);
  choose_thrucol(&list, component, path, column, maxch);
  free_text(&list);
}

void update_comp(table* t) {
  alist* catalogue = read_alist(thrucat_path().c_str());
  for (int r = 0; r < t->rows; ++r) {
    // Copies: storing a cell may move the table's strings.
    std::string file = get_tab_cell(t, "FILENAME", r);
    std::string component = get_tab_cell(t, "COMPNAME", r);
    const char* directory = patmatch_alist(catalogue, file.c_str());
    if (directory == nullptr) orvo_error(ORVO_NOTHRUMATCH, "%s", file.c_str());
    char path[THRU_MAXPATH + 1];
    safecopy(path, directory, THRU_MAXPATH);
    safecat(path, file.c_str(), THRU_MAXPATH);
    char column[THRU_MAXCOL + 1];
    getthrucol(path, component.c_str(), column, THRU_MAXCOL);
    char cell[kCellMax + 1];
    thru_cell(path, column, cell, kCellMax);
    put_tab_cell(t, "FILENAME", r, cell);
  }
  free_alist(catalogue);
}
