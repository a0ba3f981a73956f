// Small changes to large tables, made in place: tables of 10 MB and 1 GB
// (1 GB only when the environment variable BENCH_LARGE is set, not empty)
// of a double, an int and a 16-character text per row, binary row-ordered
// ("row"), binary column-ordered ("col") and FITS ("fits").  Each change is
// one whole session through the c_ entry points, c_tbtopn(READ_WRITE) ..
// c_tbtclo:
//   Cell     c_tbeptd of one cell of the middle row
//   Append   c_tbeptd, c_tbepti, c_tbeptt of the row after the last
//   Keyword  c_tbhadt of a keyword the table does not have yet
//   Nothing  the open and the close, nothing changed
// beside the plainest way to do the same file work durably: for binary
// tables open(), pwrite() of as many bytes (8, one 28-byte row at the end,
// one 80-byte header record, none) into a plain file of the table's size,
// one fsync() when something was written, close(); for FITS, CFITSIO
// changing the same file in place (ffopen READWRITE, ffpcld / ffgnrw +
// ffirow + ffpcl* / ffukys, ffclos) and one fsync() of the file.  Our
// sessions sync the journal, its directory entry, the table and the
// directory after the journal goes; the ratio is mostly the price of those
// syncs against one on this machine.  Every row also reports the bytes
// written (table and journal together), the rise of the peak memory of
// both sides (bench_cost.h) and the most fsync calls one of our sessions
// made (counted through the file layer's seam); our bytes must stay under
// kBytesGoal whatever the size, our syncs at four.
// With BENCH_LARGE, the Scale rows time our session at 1 GB against the
// same session at 10 MB: goal 2x.
//
// The tables are made once per run, column by column through the c_ entry
// points (binary) or by CFITSIO (FITS), with room for the changes: kSpareRows
// allocated rows past the last in column-ordered tables and kSpareKeys free
// header records.  (A full allocation moves the data after it when it
// grows, for us as for CFITSIO: that cost grows with the table.)  Each
// change is checked outside the timed part: by CFITSIO for FITS, by a
// read-only open for binary tables, and no journal may be left behind.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fitsio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench_check.h"
#include "bench_cost.h"
#include "bench_ratio.h"
#include "bench_shape.h"
#include "change_tables.h"
#include "halvo/c_tables.h"

