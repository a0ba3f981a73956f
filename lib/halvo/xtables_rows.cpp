// Entry points for whole-table operations, array elements, rows and column
// ranges.  Arrays of the caller's scalar types are handed to the table
// routines in place; 32-bit bools and null flags cross through bool arrays
// of the same length; string arrays cross by their slot (xtables_frame.h).
#include <cstring>
#include <memory>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "xtables_frame.h"

using namespace xtables;

namespace {

// Number of rows of a column range (0 when last is below first).
std::size_t range_count(int first, int last) {
  long n = static_cast<long>(last) - static_cast<long>(first) + 1;
  return n < 1 ? 0 : static_cast<std::size_t>(n);
}

// A caller's array that must be there when it is to hold count entries.
void need_array(const void* p, std::size_t count, const char* routine) {
  if (p == nullptr && count > 0) vos::error(1, std::string(routine) + ":  null array pointer");
}

// A bool array of n entries (the caller's 32-bit bools or null flags).
struct Bools {
  std::unique_ptr<bool[]> v;
  std::size_t n;
  explicit Bools(std::size_t count, const int* from = nullptr)
      : v(new bool[count > 0 ? count : 1]()), n(count) {
    if (from != nullptr)
      for (std::size_t i = 0; i < n; ++i) v[i] = from[i] != 0;
  }
  bool* get() { return v.get(); }
  void to(int* out, std::size_t count) const {
    if (out == nullptr) return;
    for (std::size_t i = 0; i < count && i < n; ++i) out[i] = v[i] ? 1 : 0;
  }
};

}  // namespace

// ---- whole tables -------------------------------------------------------------

void c_tbtcpy(const char* inname, const char* outname) {
  run([&] {
    std::string a = in(inname), b = in(outname);
    tbl::tbtcpy(a, b);
  });
}

void c_tbtren(const char* inname, const char* outname) {
  run([&] {
    std::string a = in(inname), b = in(outname);
    tbl::tbtren(a, b);
  });
}

void c_tbtdel(const char* tablename) { run([&] { tbl::tbtdel(in(tablename)); }); }

int c_tbtacc(const char* tablename) {
  int v = 0;
  run([&] { v = tbl::tbtacc(in(tablename)); });
  return v;
}

void c_tbtsrt(TablePtr tp, int numcols, const ColumnPtr* colptr, int fold, int nindex,
              int* index) {
  run([&] {
    need_array(colptr, nch(numcols), "tbtsrt");
    need_array(index, nch(nindex), "tbtsrt");
    tbl::tbtsrt(T(tp), numcols, C(colptr), fold != 0, nindex, index);
  });
}

void c_tbfpri(const char* inname, const char* outname, int* copied) {
  int c = copied ? *copied : 0;
  run([&] {
    std::string a = in(inname), b = in(outname);
    tbl::tbfpri(a, b, c);
  });
  if (copied) *copied = c;
}

// ---- array elements ------------------------------------------------------------

int c_tbagtb(TablePtr tp, ColumnPtr cp, int row, int* buffer, int first, int nelem) {
  int n = 0;
  Bools b(nch(nelem));
  run([&] {
    need_array(buffer, nch(nelem), "tbagtb");
    n = tbl::tbagtb(T(tp), C(cp), row, b.get(), first, nelem);
  });
  b.to(buffer, nch(n));
  return n;
}

int c_tbagtd(TablePtr tp, ColumnPtr cp, int row, double* buffer, int first, int nelem) {
  int n = 0;
  run([&] {
    need_array(buffer, nch(nelem), "tbagtd");
    n = tbl::tbagtd(T(tp), C(cp), row, buffer, first, nelem);
  });
  return n;
}

int c_tbagtr(TablePtr tp, ColumnPtr cp, int row, float* buffer, int first, int nelem) {
  int n = 0;
  run([&] {
    need_array(buffer, nch(nelem), "tbagtr");
    n = tbl::tbagtr(T(tp), C(cp), row, buffer, first, nelem);
  });
  return n;
}

