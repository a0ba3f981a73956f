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

// ---- Single elements ---------------------------------------------------------
void tbegtd(Table* tp, Column* cp, int row, double& v);
void tbegtr(Table* tp, Column* cp, int row, float& v);
void tbegti(Table* tp, Column* cp, int row, int& v);
void tbegts(Table* tp, Column* cp, int row, short& v);
void tbegtb(Table* tp, Column* cp, int row, bool& v);
void tbegtt(Table* tp, Column* cp, int row, std::string& text, int maxch);
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

}  // namespace tbl