namespace {

using bench::check;
using bench::check_status;
using bench::dval;
using bench::Kind;
using bench::kind_name;
using bench::kParRows;
using bench::measure;
using bench::kRowBytes;
using bench::size_name;
using bench::Table;
using bench::tval;

constexpr double kBytesGoal = 64 * 1024;     // 16 blocks of 4 KiB
constexpr int kIterations = 7;
constexpr int kScaleIterations = 15;         // the syncs' time varies much on a busy disk
constexpr int kSmall = 10, kLarge = 1024;    // table sizes in MB

enum class Op { Cell, Append, Keyword, Nothing };

const char* op_name(Op op) {
  switch (op) {
    case Op::Cell: return "Cell";
    case Op::Append: return "Append";
    case Op::Keyword: return "Keyword";
    case Op::Nothing: return "Nothing";
  }
  return "";
}

Table& table(Kind kind, int mb) { return bench::table("bench_change", kind, mb, false); }

// ---- the changes ------------------------------------------------------------------

// A keyword name no table of this run has yet ("<prefix>nnnnn").
std::string new_keyword(const char* prefix) {
  static int serial = 0;
  char name[16];
  std::snprintf(name, sizeof name, "%s%05d", prefix, ++serial % 100000);
  return name;
}

constexpr const char* kKeyText = "added in place";

// What the change of one iteration puts: the cell's value, the keyword.
struct Change {
  Op op = Op::Nothing;
  double value = 0;
  std::string keyword;
};

Change next_change(Op op, const char* prefix) {
  static int serial = 0;
  Change c;
  c.op = op;
  c.value = 0.25 + ++serial;
  if (op == Op::Keyword) c.keyword = new_keyword(prefix);
  return c;
}

int mid_row(const Table& t) { return t.rows / 2 + 1; }

void ours(const Table& t, const Change& c) {
  TablePtr tp = c_tbtopn(t.name.c_str(), TBL_READ_WRITE, nullptr);
  switch (c.op) {
    case Op::Cell: c_tbeptd(tp, c_tbcnum(tp, 1), mid_row(t), c.value); break;
    case Op::Append: {
      const int r = c_tbpsta(tp, kParRows) + 1;
      c_tbeptd(tp, c_tbcnum(tp, 1), r, dval(r));
      c_tbepti(tp, c_tbcnum(tp, 2), r, r);
      c_tbeptt(tp, c_tbcnum(tp, 3), r, tval(r).c_str());
      break;
    }
    case Op::Keyword: c_tbhadt(tp, c.keyword.c_str(), kKeyText); break;
    case Op::Nothing: break;
  }
  c_tbtclo(tp);
}

void plain_pwrite(Table& t, const Change& c) {
  static const char bytes[80] = {0};
  const int fd = ::open(t.plain.c_str(), O_RDWR);
  ssize_t want = 0, put = 0;
  switch (c.op) {
    case Op::Cell: put = ::pwrite(fd, bytes, want = 8, t.plain_size / 2); break;
    case Op::Append:
      put = ::pwrite(fd, bytes, want = kRowBytes, t.plain_size);
      t.plain_size += kRowBytes;
      break;
    case Op::Keyword: put = ::pwrite(fd, bytes, want = 80, 4096); break;
    case Op::Nothing: break;
  }
  check(fd >= 0 && put == want && (c.op == Op::Nothing || ::fsync(fd) == 0) && ::close(fd) == 0,
        "pwrite baseline");
}

void cfitsio_in_place(const Table& t, const Change& c) {
  int status = 0, hdutype = 0;
  fitsfile* f = nullptr;
  ffopen(&f, t.name.c_str(), READWRITE, &status);
  ffmahd(f, 2, &hdutype, &status);
  switch (c.op) {
    case Op::Cell: {
      double v = c.value;
      ffpcld(f, 1, mid_row(t), 1, 1, &v, &status);
      break;
    }
    case Op::Append: {
      LONGLONG n = 0;
      ffgnrwll(f, &n, &status);
      ffirow(f, n, 1, &status);
      const int r = int(n + 1);
      double d = dval(r);
      int i = r;
      const std::string text = tval(r);
      char* s = const_cast<char*>(text.c_str());
      ffpcld(f, 1, r, 1, 1, &d, &status);
      ffpclk(f, 2, r, 1, 1, &i, &status);
      ffpcls(f, 3, r, 1, 1, &s, &status);
      break;
    }
    case Op::Keyword:
      ffukys(f, c.keyword.c_str(), kKeyText, "", &status);
      break;
    case Op::Nothing: break;
  }
  ffclos(f, &status);
  check_status(status, "CFITSIO in place");
  if (c.op != Op::Nothing) bench::fsync_path(t.name);
}

// ---- the checks -------------------------------------------------------------------

// What a reader finds: rows, the middle cell, the last row's int and the
// text of `keyword` ("" when absent).
struct Seen {
  long long rows = 0;
  double mid = 0;
  int last = 0;
  std::string keyword;
};

Seen seen(const Table& t, Kind kind, const std::string& keyword) {
  Seen s;
  if (kind == Kind::Fits) {  // CFITSIO itself
    int status = 0, hdutype = 0, anynul = 0;
    fitsfile* f = nullptr;
    ffopen(&f, t.name.c_str(), READONLY, &status);
    ffmahd(f, 2, &hdutype, &status);
    ffgnrwll(f, &s.rows, &status);
    ffgcvd(f, 1, mid_row(t), 1, 1, 0, &s.mid, &anynul, &status);
    ffgcvk(f, 2, s.rows, 1, 1, 0, &s.last, &anynul, &status);
    if (!keyword.empty()) {
      char text[FLEN_VALUE] = {0};
      ffgkys(f, keyword.c_str(), text, nullptr, &status);
      s.keyword = text;
    }
    ffclos(f, &status);
    check_status(status, "reading back");
    return s;
  }
  TablePtr tp = c_tbtopn(t.name.c_str(), TBL_READ_ONLY, nullptr);
  s.rows = c_tbpsta(tp, kParRows);
  c_tbegtd(tp, c_tbcnum(tp, 1), mid_row(t), &s.mid);
  c_tbegti(tp, c_tbcnum(tp, 2), int(s.rows), &s.last);
  if (!keyword.empty()) {
    char text[80] = {0};
    c_tbhgtt(tp, keyword.c_str(), text, sizeof text - 1);
    s.keyword = text;
  }
  c_tbtclo(tp);
  check(true, "reading back");
  return s;
}

// Checks that `after` is `before` with change `c` made, and that no
// journal is left beside the table.
void expect(const Table& t, const Seen& before, const Seen& after, const Change& c) {
  struct stat st;
  check(::stat((t.name + "-journal").c_str(), &st) != 0, "journal left behind");
  switch (c.op) {
    case Op::Cell: check(after.mid == c.value && after.rows == before.rows, "cell"); break;
    case Op::Append:
      check(after.rows == before.rows + 1 && after.last == int(after.rows), "append");
      break;
    case Op::Keyword: check(after.keyword == kKeyText && after.rows == before.rows, "keyword"); break;
    case Op::Nothing:
      check(after.rows == before.rows && after.mid == before.mid, "nothing changed");
      break;
  }
}

// ---- the benchmarks ---------------------------------------------------------------

// Our session against pwrite or CFITSIO in place, on one table.
void Versus(benchmark::State& state, Kind kind, Op op, int mb) {
  Table& t = table(kind, mb);
  bench::Pair pair(0);
  bench::Cost ours_cost, base_cost;
  long syncs = 0;
  for (auto _ : state) {
    Change c = next_change(op, "KO");
    const Seen before = seen(t, kind, "");
    bench::sync_count() = 0;
    state.SetIterationTime(measure(pair, true, ours_cost, [&] { ours(t, c); }));
    syncs = std::max(syncs, bench::sync_count());
    check(true, "our change");
    expect(t, before, seen(t, kind, c.keyword), c);
    if (kind == Kind::Fits) {
      c = next_change(op, "KB");
      const Seen mid = seen(t, kind, "");
      measure(pair, false, base_cost, [&] { cfitsio_in_place(t, c); });
      expect(t, mid, seen(t, kind, c.keyword), c);
    } else {
      measure(pair, false, base_cost, [&] { plain_pwrite(t, c); });
    }
  }
  pair.report(state);
  bench::report_cost(state, ours_cost, base_cost, kBytesGoal);
  bench::report_syncs(state, syncs, 4);
}

// Our session on the 1 GB table (ours) against the same on the 10 MB one.
void Scale(benchmark::State& state, Kind kind, Op op) {
  Table& large = table(kind, kLarge);
  Table& small = table(kind, kSmall);
  bench::Pair pair(2);
  bench::Cost large_cost, small_cost;
  for (auto _ : state) {
    for (Table* t : {&large, &small}) {
      const Change c = next_change(op, "KS");
      const Seen before = seen(*t, kind, "");
      const double s = measure(pair, t == &large, t == &large ? large_cost : small_cost, [&] { ours(*t, c); });
      if (t == &large) state.SetIterationTime(s);
      check(true, "our change");
      expect(*t, before, seen(*t, kind, c.keyword), c);
    }
  }
  pair.report(state);
  bench::report_cost(state, large_cost, small_cost, kBytesGoal);
}

}  // namespace