int c_tbagti(TablePtr tp, ColumnPtr cp, int row, int* buffer, int first, int nelem) {
  int n = 0;
  run([&] {
    need_array(buffer, nch(nelem), "tbagti");
    n = tbl::tbagti(T(tp), C(cp), row, buffer, first, nelem);
  });
  return n;
}

int c_tbagts(TablePtr tp, ColumnPtr cp, int row, short* buffer, int first, int nelem) {
  int n = 0;
  run([&] {
    need_array(buffer, nch(nelem), "tbagts");
    n = tbl::tbagts(T(tp), C(cp), row, buffer, first, nelem);
  });
  return n;
}

int c_tbagtt(TablePtr tp, ColumnPtr cp, int row, char** cbuf, int maxch, int first, int nelem) {
  OutArray out(1, maxch, nch(nelem));
  int n = 0;
  run([&] {
    need_array(cbuf, nch(nelem), "tbagtt");
    n = tbl::tbagtt(T(tp), C(cp), row, out.value.data(), maxch, first, nelem);
  });
  if (cbuf != nullptr) out.deliver(cbuf);
  return n;
}

void c_tbaptb(TablePtr tp, ColumnPtr cp, int row, const int* buffer, int first, int nelem) {
  run([&] {
    need_array(buffer, nch(nelem), "tbaptb");
    Bools b(nch(nelem), buffer);
    tbl::tbaptb(T(tp), C(cp), row, b.get(), first, nelem);
  });
}

void c_tbaptd(TablePtr tp, ColumnPtr cp, int row, const double* buffer, int first, int nelem) {
  run([&] {
    need_array(buffer, nch(nelem), "tbaptd");
    tbl::tbaptd(T(tp), C(cp), row, buffer, first, nelem);
  });
}

void c_tbaptr(TablePtr tp, ColumnPtr cp, int row, const float* buffer, int first, int nelem) {
  run([&] {
    need_array(buffer, nch(nelem), "tbaptr");
    tbl::tbaptr(T(tp), C(cp), row, buffer, first, nelem);
  });
}

void c_tbapti(TablePtr tp, ColumnPtr cp, int row, const int* buffer, int first, int nelem) {
  run([&] {
    need_array(buffer, nch(nelem), "tbapti");
    tbl::tbapti(T(tp), C(cp), row, buffer, first, nelem);
  });
}

void c_tbapts(TablePtr tp, ColumnPtr cp, int row, const short* buffer, int first, int nelem) {
  run([&] {
    need_array(buffer, nch(nelem), "tbapts");
    tbl::tbapts(T(tp), C(cp), row, buffer, first, nelem);
  });
}

void c_tbaptt(TablePtr tp, ColumnPtr cp, int row, const char* const* cbuf, int maxch, int first,
              int nelem) {
  run([&] {
    need_array(cbuf, nch(nelem), "tbaptt");
    const auto& v = in_array(cbuf, nch(maxch), nch(nelem), 1);
    tbl::tbaptt(T(tp), C(cp), row, v.data(), maxch, first, nelem);
  });
}

// ---- rows --------------------------------------------------------------------------

namespace {

// A row get of a numeric type: values in place, null flags through bools.
template <class V, class F>
void row_get(const ColumnPtr* colptr, V* buffer, int* nullflag, int numcols, const char* who,
             F call) {
  Bools nulls(nch(numcols));
  run([&] {
    need_array(colptr, nch(numcols), who);
    need_array(buffer, nch(numcols), who);
    need_array(nullflag, nch(numcols), who);
    call(nulls.get());
  });
  nulls.to(nullflag, nch(numcols));
}

}  // namespace

