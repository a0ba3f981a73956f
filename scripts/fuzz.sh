#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer in build-fuzz/ and runs
# each for the given number of seconds (default 60), FUZZ_JOBS of them at a
# time (default 3), then prints the executions of each target.
#
#   scripts/fuzz.sh [seconds] [target...]
#
# Every run starts from the target's seeds and regression inputs (and what
# earlier runs found, kept in build-fuzz/fuzz/corpus/) and holds the limits
# the replay tests hold: 512 MB of memory, one second per input.  An input
# that fails is minimised and saved in the target's regressions/ folder
# beside its source, where the test command replays it from then on.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -gt 0 ] && shift
jobs=${FUZZ_JOBS:-3}
build=${FUZZ_BUILD_DIR:-build-fuzz}

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ and its libFuzzer runtime are needed (apt-get install clang)" >&2
  exit 1
fi

if [ ! -f "$build/build.ninja" ]; then
  launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE= -DCMAKE_C_FLAGS="-O1 -g" -DCMAKE_CXX_FLAGS="-O1 -g" \
    -DQUOREL_SANITIZE=ON -DQUOREL_FUZZ=ON -DQUOREL_BENCH=OFF \
    -DORVO_ROOT="$PWD/$build/orvo-root/" "${launcher[@]}" || exit 1
fi
cmake --build "$build" --target quorel_fuzzers || exit 1

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$build"/fuzz/*.dir; do targets+=("$(basename "$f" .dir)"); done
fi

mkdir -p "$build/fuzz/logs" "$build/fuzz/corpus"

# Runs one target; its summary line goes to logs/<name>.summary.
run_one() {
  local name=$1
  local exe="$build/fuzz/bin/$name"
  local inputs
  inputs=$(cat "$build/fuzz/$name.dir")
  # Absolute paths: a target may change its working directory.
  local work="$PWD/$build/fuzz/corpus/$name" log="$build/fuzz/logs/$name.log"
  local dict=()
  [ -f "$inputs.dict" ] && dict=(-dict="$inputs.dict")
  mkdir -p "$work" "$inputs/regressions"
  local before
  before=$(ls "$inputs/regressions")
  QUOREL_TIME_SCALE=0.001 "$exe" -max_total_time="$seconds" -rss_limit_mb=512 -timeout=1 \
    -print_final_stats=1 -artifact_prefix="$inputs/regressions/" "${dict[@]}" \
    "$work" "$inputs/seeds" "$inputs/regressions" >"$log" 2>&1
  local status=$?
  local execs
  execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log" | tail -1)
  local result=ok
  if [ $status -ne 0 ]; then
    result="FAILED (see $log)"
    local f
    for f in $(ls "$inputs/regressions"); do
      if ! grep -qxF "$f" <<<"$before"; then
        QUOREL_TIME_SCALE=0.001 "$exe" -minimize_crash=1 -max_total_time=60 -rss_limit_mb=512 \
          -timeout=1 -exact_artifact_path="$inputs/regressions/$f.min" \
          "$inputs/regressions/$f" >>"$log.minimise" 2>&1
        [ -s "$inputs/regressions/$f.min" ] && mv "$inputs/regressions/$f.min" "$inputs/regressions/$f"
        rm -f "$inputs/regressions/$f.min"
        result="$result, saved regressions/$f"
      fi
    done
  fi
  printf '%-28s %14s  %s\n' "$name" "${execs:-?}" "$result" >"$build/fuzz/logs/$name.summary"
}

running=0
for t in "${targets[@]}"; do
  if [ ! -x "$build/fuzz/bin/$t" ]; then
    echo "fuzz.sh: no target $t" >&2
    exit 1
  fi
  rm -f "$build/fuzz/logs/$t.summary"
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

failed=0
printf '%-28s %14s  %s\n' target executions result
for t in "${targets[@]}"; do
  cat "$build/fuzz/logs/$t.summary"
  grep -q FAILED "$build/fuzz/logs/$t.summary" && failed=1
done
exit $failed