int main(int argc, char** argv) {
  c_vosinit();
  bench::count_syncs();
  const char* env = std::getenv("BENCH_LARGE");
  const bool large = env != nullptr && *env != '\0';
  std::vector<int> sizes = {kSmall};
  if (large) sizes.push_back(kLarge);
  const Op ops[] = {Op::Cell, Op::Append, Op::Keyword, Op::Nothing};
  const Kind kinds[] = {Kind::Row, Kind::Col, Kind::Fits};
  auto options = [](benchmark::internal::Benchmark* b, int iterations = kIterations) {
    b->Iterations(iterations)->UseManualTime()->Unit(benchmark::kMillisecond);
  };
  for (int mb : sizes)
    for (Op op : ops)
      for (Kind kind : kinds)
        options(benchmark::RegisterBenchmark(
            (std::string(op_name(op)) + "/" + kind_name(kind) + "/" + size_name(mb)).c_str(),
            [=](benchmark::State& s) { Versus(s, kind, op, mb); }));
  if (large)
    for (Op op : ops)
      for (Kind kind : kinds)
        options(benchmark::RegisterBenchmark(
            (std::string("Scale/") + op_name(op) + "/" + kind_name(kind)).c_str(),
            [=](benchmark::State& s) { Scale(s, kind, op); }),
                kScaleIterations);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
