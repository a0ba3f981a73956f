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
// beside the plainest way to do the same file work: for binary tables
// open(), pwrite() of as many bytes (8, one 28-byte row at the end, one
// 80-byte header record, none) into a plain file of the table's size,
// close(); for FITS, CFITSIO changing the same file in place (ffopen
// READWRITE, ffpcld / ffgnrw + ffirow + ffpcl* / ffukys, ffclos).  Our
// sessions sync what they change (journal, table, directory) and the
// baselines sync nothing, so the ratio is mostly the price of those syncs
// on this machine.  Every row also reports the bytes written (table and
// journal together) and the rise of the peak memory of both sides
// (bench_cost.h); our bytes must stay under kBytesGoal whatever the size.
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
#include "halvo/c_tables.h"

namespace {

using bench::check;
using bench::check_status;

constexpr int kRowOrdered = 11, kColOrdered = 12;
constexpr int kParType = 5, kParAllRows = 3, kParMaxPar = 6, kParRows = 21;
constexpr int kText = bench::kShapeText;  // characters of the text column
constexpr long long kRowBytes = 8 + 4 + kText;
constexpr int kSpareRows = 1000, kSpareKeys = 200;
constexpr int kChunkRows = 1 << 20;          // rows of one column put when making a table
constexpr long long kMB = 1LL << 20;
constexpr double kBytesGoal = 64 * 1024;     // 16 blocks of 4 KiB
constexpr int kIterations = 7;
constexpr int kScaleIterations = 15;         // the syncs' time varies much on a busy disk
constexpr int kSmall = 10, kLarge = 1024;    // table sizes in MB

enum class Kind { Row, Col, Fits };
enum class Op { Cell, Append, Keyword, Nothing };

const char* kind_name(Kind k) { return k == Kind::Row ? "row" : k == Kind::Col ? "col" : "fits"; }
const char* op_name(Op op) {
  switch (op) {
    case Op::Cell: return "Cell";
    case Op::Append: return "Append";
    case Op::Keyword: return "Keyword";
    case Op::Nothing: return "Nothing";
  }
  return "";
}
std::string size_name(int mb) { return mb % 1024 == 0 ? std::to_string(mb / 1024) + "GB" : std::to_string(mb) + "MB"; }

// ---- the tables -------------------------------------------------------------------

// The scratch directory of this run, removed at exit (also the exit of a
// failed check).  The name is never destroyed: the removal runs after the
// destructors of static objects made later than its registration.
const std::string& scratch_dir() {
  static const std::string* dir = [] {
    auto* d = new std::string((std::filesystem::temp_directory_path() /
                               ("bench_change_" + std::to_string(::getpid())))
                                  .string());
    std::filesystem::create_directories(*d);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(scratch_dir(), ec);
    });
    return d;
  }();
  return *dir;
}

// The cells of row r (1-based): r + 0.5, r, and "cell r" padded to kText.
double dval(int r) { return r + 0.5; }
std::string tval(int r) {
  std::string s = "cell " + std::to_string(r);
  s.resize(kText, '.');
  return s;
}

// The cells of rows first..last, as the column puts take them.
struct Chunk {
  std::vector<double> d;
  std::vector<int> i;
  std::vector<char> text;
  std::vector<const char*> ptr;
  void fill(int first, int last) {
    const std::size_t n = std::size_t(last - first + 1);
    d.resize(n);
    i.resize(n);
    text.assign(n * (kText + 1), '\0');
    ptr.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
      const int r = first + int(k);
      d[k] = dval(r);
      i[k] = r;
      const std::string t = tval(r);
      std::memcpy(&text[k * (kText + 1)], t.data(), kText);
      ptr[k] = &text[k * (kText + 1)];
    }
  }
};

// Syncs the file (or directory) `path`: the tables are on disk before any
// change is timed.
void sync_path(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  check(fd >= 0 && ::fsync(fd) == 0, "sync");
  ::close(fd);
}

void make_binary(const std::string& name, int type, int rows) {
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, nullptr);
  c_tbpset(tp, kParType, type);
  c_tbpset(tp, kParMaxPar, kSpareKeys);
  if (type == kColOrdered) c_tbpset(tp, kParAllRows, rows + kSpareRows);
  ColumnPtr cols[3];
  bench::define_shape(tp, cols);
  c_tbtcre(tp);
  check(true, "create");
  Chunk c;
  for (int first = 1; first <= rows; first += kChunkRows) {
    const int last = std::min(rows, first + kChunkRows - 1);
    c.fill(first, last);
    c_tbcptd(tp, cols[0], c.d.data(), first, last);
    c_tbcpti(tp, cols[1], c.i.data(), first, last);
    c_tbcptt(tp, cols[2], c.ptr.data(), kText, first, last);
    check(true, "column put");
  }
  c_tbtclo(tp);
  check(true, "close");
}

