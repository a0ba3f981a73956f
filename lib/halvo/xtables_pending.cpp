// Entry points whose table routines (whole-table operations, column ranges,
// rows and array elements) the table library does not provide yet.  Each
// keeps the full frame (slots sized and converted, error state set) and
// reports error 1 "<routine>:  not available in this build" until the
// routine exists; then its body becomes the call.
#include "tablelib/tbbackend.h"
#include "xtables_frame.h"

using namespace xtables;

namespace {

[[noreturn]] void missing(const char* routine) {
  vos::error(1, std::string(routine) + ":  not available in this build");
}

// Number of rows of a column range (0 when last is below first).
std::size_t range_count(int first, int last) {
  long n = static_cast<long>(last) - static_cast<long>(first) + 1;
  return n < 1 ? 0 : static_cast<std::size_t>(n);
}

}  // namespace

// ---- whole tables -------------------------------------------------------------

void c_tbtcpy(const char* inname, const char* outname) {
  run([&] {
    in(inname, 1);
    in(outname, 2);
    missing("tbtcpy");
  });
}

void c_tbtren(const char* inname, const char* outname) {
  run([&] {
    in(inname, 1);
    in(outname, 2);
    missing("tbtren");
  });
}

void c_tbtdel(const char* tablename) {
  run([&] {
    in(tablename, 1);
    missing("tbtdel");
  });
}

int c_tbtacc(const char* tablename) {
  int v = 0;
  run([&] {
    in(tablename, 1);
    missing("tbtacc");
  });
  return v;
}

void c_tbtsrt(TablePtr, int, const ColumnPtr*, int, int, int*) {
  run([&] { missing("tbtsrt"); });
}

void c_tbfpri(const char* inname, const char* outname, int* copied) {
  int c = copied ? *copied : 0;
  run([&] {
    std::string a = in(inname, 1), b = in(outname, 2);
    tbl::tbfpri(a, b, c);
  });
  if (copied) *copied = c;
}

// ---- array elements ------------------------------------------------------------

int c_tbagtb(TablePtr, ColumnPtr, int, int*, int, int) { int n = 0; run([&] { missing("tbagtb"); }); return n; }
int c_tbagtd(TablePtr, ColumnPtr, int, double*, int, int) { int n = 0; run([&] { missing("tbagtd"); }); return n; }
int c_tbagtr(TablePtr, ColumnPtr, int, float*, int, int) { int n = 0; run([&] { missing("tbagtr"); }); return n; }
int c_tbagti(TablePtr, ColumnPtr, int, int*, int, int) { int n = 0; run([&] { missing("tbagti"); }); return n; }
int c_tbagts(TablePtr, ColumnPtr, int, short*, int, int) { int n = 0; run([&] { missing("tbagts"); }); return n; }

int c_tbagtt(TablePtr, ColumnPtr, int, char** cbuf, int maxch, int, int nelem) {
  OutArray out(1, maxch, nch(nelem));
  int n = 0;
  run([&] { missing("tbagtt"); });
  out.deliver(cbuf);
  return n;
}

void c_tbaptb(TablePtr, ColumnPtr, int, const int*, int, int) { run([&] { missing("tbaptb"); }); }
void c_tbaptd(TablePtr, ColumnPtr, int, const double*, int, int) { run([&] { missing("tbaptd"); }); }
void c_tbaptr(TablePtr, ColumnPtr, int, const float*, int, int) { run([&] { missing("tbaptr"); }); }
void c_tbapti(TablePtr, ColumnPtr, int, const int*, int, int) { run([&] { missing("tbapti"); }); }
void c_tbapts(TablePtr, ColumnPtr, int, const short*, int, int) { run([&] { missing("tbapts"); }); }

void c_tbaptt(TablePtr, ColumnPtr, int, const char* const* cbuf, int maxch, int, int nelem) {
  run([&] {
    in_array(cbuf, nch(maxch), nch(nelem), 1);
    missing("tbaptt");
  });
}

// ---- rows --------------------------------------------------------------------------

