// Change sessions of every size on large tables made in place: tables of
// 100 MB, and of 1 GB when the environment variable BENCH_LARGE is set (not
// empty), of every storage type (change_tables.h).  Each row times our
// session through the entry points callers use beside the plainest way to
// make the same change durably, on a plain copy of the table (binary) or on
// the same FITS file with CFITSIO, each side ending with its change synced:
//   Cells1000, Cells10000  that many cells of "d" in seeded random rows in
//       one session: c_tbtopn(READ_WRITE), c_tbeptd each, c_tbtclo  vs
//       open(), pwrite() of the 8 bytes at each cell's place, fsync(),
//       close() / ffopen, ffpcld each, ffclos, fsync()
//   Column  every cell of "d" rewritten: c_tbcptd in chunks of kColumnChunk
//       rows  vs  row-ordered: the rows read in pieces of 1 MiB, their cells
//       changed and the pieces written back; column-ordered: the column's
//       block written in pieces of 1 MiB; FITS: ffpcld in the same chunks;
//       then fsync()
//   Delete1000  1,000 rows deleted from the middle: c_tbrdel  vs  the rows
//       after them moved up in pieces of 1 MiB (in each column's block of a
//       column-ordered table), the rows freed at the end zeroed and the row
//       count written / ffdrow; then fsync()
//   Insert1000  1,000 rows inserted in the middle: tbrsft of the table
//       library (the c_ entry points have no insertion)  vs  the rows after
//       them moved down in pieces of 1 MiB and the row count written /
//       ffirow; then fsync()
//   Sessions1000  1,000 sessions of one cell each in a seeded random row:
//       c_tbtopn, c_tbeptd, c_tbtclo  vs  open, pwrite, fsync, close /
//       ffopen, ffpcld, ffclos, fsync(); the time of them all
//   ReadCell  a read-only open and one cell read, kReads times: c_tbtopn
//       (READ_ONLY), c_tbegtd, c_tbtclo  vs  open, pread, close / ffopen,
//       ffmahd, ffgcvd, ffclos
// Goals: each ratio within 3x (ReadCell of FITS 1.5x, of binary tables
// none: it is held against three system calls); our sessions sync at most
// 10 times (Cells) or 4 times (Sessions1000), counted through the file
// layer's seam; our peak memory stays within the change cache's bound and
// kBuffers more.  Every row also reports the bytes written and the peak
// memory of both sides (bench_cost.h).  Each change is checked outside the
// timed part: the values or row counts a reader then finds (CFITSIO for
// FITS, the table library read-only for binary tables), and no journal
// left behind.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fitsio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench_check.h"
#include "bench_cost.h"
#include "bench_ratio.h"
#include "change_tables.h"
#include "halvo/c_tables.h"
#include "tablelib/tables.h"
#include "vos/error.h"

