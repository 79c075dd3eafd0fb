#!/usr/bin/env bash
# Runs the test suite of a build folder several times in a row on a busy
# machine: beside it runs a second copy of the suite (or a CPU load of every
# core) for as long as the runs last. Prints each run's counts and the
# failed tests, and fails if any run did. No test may depend on how promptly
# the host runs it, so every run must pass.
#
#   scripts/test-under-load.sh [build folder] [runs] [suite|cpu]
#
# (defaults: build, 5, suite). The second copy leaves out the test program's
# GUI tests, which share one Wine prefix and display.
set -uo pipefail
build=$(cd "${1:-build}" && pwd) || exit 2
runs=${2:-5}
load=${3:-suite}
jobs=$(nproc)
logs=$(mktemp -d "${TMPDIR:-/tmp}/test-under-load.XXXXXX")

# The second copy runs from a folder of its own holding only the build's
# CTest files (they name the tests by absolute paths), so that the two runs'
# logs and timings do not mix.
start_second_suite() {
  local copy=$logs/second-suite
  mkdir -p "$copy" && (cd "$build" && find . -name CTestTestfile.cmake -exec cp --parents {} "$copy" \;)
  setsid bash -c "while :; do ctest --test-dir '$copy' -j $jobs --timeout 300 -E '^app\\.' >/dev/null 2>&1; done" &
}
start_cpu_load() {
  setsid bash -c "for _ in \$(seq $jobs); do (while :; do :; done) & done; wait" &
}

case $load in
  suite) start_second_suite ;;
  cpu) start_cpu_load ;;
  *) echo "usage: $0 [build folder] [runs] [suite|cpu]" >&2; exit 2 ;;
esac
load_group=$!
trap 'kill -- -"$load_group" 2>/dev/null' EXIT

failed_runs=0 total_tests=0 total_failures=0
for run in $(seq "$runs"); do
  log=$logs/run-$run.log
  start=$SECONDS
  (cd "$build" && ctest -j "$jobs" --timeout 300 --output-on-failure) >"$log" 2>&1
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of' "$log" | tail -1)
  tests=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$summary")
  failures=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
  [ -n "$summary" ] || { tests=0; failures=1; }
  echo "run $run: $tests tests, $failures failed, $((SECONDS - start)) s"
  if [ "$failures" != 0 ]; then
    failed_runs=$((failed_runs + 1))
    sed -n '/The following tests FAILED/,$p' "$log" | grep -E '^\s+[0-9]+ - ' || true
    echo "  log: $log"
  fi
  total_tests=$((total_tests + tests))
  total_failures=$((total_failures + failures))
done

echo "$runs runs beside a $load load: $total_tests tests, $total_failures failed, $failed_runs runs failed"
[ "$failed_runs" -eq 0 ]
