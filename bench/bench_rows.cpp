// Tables at scale: N rows of a double, an int and a 16-character text,
// through the c_ entry points that programs keeping their own data in our
// formats call, each beside the plainest way to do the same file work in the
// same run.  N is 10^4 and 10^5; 10^6 as well when the environment variable
// BENCH_LARGE is set (not empty), e.g. `BENCH_LARGE=1 scripts/bench.sh rows`:
//   ColAppend/N      c_tbtopn, c_tbpset(tp, 5, 12), c_tbcdef1 x3, c_tbtcre,
//                    then c_tbeptd, c_tbepti, c_tbeptt for row 1, 2 .. N,
//                    c_tbtclo  vs  fopen, fwrite of the same cells row by
//                    row, fclose
//   RowDeleteHalf/N  c_tbtopn, c_tbrdel(tp, 1, N/2), c_tbtclo on a
//                    row-ordered .tab  vs  copying the file (64 KiB read()
//                    and write())
//   ColDeleteHalf/N  the same on a column-ordered table
//   RowDeleteOne/N, FitsDeleteOne/N  c_tbtopn, kDeletes x c_tbrdel(tp, 1, 1),
//                    c_tbtclo on a .tab, on a FITS table  vs  ffopen, the
//                    same ffdrow calls on the same rows as FITS, ffclos
// Each iteration starts from a fresh copy of a reference table, made outside
// the timed part, and the result is checked there too.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fitsio.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench_check.h"
#include "bench_ratio.h"
#include "bench_shape.h"
#include "halvo/c_tables.h"

namespace {

using bench::check;
using bench::check_status;

constexpr int kRowOrdered = 11, kColOrdered = 12;
constexpr int kParType = 5, kParAllRows = 3, kParRows = 21;
constexpr int kText = bench::kShapeText;  // characters of the text column
constexpr int kDeletes = 100;  // single-row deletions of one DeleteOne run
constexpr std::size_t kChunk = 64 * 1024;

std::string scratch(const std::string& tag, const char* ext = ".tab") {
  return (std::filesystem::temp_directory_path() /
          ("bench_rows_" + std::to_string(::getpid()) + "_" + tag + ext))
      .string();
}

// The cells of row r (1-based): r + 0.5, r, and "cell r" padded to kText.
double dval(int r) { return r + 0.5; }
struct Texts {
  std::vector<std::string> text;
  std::vector<const char*> ptr;
  explicit Texts(int n) {
    for (int r = 1; r <= n; ++r) {
      std::string s = "cell " + std::to_string(r);
      s.resize(kText, '.');
      text.push_back(std::move(s));
    }
    for (const auto& s : text) ptr.push_back(s.c_str());
  }
};
const Texts& texts(int n) {
  static std::map<int, Texts> made;
  return made.try_emplace(n, n).first->second;
}

// ---- the c_ side ------------------------------------------------------------------

// A new table of the three columns; `cols` receives them.
TablePtr create(const std::string& name, int type, int allrows, ColumnPtr* cols) {
  std::remove(name.c_str());
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, nullptr);
  c_tbpset(tp, kParType, type);
  if (allrows > 0) c_tbpset(tp, kParAllRows, allrows);
  bench::define_shape(tp, cols);
  c_tbtcre(tp);
  check(true, "create");
  return tp;
}

// Appends rows 1..n one at a time to a new column-ordered table.
void append_rows(const std::string& name, int n) {
  const Texts& t = texts(n);
  ColumnPtr cols[3];
  TablePtr tp = create(name, kColOrdered, 0, cols);
  for (int r = 1; r <= n; ++r) {
    c_tbeptd(tp, cols[0], r, dval(r));
    c_tbepti(tp, cols[1], r, r);
    c_tbeptt(tp, cols[2], r, t.ptr[std::size_t(r - 1)]);
  }
  c_tbtclo(tp);
  check(true, "append");
}