void make_fits(const std::string& name, int rows) {
  int status = 0;
  fitsfile* f = bench::new_fits_shape(name, &status);
  ffhdef(f, kSpareKeys, &status);
  Chunk c;
  for (int first = 1; first <= rows && status == 0; first += kChunkRows) {
    const int last = std::min(rows, first + kChunkRows - 1);
    c.fill(first, last);
    const LONGLONG n = last - first + 1;
    ffpcld(f, 1, first, 1, n, c.d.data(), &status);
    ffpclk(f, 2, first, 1, n, c.i.data(), &status);
    ffpcls(f, 3, first, 1, n, const_cast<char**>(c.ptr.data()), &status);
  }
  int exist = 0, more = 0;
  ffghsp(f, &exist, &more, &status);
  ffclos(f, &status);
  check_status(status, "make_fits");
  check(more >= kSpareKeys / 2, "room for keywords in the FITS header");
  sync_path(name);
}

// A plain file of `bytes` bytes, for the pwrite baseline.
void make_plain(const std::string& name, long long bytes) {
  const int fd = ::open(name.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  std::vector<char> buf(std::size_t(kMB), 'x');
  for (long long at = 0; at < bytes && fd >= 0;) {
    const std::size_t n = std::size_t(std::min<long long>(kMB, bytes - at));
    check(::pwrite(fd, buf.data(), n, at) == ssize_t(n), "pwrite");
    at += static_cast<long long>(n);
  }
  check(fd >= 0 && ::fsync(fd) == 0 && ::close(fd) == 0, "plain file");
}

struct Table {
  std::string name;   // the table
  std::string plain;  // the baseline's plain file ("" for FITS)
  long long plain_size = 0;
  int rows = 0;       // rows when made
};

// The table of `kind` and `mb` megabytes, made on first use.
Table& table(Kind kind, int mb) {
  static std::map<std::pair<Kind, int>, Table> made;
  auto [it, fresh] = made.try_emplace({kind, mb});
  Table& t = it->second;
  if (!fresh) return t;
  const std::string base = scratch_dir() + "/" + kind_name(kind) + size_name(mb);
  t.rows = int(mb * kMB / kRowBytes);
  if (kind == Kind::Fits) {
    t.name = base + ".fits";
    make_fits(t.name, t.rows);
  } else {
    t.name = base + ".tab";
    make_binary(t.name, kind == Kind::Row ? kRowOrdered : kColOrdered, t.rows);
    t.plain = base + ".plain";
    struct stat st;
    check(::stat(t.name.c_str(), &st) == 0, "stat");
    t.plain_size = st.st_size;
    make_plain(t.plain, t.plain_size);
  }
  sync_path(scratch_dir());
  return t;
}

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
  check(fd >= 0 && put == want && ::close(fd) == 0, "pwrite baseline");
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

// Times `f` as one side of `pair` (`is_ours`), measuring its cost.
template <class F>
void measure(bench::Pair& pair, bool is_ours, bench::Cost& cost, F&& f, benchmark::State* state) {
  bench::Meter meter(cost);
  meter.start();
  const double s = is_ours ? pair.ours(f) : pair.base(f);
  meter.stop();
  if (state != nullptr) state->SetIterationTime(s);
}

// Our session against pwrite or CFITSIO in place, on one table.
void Versus(benchmark::State& state, Kind kind, Op op, int mb) {
  Table& t = table(kind, mb);
  bench::Pair pair(0);
  bench::Cost ours_cost, base_cost;
  for (auto _ : state) {
    Change c = next_change(op, "KO");
    const Seen before = seen(t, kind, "");
    measure(pair, true, ours_cost, [&] { ours(t, c); }, &state);
    check(true, "our change");
    expect(t, before, seen(t, kind, c.keyword), c);
    if (kind == Kind::Fits) {
      c = next_change(op, "KB");
      const Seen mid = seen(t, kind, "");
      measure(pair, false, base_cost, [&] { cfitsio_in_place(t, c); }, nullptr);
      expect(t, mid, seen(t, kind, c.keyword), c);
    } else {
      measure(pair, false, base_cost, [&] { plain_pwrite(t, c); }, nullptr);
    }
  }
  pair.report(state);
  bench::report_cost(state, ours_cost, base_cost, kBytesGoal);
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
      measure(pair, t == &large, t == &large ? large_cost : small_cost, [&] { ours(*t, c); },
              t == &large ? &state : nullptr);
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
