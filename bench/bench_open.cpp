// What a read-only open costs: one whole read session through the c_ entry
// points, c_tbtopn(READ_ONLY), c_tbegtd of the middle row's first cell,
// c_tbtclo, on small tables (kRows rows of a double, an int and a
// 16-character text), so that the open's fixed work (finding the table's
// type, the lock a reader holds while the table is open, the look for a
// journal a killed writer left, reading the header) is what is timed:
//   row    a binary row-ordered table (.tab)
//   text   a text table (.txt), which is read whole at the open
//   fits   a FITS binary table (.fits)
// beside the plainest way to read the same cell: for binary tables open(),
// pread() of the header block and of the cell, close(); for text tables
// open(), read() of the whole file, close(); for FITS, CFITSIO (ffopen,
// ffmahd, ffgcvd, ffclos).  The rows only inform (goal 0): the figure to
// watch is our time, before and after a change to the open path.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fitsio.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_check.h"
#include "bench_ratio.h"
#include "bench_shape.h"
#include "change_tables.h"
#include "halvo/c_tables.h"

namespace {

using bench::check;
using bench::check_status;
using bench::dval;
using bench::kParType;
using bench::kRowOrdered;

constexpr int kRows = 100;
constexpr int kIterations = 3000;
constexpr int kTextTable = 13;

enum class Kind { Row, Text, Fits };

const char* kind_name(Kind k) { return k == Kind::Row ? "row" : k == Kind::Text ? "text" : "fits"; }

void make_table(const std::string& name, Kind kind) {
  if (kind == Kind::Fits) {
    int status = 0;
    fitsfile* f = bench::new_fits_shape(name, &status);
    for (int r = 1; r <= kRows && status == 0; ++r) {
      double d = dval(r);
      int i = r;
      std::string t = "cell " + std::to_string(r);
      char* s = t.data();
      ffpcld(f, 1, r, 1, 1, &d, &status);
      ffpclk(f, 2, r, 1, 1, &i, &status);
      ffpcls(f, 3, r, 1, 1, &s, &status);
    }
    ffclos(f, &status);
    check_status(status, "make_fits");
    return;
  }
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, nullptr);
  c_tbpset(tp, kParType, kind == Kind::Row ? kRowOrdered : kTextTable);
  ColumnPtr cols[3];
  bench::define_shape(tp, cols);
  c_tbtcre(tp);
  for (int r = 1; r <= kRows; ++r) {
    c_tbeptd(tp, cols[0], r, dval(r));
    c_tbepti(tp, cols[1], r, r);
    c_tbeptt(tp, cols[2], r, ("cell " + std::to_string(r)).c_str());
  }
  c_tbtclo(tp);
  check(true, "make table");
}

constexpr int kMid = kRows / 2 + 1;

double ours(const std::string& name) {
  TablePtr tp = c_tbtopn(name.c_str(), TBL_READ_ONLY, nullptr);
  double v = 0;
  c_tbegtd(tp, c_tbcnum(tp, 1), kMid, &v);
  c_tbtclo(tp);
  return v;
}

// The plain read of the same cell.  A binary table's cell lies at the
// offset its header gives; the baseline reads the header block as the
// open does and takes the offset the open found.
double plain(Kind kind, const std::string& name, long long cell_at) {
  if (kind == Kind::Fits) {
    int status = 0, hdutype = 0, anynul = 0;
    fitsfile* f = nullptr;
    double v = 0;
    ffopen(&f, name.c_str(), READONLY, &status);
    ffmahd(f, 2, &hdutype, &status);
    ffgcvd(f, 1, kMid, 1, 1, 0, &v, &anynul, &status);
    ffclos(f, &status);
    check_status(status, "CFITSIO read");
    return v;
  }
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  check(fd >= 0, "open");
  double v = 0;
  if (kind == Kind::Text) {
    static std::vector<char> buf(1 << 20);
    while (::read(fd, buf.data(), buf.size()) > 0) {
    }
  } else {
    static char head[2880];
    unsigned char cell[8];
    check(::pread(fd, head, sizeof head, 0) > 0 && ::pread(fd, cell, 8, cell_at) == 8, "pread");
    std::uint64_t bits = 0;
    for (unsigned char b : cell) bits = (bits << 8) | b;
    std::memcpy(&v, &bits, 8);
  }
  ::close(fd);
  return v;
}

// Where the middle row's first cell lies in a row-ordered table made as
// above: found once by looking for its bytes after the header.
long long find_cell(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const double want = dval(kMid);
  std::uint64_t bits;
  std::memcpy(&bits, &want, 8);
  std::string be(8, '\0');
  for (int i = 7; i >= 0; --i, bits >>= 8) be[static_cast<std::size_t>(i)] = static_cast<char>(bits & 0xff);
  const std::size_t at = bytes.find(be);
  check(at != std::string::npos, "the cell's bytes");
  return static_cast<long long>(at);
}

void ReadOnlyOpen(benchmark::State& state, Kind kind) {
  const std::string name = bench::scratch_dir("bench_open") + "/t_" + kind_name(kind) +
                           (kind == Kind::Row ? ".tab" : kind == Kind::Text ? ".txt" : ".fits");
  if (!std::filesystem::exists(name)) make_table(name, kind);
  const long long cell_at = kind == Kind::Row ? find_cell(name) : 0;
  bench::Pair pair(0);
  for (auto _ : state) {
    double got = 0;
    state.SetIterationTime(pair.ours([&] { got = ours(name); }));
    check(got == dval(kMid), "our read");
    double base = 0;
    pair.base([&] { base = plain(kind, name, cell_at); });
    check(kind == Kind::Text || base == dval(kMid), "the plain read");
  }
  pair.report(state);
}

}  // namespace

int main(int argc, char** argv) {
  c_vosinit();
  for (Kind kind : {Kind::Row, Kind::Text, Kind::Fits})
    benchmark::RegisterBenchmark((std::string("ReadOnlyOpen/") + kind_name(kind)).c_str(),
                                 [=](benchmark::State& s) { ReadOnlyOpen(s, kind); })
        ->Iterations(kIterations)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
