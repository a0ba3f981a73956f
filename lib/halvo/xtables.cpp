// Entry points for tables, table parameters, columns and header parameters.
#include "xtables_frame.h"

using namespace xtables;

// ---- tables ---------------------------------------------------------------

TablePtr c_tbtopn(const char* tablename, int iomode, TablePtr templt) {
  tbl::Table* tp = nullptr;
  run([&] { tp = tbl::tbtopn(in(tablename), iomode, T(templt)); });
  return P(tp);
}

void c_tbtcre(TablePtr tp) { run([&] { tbl::tbtcre(T(tp)); }); }

void c_tbtclo(TablePtr tp) {
  run([&] {
    tbl::Table* t = T(tp);
    tbl::tbtclo(t);
  });
}

void c_tbtabn(TablePtr tp) {
  run([&] {
    tbl::Table* t = T(tp);
    tbl::tbtabn(t);
  });
}

void c_tbtflu(TablePtr tp) { run([&] { tbl::tbtflu(T(tp)); }); }

void c_tbtnam(TablePtr tp, char* tblname, int maxch) {
  Out out(1, maxch);
  run([&] { tbl::tbtnam(T(tp), out.value, maxch); });
  out.deliver(tblname);
}

void c_tbtext(const char* inname, char* outname, int maxch) {
  Out out(2, maxch);
  run([&] { tbl::tbtext(in(inname), out.value, maxch); });
  out.deliver(outname);
}

void c_tbtchs(TablePtr tp, int maxpar, int maxcols, int rowlen, int allrows) {
  run([&] { tbl::tbtchs(T(tp), maxpar, maxcols, rowlen, allrows); });
}

int c_tbparse(const char* tablename, char* fname, char* brackets, int maxch, int* hdu) {
  Out f(2, maxch), b(3, maxch);
  int n = 0, h = hdu ? *hdu : -1;
  run([&] { n = tbl::tbparse(in(tablename), f.value, b.value, maxch, h); });
  if (hdu) *hdu = h;
  f.deliver(fname);
  b.deliver(brackets);
  return n;
}

// ---- table parameters and row selection -------------------------------------

void c_tbpset(TablePtr tp, int param, int value) { run([&] { tbl::tbpset(T(tp), param, value); }); }

int c_tbpsta(TablePtr tp, int param) {
  int v = 0;
  run([&] { v = tbl::tbpsta(T(tp), param); });
  return v;
}

void c_tbsirow(TablePtr tp, int selrow, int* rownum) {
  int r = rownum ? *rownum : 0;
  run([&] { tbl::tbsirow(T(tp), selrow, r); });
  if (rownum) *rownum = r;
}

// ---- columns ---------------------------------------------------------------------

void c_tbcdef(TablePtr tp, ColumnPtr* colptr, const char* const* colname,
              const char* const* colunits, const char* const* colfmt, const int* datatype,
              const int* lendata, int numcols) {
  run([&] {
    const std::size_t n = nch(numcols);
    const auto& names = in_array(colname, tbl::kSzColText, n, 1);
    const auto& units = in_array(colunits, tbl::kSzColText, n, 2);
    const auto& fmts = in_array(colfmt, tbl::kSzColText, n, 3);
    tbl::tbcdef(T(tp), C(colptr), names.data(), units.data(), fmts.data(), datatype, lendata,
                numcols);
  });
}

void c_tbcdef1(TablePtr tp, ColumnPtr* colptr, const char* colname, const char* colunits,
               const char* colfmt, int datatype, int nelem) {
  tbl::Column* cp = colptr ? C(*colptr) : nullptr;
  run([&] {
    std::string name = in(colname), units = in(colunits), fmt = in(colfmt);
    tbl::tbcdef1(T(tp), cp, name, units, fmt, datatype, nelem);
  });
  if (colptr) *colptr = P(cp);
}

void c_tbcfnd(TablePtr tp, const char* const* colname, ColumnPtr* colptr, int numcols) {
  run([&] {
    const auto& names = in_array(colname, tbl::kSzColText, nch(numcols), 1);
    tbl::tbcfnd(T(tp), names.data(), C(colptr), numcols);
  });
}

void c_tbcfnd1(TablePtr tp, const char* colname, ColumnPtr* colptr) {
  tbl::Column* cp = colptr ? C(*colptr) : nullptr;
  run([&] { tbl::tbcfnd1(T(tp), in(colname), cp); });
  if (colptr) *colptr = P(cp);
}

void c_tbcinf(ColumnPtr cp, int* colnum, char* colname, char* colunits, char* colfmt,
              int* datatype, int* lendata, int* lenfmt) {
  Out name(1, tbl::kSzColText), units(2, tbl::kSzColText), fmt(3, tbl::kSzColText);
  int num = colnum ? *colnum : 0, dtype = datatype ? *datatype : 0;
  int nelem = lendata ? *lendata : 0, width = lenfmt ? *lenfmt : 0;
  run([&] { tbl::tbcinf(C(cp), num, name.value, units.value, fmt.value, dtype, nelem, width); });
  if (colnum) *colnum = num;
  if (datatype) *datatype = dtype;
  if (lendata) *lendata = nelem;
  if (lenfmt) *lenfmt = width;
  name.deliver(colname);
  units.deliver(colunits);
  fmt.deliver(colfmt);
}

