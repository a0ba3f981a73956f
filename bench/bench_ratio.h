// Paired measurements: a benchmark that holds a speed goal times our path
// and its baseline side by side in every iteration and reports four
// counters, which scripts/bench.sh collects from every benchmark program's
// JSON output into one table:
//   ours_s  seconds of our path (the best iteration)
//   base_s  seconds of the baseline (the best iteration)
//   ratio   ours_s / base_s
//   goal    the highest acceptable ratio (0: none, the row only informs)
// The best iteration of each side is kept because the machine is shared:
// a slow iteration says more about the neighbours than about the code.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <limits>
#include <utility>

namespace bench {

class Pair {
 public:
  explicit Pair(double goal) : goal_(goal) {}

  // Runs `f` once as our path; returns its seconds.
  template <class F>
  double ours(F&& f) {
    return keep(ours_, std::forward<F>(f));
  }

  // Runs `f` once as the baseline; returns its seconds.
  template <class F>
  double base(F&& f) {
    return keep(base_, std::forward<F>(f));
  }

  // Adds the four counters to `state` (nothing when a side never ran).
  void report(benchmark::State& state) const {
    if (ours_ == kNone || base_ == kNone || base_ <= 0) return;
    state.counters["ours_s"] = ours_;
    state.counters["base_s"] = base_;
    state.counters["ratio"] = ours_ / base_;
    state.counters["goal"] = goal_;
  }

  double ours_s() const { return ours_; }
  double base_s() const { return base_; }

 private:
  static constexpr double kNone = std::numeric_limits<double>::infinity();

  template <class F>
  static double keep(double& best, F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
    return s;
  }

  double goal_;
  double ours_ = kNone;
  double base_ = kNone;
};

}  // namespace bench
