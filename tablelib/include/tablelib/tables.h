// Public routines of the table library core: the routines the host binding
// wraps as c_<name>.  Every routine raises vos::Error on failure.
//
// Strings are 8-bit std::string / std::string_view; an output string with a
// maxch argument receives at most maxch characters.
#pragma once

#include <string>
#include <string_view>

#include "tablelib/tbtypes.h"

namespace tbl {

// ---- Tables: open, create, close ----------------------------------------
Table* tbtopn(std::string_view name, int mode, Table* tmpl);
void tbtcre(Table* tp);
void tbtclo(Table*& tp);  // tp becomes nullptr; nullptr does nothing
// Closes without keeping the change made since the open (a new table never
// appears); tp becomes nullptr.
void tbtabn(Table*& tp);
void tbtflu(Table* tp);
void tbtchs(Table* tp, int maxpar, int maxcols, int rowlen, int allrows);
void tbtext(std::string_view in, std::string& out, int maxch);
void tbtfst(Table* tp, int option, int value);
void tbtwer(Table* tp, int row);
void tbtnam(Table* tp, std::string& out, int maxch);

// Storage type of a table name (11..14, 0 for an empty name); exists is set
// to 1 when the file (or the name with ".tab") can be opened.
int tbttyp(std::string_view name, int& exists);

// ---- Table names -----------------------------------------------------------
// Full parse; returns the count of non-blank characters (0: blank name).
int tbnparse(std::string_view name, std::string& fname, std::string& extname,
             std::string& brackets, int maxch, int& extver, int& hdu,
             int& overwrite, std::string& rowsel, std::string& colsel,
             int maxselect);
// Short form: file name, bracket text, HDU number.
int tbparse(std::string_view name, std::string& fname, std::string& brackets,
            int maxch, int& hdu);

// ---- Table parameters ------------------------------------------------------
void tbpset(Table* tp, int code, int value);
int tbpsta(Table* tp, int code);

// ---- Row selection link ----------------------------------------------------
void tbsirow(Table* tp, int selrow, int& row);

// ---- Columns ---------------------------------------------------------------
void tbcdef(Table* tp, Column** cols, const std::string* names,
            const std::string* units, const std::string* fmts,
            const int* dtypes, const int* nelem, int count);
void tbcdef1(Table* tp, Column*& col, std::string_view name,
             std::string_view units, std::string_view fmt, int dtype, int nelem);
void tbcfnd(Table* tp, const std::string* names, Column** cols, int count);
void tbcfnd1(Table* tp, std::string_view name, Column*& col);
Column* tbcnum(Table* tp, int colnum);           // nullptr when none
ColumnSelector* tbcdes(Table* tp, Column* cp);   // nullptr when none
void tbcigt(Column* cp, int code, std::string& text, int maxch);
int tbcigi(Column* cp, int code);
void tbcinf(Column* cp, int& colnum, std::string& name, std::string& units,
            std::string& fmt, int& dtype, int& nelem, int& width);
void tbcnam(Table* tp, Column* cp, std::string_view name);
void tbcnit(Table* tp, Column* cp, std::string_view units);
void tbcfmt(Table* tp, Column* cp, std::string_view fmt);

// Puts text into a caller's buffer of maxch + 1 bytes as the text gets give
// it: at most maxch characters (none for a negative maxch), ending before
// the first NUL, then a NUL.  A null buffer is left alone.
void copy_text(char* buf, std::string_view text, int maxch);

// ---- Single elements ---------------------------------------------------------
void tbegtd(Table* tp, Column* cp, int row, double& v);
void tbegtr(Table* tp, Column* cp, int row, float& v);
void tbegti(Table* tp, Column* cp, int row, int& v);
void tbegts(Table* tp, Column* cp, int row, short& v);
void tbegtb(Table* tp, Column* cp, int row, bool& v);
void tbegtt(Table* tp, Column* cp, int row, std::string& text, int maxch);
// The same into a caller's buffer of maxch + 1 bytes (see copy_text).
void tbegtt(Table* tp, Column* cp, int row, char* buf, int maxch);
void tbeptd(Table* tp, Column* cp, int row, double v);
void tbeptr(Table* tp, Column* cp, int row, float v);
void tbepti(Table* tp, Column* cp, int row, int v);
void tbepts(Table* tp, Column* cp, int row, short v);
void tbeptb(Table* tp, Column* cp, int row, bool v);
void tbeptt(Table* tp, Column* cp, int row, std::string_view text);

// ---- Header parameters -------------------------------------------------------
void tbhadd(Table* tp, std::string_view kw, double v);
void tbhadr(Table* tp, std::string_view kw, float v);
void tbhadi(Table* tp, std::string_view kw, int v);
void tbhadb(Table* tp, std::string_view kw, bool v);
void tbhadt(Table* tp, std::string_view kw, std::string_view text);
// tbhadt in the primary header of a FITS table's file (other tables: theirs).
void tbhadtp(Table* tp, std::string_view kw, std::string_view text);
void tbhptd(Table* tp, std::string_view kw, double v);
void tbhptr(Table* tp, std::string_view kw, float v);
void tbhpti(Table* tp, std::string_view kw, int v);
void tbhptb(Table* tp, std::string_view kw, bool v);
void tbhptt(Table* tp, std::string_view kw, std::string_view text);
double tbhgtd(Table* tp, std::string_view kw);
float tbhgtr(Table* tp, std::string_view kw);
int tbhgti(Table* tp, std::string_view kw);
bool tbhgtb(Table* tp, std::string_view kw);
void tbhgtt(Table* tp, std::string_view kw, std::string& text, int maxch);
void tbhgnp(Table* tp, int parnum, std::string& kw, int& dtype, std::string& value);
void tbhpnp(Table* tp, int parnum, std::string_view kw, int dtype, std::string_view value);
void tbhanp(Table* tp, std::string_view kw, int dtype, std::string_view value, int& parnum);
void tbhgcm(Table* tp, std::string_view kw, std::string& comment, int maxch);
void tbhpcm(Table* tp, std::string_view kw, std::string_view comment);
void tbhfkw(Table* tp, std::string_view kw, int& parnum);
void tbhfkr(Table* tp, std::string_view kw, int& dtype, std::string& value, int& parnum);
void tbhcal(Table* in, Table* out);

// ---- Whole tables ------------------------------------------------------------
void tbtcpy(std::string_view inname, std::string_view outname);
void tbtdel(std::string_view name);
void tbtren(std::string_view oldname, std::string_view newname);
int tbtacc(std::string_view name);  // 1 when it can be opened read-only; never raises
// Sorts row numbers by the columns (fold: texts compared ignoring case).
void tbtsrt(Table* tp, int ncols, Column* const* cols, bool fold, int nrows, int* rows);
int tbrcmp(Table* tp, int ncols, Column* const* cols, bool fold, int row1, int row2);
int tbqcmp(int row1, int row2);  // compares with the columns of the running tbtsrt

// ---- Column ranges (rows first..last; one value and null flag per row) ------
void tbcgtd(Table* tp, Column* cp, double* vals, bool* nulls, int first, int last);
void tbcgtr(Table* tp, Column* cp, float* vals, bool* nulls, int first, int last);
void tbcgti(Table* tp, Column* cp, int* vals, bool* nulls, int first, int last);
void tbcgts(Table* tp, Column* cp, short* vals, bool* nulls, int first, int last);
void tbcgtb(Table* tp, Column* cp, bool* vals, bool* nulls, int first, int last);
void tbcgtt(Table* tp, Column* cp, std::string* vals, bool* nulls, int maxch, int first,
            int last);
// The same into caller's buffers of maxch + 1 bytes each (see copy_text).
void tbcgtt(Table* tp, Column* cp, char** vals, bool* nulls, int maxch, int first, int last);
void tbcptd(Table* tp, Column* cp, const double* vals, int first, int last);
void tbcptr(Table* tp, Column* cp, const float* vals, int first, int last);
void tbcpti(Table* tp, Column* cp, const int* vals, int first, int last);
void tbcpts(Table* tp, Column* cp, const short* vals, int first, int last);
void tbcptb(Table* tp, Column* cp, const bool* vals, int first, int last);
void tbcptt(Table* tp, Column* cp, const std::string* vals, int maxch, int first, int last);
// The same from the caller's strings: each is taken to at most maxch
// characters, up to its NUL; a null pointer is an empty text.
void tbcptt(Table* tp, Column* cp, const char* const* vals, int maxch, int first, int last);

// ---- Rows (ncols columns of one row; values and null flags per column) ------
void tbrgtd(Table* tp, Column* const* cols, double* vals, bool* nulls, int ncols, int row);
void tbrgtr(Table* tp, Column* const* cols, float* vals, bool* nulls, int ncols, int row);
void tbrgti(Table* tp, Column* const* cols, int* vals, bool* nulls, int ncols, int row);
void tbrgts(Table* tp, Column* const* cols, short* vals, bool* nulls, int ncols, int row);
void tbrgtb(Table* tp, Column* const* cols, bool* vals, bool* nulls, int ncols, int row);
void tbrgtt(Table* tp, Column* const* cols, std::string* vals, bool* nulls, int maxch, int ncols,
            int row);
void tbrptd(Table* tp, Column* const* cols, const double* vals, int ncols, int row);
void tbrptr(Table* tp, Column* const* cols, const float* vals, int ncols, int row);
void tbrpti(Table* tp, Column* const* cols, const int* vals, int ncols, int row);
void tbrpts(Table* tp, Column* const* cols, const short* vals, int ncols, int row);
void tbrptb(Table* tp, Column* const* cols, const bool* vals, int ncols, int row);
void tbrptt(Table* tp, Column* const* cols, const std::string* vals, int maxch, int ncols,
            int row);
void tbrnll(Table* tp, int first, int last);
void tbrudf(Table* tp, Column* const* cols, int ncols, int row);
void tbrdel(Table* tp, int first, int last);
void tbrsft(Table* tp, int first, int shift);
void tbrchg(Table* tp, int allrows);
void tbrcsc(Table* in, Table* out, Column* const* icols, Column* const* ocols, int inrow,
            int outrow, int ncols);
void tbrswp(Table* tp, int row1, int row2);

// ---- Array elements (elements first.. of one cell; gets return the count) ---
int tbagtd(Table* tp, Column* cp, int row, double* buf, int first, int n);
int tbagtr(Table* tp, Column* cp, int row, float* buf, int first, int n);
int tbagti(Table* tp, Column* cp, int row, int* buf, int first, int n);
int tbagts(Table* tp, Column* cp, int row, short* buf, int first, int n);
int tbagtb(Table* tp, Column* cp, int row, bool* buf, int first, int n);
int tbagtt(Table* tp, Column* cp, int row, std::string* buf, int maxch, int first, int n);
void tbaptd(Table* tp, Column* cp, int row, const double* buf, int first, int n);
void tbaptr(Table* tp, Column* cp, int row, const float* buf, int first, int n);
void tbapti(Table* tp, Column* cp, int row, const int* buf, int first, int n);
void tbapts(Table* tp, Column* cp, int row, const short* buf, int first, int n);
void tbaptb(Table* tp, Column* cp, int row, const bool* buf, int first, int n);
void tbaptt(Table* tp, Column* cp, int row, const std::string* buf, int maxch, int first,
            int n);

}  // namespace tbl
