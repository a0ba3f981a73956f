/* The table library for programs of the host's own conventions: 8-bit
 * strings ending in NUL, arguments by value, failures as an error state.
 *
 * Call c_vosinit() once before anything else.  Every c_tb* entry clears the
 * error state on entry; after each call test c_voserr(): non-zero means the
 * call failed, c_voserrmsg() then holds the message, and the call's result
 * (if any) means nothing.  No C++ exception ever leaves an entry.
 *
 * Table and column pointers are opaque handles: never dereference them.  A
 * template or table argument of 0 means none.  Booleans are ints (0 false,
 * non-zero true).  A string out of maxch receives at most maxch characters
 * and a NUL, so its buffer holds at least maxch + 1 bytes; it always holds a
 * terminated string after the call, even after a failure.  A string array of
 * count elements is an array of count pointers.
 */
#ifndef HALVO_C_TABLES_H
#define HALVO_C_TABLES_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct halvo_table* TablePtr;        /* an open table */
typedef struct halvo_column* ColumnPtr;      /* a column of an open table */
typedef struct halvo_colsel* ColSelectorPtr; /* a column's selector record */

/* Table open modes, column data types (a text column of at most N
 * characters is -N), table parameter codes and column information codes. */
enum {
  TBL_READ_ONLY = 1, TBL_READ_WRITE = 2, TBL_NEW_FILE = 5, TBL_NEW_COPY = 7,
  TBL_TY_BOOL = 1, TBL_TY_SHORT = 3, TBL_TY_INT = 4, TBL_TY_REAL = 6, TBL_TY_DOUBLE = 7,
  TBL_COL_NAME = 41, TBL_COL_UNITS = 42, TBL_COL_FMT = 43, TBL_COL_DATATYPE = 44,
  TBL_COL_NUMBER = 45, TBL_COL_FMTLEN = 46, TBL_COL_LENDATA = 47
};

/* ---- start-up and error state ---------------------------------------- */
void c_vosinit(void);
int c_voserr(void);                 /* code of the last call's error, 0 when none */
const char* c_voserrmsg(void);      /* its message, "" when none */
int c_pusherr(void (*handler)(void)); /* called at once on each caught error */
int c_poperr(void);

/* ---- VOS character memory -------------------------------------------- */
/* The address of element p of VOS character memory (16-bit characters), and
 * the element number of an address: (address - address of element 0) / 2. */
void* c_VosString(ptrdiff_t p);
ptrdiff_t c_VosPointer(const void* address);

/* ---- tables ---------------------------------------------------------- */
TablePtr c_tbtopn(const char* tablename, int iomode, TablePtr templt);
void c_tbtcre(TablePtr tp);
void c_tbtclo(TablePtr tp);
/* Closes the table without keeping what was changed since it was opened:
 * the file is left as it was, a new table never appears. */
void c_tbtabn(TablePtr tp);
void c_tbtflu(TablePtr tp);
void c_tbtnam(TablePtr tp, char* tblname, int maxch);
void c_tbtext(const char* inname, char* outname, int maxch);
void c_tbtchs(TablePtr tp, int maxpar, int maxcols, int rowlen, int allrows);
void c_tbtcpy(const char* inname, const char* outname);
void c_tbtren(const char* inname, const char* outname);
void c_tbtdel(const char* tablename);
int c_tbtacc(const char* tablename);
void c_tbtsrt(TablePtr tp, int numcols, const ColumnPtr* colptr, int fold,
              int nindex, int* index);
void c_tbfpri(const char* inname, const char* outname, int* copied);
int c_tbparse(const char* tablename, char* fname, char* brackets, int maxch, int* hdu);

/* ---- table parameters and row selection -------------------------------- */
void c_tbpset(TablePtr tp, int param, int value);
int c_tbpsta(TablePtr tp, int param);
void c_tbsirow(TablePtr tp, int selrow, int* rownum);

/* ---- columns ------------------------------------------------------------ */
void c_tbcdef(TablePtr tp, ColumnPtr* colptr, const char* const* colname,
              const char* const* colunits, const char* const* colfmt,
              const int* datatype, const int* lendata, int numcols);
void c_tbcdef1(TablePtr tp, ColumnPtr* colptr, const char* colname,
               const char* colunits, const char* colfmt, int datatype, int nelem);
void c_tbcfnd(TablePtr tp, const char* const* colname, ColumnPtr* colptr, int numcols);
void c_tbcfnd1(TablePtr tp, const char* colname, ColumnPtr* colptr);
void c_tbcinf(ColumnPtr cp, int* colnum, char* colname, char* colunits, char* colfmt,
              int* datatype, int* lendata, int* lenfmt);