void c_tbrgtb(TablePtr tp, const ColumnPtr* colptr, int* buffer, int* nullflag, int numcols,
              int row) {
  Bools vals(nch(numcols));
  row_get(colptr, buffer, nullflag, numcols, "tbrgtb", [&](bool* nulls) {
    tbl::tbrgtb(T(tp), C(colptr), vals.get(), nulls, numcols, row);
  });
  vals.to(buffer, nch(numcols));
}

void c_tbrgtd(TablePtr tp, const ColumnPtr* colptr, double* buffer, int* nullflag, int numcols,
              int row) {
  row_get(colptr, buffer, nullflag, numcols, "tbrgtd", [&](bool* nulls) {
    tbl::tbrgtd(T(tp), C(colptr), buffer, nulls, numcols, row);
  });
}

void c_tbrgtr(TablePtr tp, const ColumnPtr* colptr, float* buffer, int* nullflag, int numcols,
              int row) {
  row_get(colptr, buffer, nullflag, numcols, "tbrgtr", [&](bool* nulls) {
    tbl::tbrgtr(T(tp), C(colptr), buffer, nulls, numcols, row);
  });
}

void c_tbrgti(TablePtr tp, const ColumnPtr* colptr, int* buffer, int* nullflag, int numcols,
              int row) {
  row_get(colptr, buffer, nullflag, numcols, "tbrgti", [&](bool* nulls) {
    tbl::tbrgti(T(tp), C(colptr), buffer, nulls, numcols, row);
  });
}

void c_tbrgts(TablePtr tp, const ColumnPtr* colptr, short* buffer, int* nullflag, int numcols,
              int row) {
  row_get(colptr, buffer, nullflag, numcols, "tbrgts", [&](bool* nulls) {
    tbl::tbrgts(T(tp), C(colptr), buffer, nulls, numcols, row);
  });
}

void c_tbrgtt(TablePtr tp, const ColumnPtr* colptr, char** buffer, int* nullflag, int lenstring,
              int numcols, int row) {
  OutArray out(1, lenstring, nch(numcols));
  row_get(colptr, buffer, nullflag, numcols, "tbrgtt", [&](bool* nulls) {
    tbl::tbrgtt(T(tp), C(colptr), out.value.data(), nulls, lenstring, numcols, row);
  });
  if (buffer != nullptr) out.deliver(buffer);
}

void c_tbrptb(TablePtr tp, const ColumnPtr* colptr, const int* buffer, int numcols, int row) {
  run([&] {
    need_array(colptr, nch(numcols), "tbrptb");
    need_array(buffer, nch(numcols), "tbrptb");
    Bools b(nch(numcols), buffer);
    tbl::tbrptb(T(tp), C(colptr), b.get(), numcols, row);
  });
}

void c_tbrptd(TablePtr tp, const ColumnPtr* colptr, const double* buffer, int numcols, int row) {
  run([&] {
    need_array(colptr, nch(numcols), "tbrptd");
    need_array(buffer, nch(numcols), "tbrptd");
    tbl::tbrptd(T(tp), C(colptr), buffer, numcols, row);
  });
}

void c_tbrptr(TablePtr tp, const ColumnPtr* colptr, const float* buffer, int numcols, int row) {
  run([&] {
    need_array(colptr, nch(numcols), "tbrptr");
    need_array(buffer, nch(numcols), "tbrptr");
    tbl::tbrptr(T(tp), C(colptr), buffer, numcols, row);
  });
}

void c_tbrpti(TablePtr tp, const ColumnPtr* colptr, const int* buffer, int numcols, int row) {
  run([&] {
    need_array(colptr, nch(numcols), "tbrpti");
    need_array(buffer, nch(numcols), "tbrpti");
    tbl::tbrpti(T(tp), C(colptr), buffer, numcols, row);
  });
}

void c_tbrpts(TablePtr tp, const ColumnPtr* colptr, const short* buffer, int numcols, int row) {
  run([&] {
    need_array(colptr, nch(numcols), "tbrpts");
    need_array(buffer, nch(numcols), "tbrpts");
    tbl::tbrpts(T(tp), C(colptr), buffer, numcols, row);
  });
}

