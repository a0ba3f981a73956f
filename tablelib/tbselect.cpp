// Row and column selection link: the mapping of the rows callers give onto
// the rows of the file, and the growth of a table written beyond its end.
//
// A table opened with a row selector shows only the selected rows,
// renumbered from 1 (Table::rowset holds their actual numbers); one opened
// with a column selector shows only the selected columns (Table::selcols).
#include <algorithm>
#include <string>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "vos/error.h"
#include "vos/format.h"

namespace tbl {

// Starts the selectors at open.  A selector that fails leaves its flag off
// and nothing of its own behind; the caller then closes the table.
void tbsopn(Table* tp, std::string_view rowsel, std::string_view colsel) {
  tp->rowsel = false;
  if (!rowsel.empty()) {
    RowSet* set = trsrows(tp, rowsel);
    rstfre(tp->rowset);
    tp->rowset = set;
    tp->nselrows = rstnem(set);
    tp->rowsel = true;
  }
  tp->colsel = false;
  if (!colsel.empty()) {
    tbsclo_columns(tp);
    tp->selcap = tp->ncols;
    tp->selcols.assign(static_cast<std::size_t>(tp->selcap), nullptr);
    int count = 0;
    tcsopen(tp, colsel, tp->selcols.data(), count, tp->selcap);
    tp->nselcols = count;
    tp->colsel = true;
  }
}

// Frees the column selection of a table.
void tbsclo_columns(Table* tp) noexcept {
  tcsclose(tp->selcols.data(), std::min(tp->nselcols, static_cast<int>(tp->selcols.size())));
  tp->selcols.clear();
  tp->nselcols = 0;
  tp->selcap = 0;
  tp->colsel = false;
}

// Frees the selection state of a table (at close).
void tbsclo(Table* tp) noexcept {
  rstfre(tp->rowset);
  tp->rowsel = false;
  tp->nselrows = 0;
  tbsclo_columns(tp);
}

// Maps a row for reading.
void tbsirow(Table* tp, int selrow, int& row) {
  need_table(tp, "tbsirow");
  if (selrow < 1) vos::error(1, "row number less than one is invalid");
  if (tp->rowsel) {
    if (selrow > tp->nselrows) vos::error(51, "input row is beyond EOF");
    row = rstrom(tp->rowset, selrow);
    return;
  }
  if (selrow > tp->nrows) vos::error(51, "input row is beyond EOF");
  row = selrow;
}

// Maps a row for writing.  Selected rows beyond the selection map, in
// order, onto new rows after the table's last row, which join the selection.
void tbsrow(Table* tp, int selrow, int& row) {
  if (selrow < 1) vos::error(1, "row number less than one is invalid");
  if (!tp->rowsel) {
    row = selrow;
    return;
  }
  if (selrow <= tp->nselrows) {
    row = rstrom(tp->rowset, selrow);
    return;
  }
  const long long actual = static_cast<long long>(tp->nrows) + (selrow - tp->nselrows);
  if (actual > 2147483647LL) vos::error(1, "row number is too large");
  rstadb(tp->rowset, tp->nrows, selrow - tp->nselrows);
  tp->nselrows = rstnem(tp->rowset);
  row = static_cast<int>(actual);
}

// Maps a row for writing and extends the table when it lies beyond the
// last row; the row count and modified flag change only after success.
void tbswer(Table* tp, int selrow, int& row) {
  int actual = 0;
  tbsrow(tp, selrow, actual);
  if (actual > tp->nrows) {
    switch (tp->type) {
      case kRowOrdered: tbxwer(tp, actual); break;
      case kColOrdered: tbywer(tp, actual); break;
      case kTextTable: tbzwer(tp, actual); break;
      case kFitsTable: tbfwer(tp, tp->nrows, actual); break;
      default: vos::error(81, "tbswer:  bad table type; table or memory corrupted?");
    }
    tp->nrows = actual;
    tp->modified = true;
  }
  row = actual;
}

// The same for writers of whole rows and arrays: a row-ordered table's row
// writers append the row just past the end themselves.
void tbswer1(Table* tp, int selrow, int& row) {
  if (tp->type != kRowOrdered) {
    tbswer(tp, selrow, row);
    return;
  }
  if (tp->rowsel) {
    if (selrow <= tp->nselrows + 1)
      tbsrow(tp, selrow, row);
    else
      tbswer(tp, selrow, row);
    return;
  }
  int actual = 0;
  tbsrow(tp, selrow, actual);
  if (actual > tp->nrows + 1) {
    tbswer(tp, selrow, row);
    return;
  }
  row = actual;
}

// Adds a newly defined column to the column selection, growing the list
// by 20 entries when it is full.
void tbscol(Table* tp, Column* cp) {
  if (!tp->colsel) return;
  if (tp->nselcols + 1 > tp->selcap) {
    tp->selcap = tp->nselcols + 20;
    tp->selcols.resize(static_cast<std::size_t>(tp->selcap), nullptr);
  }
  tcsaddcol(tp, cp, tp->selcols.data(), tp->nselcols, tp->selcap);
}

}  // namespace tbl