int c_tbcigi(ColumnPtr cp, int param);
void c_tbcigt(ColumnPtr cp, int param, char* outstr, int maxch);
void c_tbcnam(TablePtr tp, ColumnPtr cp, const char* colname);
void c_tbcnit(TablePtr tp, ColumnPtr cp, const char* colunits);
void c_tbcfmt(TablePtr tp, ColumnPtr cp, const char* colfmt);
ColumnPtr c_tbcnum(TablePtr tp, int colnum);
ColSelectorPtr c_tbcdes(TablePtr tp, ColumnPtr cp);

/* ---- single elements ------------------------------------------------------ */
void c_tbegtb(TablePtr tp, ColumnPtr cp, int row, int* buffer);
void c_tbegtd(TablePtr tp, ColumnPtr cp, int row, double* buffer);
void c_tbegtr(TablePtr tp, ColumnPtr cp, int row, float* buffer);
void c_tbegti(TablePtr tp, ColumnPtr cp, int row, int* buffer);
void c_tbegts(TablePtr tp, ColumnPtr cp, int row, short* buffer);
void c_tbegtt(TablePtr tp, ColumnPtr cp, int row, char* buffer, int maxch);
void c_tbeptb(TablePtr tp, ColumnPtr cp, int row, int buffer);
void c_tbeptd(TablePtr tp, ColumnPtr cp, int row, double buffer);
void c_tbeptr(TablePtr tp, ColumnPtr cp, int row, float buffer);
void c_tbepti(TablePtr tp, ColumnPtr cp, int row, int buffer);
void c_tbepts(TablePtr tp, ColumnPtr cp, int row, short buffer);
void c_tbeptt(TablePtr tp, ColumnPtr cp, int row, const char* buffer);

/* ---- array elements ------------------------------------------------------- */
int c_tbagtb(TablePtr tp, ColumnPtr cp, int row, int* buffer, int first, int nelem);
int c_tbagtd(TablePtr tp, ColumnPtr cp, int row, double* buffer, int first, int nelem);
int c_tbagtr(TablePtr tp, ColumnPtr cp, int row, float* buffer, int first, int nelem);
int c_tbagti(TablePtr tp, ColumnPtr cp, int row, int* buffer, int first, int nelem);
int c_tbagts(TablePtr tp, ColumnPtr cp, int row, short* buffer, int first, int nelem);
int c_tbagtt(TablePtr tp, ColumnPtr cp, int row, char** cbuf, int maxch, int first,
             int nelem);
void c_tbaptb(TablePtr tp, ColumnPtr cp, int row, const int* buffer, int first, int nelem);
void c_tbaptd(TablePtr tp, ColumnPtr cp, int row, const double* buffer, int first, int nelem);
void c_tbaptr(TablePtr tp, ColumnPtr cp, int row, const float* buffer, int first, int nelem);
void c_tbapti(TablePtr tp, ColumnPtr cp, int row, const int* buffer, int first, int nelem);
void c_tbapts(TablePtr tp, ColumnPtr cp, int row, const short* buffer, int first, int nelem);
void c_tbaptt(TablePtr tp, ColumnPtr cp, int row, const char* const* cbuf, int maxch,
              int first, int nelem);

/* ---- rows ------------------------------------------------------------------ */
void c_tbrgtb(TablePtr tp, const ColumnPtr* colptr, int* buffer, int* nullflag,
              int numcols, int row);
void c_tbrgtd(TablePtr tp, const ColumnPtr* colptr, double* buffer, int* nullflag,
              int numcols, int row);
void c_tbrgtr(TablePtr tp, const ColumnPtr* colptr, float* buffer, int* nullflag,
              int numcols, int row);
void c_tbrgti(TablePtr tp, const ColumnPtr* colptr, int* buffer, int* nullflag,
              int numcols, int row);
void c_tbrgts(TablePtr tp, const ColumnPtr* colptr, short* buffer, int* nullflag,
              int numcols, int row);
void c_tbrgtt(TablePtr tp, const ColumnPtr* colptr, char** buffer, int* nullflag,
              int lenstring, int numcols, int row);
void c_tbrptb(TablePtr tp, const ColumnPtr* colptr, const int* buffer, int numcols, int row);
void c_tbrptd(TablePtr tp, const ColumnPtr* colptr, const double* buffer, int numcols,
              int row);
