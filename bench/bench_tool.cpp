// The tool's own share of a run, without the database or the files: the
// fetched rows cleaned, lower-cased and stored in the in-memory table, and
// the throughput column chosen for each component among a file's columns.
// Runs for 10^2, 10^3 and 10^4 components show how the cost grows.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "comptab.h"
#include "loadfile/table.h"
#include "loadfile/text.h"

namespace {

// One fetched row as the access layer leaves it: blank-padded strings and a
// comment with runs of blanks and control characters.
std::vector<std::string> fetched_row(int r) {
  auto pad = [](std::string s) {
    s.resize(62, ' ');
    return s;
  };
  return {pad("Mar  3 1999  2:20PM"), pad("ZOR_COMP_" + std::to_string(r)),
          pad("THRU_" + std::to_string(r) + ".FITS"),
          "  Throughput of component\t" + std::to_string(r) + "  after\n recalibration  "};
}

void BM_FillTable(benchmark::State& state) {
  int rows = static_cast<int>(state.range(0));
  std::vector<std::vector<std::string>> input;
  for (int r = 0; r < rows; ++r) input.push_back(fetched_row(r));
  const char* columns[] = {"TIME", "COMPNAME", "FILENAME", "COMMENT"};
  for (auto _ : state) {
    table* t = create_table();
    init_comptab("TIME,COMPNAME,FILENAME,COMMENT", t);
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < 4; ++c) {
        std::string value = input[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
        clean_fetched(value.data());
        put_tab_cell(t, columns[c], r, value.c_str());
      }
    }
    benchmark::DoNotOptimize(t->rows);
    free_table(t);
  }
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_FillTable)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ChooseColumns(benchmark::State& state) {
  int rows = static_cast<int>(state.range(0));
  const char* names[] = {"wavelength", "zor_f555w", "zor_f814w", "zor_clear", "throughput_err",
                         "zor_f555w_err", "error", "zor_f1042m"};
  for (auto _ : state) {
    for (int r = 0; r < rows; ++r) {
      text list;
      init_text(&list, 5, 100);
      for (const char* n : names) {
        std::string name = n;
        add_thru_candidate(&list, name.data());
      }
      char column[THRU_MAXCOL + 1];
      std::string component = "zor_f" + std::to_string(500 + r % 600) + "w";
      choose_thrucol(&list, component.c_str(), "thru.fits", column, THRU_MAXCOL);
      benchmark::DoNotOptimize(column[0]);
      free_text(&list);
    }
  }
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_ChooseColumns)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