void c_tbrgtb(TablePtr, const ColumnPtr*, int*, int*, int, int) { run([&] { missing("tbrgtb"); }); }
void c_tbrgtd(TablePtr, const ColumnPtr*, double*, int*, int, int) { run([&] { missing("tbrgtd"); }); }
void c_tbrgtr(TablePtr, const ColumnPtr*, float*, int*, int, int) { run([&] { missing("tbrgtr"); }); }
void c_tbrgti(TablePtr, const ColumnPtr*, int*, int*, int, int) { run([&] { missing("tbrgti"); }); }
void c_tbrgts(TablePtr, const ColumnPtr*, short*, int*, int, int) { run([&] { missing("tbrgts"); }); }

void c_tbrgtt(TablePtr, const ColumnPtr*, char** buffer, int*, int lenstring, int numcols, int) {
  OutArray out(1, lenstring, nch(numcols));
  run([&] { missing("tbrgtt"); });
  out.deliver(buffer);
}

void c_tbrptb(TablePtr, const ColumnPtr*, const int*, int, int) { run([&] { missing("tbrptb"); }); }
void c_tbrptd(TablePtr, const ColumnPtr*, const double*, int, int) { run([&] { missing("tbrptd"); }); }
void c_tbrptr(TablePtr, const ColumnPtr*, const float*, int, int) { run([&] { missing("tbrptr"); }); }
void c_tbrpti(TablePtr, const ColumnPtr*, const int*, int, int) { run([&] { missing("tbrpti"); }); }
void c_tbrpts(TablePtr, const ColumnPtr*, const short*, int, int) { run([&] { missing("tbrpts"); }); }

void c_tbrptt(TablePtr, const ColumnPtr*, const char* const* buffer, int lenstring, int numcols, int) {
  run([&] {
    in_array(buffer, nch(lenstring), nch(numcols), 1);
    missing("tbrptt");
  });
}

void c_tbrudf(TablePtr, const ColumnPtr*, int, int) { run([&] { missing("tbrudf"); }); }

void c_tbrcpy(TablePtr, TablePtr, int, int) { run([&] { missing("tbrcpy"); }); }

void c_tbrcsc(TablePtr, TablePtr, const ColumnPtr*, const ColumnPtr*, int, int, int) {
  run([&] { missing("tbrcsc"); });
}
void c_tbrswp(TablePtr, int, int) { run([&] { missing("tbrswp"); }); }
void c_tbrdel(TablePtr, int, int) { run([&] { missing("tbrdel"); }); }
void c_tbrnll(TablePtr, int, int) { run([&] { missing("tbrnll"); }); }

// ---- column ranges ---------------------------------------------------------------------

void c_tbcgtb(TablePtr, ColumnPtr, int*, int*, int, int) { run([&] { missing("tbcgtb"); }); }
void c_tbcgtd(TablePtr, ColumnPtr, double*, int*, int, int) { run([&] { missing("tbcgtd"); }); }
void c_tbcgtr(TablePtr, ColumnPtr, float*, int*, int, int) { run([&] { missing("tbcgtr"); }); }
void c_tbcgti(TablePtr, ColumnPtr, int*, int*, int, int) { run([&] { missing("tbcgti"); }); }
void c_tbcgts(TablePtr, ColumnPtr, short*, int*, int, int) { run([&] { missing("tbcgts"); }); }

void c_tbcgtt(TablePtr, ColumnPtr, char** buffer, int*, int lenstring, int firstrow, int lastrow) {
  OutArray out(1, lenstring, range_count(firstrow, lastrow));
  run([&] { missing("tbcgtt"); });
  out.deliver(buffer);
}

void c_tbcptb(TablePtr, ColumnPtr, const int*, int, int) { run([&] { missing("tbcptb"); }); }
void c_tbcptd(TablePtr, ColumnPtr, const double*, int, int) { run([&] { missing("tbcptd"); }); }
void c_tbcptr(TablePtr, ColumnPtr, const float*, int, int) { run([&] { missing("tbcptr"); }); }
void c_tbcpti(TablePtr, ColumnPtr, const int*, int, int) { run([&] { missing("tbcpti"); }); }
void c_tbcpts(TablePtr, ColumnPtr, const short*, int, int) { run([&] { missing("tbcpts"); }); }

void c_tbcptt(TablePtr, ColumnPtr, const char* const* buffer, int lenstring, int firstrow,
              int lastrow) {
  run([&] {
    in_array(buffer, nch(lenstring), range_count(firstrow, lastrow), 1);
    missing("tbcptt");
  });
}
