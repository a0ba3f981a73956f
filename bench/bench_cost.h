// What one call costs the process besides time: the bytes it handed to the
// system to write (every file, the journal included), the bytes it read,
// the bytes it made dirty for the disk, and how far its resident memory
// rose.  A benchmark measures a side with Meter and reports the worst
// iteration as counters next to the paired times of bench_ratio.h:
//   ours_bytes, base_bytes        bytes written (write and pwrite calls)
//   ours_peak_kB, base_peak_kB    rise of the peak resident size
//   bytes_goal                    the most bytes `ours` may write (0: none)
// scripts/bench.sh shows them in its table when a benchmark reports them.
//
// The counters come from /proc/self/io (wchar, rchar, write_bytes) and
// /proc/self/status (VmRSS, VmHWM); the peak is reset through
// /proc/self/clear_refs before each measured call, after freed memory has
// been given back, so that only memory the call itself touched counts.
#pragma once

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_ratio.h"

namespace bench {

// The process's I/O counters; all zero when /proc/self/io cannot be read.
struct Io {
  long long wchar = 0, rchar = 0, disk = 0;
};

inline Io io_now() {
  Io io;
  std::FILE* f = std::fopen("/proc/self/io", "r");
  if (f == nullptr) return io;
  char key[64];
  long long v = 0;
  while (std::fscanf(f, "%63s %lld", key, &v) == 2) {
    if (std::strcmp(key, "wchar:") == 0) io.wchar = v;
    else if (std::strcmp(key, "rchar:") == 0) io.rchar = v;
    else if (std::strcmp(key, "write_bytes:") == 0) io.disk = v;
  }
  std::fclose(f);
  return io;
}

// A field of /proc/self/status in kB ("VmRSS:", "VmHWM:"); 0 when absent.
inline long status_kb(const char* field) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return 0;
  char line[256];
  long kb = 0;
  const std::size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f) != nullptr)
    if (std::strncmp(line, field, n) == 0) kb = std::strtol(line + n, nullptr, 10);
  std::fclose(f);
  return kb;
}

// The worst of several measured calls of one side.
struct Cost {
  long long written = 0, read = 0, disk = 0;
  long peak_kb = 0;
};

// Measures the calls made between start() and stop() into `cost`.
class Meter {
 public:
  explicit Meter(Cost& cost) : cost_(cost) {}

  void start() {
    ::malloc_trim(0);
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", f);  // the peak resident size starts again from now
      std::fclose(f);
    }
    rss_ = status_kb("VmRSS:");
    io_ = io_now();
  }

  void stop() {
    const Io now = io_now();
    cost_.written = std::max(cost_.written, now.wchar - io_.wchar);
    cost_.read = std::max(cost_.read, now.rchar - io_.rchar);
    cost_.disk = std::max(cost_.disk, now.disk - io_.disk);
    cost_.peak_kb = std::max(cost_.peak_kb, status_kb("VmHWM:") - rss_);
  }

 private:
  Cost& cost_;
  Io io_;
  long rss_ = 0;
};

// Runs `f` once as one side of `pair` (ours when `is_ours`, else the
// baseline) with its cost measured into `cost`; its seconds.
template <class F>
double measure(Pair& pair, bool is_ours, Cost& cost, F&& f) {
  Meter meter(cost);
  meter.start();
  const double s = is_ours ? pair.ours(f) : pair.base(f);
  meter.stop();
  return s;
}

// Adds the counters of both sides to `state` (see above); the bytes read and
// made dirty go in as ours_read_bytes, ours_disk_bytes and the same for base.
inline void report_cost(benchmark::State& state, const Cost& ours, const Cost& base,
                        double bytes_goal) {
  state.counters["ours_bytes"] = double(ours.written);
  state.counters["base_bytes"] = double(base.written);
  state.counters["ours_peak_kB"] = double(ours.peak_kb);
  state.counters["base_peak_kB"] = double(base.peak_kb);
  state.counters["ours_read_bytes"] = double(ours.read);
  state.counters["base_read_bytes"] = double(base.read);
  state.counters["ours_disk_bytes"] = double(ours.disk);
  state.counters["base_disk_bytes"] = double(base.disk);
  state.counters["bytes_goal"] = bytes_goal;
}

}  // namespace bench
