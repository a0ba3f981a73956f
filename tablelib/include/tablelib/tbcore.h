// Shared routines of the table library core that the storage back ends and
// the selectors call back.  Positions in binary table files are 1-based
// 2-byte chars; every value in a binary table file is big-endian.
#pragma once

#include <string>
#include <string_view>

#include "tablelib/tables.h"

namespace tbl {

// ---- Descriptor, sizes ---------------------------------------------------
void tbuopn(Table* tp);
int tbtbod(int maxpar, int maxcols);      // 25 + 40*maxpar + 32*maxcols
void tbtwsi(Table* tp);                   // write the size record
void tbtrsi(Table* tp);                   // read the size record
// Closes the table's descriptor, which keeps its change; a discarded
// table's change is undone instead.
void tbtcfd(Table* tp);
// The failure of the table's change: a transfer of its file that failed
// for good (the file layer or CFITSIO reported it), after which the change
// is undone at the close.  Its code and message, the same every time it is
// asked; false while nothing failed.
bool tbtfai(const Table* tp, int& code, std::string& message);
// Raises the failure of the table's change, when one failed: the call that
// met it raised it, and every later call on the table and the close raise
// it again.
void tbtchk(const Table* tp);
void tbcrcd(Table* tp, Column* cp, int colnum);  // read one column record
void tbcwcd(Table* tp, Column* cp);       // write one column record
int tbalen(const Column* cp);             // array length implied by the cell length

// Saved size words around a size change.
struct SavedSizes {
  int type, npar, maxpar, nrows, allrows, ncols, maxcols, rowlen, allrowlen, bod, iomode;
};
void tbdsav(Table* tp, SavedSizes& saved);
void tbdres(Table* tp, const SavedSizes& saved);

// ---- Elements ------------------------------------------------------------------
int tbeszt(const Column* cp);             // chars of one text element
int tbeoff(Table* tp, Column* cp, int row, int elem);

// Raw element access at a 1-based char position (no conversion).
void tbegpb(Table* tp, Column* cp, int pos, int row, bool& v);
void tbegpd(Table* tp, Column* cp, int pos, int row, double& v);
void tbegpr(Table* tp, Column* cp, int pos, int row, float& v);
void tbegpi(Table* tp, Column* cp, int pos, int row, int& v);
void tbegps(Table* tp, Column* cp, int pos, int row, short& v);
void tbegpt(Table* tp, Column* cp, int pos, int row, std::string& text, int maxch);
void tbegpt(Table* tp, Column* cp, int pos, int row, char* text, int maxch);  // maxch + 1 bytes
void tbeppb(Table* tp, Column* cp, int pos, int row, bool v);
void tbeppd(Table* tp, Column* cp, int pos, int row, double v);
void tbeppr(Table* tp, Column* cp, int pos, int row, float v);
void tbeppi(Table* tp, Column* cp, int pos, int row, int v);
void tbepps(Table* tp, Column* cp, int pos, int row, short v);
void tbeppt(Table* tp, Column* cp, int pos, int row, std::string_view text);

// ---- Null row and bit copies (big-endian, into row buffers) -------------------
void tbbnll(Table* tp, Column* cp);
void tbbeqd(double v, unsigned char* out);  // 8 bytes
void tbbeqr(float v, unsigned char* out);   // 4 bytes
void tbbeqi(int v, unsigned char* out);     // 4 bytes
void tbbeqs(short v, unsigned char* out);   // 2 bytes
void tbbeqb(bool v, unsigned char* out);    // 4 bytes (a 32-bit word)
void tbctpe(Table* tp, Table* tmpl);
void tbcchg(Table* tp, int rowlen);
void tbciga(Table* tp, Column* cp, int& ndim, int* axlen, int maxdim);
void tbcisa(Table* tp, Column* cp, int ndim, const int* axlen);

// ---- Column types and formats -----------------------------------------------
void tbbaln(int dtype_in, int& dtype_out, int& length);
void tbbadf(std::string_view fmt_in, int dtype, int length, std::string& fmt_out, int maxch);
void tbbtyp(std::string_view word, int& dtype);
void tbbftp(std::string_view fmt_in, std::string& fmt_out);
// Reads one word of line from pos (0-based, advanced past it) and classifies
// it; returns the chars the word took (quotes included, leading blanks not),
// 0 when no word is left.  dtype: 7 double, 4 int, 2 text; fmtchar one of
// d g h m s.
int tbbwrd(std::string_view line, std::size_t& pos, std::string& word, int maxch,
           int& width, int& prec, int& dtype, char& fmtchar);
void tbcadd(Table* tp, Column** cols, const std::string* names,
            const std::string* units, const std::string* fmts,
            const int* dtypes, const int* nelem, int count);
void tbbcmt(Table* tp, std::string_view comment);

// ---- Parameters ------------------------------------------------------------------
int tbrlen(Table* tp, int code);
int tbtszd(Table* tp);

// ---- Row selection link --------------------------------------------------------
void tbsopn(Table* tp, std::string_view rowsel, std::string_view colsel);
void tbsrow(Table* tp, int selrow, int& row);
void tbswer(Table* tp, int selrow, int& row);
void tbswer1(Table* tp, int selrow, int& row);
void tbscol(Table* tp, Column* cp);
// Frees a table's selection state (at close); tbsclo_columns only the
// column selection.
void tbsclo(Table* tp) noexcept;
void tbsclo_columns(Table* tp) noexcept;

// ---- Rows ----------------------------------------------------------------------
// Copy one row (selected row numbers) from one table to another (or the same).
void tbrcpy(Table* in, Table* out, int inrow, int outrow);

// ---- Header parameter records ---------------------------------------------------
bool tbhisc(std::string_view kw);
bool tbhkeq(std::string_view kw, std::string_view record);
void tbhrpr(Table* tp, int parnum, std::string& record);
void tbhwpr(Table* tp, int parnum, std::string_view record);

}  // namespace tbl
