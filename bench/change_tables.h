// The large tables the change benchmarks change in place: a double "d", an
// int "i" and a 16-character text "t" per row (bench_shape.h), binary
// row-ordered ("row"), binary column-ordered ("col") and FITS ("fits"),
// made once per run in a scratch directory of the temporary directory
// (removed at exit), column by column through the c_ entry points (binary)
// or by CFITSIO (FITS), with room for changes: spare allocated rows in
// column-ordered tables and free header records.  A binary table comes
// with a plain file beside it for the baselines.  The fsync calls of the
// file layer are counted through its seam (osio.h).
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fitsio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench_check.h"
#include "bench_shape.h"
#include "halvo/c_tables.h"
#include "vos/osio.h"

namespace bench {

constexpr int kRowOrdered = 11, kColOrdered = 12;
constexpr int kParType = 5, kParAllRows = 3, kParMaxPar = 6, kParRows = 21;
constexpr int kText = kShapeText;  // characters of the text column
constexpr long long kRowBytes = 8 + 4 + kText;
constexpr int kSpareRows = 1000, kSpareKeys = 200;
constexpr int kChunkRows = 1 << 20;  // rows of one column put when making a table
constexpr long long kMB = 1LL << 20;

enum class Kind { Row, Col, Fits };

inline const char* kind_name(Kind k) { return k == Kind::Row ? "row" : k == Kind::Col ? "col" : "fits"; }
inline std::string size_name(int mb) {
  return mb % 1024 == 0 ? std::to_string(mb / 1024) + "GB" : std::to_string(mb) + "MB";
}

// The scratch directory of this run, removed at exit (also the exit of a
// failed check).  The name is never destroyed: the removal runs after the
// destructors of static objects made later than its registration.
inline const std::string& scratch_dir(const char* program) {
  static const std::string* dir = [program] {
    auto* d = new std::string((std::filesystem::temp_directory_path() /
                               (std::string(program) + "_" + std::to_string(::getpid())))
                                  .string());
    std::filesystem::create_directories(*d);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(*dir, ec);
    });
    return d;
  }();
  return *dir;
}

// The cells of row r (1-based): r + 0.5, r, and "cell r" padded to kText.
inline double dval(int r) { return r + 0.5; }
inline std::string tval(int r) {
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
inline void sync_path(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  check(fd >= 0 && ::fsync(fd) == 0, "sync");
  ::close(fd);
}

inline void make_binary(const std::string& name, int type, int rows) {
  TablePtr tp = c_tbtopn(name.c_str(), TBL_NEW_FILE, nullptr);
  c_tbpset(tp, kParType, type);
  c_tbpset(tp, kParMaxPar, kSpareKeys);
  if (type == kColOrdered) c_tbpset(tp, kParAllRows, rows + kSpareRows);
  ColumnPtr cols[3];
  define_shape(tp, cols);
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

inline void make_fits(const std::string& name, int rows) {
  int status = 0;
  fitsfile* f = new_fits_shape(name, &status);
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

// A plain file of `bytes` bytes, for the baselines: a copy of `from`, or
// bytes 'x' when `from` is "".
inline void make_plain(const std::string& name, long long bytes, const std::string& from = "") {
  const int in = from.empty() ? -1 : ::open(from.c_str(), O_RDONLY);
  const int fd = ::open(name.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  std::vector<char> buf(std::size_t(kMB), 'x');
  for (long long at = 0; at < bytes && fd >= 0;) {
    const std::size_t n = std::size_t(std::min<long long>(kMB, bytes - at));
    check(in < 0 || ::pread(in, buf.data(), n, at) == ssize_t(n), "pread");
    check(::pwrite(fd, buf.data(), n, at) == ssize_t(n), "pwrite");
    at += static_cast<long long>(n);
  }
  if (in >= 0) ::close(in);
  check(fd >= 0 && ::fsync(fd) == 0 && ::close(fd) == 0, "plain file");
}

struct Table {
  std::string name;   // the table
  std::string plain;  // the baseline's plain file ("" for FITS)
  long long plain_size = 0;
  int rows = 0;       // rows when made
};

// The table of `kind` and `mb` megabytes in the scratch directory of
// `program`, made on first use; with `copy`, its plain file is a copy of
// it (else bytes 'x' of its size).
inline Table& table(const char* program, Kind kind, int mb, bool copy) {
  static std::map<std::pair<Kind, int>, Table> made;
  auto [it, fresh] = made.try_emplace({kind, mb});
  Table& t = it->second;
  if (!fresh) return t;
  const std::string base = scratch_dir(program) + "/" + kind_name(kind) + size_name(mb);
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
    make_plain(t.plain, t.plain_size, copy ? t.name : "");
  }
  sync_path(scratch_dir(program));
  return t;
}

// ---- fsync calls, counted through the file layer's seam ---------------------------

inline long& sync_count() {
  static long n = 0;
  return n;
}

// Puts the counting seam in force (once).
inline void count_syncs() {
  static const bool done = [] {
    vos::osio::Ops ops = vos::osio::host_ops();
    ops.fsync = [](int fd) {
      ++sync_count();
      return vos::osio::host_ops().fsync(fd);
    };
    vos::osio::replace(ops);
    return true;
  }();
  (void)done;
}

// Adds the counters ours_syncs (the most fsync calls one of our sessions
// made) and syncs_goal (the most it may make; 0: no goal) to `state`.
inline void report_syncs(benchmark::State& state, long syncs, long goal) {
  state.counters["ours_syncs"] = double(syncs);
  state.counters["syncs_goal"] = double(goal);
}

// Syncs the file at `path` with one fsync of a descriptor of its own (the
// baselines' one sync).
inline void fsync_path(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR);
  check(fd >= 0 && ::fsync(fd) == 0 && ::close(fd) == 0, "fsync");
}

}  // namespace bench
