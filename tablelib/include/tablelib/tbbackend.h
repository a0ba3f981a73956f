// Routines of the storage back ends and of the selectors that the table
// library core calls.  The core dispatches on Table::type:
//   11 row-ordered binary (tbx*), 12 column-ordered binary (tby*)
//        -> tablelib/binary (library tbbinary)
//   13 text (tbz*)  -> tablelib/text (library tbtext)
//   14 FITS (tbf*)  -> tablelib/fits (library tbfits)
// Every routine raises vos::Error on failure.  Rows are actual (table) rows;
// the core has mapped selected rows before it calls here.
//
// Arrays of values cross as plain pointers to count elements; text arrays as
// std::string arrays (each string at most maxch characters); bool arrays and
// null flags as bool arrays.
#pragma once

#include <string>
#include <string_view>

#include "tablelib/tbtypes.h"

namespace tbl {

// =========================== Binary storage ===============================
// Creation, growth, rewriting.
void tbxnew(Table* tp);
void tbynew(Table* tp);
void tbxsiz(Table* tp, int oldmaxpar, int oldmaxcols, int oldncols,
            int oldallrowlen, int oldrowlen);
void tbysiz(Table* tp, int oldmaxpar, int oldmaxcols, int oldncols, int oldallrows);
void tbxwnc(Table* tp, Column** cols, int count, int oldrowlen);
void tbywnc(Table* tp, Column** cols, int count);
void tbxwer(Table* tp, int row);
void tbywer(Table* tp, int row);
void tbxnll(Table* tp, int first, int last);
void tbynll(Table* tp, int first, int last);
void tbxudf(Table* tp, Column** cols, int ncols, int row);
void tbyudf(Table* tp, Column** cols, int ncols, int row);
void tbxsft(Table* tp, int first, int shift);
void tbysft(Table* tp, int first, int shift);
int tbxoff(Table* tp, int row);

// Rows.
void tbxrgb(Table* tp, Column** cols, bool* vals, bool* nulls, int ncols, int row);
void tbxrgd(Table* tp, Column** cols, double* vals, bool* nulls, int ncols, int row);
void tbxrgr(Table* tp, Column** cols, float* vals, bool* nulls, int ncols, int row);
void tbxrgi(Table* tp, Column** cols, int* vals, bool* nulls, int ncols, int row);
void tbxrgs(Table* tp, Column** cols, short* vals, bool* nulls, int ncols, int row);
void tbxrgt(Table* tp, Column** cols, std::string* vals, bool* nulls, int maxch, int ncols, int row);
void tbyrgb(Table* tp, Column** cols, bool* vals, bool* nulls, int ncols, int row);
void tbyrgd(Table* tp, Column** cols, double* vals, bool* nulls, int ncols, int row);
void tbyrgr(Table* tp, Column** cols, float* vals, bool* nulls, int ncols, int row);
void tbyrgi(Table* tp, Column** cols, int* vals, bool* nulls, int ncols, int row);
void tbyrgs(Table* tp, Column** cols, short* vals, bool* nulls, int ncols, int row);
void tbyrgt(Table* tp, Column** cols, std::string* vals, bool* nulls, int maxch, int ncols, int row);
void tbxrpb(Table* tp, Column** cols, const bool* vals, int ncols, int row);
void tbxrpd(Table* tp, Column** cols, const double* vals, int ncols, int row);
void tbxrpr(Table* tp, Column** cols, const float* vals, int ncols, int row);
void tbxrpi(Table* tp, Column** cols, const int* vals, int ncols, int row);
void tbxrps(Table* tp, Column** cols, const short* vals, int ncols, int row);
void tbxrpt(Table* tp, Column** cols, const std::string* vals, int maxch, int ncols, int row);
void tbyrpb(Table* tp, Column** cols, const bool* vals, int ncols, int row);
void tbyrpd(Table* tp, Column** cols, const double* vals, int ncols, int row);
void tbyrpr(Table* tp, Column** cols, const float* vals, int ncols, int row);
void tbyrpi(Table* tp, Column** cols, const int* vals, int ncols, int row);
void tbyrps(Table* tp, Column** cols, const short* vals, int ncols, int row);
void tbyrpt(Table* tp, Column** cols, const std::string* vals, int maxch, int ncols, int row);

// Column ranges (rows first..last).
void tbxcgb(Table* tp, Column* cp, bool* vals, bool* nulls, int first, int last);
void tbxcgd(Table* tp, Column* cp, double* vals, bool* nulls, int first, int last);
void tbxcgr(Table* tp, Column* cp, float* vals, bool* nulls, int first, int last);
void tbxcgi(Table* tp, Column* cp, int* vals, bool* nulls, int first, int last);
void tbxcgs(Table* tp, Column* cp, short* vals, bool* nulls, int first, int last);
void tbxcgt(Table* tp, Column* cp, std::string* vals, bool* nulls, int maxch, int first, int last);
// Text straight into buffers of maxch + 1 bytes (a null buffer is skipped).
void tbxcgt(Table* tp, Column* cp, char** vals, bool* nulls, int maxch, int first, int last);
void tbycgb(Table* tp, Column* cp, bool* vals, bool* nulls, int first, int last);
void tbycgd(Table* tp, Column* cp, double* vals, bool* nulls, int first, int last);
void tbycgr(Table* tp, Column* cp, float* vals, bool* nulls, int first, int last);
void tbycgi(Table* tp, Column* cp, int* vals, bool* nulls, int first, int last);
void tbycgs(Table* tp, Column* cp, short* vals, bool* nulls, int first, int last);
void tbycgt(Table* tp, Column* cp, std::string* vals, bool* nulls, int maxch, int first, int last);
void tbycgt(Table* tp, Column* cp, char** vals, bool* nulls, int maxch, int first, int last);
void tbxcpb(Table* tp, Column* cp, const bool* vals, int first, int last);
void tbxcpd(Table* tp, Column* cp, const double* vals, int first, int last);
void tbxcpr(Table* tp, Column* cp, const float* vals, int first, int last);
void tbxcpi(Table* tp, Column* cp, const int* vals, int first, int last);
void tbxcps(Table* tp, Column* cp, const short* vals, int first, int last);
void tbxcpt(Table* tp, Column* cp, const std::string* vals, int maxch, int first, int last);
// Texts from the caller's strings (at most maxch characters each, up to
// their NUL; a null pointer is an empty text).
void tbxcpt(Table* tp, Column* cp, const char* const* vals, int maxch, int first, int last);
void tbycpb(Table* tp, Column* cp, const bool* vals, int first, int last);
void tbycpd(Table* tp, Column* cp, const double* vals, int first, int last);
void tbycpr(Table* tp, Column* cp, const float* vals, int first, int last);
void tbycpi(Table* tp, Column* cp, const int* vals, int first, int last);
void tbycps(Table* tp, Column* cp, const short* vals, int first, int last);
void tbycpt(Table* tp, Column* cp, const std::string* vals, int maxch, int first, int last);
void tbycpt(Table* tp, Column* cp, const char* const* vals, int maxch, int first, int last);

// Array elements (row-ordered only); the gets return the elements read.
int tbxagb(Table* tp, Column* cp, int row, bool* buf, int first, int n);
int tbxagd(Table* tp, Column* cp, int row, double* buf, int first, int n);
int tbxagr(Table* tp, Column* cp, int row, float* buf, int first, int n);
int tbxagi(Table* tp, Column* cp, int row, int* buf, int first, int n);
int tbxags(Table* tp, Column* cp, int row, short* buf, int first, int n);
int tbxagt(Table* tp, Column* cp, int row, std::string* buf, int maxch, int first, int n);
void tbxapb(Table* tp, Column* cp, int row, const bool* buf, int first, int n);
void tbxapd(Table* tp, Column* cp, int row, const double* buf, int first, int n);
void tbxapr(Table* tp, Column* cp, int row, const float* buf, int first, int n);
void tbxapi(Table* tp, Column* cp, int row, const int* buf, int first, int n);
void tbxaps(Table* tp, Column* cp, int row, const short* buf, int first, int n);
void tbxapt(Table* tp, Column* cp, int row, const std::string* buf, int maxch, int first, int n);

// ============================ Text storage ================================
void tbzopn(Table* tp);                 // read an opened text file whole
void tbznew(Table* tp);                 // make the in-memory table of a new text table
void tbzclo(Table* tp);                 // rewrite when modified, free the in-memory table
void tbzsiz(Table* tp, int oldmaxpar, int oldallrows);
void tbzadd(Table* tp, Column* cp);     // give a new column its in-memory array
void tbzkey(Table* tp, std::string_view line, int parnum);  // keyword line n (<=0 appends)
void tbzwer(Table* tp, int row);
void tbznll(Table* tp, int first, int last);
void tbzudf(Table* tp, Column** cols, int ncols, int row);
void tbzsft(Table* tp, int first, int shift);
void tbzgtb(Table* tp, Column* cp, int row, bool& v);
void tbzgtd(Table* tp, Column* cp, int row, double& v);
void tbzgtr(Table* tp, Column* cp, int row, float& v);
void tbzgti(Table* tp, Column* cp, int row, int& v);
void tbzgts(Table* tp, Column* cp, int row, short& v);
// Text get; returns whether the cell is undefined (judged from the stored
// value, whatever maxch cuts the text to).
bool tbzgtt(Table* tp, Column* cp, int row, std::string& text, int maxch);
void tbzptb(Table* tp, Column* cp, int row, bool v);
void tbzptd(Table* tp, Column* cp, int row, double v);
void tbzptr(Table* tp, Column* cp, int row, float v);
void tbzpti(Table* tp, Column* cp, int row, int v);
void tbzpts(Table* tp, Column* cp, int row, short v);
void tbzptt(Table* tp, Column* cp, int row, std::string_view text);
void tbzcgb(Table* tp, Column* cp, bool* vals, bool* nulls, int first, int last);
void tbzcgd(Table* tp, Column* cp, double* vals, bool* nulls, int first, int last);
void tbzcgr(Table* tp, Column* cp, float* vals, bool* nulls, int first, int last);
void tbzcgi(Table* tp, Column* cp, int* vals, bool* nulls, int first, int last);
void tbzcgs(Table* tp, Column* cp, short* vals, bool* nulls, int first, int last);
void tbzcgt(Table* tp, Column* cp, std::string* vals, bool* nulls, int maxch, int first, int last);
void tbzcpb(Table* tp, Column* cp, const bool* vals, int first, int last);
void tbzcpd(Table* tp, Column* cp, const double* vals, int first, int last);
void tbzcpr(Table* tp, Column* cp, const float* vals, int first, int last);
void tbzcpi(Table* tp, Column* cp, const int* vals, int first, int last);
void tbzcps(Table* tp, Column* cp, const short* vals, int first, int last);
void tbzcpt(Table* tp, Column* cp, const std::string* vals, int maxch, int first, int last);

// ============================ FITS storage ================================
// The FITS file lives in Table::fits (never in Table::fd).
void tbfopn(Table* tp);
void tbfrsi(Table* tp);
void tbfnew(Table* tp);
void tbfwsi(Table* tp);
int tbfsiz(Table* tp);                  // I/O buffer size in 2-byte chars
void tbfclo(Table* tp);                 // closes and frees Table::fits; nullptr does nothing
// A transfer of the FITS file failed: the failure's code and message.
bool tbfwfl(const Table* tp, int& code, std::string& message);
void tbfdel(Table* tp);
void tbfpri(std::string_view inname, std::string_view outname, int& copied);
// The compression the first n bytes of a file show ("gzip", "bzip2", ...),
// or null for none: a compressed file is taken for a FITS table.
const char* tbfcmp(const unsigned char* b, long n);
void tbfrcd(Table* tp, Column** cols, int ncols);
void tbfdef(Table* tp, Column* cp);
void tbfnam(Table* tp, Column* cp, std::string_view name);
void tbfnit(Table* tp, Column* cp, std::string_view units);
void tbffmt(Table* tp, Column* cp, std::string_view fmt);
void tbfwcd(Table* tp, Column* cp);
void tbfiga(Table* tp, Column* cp, int& ndim, int* axlen, int maxdim);
void tbfisa(Table* tp, Column* cp, int ndim, const int* axlen);
int tbfagb(Table* tp, Column* cp, int row, bool* buf, int first, int n);
int tbfagd(Table* tp, Column* cp, int row, double* buf, int first, int n);
int tbfagr(Table* tp, Column* cp, int row, float* buf, int first, int n);
int tbfagi(Table* tp, Column* cp, int row, int* buf, int first, int n);
int tbfags(Table* tp, Column* cp, int row, short* buf, int first, int n);
// Text get; when `nulls` is given, nulls[j] tells whether element j is
// undefined, judged from the value read and not from its formatted text.
int tbfagt(Table* tp, Column* cp, int row, std::string* buf, int maxch, int first, int n,
           bool* nulls = nullptr);
void tbfapb(Table* tp, Column* cp, int row, const bool* buf, int first, int n);
void tbfapd(Table* tp, Column* cp, int row, const double* buf, int first, int n);
void tbfapr(Table* tp, Column* cp, int row, const float* buf, int first, int n);
void tbfapi(Table* tp, Column* cp, int row, const int* buf, int first, int n);
void tbfaps(Table* tp, Column* cp, int row, const short* buf, int first, int n);
void tbfapt(Table* tp, Column* cp, int row, const std::string* buf, int maxch, int first, int n);
// Text put of element 1 of one cell, as tbfapt with the text's length.
void tbfptt(Table* tp, Column* cp, int row, std::string_view text);
// Text range of one column over rows first..last, in one pass when the
// column holds one string per row; false (nothing done) when the cell
// loop must serve it.  Values, null flags and bytes are the cell loop's.
bool tbfcgt(Table* tp, Column* cp, std::string* vals, bool* nulls, int maxch, int first,
            int last);
bool tbfcgt(Table* tp, Column* cp, char** vals, bool* nulls, int maxch, int first, int last);
bool tbfcpt(Table* tp, Column* cp, const std::string* vals, int maxch, int first, int last);
void tbfnll(Table* tp, int first, int last);
void tbfudf(Table* tp, Column** cols, int ncols, int row);
void tbfwer(Table* tp, int oldnrows, int newnrows);
void tbfchp(Table* tp, int ndel);
void tbfsft(Table* tp, int first, int shift);
void tbfcal(Table* in, Table* out);
// Header keywords.
void tbfhpd(Table* tp, std::string_view kw, double v);
void tbfhpr(Table* tp, std::string_view kw, float v);
void tbfhpi(Table* tp, std::string_view kw, int v);
void tbfhpb(Table* tp, std::string_view kw, bool v);
void tbfhpt(Table* tp, std::string_view kw, std::string_view text);
// tbfhpt in the primary header of the table's file; the table stays on its HDU.
void tbfppt(Table* tp, std::string_view kw, std::string_view text);
void tbfhgd(Table* tp, std::string_view kw, double& v);
void tbfhgr(Table* tp, std::string_view kw, float& v);
void tbfhgi(Table* tp, std::string_view kw, int& v);
void tbfhgb(Table* tp, std::string_view kw, bool& v);
void tbfhgt(Table* tp, std::string_view kw, std::string& text, int maxch);
void tbfanp(Table* tp, std::string_view kw, int dtype, std::string_view value, int& parnum);
void tbfpnp(Table* tp, int parnum, std::string_view kw, int dtype, std::string_view value);
void tbfgnp(Table* tp, int parnum, std::string& kw, int& dtype, std::string& value,
            std::string& comment, int maxch);
void tbffkw(Table* tp, std::string_view kw, int& parnum);
void tbfgcm(Table* tp, std::string_view kw, std::string& comment, int maxch);
void tbfpcm(Table* tp, std::string_view kw, std::string_view comment);
bool tbfres(std::string_view kw);

// ============================== Selectors =================================
// tablelib/selector (library tbselector; all of it in tablelib/tbselector.h).
RowSet* trsrows(Table* tp, std::string_view expr);
int rstnem(RowSet* set);
int rstrom(RowSet* set, int i);
void rstadb(RowSet* set, int row, int n);
void rstfre(RowSet*& set);
void tcsopen(Table* tp, std::string_view text, ColumnSelector** list, int& count, int cap);
void tcsaddcol(Table* tp, Column* cp, ColumnSelector** list, int& count, int cap);
Column* tcscolumn(ColumnSelector* cs);
void tcsclose(ColumnSelector** list, int count);

}  // namespace tbl
