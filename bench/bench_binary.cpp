// Row-ordered binary tables of the tool's output shape (four text columns of
// 26, 18, 50 and 68 characters): writing and reading 10^6 rows through the
// back end, against plain write()/read() of the same bytes in the same run.
//
// Counters: backend_s and plain_s (seconds for write + read), ratio
// (backend / plain), and the same split for writing and reading alone.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "tablelib/tables.h"
#include "tablelib/tbbackend.h"

namespace {

using Clock = std::chrono::steady_clock;

double secs(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

const int kWidths[4] = {26, 18, 50, 68};
const char* kNames[4] = {"TIME", "COMPNAME", "FILENAME", "COMMENT"};

// Values of row r (filled to various lengths, as real output is).
void row_values(int r, std::string* v) {
  v[0] = "Apr  1 2000 12:00:00:000PM";
  v[1] = "comp_" + std::to_string(r % 977);
  v[2] = "crcomp$" + std::to_string(r) + "_thru.fits";
  v[3] = "component throughput table row " + std::to_string(r);
}

struct Times {
  double write = 0, read = 0;
};

Times run_backend(const std::string& name, int nrows) {
  Times t;
  std::remove(name.c_str());
  tbl::Table* tp = tbl::tbtopn(name, tbl::kNewFile, nullptr);
  tbl::Column* cols[4];
  for (int c = 0; c < 4; ++c) tbl::tbcdef1(tp, cols[c], kNames[c], "", "", -kWidths[c], 1);
  tbl::tbtcre(tp);
  std::string v[4];
  auto t0 = Clock::now();
  for (int r = 1; r <= nrows; ++r) {
    row_values(r, v);
    tbl::tbxrpt(tp, cols, v, 68, 4, r);
  }
  tp->modified = true;
  tbl::tbtclo(tp);
  auto t1 = Clock::now();
  tp = tbl::tbtopn(name, tbl::kReadOnly, nullptr);
  for (int c = 0; c < 4; ++c) cols[c] = tbl::tbcnum(tp, c + 1);
  bool nul[4];
  std::size_t total = 0;
  for (int r = 1; r <= nrows; ++r) {
    tbl::tbxrgt(tp, cols, v, nul, 68, 4, r);
    total += v[3].size();
  }
  tbl::tbtclo(tp);
  auto t2 = Clock::now();
  benchmark::DoNotOptimize(total);
  t.write = secs(t0, t1);
  t.read = secs(t1, t2);
  return t;
}

// The same row images written and read with plain write()/read() in large
// blocks.
Times run_plain(const std::string& name, int nrows) {
  Times t;
  const std::size_t rowbytes = 2 * (13 + 9 + 25 + 34);
  const std::size_t per = 4096;
  std::vector<char> block(rowbytes * per);
  std::string v[4];
  auto t0 = Clock::now();
  int fd = ::open(name.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  for (int r = 1; r <= nrows;) {
    std::size_t n = 0;
    for (; n < per && r <= nrows; ++n, ++r) {
      row_values(r, v);
      char* p = block.data() + n * rowbytes;
      std::size_t off = 0;
      for (int c = 0; c < 4; ++c) {
        std::size_t w = std::size_t(kWidths[c] + 1) / 2 * 2;
        std::size_t k = std::min(w, v[c].size());
        std::copy(v[c].data(), v[c].data() + k, p + off);
        std::fill(p + off + k, p + off + w, '\0');
        off += w;
      }
    }
    if (::write(fd, block.data(), n * rowbytes) < 0) break;
  }
  ::close(fd);
  auto t1 = Clock::now();
  fd = ::open(name.c_str(), O_RDONLY);
  std::size_t total = 0;
  ssize_t got;
  while ((got = ::read(fd, block.data(), block.size())) > 0)
    for (std::size_t off = 0; off + rowbytes <= std::size_t(got); off += rowbytes)
      total += std::string(block.data() + off + 2 * 47).size();
  ::close(fd);
  auto t2 = Clock::now();
  benchmark::DoNotOptimize(total);
  t.write = secs(t0, t1);
  t.read = secs(t1, t2);
  return t;
}

void BM_ToolShapeRowsVsPlainIO(benchmark::State& state) {
  const int nrows = int(state.range(0));
  const std::string dir = std::filesystem::temp_directory_path().string();
  const std::string tab = dir + "/bench_binary_" + std::to_string(::getpid()) + ".tab";
  const std::string raw = dir + "/bench_binary_" + std::to_string(::getpid()) + ".raw";
  Times b, p;
  for (auto _ : state) {
    b = run_backend(tab, nrows);
    p = run_plain(raw, nrows);
  }
  std::remove(tab.c_str());
  std::remove(raw.c_str());
  state.counters["backend_s"] = b.write + b.read;
  state.counters["plain_s"] = p.write + p.read;
  state.counters["ratio"] = (b.write + b.read) / (p.write + p.read);
  state.counters["write_ratio"] = b.write / p.write;
  state.counters["read_ratio"] = b.read / p.read;
}

BENCHMARK(BM_ToolShapeRowsVsPlainIO)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
