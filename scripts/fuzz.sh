#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer in build-fuzz/ and runs
# each for the given number of seconds (default 60), FUZZ_JOBS of them at a
# time (default 3), then prints the executions and seconds of each target.
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
    -DQUOREL_SANITIZE=ON -DQUOREL_FUZZ=ON -DQUOREL_BENCH=OFF "${launcher[@]}" || exit 1
fi
cmake --build "$build" --target quorel_fuzzers || exit 1

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$build"/fuzz/*.dir; do targets+=("$(basename "$f" .dir)"); done
fi

mkdir -p "$build/fuzz/logs" "$build/fuzz/corpus"

# An allocation the allocator cannot make at all (beyond a terabyte) fails as
# it does in an ordinary build, where the libraries under the targets report
# it; any allocation above the memory limit is still a failure of the input.
export ASAN_OPTIONS="allocator_may_return_null=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

# Runs one target for the given time; its summary line goes to
# logs/<name>.summary.  A time-out that the input does not repeat when run
# alone (three times) was the machine's, not the input's: a loaded machine
# can stretch any input past the second.  Such an input is dropped and the
# target goes on for the rest of its time (at most 20 rounds).
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
  : >"$log"
  local execs=0 ran=0 dropped=0 round result=ok
  for ((round = 0; round < 20 && ran < seconds; ++round)); do
    local before
    before=$(ls "$inputs/regressions")
    local started=$SECONDS
    QUOREL_TIME_SCALE=0.001 "$exe" -max_total_time=$((seconds - ran)) -rss_limit_mb=512 \
      -timeout=1 -print_final_stats=1 -artifact_prefix="$inputs/regressions/" "${dict[@]}" \
      "$work" "$inputs/seeds" "$inputs/regressions" >>"$log" 2>&1
    local status=$?
    ran=$((ran + SECONDS - started))
    local n
    n=$(awk '/stat::number_of_executed_units/ {print $2}' "$log" | tail -1)
    execs=$((execs + ${n:-0}))
    [ $status -eq 0 ] && break
    local f kept=0 new=0
    for f in $(ls "$inputs/regressions"); do
      grep -qxF "$f" <<<"$before" && continue
      new=1
      if [[ $f == timeout-* ]] &&
        QUOREL_TIME_SCALE=0.001 "$exe" -runs=3 -rss_limit_mb=512 -timeout=1 \
          "$inputs/regressions/$f" >>"$log.recheck" 2>&1; then
        rm -f "$inputs/regressions/$f"
        dropped=$((dropped + 1))
        continue
      fi
      kept=1
      QUOREL_TIME_SCALE=0.001 "$exe" -minimize_crash=1 -max_total_time=60 -rss_limit_mb=512 \
        -timeout=1 -exact_artifact_path="$inputs/regressions/$f.min" \
        "$inputs/regressions/$f" >>"$log.minimise" 2>&1
      [ -s "$inputs/regressions/$f.min" ] && mv "$inputs/regressions/$f.min" "$inputs/regressions/$f"
      rm -f "$inputs/regressions/$f.min"
      result="$result, saved regressions/$f"
    done
    # A failure that left no input, or a real one: stop here.
    if [ $kept -eq 1 ] || [ $new -eq 0 ]; then
      result="FAILED (see $log)${result#ok}"
      break
    fi
  done
  [ $dropped -gt 0 ] && result="$result; $dropped time-outs of the machine dropped"
  printf '%-28s %14s %8s  %s\n' "$name" "$execs" "$ran" "$result" \
    >"$build/fuzz/logs/$name.summary"
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
printf '%-28s %14s %8s  %s\n' target executions seconds result
for t in "${targets[@]}"; do
  cat "$build/fuzz/logs/$t.summary"
  grep -q FAILED "$build/fuzz/logs/$t.summary" && failed=1
done
exit $failed
