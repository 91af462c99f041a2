#!/bin/sh
# Runs one end-to-end test program against the real setup:
#   run_e2e.sh <program.exe> [gtest arguments]
#
# The program gets a machine of its own, so that programs run in parallel:
#  - a Wine prefix copied from the prepared one (tests/fixtures/wizard_prefix.sh)
#    with its own wineserver, killed at the end;
#  - a virtual display of its own (Xvfb picks a free number itself), so its
#    windows and screenshots meet no other program's;
#  - tools/update_server.py as the setup's HTTP proxy, serving a copy of the
#    sample packages (tests/fixtures/wizard_packages.sh), logging requests and
#    reading a rules file the wizard driver (tools/wizard_driver/) writes.
# The driver reads the E2E_* variables exported below. Screenshots land in
# <build>/screenshots/<program>/<scenario>/ and are turned into PNG files.
set -u
program="$1"
shift
name=$(basename "$program" .exe)
root="$(cd "$(dirname "$0")/../.." && pwd)"

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
mkdir -p "$prefix/drive_c/windows" "$shots"

# The prefix: the two DLL folders (1.2 GB, only ever read) as hard links, the
# rest (registry, users, the rest of C:) as real copies.
copy_entries() {  # <from> <to>: every entry of a folder but drive_c and windows
  find "$1" -mindepth 1 -maxdepth 1 | while read -r entry; do
    case "${entry##*/}" in
      drive_c | windows) ;;
      system32 | syswow64) cp -al "$entry" "$2/" ;;
      *) cp -a --reflink=auto "$entry" "$2/" ;;
    esac
  done
}
copy_entries "$data/wizard_prefix" "$prefix"
copy_entries "$data/wizard_prefix/drive_c" "$prefix/drive_c"
copy_entries "$data/wizard_prefix/drive_c/windows" "$prefix/drive_c/windows"

cp -a --reflink=auto "$data/e2e_packages" "$work/server_root"
: >"$work/rules.txt"

# A display of its own.
display_file="$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
tries=0
while ! grep -q '^[0-9][0-9]*$' "$display_file" 2>/dev/null; do
  tries=$((tries + 1))
  if [ $tries -gt 200 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "run_e2e.sh: Xvfb did not start" >&2
    cat "$work/xvfb.log" >&2
    exit 1
  fi
  sleep 0.05
done
export DISPLAY=":$(cat "$display_file")"

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
setup_next="$build/setup_next/ZAN2025.exe"
[ -f "$setup_next" ] || setup_next="$build/setup/ZAN2025.exe"
export WINEPREFIX="$prefix" WINEDEBUG="${E2E_WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export E2E_PROGRAM="$name"
export E2E_BUILD_DIR_WIN="$(winpath "$build")"
export E2E_SETUP_EXE="$(winpath "$build/setup/ZAN2025.exe")"
export E2E_SETUP_NEXT_EXE="$(winpath "$setup_next")"
export E2E_SERVER_ROOT="$(winpath "$work/server_root")"
export E2E_REQUEST_LOG="$(winpath "$work/requests.log")"
export E2E_RULES_FILE="$(winpath "$work/rules.txt")"
export E2E_SCREENSHOTS="$(winpath "$shots")"

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
find "$shots" -name '*.bmp' | while read -r bmp; do
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit $rc
