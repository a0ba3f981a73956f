// Binary tables of the tool's output shape, 10^5 rows of four text columns
// of 26, 18, 50 and 68 characters, through the c_ entry points that callers
// use, each beside the plainest way to move the same file bytes in the same
// run (the finished file written with write() or read with read() in 64 KiB
// chunks).  Row-ordered (.tab, the tool's own) and column-ordered tables:
//   RowCellPuts     c_tbtopn, c_tbcdef1, c_tbtcre, c_tbeptt for every cell,
//                   c_tbtclo  vs  write()
//   RowCellGets     c_tbtopn, c_tbegtt for every cell, c_tbtclo  vs  read()
//   ColColumnPuts   a column-ordered table of 10^5 allocated rows made with
//                   one c_tbcptt per column  vs  write()
//   ColColumnGets   every column of it read with one c_tbcgtt  vs  read()
//   RowColumnPuts, RowColumnGets  the same on the row-ordered table, where
//                   each column is spread over the whole file (no goal)
// Every file the entry points write is compared with a reference made by
// cell puts, and every value read with the cells put, outside the timed part.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_ratio.h"
#include "halvo/c_tables.h"
#include "tool_cells.h"

namespace {

using namespace bench;  // the cells of tool_cells.h
constexpr std::size_t kChunk = 64 * 1024;

std::string scratch(const char* tag) {
  return (std::filesystem::temp_directory_path() /
          ("bench_binary_" + std::to_string(::getpid()) + "_" + tag + ".tab"))
      .string();
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void check(bool ok, const char* what) {
  if (ok && c_voserr() == 0) return;
  std::fprintf(stderr, "bench_binary: %s: %s\n", what, c_voserr() ? c_voserrmsg() : "wrong result");
  std::exit(1);
}

// Table types (table parameter 5) and the parameter of the allocated rows.
constexpr int kRowOrdered = 11, kColOrdered = 12;
constexpr int kParType = 5, kParAllRows = 3;

// A new table of the tool's four columns, created; `cols` receives them.
TablePtr create(const std::string& name, int type, ColumnPtr* cols) {
  std::remove(name.c_str());
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, nullptr);
  c_tbpset(tp, kParType, type);
  if (type == kColOrdered) c_tbpset(tp, kParAllRows, kRows);
  for (int c = 0; c < kCols; ++c) c_tbcdef1(tp, &cols[c], kNames[c], "", "", -kWidths[c], 1);
  c_tbtcre(tp);
  check(true, "create");
  return tp;
}

void put_cells(const std::string& name, int type) {
  const Cells& k = cells();
  ColumnPtr cols[kCols];
  TablePtr tp = create(name, type, cols);
  for (int r = 1; r <= kRows; ++r)
    for (int c = 0; c < kCols; ++c) c_tbeptt(tp, cols[c], r, k.ptr[c][std::size_t(r - 1)]);
  c_tbtclo(tp);
}

void put_columns(const std::string& name, int type) {
  const Cells& k = cells();
  ColumnPtr cols[kCols];
  TablePtr tp = create(name, type, cols);
  for (int c = 0; c < kCols; ++c) c_tbcptt(tp, cols[c], k.ptr[c].data(), kWidths[c], 1, kRows);
  c_tbtclo(tp);
}

// Buffers for the values read back: one row of cells, or whole columns.
struct Out : ColumnBuffers {
  std::vector<char> row[kCols];
  Out() {
    for (int c = 0; c < kCols; ++c) row[c].resize(std::size_t(kWidths[c]) + 1);
  }
};

// Reads every cell with c_tbegtt; `verify` compares each with the cells put.
void get_cells(const std::string& name, Out& out, bool verify) {
  const Cells& k = cells();
  TablePtr tp = c_tbtopn(name.c_str(), TBL_READ_ONLY, nullptr);
  ColumnPtr cols[kCols];
  for (int c = 0; c < kCols; ++c) cols[c] = c_tbcnum(tp, c + 1);
  bool same = true;
  for (int r = 1; r <= kRows; ++r)
    for (int c = 0; c < kCols; ++c) {
      c_tbegtt(tp, cols[c], r, out.row[c].data(), kWidths[c]);
      if (verify) same = same && k.text[c][std::size_t(r - 1)] == out.row[c].data();
    }
  c_tbtclo(tp);
  check(same, "c_tbegtt");
}

// Reads every column with c_tbcgtt; `verify` compares with the cells put.
void get_columns(const std::string& name, Out& out, bool verify) {
  TablePtr tp = c_tbtopn(name.c_str(), TBL_READ_ONLY, nullptr);
  for (int c = 0; c < kCols; ++c)
    c_tbcgtt(tp, c_tbcnum(tp, c + 1), out.colptr[c].data(), out.nulls.data(), kWidths[c], 1, kRows);
  c_tbtclo(tp);
  check(!verify || out.same(), "c_tbcgtt");
}

// The baselines: the finished file's bytes written or read in 64 KiB chunks.
void write_plain(const std::string& path, const std::string& bytes) {
  int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t n = std::min(kChunk, bytes.size() - at);
    if (::write(fd, bytes.data() + at, n) != ssize_t(n)) check(false, "write()");
    at += n;
  }
  ::close(fd);
}

