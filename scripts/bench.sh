#!/usr/bin/env bash
# Builds the release preset, runs every benchmark program in bench/ and
# prints one table of the paired ratios (name, ours, baseline, ratio, goal).
#
#   scripts/bench.sh [NAME...]
#
# NAME picks programs by their name without "bench_" (e.g. binary fits);
# none runs them all.  BENCH_FILTER, when set, is passed on as
# --benchmark_filter.  BENCH_LARGE, when set (not empty), adds the 10^6-row
# cases of bench_rows to its 10^4 and 10^5 ones (about half a minute more),
# the 1 GB tables of bench_change to its 10 MB ones (about 4 GB of scratch
# files in the temporary directory, a few minutes more) and of
# bench_session to its 100 MB ones (about 6 GB, some minutes more).  Each
# program's own report goes to the standard error stream as it runs; its
# JSON is kept in build/bench-results/.  A benchmark joins the table by
# reporting the counters ours_s, base_s, ratio and goal (bench/bench_ratio.h),
# and adds its bytes written and peak memory with those of bench/bench_cost.h
# and the fsync calls of its sessions with those of bench/change_tables.h.
# The exit status is 1 when a program fails or a ratio or a count is above
# its goal.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >&2
cmake --build --preset default -j "$(nproc)" >&2

results=build/bench-results
rm -rf "$results"
mkdir -p "$results"
programs=()
if (($#)); then
  for n in "$@"; do programs+=("build/bench/bench_$n"); done
else
  for p in build/bench/bench_*; do
    [[ -x $p && -f $p ]] && programs+=("$p")
  done
fi
failed=0
for p in "${programs[@]}"; do
  name=$(basename "$p")
  echo "== $name" >&2
  args=(--benchmark_out="$results/$name.json" --benchmark_out_format=json)
  [[ -n ${BENCH_FILTER:-} ]] && args+=(--benchmark_filter="$BENCH_FILTER")
  if ! "$p" "${args[@]}" >&2; then
    echo "$name failed" >&2
    failed=1
  fi
done
status=0
python3 scripts/bench_table.py "$results"/*.json || status=$?
((failed == 0)) || status=1
exit "$status"