void c_tbrptt(TablePtr tp, const ColumnPtr* colptr, const char* const* buffer, int lenstring,
              int numcols, int row) {
  run([&] {
    need_array(colptr, nch(numcols), "tbrptt");
    need_array(buffer, nch(numcols), "tbrptt");
    const auto& v = in_array(buffer, nch(lenstring), nch(numcols), 1);
    tbl::tbrptt(T(tp), C(colptr), v.data(), lenstring, numcols, row);
  });
}

void c_tbrudf(TablePtr tp, const ColumnPtr* colptr, int numcols, int row) {
  run([&] {
    need_array(colptr, nch(numcols), "tbrudf");
    tbl::tbrudf(T(tp), C(colptr), numcols, row);
  });
}

void c_tbrcpy(TablePtr itp, TablePtr otp, int iselrow, int oselrow) {
  run([&] { tbl::tbrcpy(T(itp), T(otp), iselrow, oselrow); });
}

void c_tbrcsc(TablePtr itp, TablePtr otp, const ColumnPtr* icp, const ColumnPtr* ocp, int irow,
              int orow, int ncols) {
  run([&] {
    need_array(icp, nch(ncols), "tbrcsc");
    need_array(ocp, nch(ncols), "tbrcsc");
    tbl::tbrcsc(T(itp), T(otp), C(icp), C(ocp), irow, orow, ncols);
  });
}

void c_tbrswp(TablePtr tp, int row1, int row2) { run([&] { tbl::tbrswp(T(tp), row1, row2); }); }
void c_tbrdel(TablePtr tp, int firstrow, int lastrow) {
  run([&] { tbl::tbrdel(T(tp), firstrow, lastrow); });
}
void c_tbrnll(TablePtr tp, int firstrow, int lastrow) {
  run([&] { tbl::tbrnll(T(tp), firstrow, lastrow); });
}

// ---- column ranges ---------------------------------------------------------------------

namespace {

template <class V, class F>
void col_get(V* buffer, int* nullflag, int firstrow, int lastrow, const char* who, F call) {
  const std::size_t n = range_count(firstrow, lastrow);
  Bools nulls(n);
  run([&] {
    need_array(buffer, n, who);
    need_array(nullflag, n, who);
    call(nulls.get());
  });
  nulls.to(nullflag, n);
}

}  // namespace

void c_tbcgtb(TablePtr tp, ColumnPtr cp, int* buffer, int* nullflag, int firstrow, int lastrow) {
  Bools vals(range_count(firstrow, lastrow));
  col_get(buffer, nullflag, firstrow, lastrow, "tbcgtb", [&](bool* nulls) {
    tbl::tbcgtb(T(tp), C(cp), vals.get(), nulls, firstrow, lastrow);
  });
  vals.to(buffer, range_count(firstrow, lastrow));
}

void c_tbcgtd(TablePtr tp, ColumnPtr cp, double* buffer, int* nullflag, int firstrow,
              int lastrow) {
  col_get(buffer, nullflag, firstrow, lastrow, "tbcgtd", [&](bool* nulls) {
    tbl::tbcgtd(T(tp), C(cp), buffer, nulls, firstrow, lastrow);
  });
}

void c_tbcgtr(TablePtr tp, ColumnPtr cp, float* buffer, int* nullflag, int firstrow,
              int lastrow) {
  col_get(buffer, nullflag, firstrow, lastrow, "tbcgtr", [&](bool* nulls) {
    tbl::tbcgtr(T(tp), C(cp), buffer, nulls, firstrow, lastrow);
  });
}

void c_tbcgti(TablePtr tp, ColumnPtr cp, int* buffer, int* nullflag, int firstrow, int lastrow) {
  col_get(buffer, nullflag, firstrow, lastrow, "tbcgti", [&](bool* nulls) {
    tbl::tbcgti(T(tp), C(cp), buffer, nulls, firstrow, lastrow);
  });
}

