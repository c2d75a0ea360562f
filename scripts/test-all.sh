#!/usr/bin/env bash
# Builds Wellvox and runs every test: the asan suite through CTest (the same tests as
# the dev preset, built with the address and undefined-behaviour sanitizers), a
# warning-free release build, then the fuzz targets, two at a time, each replaying its
# committed corpus before fuzzing for a bounded time (WV_FUZZ_SECONDS, 20 s).
# Prints each stage's time and ends with "N passed, N skipped, N failed"; exits
# non-zero on the first failing stage.
set -euo pipefail
cd "$(dirname "$0")/.."

passed=0
skipped=0
failed=0
stage_name=""
stage_start=0
stage_times=()
script_start=${EPOCHREALTIME/./}

seconds_since() {
  local us=$((${EPOCHREALTIME/./} - $1))
  printf '%d.%d' $((us / 1000000)) $((us / 100000 % 10))
}

stage() {
  end_stage
  stage_name=$1
  stage_start=${EPOCHREALTIME/./}
  echo "=== ${stage_name}"
}

end_stage() {
  if [ -n "$stage_name" ]; then
    stage_times+=("$(printf '%-24s %7s s' "$stage_name" "$(seconds_since "$stage_start")")")
    stage_name=""
  fi
}

finish() {
  local rc=$?
  # Fuzzers still running when a stage failed are this script's own children.
  local running
  running=$(jobs -p)
  [ -z "$running" ] || kill $running 2>/dev/null || true
  end_stage
  echo "=== times"
  ((${#stage_times[@]} == 0)) || printf '  %s\n' "${stage_times[@]}"
  printf '  %-24s %7s s\n' "total" "$(seconds_since "$script_start")"
  if [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
    failed=1
  fi
  echo "${passed} passed, ${skipped} skipped, ${failed} failed"
  exit "$rc"
}
trap finish EXIT

stage "dependencies"
scripts/deps.sh

export TZ=UTC

# The asan build compiles every test the dev preset does, with more checks, so CI runs
# only this suite; the dev preset stays for quick local runs.
stage "asan: configure, build"
cmake --preset asan >/dev/null
cmake --build --preset asan

stage "asan: tests"
junit="$PWD/build/asan/ctest-junit.xml"
rm -f "$junit"
set +e
ctest --preset asan --output-junit "$junit" 2>&1 | tee build/asan/ctest-summary.log
rc=${PIPESTATUS[0]}
set -e
# The report's opening element carries tests="N" failures="N" disabled="N" skipped="N".
count() { grep -m 1 -o "$1=\"[0-9]*\"" "$junit" | grep -o '[0-9]*' || echo 0; }
if [ -f "$junit" ]; then
  total=$(count tests)
  bad=$(count failures)
  not_run=$(($(count skipped) + $(count disabled)))
  passed=$((passed + total - bad - not_run))
  skipped=$((skipped + not_run))
  failed=$((failed + bad))
fi
if [ "$rc" -ne 0 ]; then
  exit "$rc"
fi

# The optimised build (the one scripts/run.sh starts) must stay warning-free too: the
# program, the simulator program and the benchmark, with what they link.
stage "release: configure, build"
cmake --preset release >/dev/null
cmake --build --preset release --target wellvox wv-instrument-sim bench_download

# The fuzz preset configures only the headless libraries (no Qt, no programs), and
# wv_fuzzers builds the targets and what they link.
stage "fuzz: configure, build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target wv_fuzzers

seconds="${WV_FUZZ_SECONDS:-20}"
stage "fuzz: run (${seconds}s each)"

# Replays the committed corpus (-runs=0 executes every input once and stops; a crash
# fails it), then fuzzes from a copy of it, so new inputs stay out of the tree. Writes
# the target's exit status to build/fuzz/<name>.status and its output to <name>.log.
run_fuzzer() {
  local fuzzer=$1 name corpus work log rc=0 step="replaying its committed corpus"
  name=$(basename "$fuzzer")
  corpus="fuzz/corpus/$name"
  log="build/fuzz/$name.log"
  work=$(mktemp -d)
  : >"$log"
  if [ -d "$corpus" ]; then
    echo "--- replaying $corpus ($(find "$corpus" -type f | wc -l) inputs)" >>"$log"
    "$fuzzer" -runs=0 -artifact_prefix="build/fuzz/$name-" "$corpus" >>"$log" 2>&1 || rc=$?
    cp -r "$corpus/." "$work/"
  else
    echo "--- $name has no committed corpus in $corpus" >>"$log"
  fi
  if [ "$rc" -eq 0 ]; then
    step="fuzzing"
    echo "--- fuzzing for ${seconds}s" >>"$log"
    "$fuzzer" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="build/fuzz/$name-" "$work" \
      >>"$log" 2>&1 || rc=$?
  fi
  rm -rf "$work"
  echo "$rc" >"build/fuzz/$name.status"
  if [ "$rc" -eq 0 ]; then
    echo "fuzz: $name passed"
  else
    echo "fuzz: $name failed while ${step} (exit status $rc)"
  fi
}

fuzzers=()
for fuzzer in build/fuzz/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] && fuzzers+=("$fuzzer")
done
for fuzzer in "${fuzzers[@]}"; do
  rm -f "build/fuzz/$(basename "$fuzzer").status"
  while (($(jobs -rp | wc -l) >= 2)); do
    wait -n || true
  done
  run_fuzzer "$fuzzer" &
done
wait

status=0
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer")
  if [ "$(cat "build/fuzz/$name.status" 2>/dev/null)" = 0 ]; then
    passed=$((passed + 1))
  else
    echo "=== fuzz: $name found a fault (build/fuzz/$name.log):"
    tail -n 40 "build/fuzz/$name.log"
    failed=$((failed + 1))
    status=1
  fi
done
exit $status
