#!/bin/sh
# The test runner's reading of a Wine crash at a program's end:
#   wine_run_test.sh <build folder>
# wine-run.sh runs a stand-in "wine" that prints a test program's output and
# then dies of SIGSEGV, as Wine 8 now and then does while ending a process:
# after GoogleTest's closing summary the summary decides, before it the crash
# stands, and a program's own exit code passes unchanged.
set -u
build="$(cd "$1" && pwd)"
fake="$(mktemp -d)"
trap 'rm -rf "$fake"' EXIT
cat >"$fake/wine" <<'WINE'
#!/bin/sh
[ "$1" = cmd ] && exit 0
printf '%b' "$FAKE_OUTPUT"
[ "$FAKE_END" = crash ] && kill -SEGV $$
exit "$FAKE_END"
WINE
chmod +x "$fake/wine"

summary='[==========] 2 tests from 1 test suite ran. (0 ms total)\n'
failures=0
# case <name> <output> <end: crash or an exit code> <expected exit code>
case_() {
  rc=0
  FAKE_OUTPUT="$2" FAKE_END="$3" PATH="$fake:$PATH" \
    sh "$build/wine-run.sh" program.exe >"$fake/out" 2>&1 || rc=$?
  if [ "$rc" -ne "$4" ]; then
    echo "FAILED: $1: exit $rc, expected $4"
    cat "$fake/out"
    failures=$((failures + 1))
  fi
}
case_ "passed, then Wine crashed" "$summary[  PASSED  ] 2 tests.\n" crash 0
case_ "failed, then Wine crashed" "[  FAILED  ] A.B (1 ms)\n$summary[  FAILED  ] 1 test, listed below:\n" crash 1
case_ "Wine crashed before the summary" "[ RUN      ] A.B\n" crash 139
case_ "failed, no crash" "$summary[  FAILED  ] 1 test, listed below:\n" 1 1
grep -q 'Wine crashed (SIGSEGV)' "$fake/out" && { echo "FAILED: a plain failure mentions a crash"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] && echo "wine_run_test: every case held"
[ "$failures" -eq 0 ]
