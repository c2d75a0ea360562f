#!/usr/bin/env bash
# Builds Wellvox and runs every test: the dev and asan suites through CTest, then
# each fuzz target for a short bounded time. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

export TZ=UTC
passed=0
failed=0
for preset in dev asan; do
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "=== ${preset}: tests"
  log="build/${preset}/ctest-summary.log"
  set +e
  ctest --preset "$preset" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  set -e
  # "100% tests passed, 0 tests failed out of 335"
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$summary" ]; then
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$summary")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  if [ "$rc" -ne 0 ]; then
    echo "${passed} passed, $((failed > 0 ? failed : 1)) failed"
    exit "$rc"
  fi
done

# The optimised build (the one scripts/run.sh starts) must stay warning-free too.
echo "=== release: configure and build"
cmake --preset release >/dev/null
cmake --build --preset release

echo "=== fuzz: build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
seconds="${WV_FUZZ_SECONDS:-20}"
status=0
for fuzzer in build/fuzz/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$corpus/"
  echo "=== fuzz: $name for ${seconds}s"
  if ! "$fuzzer" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="build/fuzz/$name-" "$corpus" 2>"build/fuzz/$name.log"; then
    tail -n 40 "build/fuzz/$name.log"
    echo "fuzz target $name found a fault"
    status=1
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
  rm -rf "$corpus"
done
echo "${passed} passed, ${failed} failed"
exit $status
