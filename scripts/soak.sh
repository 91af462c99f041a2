#!/usr/bin/env bash
# Runs the whole test suite N times in a row on a machine kept busy, to bring
# out tests that depend on timing (not part of CI):
#   scripts/soak.sh N [ctest arguments]
# Builds once, then runs scripts/test.sh N times while stress-ng keeps every
# CPU busy beside it. Prints each run's result and duration, its failed tests
# and failed scenarios, then "K of N green". Each run's whole output stays in
# <build>/soak/run-<i>.log.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
runs="${1:-}"
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/soak.sh N [ctest arguments]" >&2
  exit 2
fi
shift

# The build, once and on a quiet machine, as scripts/test.sh makes it (its own
# build step is then a no-op in every run).
"$root/scripts/bootstrap.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DZAN_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j "$(nproc)" >"$build/build.log" 2>&1 || { tail -60 "$build/build.log"; exit 1; }

logs="$build/soak"
rm -rf "$logs"
mkdir -p "$logs"

# The load: one CPU worker per CPU, for no longer than the runs can take.
stress_pid=""
stop_stress() {
  if [ -n "$stress_pid" ]; then
    kill "$stress_pid" 2>/dev/null || true
    wait "$stress_pid" 2>/dev/null || true
    stress_pid=""
  fi
}
trap stop_stress EXIT
trap 'exit 130' INT TERM
stress-ng --cpu "$(nproc)" --timeout "$((runs * 1800))s" --quiet &
stress_pid=$!
echo "stress-ng: $(nproc) CPU workers beside the suite"

green=0
for i in $(seq "$runs"); do
  log="$logs/run-$i.log"
  start=$(date +%s)
  rc=0
  BUILD_DIR="$build" "$root/scripts/test.sh" "$@" >"$log" 2>&1 || rc=$?
  seconds=$(($(date +%s) - start))
  if [ "$rc" -eq 0 ]; then
    green=$((green + 1))
    echo "Run $i of $runs: pass in ${seconds} s"
  else
    echo "Run $i of $runs: FAIL (exit $rc) in ${seconds} s; output: $log"
  fi
  # ctest's list of failed tests ("  12 - name (Failed)"), the gtest
  # scenarios that failed ("[  FAILED  ] Suite.Name (12 ms)", each once), and
  # the test programs that timed out once and were run again.
  sed -n '/The following tests FAILED:/,/Errors while running CTest/s/^[[:space:]]*[0-9][0-9]* - /  failed test: /p' "$log"
  sed -n 's/^\[  FAILED  \] \([A-Za-z0-9_/]*\.[A-Za-z0-9_/]*\).*/  failed scenario: \1/p' "$log" |
    sort -u
  sed -n 's/.*Test *#[0-9]*: \([^ ]*\) .*\*\*\*Timeout.*/  timed out (run again): \1/p' "$log" | sort -u
done
stop_stress
echo "$green of $runs green"
[ "$green" -eq "$runs" ]