int c_tbcigi(ColumnPtr cp, int param) {
  int v = 0;
  run([&] { v = tbl::tbcigi(C(cp), param); });
  return v;
}

void c_tbcigt(ColumnPtr cp, int param, char* outstr, int maxch) {
  Out out(1, maxch);
  run([&] { tbl::tbcigt(C(cp), param, out.value, maxch); });
  out.deliver(outstr);
}

void c_tbcnam(TablePtr tp, ColumnPtr cp, const char* colname) {
  run([&] { tbl::tbcnam(T(tp), C(cp), in(colname)); });
}

void c_tbcnit(TablePtr tp, ColumnPtr cp, const char* colunits) {
  run([&] { tbl::tbcnit(T(tp), C(cp), in(colunits)); });
}

void c_tbcfmt(TablePtr tp, ColumnPtr cp, const char* colfmt) {
  run([&] { tbl::tbcfmt(T(tp), C(cp), in(colfmt)); });
}

ColumnPtr c_tbcnum(TablePtr tp, int colnum) {
  tbl::Column* cp = nullptr;
  run([&] { cp = tbl::tbcnum(T(tp), colnum); });
  return P(cp);
}

ColSelectorPtr c_tbcdes(TablePtr tp, ColumnPtr cp) {
  tbl::ColumnSelector* cs = nullptr;
  run([&] { cs = tbl::tbcdes(T(tp), C(cp)); });
  return reinterpret_cast<ColSelectorPtr>(cs);
}

// ---- header parameters -------------------------------------------------------------

int c_tbhgtb(TablePtr tp, const char* keyword) {
  bool v = false;
  run([&] { v = tbl::tbhgtb(T(tp), in(keyword)); });
  return v ? 1 : 0;
}

int c_tbhgti(TablePtr tp, const char* keyword) {
  int v = 0;
  run([&] { v = tbl::tbhgti(T(tp), in(keyword)); });
  return v;
}

float c_tbhgtr(TablePtr tp, const char* keyword) {
  float v = 0;
  run([&] { v = tbl::tbhgtr(T(tp), in(keyword)); });
  return v;
}

double c_tbhgtd(TablePtr tp, const char* keyword) {
  double v = 0;
  run([&] { v = tbl::tbhgtd(T(tp), in(keyword)); });
  return v;
}

void c_tbhgtt(TablePtr tp, const char* keyword, char* text, int maxch) {
  Out out(2, maxch);
  run([&] { tbl::tbhgtt(T(tp), in(keyword), out.value, maxch); });
  out.deliver(text);
}

void c_tbhgcm(TablePtr tp, const char* keyword, char* comment, int maxch) {
  Out out(2, maxch);
  run([&] { tbl::tbhgcm(T(tp), in(keyword), out.value, maxch); });
  out.deliver(comment);
}

void c_tbhadb(TablePtr tp, const char* keyword, int value) {
  run([&] { tbl::tbhadb(T(tp), in(keyword), value != 0); });
}
void c_tbhadd(TablePtr tp, const char* keyword, double value) {
  run([&] { tbl::tbhadd(T(tp), in(keyword), value); });
}
void c_tbhadi(TablePtr tp, const char* keyword, int value) {
  run([&] { tbl::tbhadi(T(tp), in(keyword), value); });
}
void c_tbhadr(TablePtr tp, const char* keyword, float value) {
  run([&] { tbl::tbhadr(T(tp), in(keyword), value); });
}
void c_tbhptb(TablePtr tp, const char* keyword, int value) {
  run([&] { tbl::tbhptb(T(tp), in(keyword), value != 0); });
}
void c_tbhptd(TablePtr tp, const char* keyword, double value) {
  run([&] { tbl::tbhptd(T(tp), in(keyword), value); });
}
void c_tbhpti(TablePtr tp, const char* keyword, int value) {
  run([&] { tbl::tbhpti(T(tp), in(keyword), value); });
}
void c_tbhptr(TablePtr tp, const char* keyword, float value) {
  run([&] { tbl::tbhptr(T(tp), in(keyword), value); });
}

void c_tbhadt(TablePtr tp, const char* keyword, const char* text) {
  run([&] {
    std::string kw = in(keyword), value = in(text);
    tbl::tbhadt(T(tp), kw, value);
  });
}

void c_tbhadtp(TablePtr tp, const char* keyword, const char* text) {
  run([&] {
    std::string kw = in(keyword), value = in(text);
    tbl::tbhadtp(T(tp), kw, value);
  });
}

void c_tbhptt(TablePtr tp, const char* keyword, const char* text) {
  run([&] {
    std::string kw = in(keyword), value = in(text);
    tbl::tbhptt(T(tp), kw, value);
  });
}

void c_tbhpcm(TablePtr tp, const char* keyword, const char* comment) {
  run([&] {
    std::string kw = in(keyword), value = in(comment);
    tbl::tbhpcm(T(tp), kw, value);
  });
}

void c_tbhgnp(TablePtr tp, int parnum, char* keyword, int* dtype, char* str) {
  Out kw(1, 8), value(2, 80);
  int type = dtype ? *dtype : 0;
  run([&] { tbl::tbhgnp(T(tp), parnum, kw.value, type, value.value); });
  if (dtype) *dtype = type;
  kw.deliver(keyword);
  value.deliver(str);
}

void c_tbhcal(TablePtr itp, TablePtr otp) { run([&] { tbl::tbhcal(T(itp), T(otp)); }); }
