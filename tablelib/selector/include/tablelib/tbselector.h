// Row and column selectors: row sets, the row-selection expression
// compiler and interpreter, and column selector lists.
//
// The table library core reaches these through the routines that
// tablelib/tbbackend.h also declares (trsrows, rstnem, rstrom, rstadb,
// rstfre, tcsopen, tcsaddcol, tcscolumn, tcsclose); the rest is here for
// other callers and for tests.  Every failure is a vos::Error.
// Single-threaded: one compilation at a time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tablelib/tbtypes.h"

namespace tbl {

// ---- Row sets ----------------------------------------------------------------
// A set of row numbers (1 .. 2147483647) kept as sorted, disjoint, inclusive
// ranges with running member counts.  Touching ranges are always merged.

// New set holding lo..hi (either order); empty when the smaller is below 1.
RowSet* rstcre(int lo, int hi);
// Frees a set; the pointer becomes nullptr (nullptr does nothing).
void rstfre(RowSet*& set);
// New set equal to set.
RowSet* rstcoy(const RowSet* set);
// Number of members.
int rstnem(RowSet* set);
// The i-th member (i from 1), 0 when i is not in 1..rstnem.
int rstrom(RowSet* set, int i);
// True when row is a member.
bool rstint(RowSet* set, int row);
// New sets: intersection, union, complement within 1..n.
RowSet* rstand(RowSet* a, RowSet* b);
RowSet* rstor(RowSet* a, RowSet* b);
RowSet* rstnot(int n, RowSet* set);
// Adds one row (later rows keep their numbers).
void rstadl(RowSet* set, int row);
// Inserts n new rows after row: row+1..row+n become members, every member
// above row moves up by n (members that would pass 2147483647 are dropped).
void rstadb(RowSet* set, int row, int n);
// Removes one row (later rows keep their numbers).
void rstdel(RowSet* set, int row);
// Deletes rows row..row+n-1: they leave the set, members above move down by n.
void rstdeb(RowSet* set, int row, int n);
// The set as text, e.g. "1:5,7,9:12", at most maxch characters: only whole
// ranges are written, so a text that does not fit ends after the last range
// that does.
void rstshw(RowSet* set, std::string& text, int maxch);

// ---- Row selectors -------------------------------------------------------------
struct RowSelectorCode;  // compiled expression (tablelib/selector/trscode.h)

// Compiles a row-selection expression for the table.
RowSelectorCode* trsopen(Table* tp, std::string_view expr);
// Frees compiled code; the pointer becomes nullptr.
void trsclose(RowSelectorCode*& code);
// The value of the expression for one (actual) row.
bool trscalc(Table* tp, int row, RowSelectorCode* code);
// True when row is a candidate row of the code and the expression holds.
bool trseval(Table* tp, int row, RowSelectorCode* code);
// The rows of the table for which the expression holds (a new set).
RowSet* trsrows(Table* tp, std::string_view expr);
// Drops leading and trailing characters below 33 and squeezes every inner
// run of them to one blank; returns the new length.
int trstrim(std::string& text);

// ---- Column selectors ------------------------------------------------------------
// One selected column and its array section: for each of the column's axes
// (at most 7) the first element, last element and step.
struct ColumnSelector {
  Column* column = nullptr;
  int ndim = 0;            // axes less trailing axes of length below 2
  std::vector<int> axes;   // first, last, step for every axis of the column
};

// Parses the column selector text into list (capacity cap); count is the
// number of entries made.  Failures free what was made and leave count 0.
void tcsopen(Table* tp, std::string_view text, ColumnSelector** list, int& count, int cap);
// Appends the whole column; "Overflow in descriptor array" when full.
void tcsaddcol(Table* tp, Column* cp, ColumnSelector** list, int& count, int cap);
// Frees the count entries of list (not the array).
void tcsclose(ColumnSelector** list, int count);
// Column of an entry.
Column* tcscolumn(ColumnSelector* cs);

}  // namespace tbl