namespace {

using bench::check;
using bench::check_status;
using bench::Kind;
using bench::measure;
using bench::Table;

constexpr int kSmall = 100, kLarge = 1024;  // table sizes in MB
constexpr int kColumnChunk = 1 << 16;       // rows of one column put
constexpr int kMoved = 1000;                // rows deleted or inserted
constexpr int kSessions = 1000;
constexpr int kReads = 200;
constexpr long long kChunk = 1 << 20;       // bytes of one baseline transfer
constexpr long long kCache = 32LL << 20;    // the change cache's default bound
constexpr long long kBuffers = 4LL << 20;   // buffers besides the cache

enum class Op { Cells1000, Cells10000, Column, Delete1000, Insert1000, Sessions1000, ReadCell };

const char* op_name(Op op) {
  switch (op) {
    case Op::Cells1000: return "Cells1000";
    case Op::Cells10000: return "Cells10000";
    case Op::Column: return "Column";
    case Op::Delete1000: return "Delete1000";
    case Op::Insert1000: return "Insert1000";
    case Op::Sessions1000: return "Sessions1000";
    case Op::ReadCell: return "ReadCell";
  }
  return "";
}

Table& table(Kind kind, int mb) { return bench::table("bench_session", kind, mb, true); }

// ---- the binary layout, for the baselines ------------------------------------------

long long be(const unsigned char* p, int n) {
  long long v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

void put_be32(unsigned char* p, long long v) {
  for (int i = 3; i >= 0; --i, v >>= 8) p[i] = static_cast<unsigned char>(v & 0xff);
}

// Where a binary table's cells lie, read from its size record and column
// records (numbers big-endian, places and lengths in 2-byte units).
struct Layout {
  long long header = 0;  // bytes before the rows
  long long allrows = 0, allrowlen = 0;
  bool rows = true;      // row-ordered
  long long off[3] = {}, len[3] = {};
  int nrows = 0;

  // The byte place of column c's cell in row r (1-based).
  long long cell(int c, long long r) const {
    return header + 2 * (rows ? (r - 1) * allrowlen + off[c] : off[c] * allrows + (r - 1) * len[c]);
  }
};

Layout layout_of(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  unsigned char w[48];
  check(fd >= 0 && ::pread(fd, w, 48, 0) == 48, "size record");
  Layout l;
  const long long maxpar = be(w + 4, 4), maxcols = be(w + 20, 4);
  l.nrows = int(be(w + 8, 4));
  l.allrows = be(w + 12, 4);
  l.allrowlen = be(w + 28, 4);
  l.rows = be(w + 32, 4) == bench::kRowOrdered;
  l.header = 2 * (24 + 40 * maxpar + 32 * maxcols);
  for (int c = 0; c < 3; ++c) {
    unsigned char slot[12];
    check(::pread(fd, slot, 12, 48 + 80 * maxpar + 64 * c) == 12, "column record");
    l.off[c] = be(slot + 4, 4);
    l.len[c] = be(slot + 8, 4);
  }
  ::close(fd);
  return l;
}

// Moves n bytes of `fd` from `from` to `to` in pieces of kChunk, in the
// order that never overwrites bytes still to move.
void move_bytes(int fd, long long from, long long to, long long n) {
  std::vector<char> buf(static_cast<std::size_t>(kChunk));
  const bool up = to < from;
  for (long long done = 0; done < n;) {
    const long long k = std::min(kChunk, n - done);
    const long long at = up ? done : n - done - k;
    check(::pread(fd, buf.data(), std::size_t(k), from + at) == k, "pread");
    check(::pwrite(fd, buf.data(), std::size_t(k), to + at) == k, "pwrite");
    done += k;
  }
}

void zero_bytes(int fd, long long at, long long n) {
  const std::vector<char> zeros(std::size_t(std::min(n, kChunk)), 0);
  for (long long done = 0; done < n;) {
    const long long k = std::min<long long>(static_cast<long long>(zeros.size()), n - done);
    check(::pwrite(fd, zeros.data(), std::size_t(k), at + done) == k, "pwrite");
    done += k;
  }
}

void put_nrows(int fd, int nrows) {
  unsigned char w[4];
  put_be32(w, nrows);
  check(::pwrite(fd, w, 4, 8) == 4, "pwrite");
}

// The bytes of a double as the binary tables hold it (big-endian).
void double_be(double v, unsigned char* out) {
  std::uint64_t u;
  std::memcpy(&u, &v, 8);
  for (int i = 7; i >= 0; --i, u >>= 8) out[i] = static_cast<unsigned char>(u & 0xff);
}

// ---- the changes ---------------------------------------------------------------------

struct Change {
  Op op;
  std::vector<int> rows;  // the rows of the cells (Cells, Sessions, ReadCell)
  double value = 0;
  int mid = 0;            // the first row deleted, or the row the inserted ones go before
};

int serial() {
  static int n = 0;
  return ++n;
}

Change next_change(Op op, const Table& t, int nrows) {
  Change c{op, {}, 0.25 + serial(), nrows / 2};
  static std::mt19937 rng(20260611u);
  std::uniform_int_distribution<int> row(1, nrows);
  const int cells = op == Op::Cells1000 ? 1000
                    : op == Op::Cells10000 ? 10000
                    : op == Op::Sessions1000 ? kSessions
                    : op == Op::ReadCell ? kReads
                                         : 0;
  for (int i = 0; i < cells; ++i) c.rows.push_back(row(rng));
  (void)t;
  return c;
}

// The values a whole-column rewrite puts: value + r.
const std::vector<double>& column_values(double value, int first, int n) {
  static std::vector<double> v;
  v.resize(std::size_t(n));
  for (int k = 0; k < n; ++k) v[std::size_t(k)] = value + first + k;
  return v;
}

void ours(const Table& t, const Change& c, long& syncs) {
  auto session = [&](const auto& body) {
    bench::sync_count() = 0;
    TablePtr tp = c_tbtopn(t.name.c_str(), TBL_READ_WRITE, nullptr);
    body(tp, c_tbcnum(tp, 1));
    c_tbtclo(tp);
    syncs = std::max(syncs, bench::sync_count());
  };
  switch (c.op) {
    case Op::Cells1000:
    case Op::Cells10000:
      session([&](TablePtr tp, ColumnPtr d) {
        for (int r : c.rows) c_tbeptd(tp, d, r, c.value);
      });
      break;
    case Op::Column:
      session([&](TablePtr tp, ColumnPtr d) {
        const int n = c_tbpsta(tp, bench::kParRows);
        for (int first = 1; first <= n; first += kColumnChunk) {
          const int last = std::min(n, first + kColumnChunk - 1);
          c_tbcptd(tp, d, column_values(c.value, first, last - first + 1).data(), first, last);
        }
      });
      break;
    case Op::Delete1000:
      session([&](TablePtr tp, ColumnPtr) { c_tbrdel(tp, c.mid, c.mid + kMoved - 1); });
      break;
    case Op::Insert1000: {
      bench::sync_count() = 0;
      try {
        tbl::Table* tp = tbl::tbtopn(t.name, tbl::kReadWrite, nullptr);
        tbl::tbrsft(tp, c.mid, kMoved);
        tbl::tbtclo(tp);
      } catch (const vos::Error& e) {
        check(false, e.message().c_str());
      }
      syncs = std::max(syncs, bench::sync_count());
      break;
    }
    case Op::Sessions1000:
      for (int r : c.rows)
        session([&](TablePtr tp, ColumnPtr d) { c_tbeptd(tp, d, r, c.value); });
      break;
    case Op::ReadCell:
      for (int r : c.rows) {
        TablePtr tp = c_tbtopn(t.name.c_str(), TBL_READ_ONLY, nullptr);
        double v = 0;
        c_tbegtd(tp, c_tbcnum(tp, 1), r, &v);
        c_tbtclo(tp);
      }
      break;
  }
  check(true, "our session");
}

// The baseline of a binary table, on its plain copy laid out as `l`.
void plain_binary(const Table& t, Layout& l, const Change& c) {
  if (c.op == Op::ReadCell) {
    for (int r : c.rows) {
      const int fd = ::open(t.plain.c_str(), O_RDONLY);
      char v[8];
      check(fd >= 0 && ::pread(fd, v, 8, l.cell(0, r)) == 8 && ::close(fd) == 0, "pread baseline");
    }
    return;
  }
  unsigned char v[8];
  double_be(c.value, v);
  if (c.op == Op::Sessions1000) {
    for (int r : c.rows) {
      const int fd = ::open(t.plain.c_str(), O_RDWR);
      check(fd >= 0 && ::pwrite(fd, v, 8, l.cell(0, r)) == 8 && ::fsync(fd) == 0 && ::close(fd) == 0,
            "pwrite baseline");
    }
    return;
  }
  const int fd = ::open(t.plain.c_str(), O_RDWR);
  check(fd >= 0, "open baseline");
  switch (c.op) {
    case Op::Cells1000:
    case Op::Cells10000:
      for (int r : c.rows) check(::pwrite(fd, v, 8, l.cell(0, r)) == 8, "pwrite");
      break;
    case Op::Column: {
      std::vector<unsigned char> buf(static_cast<std::size_t>(kChunk));
      if (l.rows) {
        const long long per = kChunk / (2 * l.allrowlen);  // rows of one piece
        for (long long first = 1; first <= l.nrows; first += per) {
          const long long n = std::min<long long>(per, l.nrows - first + 1);
          const long long bytes = n * 2 * l.allrowlen;
          check(::pread(fd, buf.data(), std::size_t(bytes), l.cell(0, first) - 2 * l.off[0]) == bytes, "pread");
          for (long long k = 0; k < n; ++k)
            double_be(c.value + double(first + k), buf.data() + k * 2 * l.allrowlen + 2 * l.off[0]);
          check(::pwrite(fd, buf.data(), std::size_t(bytes), l.cell(0, first) - 2 * l.off[0]) == bytes, "pwrite");
        }
      } else {
        const long long per = kChunk / 8;
        for (long long first = 1; first <= l.nrows; first += per) {
          const long long n = std::min<long long>(per, l.nrows - first + 1);
          for (long long k = 0; k < n; ++k) double_be(c.value + double(first + k), buf.data() + 8 * k);
          check(::pwrite(fd, buf.data(), std::size_t(8 * n), l.cell(0, first)) == 8 * n, "pwrite");
        }
      }
      break;
    }
    case Op::Delete1000:
    case Op::Insert1000: {
      const bool del = c.op == Op::Delete1000;
      const long long moved = del ? l.nrows - (c.mid + kMoved) + 1 : l.nrows - c.mid + 1;
      if (l.rows) {
        const long long row = 2 * l.allrowlen, start = l.cell(0, 1) - 2 * l.off[0];
        const long long src = start + (del ? c.mid + kMoved - 1 : c.mid - 1) * row;
        const long long dst = start + (del ? c.mid - 1 : c.mid + kMoved - 1) * row;
        move_bytes(fd, src, dst, moved * row);
        if (del) zero_bytes(fd, start + (l.nrows - kMoved) * row, kMoved * row);
      } else {
        for (int k = 0; k < 3; ++k) {
          const long long cell = 2 * l.len[k];
          const long long src = l.cell(k, del ? c.mid + kMoved : c.mid);
          const long long dst = l.cell(k, del ? c.mid : c.mid + kMoved);
          move_bytes(fd, src, dst, moved * cell);
          if (del) zero_bytes(fd, l.cell(k, l.nrows - kMoved + 1), kMoved * cell);
        }
      }
      l.nrows += del ? -kMoved : kMoved;
      put_nrows(fd, l.nrows);
      break;
    }
    default: break;
  }
  check(::fsync(fd) == 0 && ::close(fd) == 0, "fsync baseline");
}

void cfitsio_in_place(const Table& t, const Change& c) {
  int status = 0, hdutype = 0;
  fitsfile* f = nullptr;
  auto open = [&](int mode) {
    ffopen(&f, t.name.c_str(), mode, &status);
    ffmahd(f, 2, &hdutype, &status);
  };
  auto close = [&](bool sync) {
    ffclos(f, &status);
    check_status(status, "CFITSIO in place");
    if (sync) bench::fsync_path(t.name);
  };
  switch (c.op) {
    case Op::ReadCell:
      for (int r : c.rows) {
        double v = 0;
        int anynul = 0;
        open(READONLY);
        ffgcvd(f, 1, r, 1, 1, 0, &v, &anynul, &status);
        close(false);
      }
      return;
    case Op::Sessions1000:
      for (int r : c.rows) {
        double v = c.value;
        open(READWRITE);
        ffpcld(f, 1, r, 1, 1, &v, &status);
        close(true);
      }
      return;
    default: break;
  }
  open(READWRITE);
  switch (c.op) {
    case Op::Cells1000:
    case Op::Cells10000:
      for (int r : c.rows) {
        double v = c.value;
        ffpcld(f, 1, r, 1, 1, &v, &status);
      }
      break;
    case Op::Column: {
      LONGLONG n = 0;
      ffgnrwll(f, &n, &status);
      for (LONGLONG first = 1; first <= n && status == 0; first += kColumnChunk) {
        const int k = int(std::min<LONGLONG>(kColumnChunk, n - first + 1));
        ffpcld(f, 1, first, 1, k, const_cast<double*>(column_values(c.value, int(first), k).data()), &status);
      }
      break;
    }
    case Op::Delete1000: ffdrow(f, c.mid, kMoved, &status); break;
    case Op::Insert1000: ffirow(f, c.mid - 1, kMoved, &status); break;
    default: break;
  }
  close(true);
}

// ---- the checks ----------------------------------------------------------------------

// What a reader finds: the rows, and the "d" cells of `rows`.
struct Seen {
  long long nrows = 0;
  std::vector<double> d;
};

Seen seen(const Table& t, Kind kind, const std::vector<int>& rows) {
  Seen s;
  s.d.resize(rows.size());
  if (kind == Kind::Fits) {
    int status = 0, hdutype = 0, anynul = 0;
    fitsfile* f = nullptr;
    ffopen(&f, t.name.c_str(), READONLY, &status);
    ffmahd(f, 2, &hdutype, &status);
    ffgnrwll(f, &s.nrows, &status);
    for (std::size_t i = 0; i < rows.size(); ++i) ffgcvd(f, 1, rows[i], 1, 1, 0, &s.d[i], &anynul, &status);
    ffclos(f, &status);
    check_status(status, "reading back");
  } else {
    TablePtr tp = c_tbtopn(t.name.c_str(), TBL_READ_ONLY, nullptr);
    s.nrows = c_tbpsta(tp, bench::kParRows);
    for (std::size_t i = 0; i < rows.size(); ++i) c_tbegtd(tp, c_tbcnum(tp, 1), rows[i], &s.d[i]);
    c_tbtclo(tp);
    check(true, "reading back");
  }
  struct stat st;
  check(::stat((t.name + "-journal").c_str(), &st) != 0, "journal left behind");
  return s;
}

// Checks what a reader finds after change `c` (made on a table of
// `nrows` rows).
void expect(const Table& t, Kind kind, const Change& c, long long nrows) {
  switch (c.op) {
    case Op::Cells1000:
    case Op::Cells10000:
    case Op::Sessions1000: {
      const Seen s = seen(t, kind, {c.rows.back()});
      check(s.d[0] == c.value && s.nrows == nrows, "cells");
      break;
    }
    case Op::Column: {
      const std::vector<int> rows = {1, int(nrows / 3), int(nrows)};
      const Seen s = seen(t, kind, rows);
      for (std::size_t i = 0; i < rows.size(); ++i) check(s.d[i] == c.value + rows[i], "column");
      break;
    }
    case Op::Delete1000:
      check(seen(t, kind, {}).nrows == nrows - kMoved, "rows deleted");
      break;
    case Op::Insert1000:
      check(seen(t, kind, {}).nrows == nrows + kMoved, "rows inserted");
      break;
    case Op::ReadCell: break;
  }
}

long long rows_now(const Table& t, Kind kind) { return seen(t, kind, {}).nrows; }

// ---- the benchmarks ------------------------------------------------------------------

// A binary table's read-only open is held against three system calls
// (open, pread, close): the row only informs.
double goal_of(Op op, Kind kind) {
  if (op != Op::ReadCell) return 3;
  return kind == Kind::Fits ? 1.5 : 0;
}
long syncs_goal(Op op) {
  return op == Op::Cells1000 || op == Op::Cells10000 ? 10 : op == Op::Sessions1000 ? 4 : 0;
}

void Versus(benchmark::State& state, Kind kind, Op op, int mb) {
  Table& t = table(kind, mb);
  static std::map<std::string, Layout> layouts;  // of the plain copies, as the baselines change them
  if (kind != Kind::Fits && layouts.count(t.plain) == 0) layouts[t.plain] = layout_of(t.plain);
  bench::Pair pair(goal_of(op, kind));
  bench::Cost ours_cost, base_cost;
  long syncs = 0;
  for (auto _ : state) {
    long long nrows = rows_now(t, kind);
    Change c = next_change(op, t, int(nrows));
    state.SetIterationTime(measure(pair, true, ours_cost, [&] { ours(t, c, syncs); }));
    expect(t, kind, c, nrows);
    nrows = rows_now(t, kind);
    c = next_change(op, t, int(nrows));
    if (kind == Kind::Fits) {
      measure(pair, false, base_cost, [&] { cfitsio_in_place(t, c); });
      expect(t, kind, c, nrows);
    } else {
      Layout& l = layouts[t.plain];
      measure(pair, false, base_cost, [&] { plain_binary(t, l, c); });
    }
  }
  pair.report(state);
  bench::report_cost(state, ours_cost, base_cost, 0);
  state.counters["peak_goal_kB"] = double(op == Op::ReadCell ? kBuffers : kCache + kBuffers) / 1024;
  if (op != Op::ReadCell) bench::report_syncs(state, syncs, syncs_goal(op));
}

int iterations(Op op) {
  switch (op) {
    case Op::Cells1000:
    case Op::ReadCell: return 7;
    case Op::Sessions1000: return 2;
    default: return 3;
  }
}

}  // namespace

int main(int argc, char** argv) {
  c_vosinit();
  bench::count_syncs();
  const char* env = std::getenv("BENCH_LARGE");
  std::vector<int> sizes = {kSmall};
  if (env != nullptr && *env != '\0') sizes.push_back(kLarge);
  const Op ops[] = {Op::Cells1000, Op::Cells10000, Op::Column,   Op::Delete1000,
                    Op::Insert1000, Op::Sessions1000, Op::ReadCell};
  const Kind kinds[] = {Kind::Row, Kind::Col, Kind::Fits};
  for (int mb : sizes)
    for (Op op : ops)
      for (Kind kind : kinds)
        benchmark::RegisterBenchmark(
            (std::string(op_name(op)) + "/" + bench::kind_name(kind) + "/" + bench::size_name(mb)).c_str(),
            [=](benchmark::State& s) { Versus(s, kind, op, mb); })
            ->Iterations(iterations(op))
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
