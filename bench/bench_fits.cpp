// Writing the tool's output table (four text columns of 26, 18, 50 and 68
// characters, 10^5 rows) as a FITS binary table: through the host binding's
// c_ entry points, one cell at a time as the tool does, and with direct
// CFITSIO calls that write whole columns in row groups of ffgrsz rows.
// FitsCellPuts runs both in each iteration and reports the paired counters
// of bench/bench_ratio.h (goal: at most twice the direct calls).
#include <benchmark/benchmark.h>
#include <fitsio.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_ratio.h"
#include "halvo/c_tables.h"

namespace {

constexpr int kRows = 100000;
const char* const kNames[] = {"TIME", "COMPNAME", "FILENAME", "COMMENT"};
const int kWidths[] = {26, 18, 50, 68};

// The cells of row r, column c.
std::string cell(int r, int c) {
  switch (c) {
    case 0: return "mar 03 1999 14:20:" + std::to_string(r % 60);
    case 1: return "zor_comp_" + std::to_string(r);
    case 2: return "/data/orvo/zref/thru_" + std::to_string(r) + ".fits[throughput]";
    default: return "throughput of component " + std::to_string(r) + " after recalibration";
  }
}

std::string scratch(const char* tag) {
  return "/tmp/bench_fits_" + std::to_string(getpid()) + "_" + tag + ".fits";
}

// The tool's way: c_tbtopn, c_tbcdef1, c_tbtcre, c_tbeptt per cell, the
// keywords in the primary header, c_tbtclo.
void write_entry_points(const std::string& name) {
  std::remove(name.c_str());
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, nullptr);
  c_tbpset(tp, 6, 10);
  ColumnPtr cols[4];
  for (int c = 0; c < 4; ++c) c_tbcdef1(tp, &cols[c], kNames[c], "", "", -kWidths[c], 1);
  c_tbtcre(tp);
  for (int r = 1; r <= kRows; ++r)
    for (int c = 0; c < 4; ++c) c_tbeptt(tp, cols[c], r, cell(r, c).c_str());
  c_tbtclo(tp);
  tp = c_tbtopn((name + "[0]").c_str(), TBL_READ_WRITE, nullptr);
  c_tbhadt(tp, "INSTRUME", "ZOR");
  c_tbhadt(tp, "DBTABLE", "CRCOMPLIST");
  c_tbhadt(tp, "DESCRIP", "The lookup table for the ZOR component throughputs");
  c_tbhadt(tp, "HISTORY", "Created on Thu Dec 10 13:00:00 2026");
  c_tbhadt(tp, "USEAFTER", "Apr 1 2000 12:00:00 pm");
  c_tbtclo(tp);
  if (c_voserr() != 0) std::fprintf(stderr, "entry points failed: %s\n", c_voserrmsg());
}

// Direct CFITSIO: each column written ffgrsz rows at a time.
void write_direct(const std::string& name) {
  std::remove(name.c_str());
  fitsfile* f = nullptr;
  int status = 0;
  ffinit(&f, name.c_str(), &status);
  ffphps(f, 16, 0, nullptr, &status);
  ffpkys(f, "INSTRUME", "ZOR", "", &status);
  ffpkys(f, "DBTABLE", "CRCOMPLIST", "", &status);
  ffpkys(f, "DESCRIP", "The lookup table for the ZOR component throughputs", "", &status);
  ffphis(f, "Created on Thu Dec 10 13:00:00 2026", &status);
  ffpkys(f, "USEAFTER", "Apr 1 2000 12:00:00 pm", "", &status);
  char* ttype[4];
  char* tform[4];
  char* tunit[4];
  std::string forms[4];
  for (int c = 0; c < 4; ++c) {
    forms[c] = std::to_string(kWidths[c]) + "A";
    ttype[c] = const_cast<char*>(kNames[c]);
    tform[c] = forms[c].data();
    tunit[c] = const_cast<char*>("");
  }
  ffcrtb(f, BINARY_TBL, 0, 4, ttype, tform, tunit, "", &status);
  long group = 0;
  ffgrsz(f, &group, &status);
  if (group < 1) group = 1;
  std::vector<std::string> text(static_cast<std::size_t>(group));
  std::vector<char*> ptrs(static_cast<std::size_t>(group));
  for (long first = 1; first <= kRows && status == 0; first += group) {
    long n = std::min<long>(group, kRows - first + 1);
    for (int c = 0; c < 4; ++c) {
      for (long i = 0; i < n; ++i) {
        text[i] = cell(static_cast<int>(first + i), c);
        ptrs[i] = text[i].data();
      }
      ffpcls(f, c + 1, first, 1, n, ptrs.data(), &status);
    }
  }
  ffclos(f, &status);
  if (status != 0) std::fprintf(stderr, "direct CFITSIO failed: status %d\n", status);
}

void BM_FitsEntryPoints(benchmark::State& state) {
  std::string name = scratch("entry");
  for (auto _ : state) write_entry_points(name);
  state.SetItemsProcessed(state.iterations() * kRows);
  std::remove(name.c_str());
}

void BM_FitsDirect(benchmark::State& state) {
  std::string name = scratch("direct");
  for (auto _ : state) write_direct(name);
  state.SetItemsProcessed(state.iterations() * kRows);
  std::remove(name.c_str());
}

// Both writers in each iteration; the time reported is the entry points'.
void FitsCellPuts(benchmark::State& state) {
  std::string a = scratch("ratio_entry"), b = scratch("ratio_direct");
  bench::Pair pair(2);
  for (auto _ : state) {
    state.SetIterationTime(pair.ours([&] { write_entry_points(a); }));
    pair.base([&] { write_direct(b); });
  }
  pair.report(state);
  std::remove(a.c_str());
  std::remove(b.c_str());
}

}  // namespace

BENCHMARK(BM_FitsEntryPoints)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FitsDirect)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(FitsCellPuts)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

int main(int argc, char** argv) {
  c_vosinit();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
