// FITS binary tables of the tool's output shape, 10^5 rows of four text
// columns of 26, 18, 50 and 68 characters, through the c_ entry points that
// callers use, each beside CFITSIO called directly in the plainest way to
// move the same cells in the same run:
//   FitsCellPuts    c_tbtopn, c_tbcdef1, c_tbtcre, c_tbeptt for every cell,
//                   c_tbtclo  vs  ffinit, ffcrtb, every column written with
//                   ffpcls in row groups of ffgrsz rows, ffclos
//   FitsColumnGets  c_tbtopn, c_tbcfnd1 and one c_tbcgtt per column,
//                   c_tbtclo  vs  ffopen, one ffgcvs per column, ffclos
//   FitsColumnPuts  the table made with one c_tbcptt per column  vs  ffinit,
//                   ffcrtb, one ffpcls per column, ffclos
// Every table written and every value read is compared with the cells,
// outside the timed part.
#include <benchmark/benchmark.h>
#include <fitsio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_check.h"
#include "bench_ratio.h"
#include "halvo/c_tables.h"
#include "tool_cells.h"

namespace {

using namespace bench;  // the cells of tool_cells.h, check and check_status

// The cells of column c as CFITSIO takes strings (it does not change them).
char** column(int c) { return const_cast<char**>(cells().ptr[c].data()); }

std::string scratch(const char* tag) {
  return (std::filesystem::temp_directory_path() /
          ("bench_fits_" + std::to_string(::getpid()) + "_" + tag + ".fits"))
      .string();
}

// ---- through the entry points -----------------------------------------------

// A new table of the tool's four columns, created; `cols` receives them.
TablePtr create(const std::string& name, ColumnPtr* cols) {
  std::remove(name.c_str());
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, nullptr);
  for (int c = 0; c < kCols; ++c) c_tbcdef1(tp, &cols[c], kNames[c], "", "", -kWidths[c], 1);
  c_tbtcre(tp);
  check(true, "create");
  return tp;
}

void put_cells(const std::string& name) {
  const Cells& k = cells();
  ColumnPtr cols[kCols];
  TablePtr tp = create(name, cols);
  for (int r = 1; r <= kRows; ++r)
    for (int c = 0; c < kCols; ++c) c_tbeptt(tp, cols[c], r, k.ptr[c][std::size_t(r - 1)]);
  c_tbtclo(tp);
  check(true, "c_tbeptt");
}

void put_columns(const std::string& name) {
  const Cells& k = cells();
  ColumnPtr cols[kCols];
  TablePtr tp = create(name, cols);
  for (int c = 0; c < kCols; ++c) c_tbcptt(tp, cols[c], k.ptr[c].data(), kWidths[c], 1, kRows);
  c_tbtclo(tp);
  check(true, "c_tbcptt");
}

// Buffers for whole columns read back.
using Out = ColumnBuffers;

void get_columns(const std::string& name, Out& out) {
  TablePtr tp = c_tbtopn(name.c_str(), TBL_READ_ONLY, nullptr);
  for (int c = 0; c < kCols; ++c) {
    ColumnPtr cp = nullptr;
    c_tbcfnd1(tp, kNames[c], &cp);
    c_tbcgtt(tp, cp, out.colptr[c].data(), out.nulls.data(), kWidths[c], 1, kRows);
  }
  c_tbtclo(tp);
  check(true, "c_tbcgtt");
}

// ---- CFITSIO directly -----------------------------------------------------------

// A new file with an empty primary array and the four-column binary table.
fitsfile* create_direct(const std::string& name, int& status) {
  std::remove(name.c_str());
  fitsfile* f = nullptr;
  ffinit(&f, name.c_str(), &status);
  char* ttype[kCols];
  char* tform[kCols];
  char* tunit[kCols];
  std::string forms[kCols];
  for (int c = 0; c < kCols; ++c) {
    forms[c] = std::to_string(kWidths[c]) + "A";
    ttype[c] = const_cast<char*>(kNames[c]);
    tform[c] = forms[c].data();
    tunit[c] = const_cast<char*>("");
  }
  ffcrtb(f, BINARY_TBL, 0, kCols, ttype, tform, tunit, "", &status);
  return f;
}

// Each column written ffgrsz rows at a time.
void put_groups_direct(const std::string& name) {
  int status = 0;
  fitsfile* f = create_direct(name, status);
  long group = 0;
  ffgrsz(f, &group, &status);
  group = std::max(group, 1L);
  for (long first = 1; first <= kRows && status == 0; first += group) {
    const long n = std::min<long>(group, kRows - first + 1);
    for (int c = 0; c < kCols; ++c)
      ffpcls(f, c + 1, first, 1, n, column(c) + (first - 1), &status);
  }
  ffclos(f, &status);
  check_status(status, "ffpcls in row groups");
}

void put_columns_direct(const std::string& name) {
  int status = 0;
  fitsfile* f = create_direct(name, status);
  for (int c = 0; c < kCols; ++c) ffpcls(f, c + 1, 1, 1, kRows, column(c), &status);
  ffclos(f, &status);
  check_status(status, "ffpcls");
}

void get_columns_direct(const std::string& name, Out& out) {
  int status = 0;
  fitsfile* f = nullptr;
  ffopen(&f, name.c_str(), READONLY, &status);
  int hdutype = 0;
  ffmahd(f, 2, &hdutype, &status);
  char nulval[] = "";
  for (int c = 0; c < kCols; ++c) {
    int anynul = 0;
    ffgcvs(f, c + 1, 1, 1, kRows, nulval, out.colptr[c].data(), &anynul, &status);
  }
  ffclos(f, &status);
  check_status(status, "ffgcvs");
}

// ---- the pairs ----------------------------------------------------------------------

void Puts(benchmark::State& state, void (*put)(const std::string&),
          void (*direct)(const std::string&), const char* what, double goal) {
  const std::string ours = scratch("ours"), raw = scratch("raw");
  Out out;
  bench::Pair pair(goal);
  for (auto _ : state) {
    state.SetIterationTime(pair.ours([&] { put(ours); }));
    get_columns_direct(ours, out);
    check(out.same(), what);
    pair.base([&] { direct(raw); });
  }
  get_columns_direct(raw, out);
  check(out.same(), "baseline");
  pair.report(state);
  std::remove(ours.c_str());
  std::remove(raw.c_str());
}

// The last argument of each is its goal ratio.
void FitsCellPuts(benchmark::State& state) {
  Puts(state, put_cells, put_groups_direct, "c_tbeptt", 2);
}

void FitsColumnPuts(benchmark::State& state) {
  Puts(state, put_columns, put_columns_direct, "c_tbcptt", 1.5);
}

void FitsColumnGets(benchmark::State& state) {
  const std::string name = scratch("get");
  put_cells(name);
  Out out;
  get_columns(name, out);
  check(out.same(), "c_tbcgtt");
  bench::Pair pair(1.5);
  for (auto _ : state) {
    state.SetIterationTime(pair.ours([&] { get_columns(name, out); }));
    pair.base([&] { get_columns_direct(name, out); });
  }
  check(out.same(), "ffgcvs");
  pair.report(state);
  std::remove(name.c_str());
}

BENCHMARK(FitsCellPuts)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FitsColumnGets)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FitsColumnPuts)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  c_vosinit();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