void c_tbcgts(TablePtr tp, ColumnPtr cp, short* buffer, int* nullflag, int firstrow,
              int lastrow) {
  col_get(buffer, nullflag, firstrow, lastrow, "tbcgts", [&](bool* nulls) {
    tbl::tbcgts(T(tp), C(cp), buffer, nulls, firstrow, lastrow);
  });
}

void c_tbcgtt(TablePtr tp, ColumnPtr cp, char** buffer, int* nullflag, int lenstring,
              int firstrow, int lastrow) {
  // The values go straight into the caller's buffers.  An element the
  // routine does not reach (it failed first) must still come back as an
  // empty string with a zero flag: the flags start with a byte no routine
  // stores into a bool, and those still holding it are settled after.
  constexpr unsigned char kUnreached = 0xA5;
  const std::size_t n = range_count(firstrow, lastrow);
  std::unique_ptr<bool[]> nulls(new bool[n > 0 ? n : 1]);
  unsigned char* mark = reinterpret_cast<unsigned char*>(nulls.get());
  std::memset(mark, kUnreached, n);
  run([&] {
    need_array(buffer, n, "tbcgtt");
    need_array(nullflag, n, "tbcgtt");
    tbl::tbcgtt(T(tp), C(cp), buffer, nulls.get(), lenstring, firstrow, lastrow);
  });
  for (std::size_t i = 0; i < n; ++i) {
    const bool reached = mark[i] != kUnreached;
    if (!reached && buffer != nullptr && buffer[i] != nullptr) buffer[i][0] = '\0';
    if (nullflag != nullptr) nullflag[i] = reached && nulls[i] ? 1 : 0;
  }
}

void c_tbcptb(TablePtr tp, ColumnPtr cp, const int* buffer, int firstrow, int lastrow) {
  run([&] {
    const std::size_t n = range_count(firstrow, lastrow);
    need_array(buffer, n, "tbcptb");
    Bools b(n, buffer);
    tbl::tbcptb(T(tp), C(cp), b.get(), firstrow, lastrow);
  });
}

void c_tbcptd(TablePtr tp, ColumnPtr cp, const double* buffer, int firstrow, int lastrow) {
  run([&] {
    need_array(buffer, range_count(firstrow, lastrow), "tbcptd");
    tbl::tbcptd(T(tp), C(cp), buffer, firstrow, lastrow);
  });
}

void c_tbcptr(TablePtr tp, ColumnPtr cp, const float* buffer, int firstrow, int lastrow) {
  run([&] {
    need_array(buffer, range_count(firstrow, lastrow), "tbcptr");
    tbl::tbcptr(T(tp), C(cp), buffer, firstrow, lastrow);
  });
}

void c_tbcpti(TablePtr tp, ColumnPtr cp, const int* buffer, int firstrow, int lastrow) {
  run([&] {
    need_array(buffer, range_count(firstrow, lastrow), "tbcpti");
    tbl::tbcpti(T(tp), C(cp), buffer, firstrow, lastrow);
  });
}

void c_tbcpts(TablePtr tp, ColumnPtr cp, const short* buffer, int firstrow, int lastrow) {
  run([&] {
    need_array(buffer, range_count(firstrow, lastrow), "tbcpts");
    tbl::tbcpts(T(tp), C(cp), buffer, firstrow, lastrow);
  });
}

void c_tbcptt(TablePtr tp, ColumnPtr cp, const char* const* buffer, int lenstring, int firstrow,
              int lastrow) {
  run([&] {
    const std::size_t n = range_count(firstrow, lastrow);
    need_array(buffer, n, "tbcptt");
    tbl::tbcptt(T(tp), C(cp), buffer, lenstring, firstrow, lastrow);
  });
}