// A table of rows 1..n made column by column (the reference of a run).
void make_table(const std::string& name, int type, int n) {
  const Texts& t = texts(n);
  std::vector<double> d(std::size_t(n), 0.0);
  std::vector<int> iv(std::size_t(n), 0);
  for (int r = 1; r <= n; ++r) {
    d[std::size_t(r - 1)] = dval(r);
    iv[std::size_t(r - 1)] = r;
  }
  ColumnPtr cols[3];
  TablePtr tp = create(name, type, type == kColOrdered ? n : 0, cols);
  c_tbcptd(tp, cols[0], d.data(), 1, n);
  c_tbcpti(tp, cols[1], iv.data(), 1, n);
  c_tbcptt(tp, cols[2], t.ptr.data(), kText, 1, n);
  c_tbtclo(tp);
  check(true, "make_table");
}

// Checks that the table holds rows `from`..`to` of the reference in order
// (the first, a middle and the last row are read).
void expect_rows(const std::string& name, int from, int to) {
  TablePtr tp = c_tbtopn(name.c_str(), TBL_READ_ONLY, nullptr);
  const int n = c_tbpsta(tp, kParRows);
  check(n == to - from + 1, "row count");
  for (int r : {1, n / 2 + 1, n}) {
    if (r < 1 || r > n) continue;
    int i = 0;
    double d = 0;
    char text[kText + 1] = {0};
    c_tbegti(tp, c_tbcnum(tp, 2), r, &i);
    c_tbegtd(tp, c_tbcnum(tp, 1), r, &d);
    c_tbegtt(tp, c_tbcnum(tp, 3), r, text, kText);
    const int want = from + r - 1;
    check(i == want && d == dval(want) && text == texts(to).text[std::size_t(want - 1)],
          "row contents");
  }
  c_tbtclo(tp);
}

// ---- the baselines ----------------------------------------------------------------

void fwrite_cells(const std::string& name, int n) {
  const Texts& t = texts(n);
  std::FILE* f = std::fopen(name.c_str(), "wb");
  for (int r = 1; r <= n; ++r) {
    const double d = dval(r);
    std::fwrite(&d, sizeof d, 1, f);
    std::fwrite(&r, sizeof r, 1, f);
    std::fwrite(t.ptr[std::size_t(r - 1)], 1, kText, f);
  }
  std::fclose(f);
}

void copy_file(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY);
  int out = ::open(to.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  std::vector<char> buf(kChunk);
  ssize_t got;
  while ((got = ::read(in, buf.data(), kChunk)) > 0)
    if (::write(out, buf.data(), std::size_t(got)) != got) check(false, "write()");
  ::close(in);
  ::close(out);
}

// The reference as FITS, written with CFITSIO: columns 1D, 1J, 16A.
void make_fits(const std::string& name, int n) {
  const Texts& t = texts(n);
  std::remove(name.c_str());
  int status = 0;
  fitsfile* f = bench::new_fits_shape(name, &status);
  std::vector<double> d(std::size_t(n), 0.0);
  std::vector<int> iv(std::size_t(n), 0);
  for (int r = 1; r <= n; ++r) {
    d[std::size_t(r - 1)] = dval(r);
    iv[std::size_t(r - 1)] = r;
  }
  ffpcld(f, 1, 1, 1, n, d.data(), &status);
  ffpclk(f, 2, 1, 1, n, iv.data(), &status);
  ffpcls(f, 3, 1, 1, n, const_cast<char**>(t.ptr.data()), &status);
  ffclos(f, &status);
  check_status(status, "make_fits");
}

void fits_delete_first(const std::string& name, int times) {
  int status = 0, hdutype = 0;
  fitsfile* f = nullptr;
  ffopen(&f, name.c_str(), READWRITE, &status);
  ffmahd(f, 2, &hdutype, &status);
  for (int k = 0; k < times; ++k) ffdrow(f, 1, 1, &status);
  ffclos(f, &status);
  check_status(status, "ffdrow");
}

// ---- the pairs ----------------------------------------------------------------------

int rows_of(const benchmark::State& state) { return int(state.range(0)); }