void c_tbrptr(TablePtr tp, const ColumnPtr* colptr, const float* buffer, int numcols, int row);
void c_tbrpti(TablePtr tp, const ColumnPtr* colptr, const int* buffer, int numcols, int row);
void c_tbrpts(TablePtr tp, const ColumnPtr* colptr, const short* buffer, int numcols, int row);
void c_tbrptt(TablePtr tp, const ColumnPtr* colptr, const char* const* buffer,
              int lenstring, int numcols, int row);
void c_tbrudf(TablePtr tp, const ColumnPtr* colptr, int numcols, int row);
void c_tbrcpy(TablePtr itp, TablePtr otp, int iselrow, int oselrow);
void c_tbrcsc(TablePtr itp, TablePtr otp, const ColumnPtr* icp, const ColumnPtr* ocp,
              int irow, int orow, int ncols);
void c_tbrswp(TablePtr tp, int row1, int row2);
void c_tbrdel(TablePtr tp, int firstrow, int lastrow);
void c_tbrnll(TablePtr tp, int firstrow, int lastrow);

/* ---- column ranges ---------------------------------------------------------- */
void c_tbcgtb(TablePtr tp, ColumnPtr cp, int* buffer, int* nullflag, int firstrow,
              int lastrow);
void c_tbcgtd(TablePtr tp, ColumnPtr cp, double* buffer, int* nullflag, int firstrow,
              int lastrow);
void c_tbcgtr(TablePtr tp, ColumnPtr cp, float* buffer, int* nullflag, int firstrow,
              int lastrow);
void c_tbcgti(TablePtr tp, ColumnPtr cp, int* buffer, int* nullflag, int firstrow,
              int lastrow);
void c_tbcgts(TablePtr tp, ColumnPtr cp, short* buffer, int* nullflag, int firstrow,
              int lastrow);
void c_tbcgtt(TablePtr tp, ColumnPtr cp, char** buffer, int* nullflag, int lenstring,
              int firstrow, int lastrow);
void c_tbcptb(TablePtr tp, ColumnPtr cp, const int* buffer, int firstrow, int lastrow);
void c_tbcptd(TablePtr tp, ColumnPtr cp, const double* buffer, int firstrow, int lastrow);
void c_tbcptr(TablePtr tp, ColumnPtr cp, const float* buffer, int firstrow, int lastrow);
void c_tbcpti(TablePtr tp, ColumnPtr cp, const int* buffer, int firstrow, int lastrow);
void c_tbcpts(TablePtr tp, ColumnPtr cp, const short* buffer, int firstrow, int lastrow);
void c_tbcptt(TablePtr tp, ColumnPtr cp, const char* const* buffer, int lenstring,
              int firstrow, int lastrow);

/* ---- header parameters -------------------------------------------------------- */
int c_tbhgtb(TablePtr tp, const char* keyword);
int c_tbhgti(TablePtr tp, const char* keyword);
float c_tbhgtr(TablePtr tp, const char* keyword);
double c_tbhgtd(TablePtr tp, const char* keyword);
void c_tbhgtt(TablePtr tp, const char* keyword, char* text, int maxch);
void c_tbhgcm(TablePtr tp, const char* keyword, char* comment, int maxch);
void c_tbhadb(TablePtr tp, const char* keyword, int value);
void c_tbhadd(TablePtr tp, const char* keyword, double value);
void c_tbhadi(TablePtr tp, const char* keyword, int value);
void c_tbhadr(TablePtr tp, const char* keyword, float value);
void c_tbhptb(TablePtr tp, const char* keyword, int value);
void c_tbhptd(TablePtr tp, const char* keyword, double value);
void c_tbhpti(TablePtr tp, const char* keyword, int value);
void c_tbhptr(TablePtr tp, const char* keyword, float value);
void c_tbhadt(TablePtr tp, const char* keyword, const char* text);
/* As c_tbhadt, in the primary header of the FITS file that holds the table
 * (as part of the same change); for other tables, their own header. */
void c_tbhadtp(TablePtr tp, const char* keyword, const char* text);
void c_tbhptt(TablePtr tp, const char* keyword, const char* text);
void c_tbhpcm(TablePtr tp, const char* keyword, const char* comment);
void c_tbhgnp(TablePtr tp, int parnum, char* keyword, int* dtype, char* str);
void c_tbhcal(TablePtr itp, TablePtr otp);

#ifdef __cplusplus
}
#endif

#endif /* HALVO_C_TABLES_H */
