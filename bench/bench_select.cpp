// Row sets and row selectors.
//
// RowSetByRank: the members of a set of 10^6 rows in 10^5 ranges, looked up
// by rank in order (the way a table with a row selector is read) and in a
// scattered order.  Counter ns_per_lookup.
//
// SelectRows: the rows of a 10^5-row row-ordered table picked by
// "row = 1001:90000, id = %3" against reading the same cells with tbegtd
// and testing them in a plain loop.  Counters ours_s (the selector), base_s
// (the plain loop), ratio and goal (none: the row informs).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "tablelib/tables.h"
#include "tablelib/tbselector.h"

namespace {

using Clock = std::chrono::steady_clock;

double secs(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

tbl::RowSet* big_set() {
  tbl::RowSet* s = tbl::rstcre(0, 0);
  for (int r = 1; r <= 2000000; r += 20)
    for (int k = 0; k < 10; ++k) tbl::rstadl(s, r + k);
  return s;
}

void RowSetByRank(benchmark::State& state) {
  tbl::RowSet* s = big_set();
  const int n = tbl::rstnem(s);
  const bool scattered = state.range(0) != 0;
  long long lookups = 0;
  for (auto _ : state) {
    long long sum = 0;
    for (int i = 1; i <= n; ++i) {
      const int rank = scattered ? static_cast<int>((static_cast<long long>(i) * 7919) % n) + 1 : i;
      sum += tbl::rstrom(s, rank);
    }
    benchmark::DoNotOptimize(sum);
    lookups += n;
  }
  state.counters["ns_per_lookup"] =
      benchmark::Counter(static_cast<double>(lookups), benchmark::Counter::kIsRate |
                                                           benchmark::Counter::kInvert);
  tbl::rstfre(s);
}
BENCHMARK(RowSetByRank)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void SelectRows(benchmark::State& state) {
  const std::string name =
      (std::filesystem::temp_directory_path() / ("bench_select_" + std::to_string(getpid()) + ".tab"))
          .string();
  std::remove(name.c_str());
  const int nrows = 100000;
  tbl::Table* tp = tbl::tbtopn(name, tbl::kNewFile, nullptr);
  tbl::Column* id = nullptr;
  tbl::tbcdef1(tp, id, "id", "", "", tbl::kTyInt, 1);
  tbl::tbtcre(tp);
  for (int r = 1; r <= nrows; ++r) tbl::tbepti(tp, id, r, r);
  tbl::tbtclo(tp);
  tp = tbl::tbtopn(name, tbl::kReadOnly, nullptr);
  tbl::tbcfnd1(tp, "id", id);

  double sel = 0, plain = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    tbl::RowSet* s = tbl::trsrows(tp, "row = 1001:90000, id = %3");
    auto t1 = Clock::now();
    int count = 0;
    for (int r = 1001; r <= 90000; ++r) {
      double v = 0;
      tbl::tbegtd(tp, id, r, v);
      if ((static_cast<int>(v) & 3) == 3) ++count;
    }
    auto t2 = Clock::now();
    if (count != tbl::rstnem(s)) state.SkipWithError("selected rows differ");
    tbl::rstfre(s);
    sel += secs(t0, t1);
    plain += secs(t1, t2);
  }
  const double iters = static_cast<double>(state.iterations());
  state.counters["ours_s"] = sel / iters;
  state.counters["base_s"] = plain / iters;
  state.counters["ratio"] = plain > 0 ? sel / plain : 0;
  state.counters["goal"] = 0;
  tbl::tbtclo(tp);
  std::remove(name.c_str());
}
BENCHMARK(SelectRows)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