void ColAppend(benchmark::State& state) {
  const int n = rows_of(state);
  const std::string ours = scratch("append"), raw = scratch("append_raw", ".bin");
  bench::Pair pair(3);
  for (auto _ : state) {
    state.SetIterationTime(pair.ours([&] { append_rows(ours, n); }));
    expect_rows(ours, 1, n);
    pair.base([&] { fwrite_cells(raw, n); });
  }
  pair.report(state);
  std::remove(ours.c_str());
  std::remove(raw.c_str());
}

void DeleteHalf(benchmark::State& state, int type) {
  const int n = rows_of(state);
  const std::string ref = scratch("ref"), work = scratch("work"), copy = scratch("copy");
  make_table(ref, type, n);
  bench::Pair pair(3);
  for (auto _ : state) {
    copy_file(ref, work);
    state.SetIterationTime(pair.ours([&] {
      TablePtr tp = c_tbtopn(work.c_str(), TBL_READ_WRITE, nullptr);
      c_tbrdel(tp, 1, n / 2);
      c_tbtclo(tp);
    }));
    check(true, "c_tbrdel");
    expect_rows(work, n / 2 + 1, n);
    pair.base([&] { copy_file(ref, copy); });
  }
  pair.report(state);
  for (const auto& f : {ref, work, copy}) std::remove(f.c_str());
}

// kDeletes deletions of row 1 through the entry points, on `ref` (a .tab
// or FITS file), against ffdrow on the same rows as FITS.
void DeleteOne(benchmark::State& state, bool fits) {
  const int n = rows_of(state);
  const char* ext = fits ? ".fits" : ".tab";
  const std::string ref = scratch("ref1", ext), work = scratch("work1", ext);
  const std::string fref = scratch("fref", ".fits"), fwork = scratch("fwork", ".fits");
  if (fits) make_fits(ref, n);
  else make_table(ref, kRowOrdered, n);
  make_fits(fref, n);
  bench::Pair pair(3);
  for (auto _ : state) {
    copy_file(ref, work);
    copy_file(fref, fwork);
    state.SetIterationTime(pair.ours([&] {
      TablePtr tp = c_tbtopn(work.c_str(), TBL_READ_WRITE, nullptr);
      for (int k = 0; k < kDeletes; ++k) c_tbrdel(tp, 1, 1);
      c_tbtclo(tp);
    }));
    check(true, "c_tbrdel");
    expect_rows(work, kDeletes + 1, n);
    pair.base([&] { fits_delete_first(fwork, kDeletes); });
    expect_rows(fwork, kDeletes + 1, n);
  }
  pair.report(state);
  state.counters["ours_per_call_s"] = pair.ours_s() / kDeletes;
  state.counters["base_per_call_s"] = pair.base_s() / kDeletes;
  for (const auto& f : {ref, work, fref, fwork}) std::remove(f.c_str());
}

void RowDeleteHalf(benchmark::State& state) { DeleteHalf(state, kRowOrdered); }
void ColDeleteHalf(benchmark::State& state) { DeleteHalf(state, kColOrdered); }
void RowDeleteOne(benchmark::State& state) { DeleteOne(state, false); }
void FitsDeleteOne(benchmark::State& state) { DeleteOne(state, true); }

}  // namespace

int main(int argc, char** argv) {
  c_vosinit();
  std::vector<int> sizes = {10000, 100000};
  const char* large = std::getenv("BENCH_LARGE");
  if (large != nullptr && *large != '\0') sizes.push_back(1000000);
  const std::pair<const char*, void (*)(benchmark::State&)> runs[] = {
      {"ColAppend", ColAppend},         {"RowDeleteHalf", RowDeleteHalf},
      {"ColDeleteHalf", ColDeleteHalf}, {"RowDeleteOne", RowDeleteOne},
      {"FitsDeleteOne", FitsDeleteOne},
  };
  for (const auto& [name, fn] : runs)
    for (int n : sizes)
      benchmark::RegisterBenchmark(name, fn)
          ->Arg(n)
          ->Iterations(n >= 1000000 ? 3 : 5)
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
