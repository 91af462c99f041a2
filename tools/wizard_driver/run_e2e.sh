#!/bin/sh
# Runs one end-to-end test program against the real setup:
#   run_e2e.sh <program.exe> [gtest arguments]
#
# The program gets a machine of its own, so that programs run in parallel:
#  - a Wine prefix copied from the prepared one (tools/fixtures/wizard_prefix.sh)
#    with its own wineserver, killed at the end;
#  - a virtual display of its own (Xvfb picks a free number itself), so its
#    windows and screenshots meet no other program's;
#  - tools/update_server.py as the setup's HTTP proxy, serving a copy of the
#    sample packages (tools/fixtures/wizard_packages.sh), logging requests and
#    reading a rules file the wizard driver (tools/wizard_driver/) writes.
# The driver reads the E2E_* variables exported below. Screenshots land in
# <build>/screenshots/<program>/<scenario>/ and are turned into PNG files.
set -u
program="$1"
shift
name=$(basename "$program" .exe)
root="$(cd "$(dirname "$0")/../.." && pwd)"
. "$root/tools/wizard_driver/machine.sh"

build="${E2E_BUILD_DIR:-}"
if [ -z "$build" ]; then
  build="$(cd "$(dirname "$program")" && pwd)"
  while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
fi
data="${E2E_TEST_DATA:-$build/testdata}"
work="$build/e2e/$name"
shots="$build/screenshots/$name"
prefix="$work/prefix"

for needed in "$data/wizard_prefix/system.reg" "$data/e2e_packages/update" "$build/wine-run.sh"; do
  if [ ! -e "$needed" ]; then
    echo "run_e2e.sh: $needed is missing (run the fixtures wizard_prefix and wizard_packages)" >&2
    exit 1
  fi
done

xvfb_pid=""
cleanup() {
  WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 124' INT TERM

rm -rf "$work" "$shots"
mkdir -p "$work" "$shots"
copy_prefix "$data/wizard_prefix" "$prefix"
cp -a --reflink=auto "$data/e2e_packages" "$work/server_root"
: >"$work/rules.txt"
start_display "$work" || exit 1

export WINEPREFIX="$prefix" WINEDEBUG="${E2E_WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export_driver "$build" "$name" "$shots"
export E2E_SERVER_ROOT="$(winpath "$work/server_root")"
export E2E_REQUEST_LOG="$(winpath "$work/requests.log")"
export E2E_RULES_FILE="$(winpath "$work/rules.txt")"

# The prefix's wineserver is started here, ending by itself 10 s after the
# last program: when ctest kills a run that timed out, no trap runs, and a
# server kept for ever would hold the prefix. Wine's services are started with
# their output elsewhere (they outlive the test; see wine-run.sh).
wineserver -p10 </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

python3 "$root/tools/update_server.py" --root "$work/server_root" --log "$work/requests.log" \
  --rules-file "$work/rules.txt" -- "$build/wine-run.sh" "$program" "$@"
rc=$?

WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1
png_shots "$shots"
exit $rc