std::size_t read_plain(const std::string& path, std::vector<char>& buf) {
  int fd = ::open(path.c_str(), O_RDONLY);
  std::size_t total = 0;
  ssize_t got;
  while ((got = ::read(fd, buf.data(), kChunk)) > 0) total += std::size_t(got);
  ::close(fd);
  return total;
}

// The reference table of each type (made once with cell puts), its bytes.
const std::string& reference(int type) {
  static std::string bytes[2];
  std::string& b = bytes[type == kColOrdered];
  if (b.empty()) {
    const std::string name = scratch("ref");
    put_cells(name, type);
    b = slurp(name);
    std::remove(name.c_str());
  }
  return b;
}

void Puts(benchmark::State& state, void (*put)(const std::string&, int), int type, const char* what,
          double goal) {
  const std::string ours = scratch("ours"), raw = scratch("raw");
  const std::string& bytes = reference(type);
  bench::Pair pair(goal);
  for (auto _ : state) {
    state.SetIterationTime(pair.ours([&] { put(ours, type); }));
    check(slurp(ours) == bytes, what);
    pair.base([&] { write_plain(raw, bytes); });
  }
  pair.report(state);
  state.counters["file_bytes"] = double(bytes.size());
  std::remove(ours.c_str());
  std::remove(raw.c_str());
}

void Gets(benchmark::State& state, void (*get)(const std::string&, Out&, bool), int type, double goal) {
  const std::string name = scratch("get");
  write_plain(name, reference(type));
  Out out;
  get(name, out, true);
  std::vector<char> buf(kChunk);
  bench::Pair pair(goal);
  std::size_t total = 0;
  for (auto _ : state) {
    state.SetIterationTime(pair.ours([&] { get(name, out, false); }));
    pair.base([&] { total += read_plain(name, buf); });
  }
  benchmark::DoNotOptimize(total);
  pair.report(state);
  std::remove(name.c_str());
}

// The last argument of each is its goal ratio (0: none).
void RowCellPuts(benchmark::State& state) { Puts(state, put_cells, kRowOrdered, "c_tbeptt", 15); }
void RowCellGets(benchmark::State& state) { Gets(state, get_cells, kRowOrdered, 15); }
void ColColumnPuts(benchmark::State& state) { Puts(state, put_columns, kColOrdered, "c_tbcptt", 3); }
void ColColumnGets(benchmark::State& state) { Gets(state, get_columns, kColOrdered, 3); }
void RowColumnPuts(benchmark::State& state) { Puts(state, put_columns, kRowOrdered, "c_tbcptt", 0); }
void RowColumnGets(benchmark::State& state) { Gets(state, get_columns, kRowOrdered, 0); }

BENCHMARK(RowCellPuts)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RowCellGets)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ColColumnPuts)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ColColumnGets)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RowColumnPuts)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RowColumnGets)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  c_vosinit();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
