// Row and column selection link: the mapping of the rows callers give onto
// the rows of the file, and the growth of a table written beyond its end.
//
// The selectors themselves are not part of this build.  A table name with
// a row or column selector is refused at open with a clear error, so no
// table ever has selection on and every selected row is the actual row.
#include <string>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "vos/error.h"
#include "vos/format.h"

namespace tbl {

// Starts the selectors at open: refuses any selector text.
void tbsopn(Table* tp, std::string_view rowsel, std::string_view colsel) {
  if (!rowsel.empty())
    vos::error(1, vos::sprintf("Table row selectors are not supported (%s)", rowsel));
  tp->rowsel = false;
  if (!colsel.empty())
    vos::error(1, vos::sprintf("Table column selectors are not supported (%s)", colsel));
  tp->colsel = false;
}

// Maps a row for reading.
void tbsirow(Table* tp, int selrow, int& row) {
  need_table(tp, "tbsirow");
  if (selrow < 1) vos::error(1, "row number less than one is invalid");
  if (selrow > tp->nrows) vos::error(51, "input row is beyond EOF");
  row = selrow;
}

// Maps a row for writing.
void tbsrow(Table*, int selrow, int& row) {
  if (selrow < 1) vos::error(1, "row number less than one is invalid");
  row = selrow;
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
  int actual = 0;
  tbsrow(tp, selrow, actual);
  if (actual > tp->nrows + 1) {
    tbswer(tp, selrow, row);
    return;
  }
  row = actual;
}

// Adds a newly defined column to the column selection (none is ever on).
void tbscol(Table* tp, Column*) {
  if (!tp->colsel) return;
}

}  // namespace tbl
