#!/bin/sh
# The README's run command, checked as a person meets it on a display:
#   run_command_test.sh <build folder> <run_command_test.exe>
# For each scenario, tools/run_setup.sh (the launch part of scripts/run.sh)
# runs on a virtual display of this check's own with a run folder of its own;
# the driver program (run_command_test.cpp) then adopts, in the same prefix
# and display, the setup the script started. From outside: the script ends by
# itself once the prefix is empty, prints what it made with labels and no
# bare number, and leaves the build's setup as it was; the prefix it made has
# no drive leading outside its run folder; and the prepared prefix it copies
# is made once: the step scripts/run.sh takes before it on every run keeps it.
set -u
build="$(cd "$1" && pwd)"
program="$2"
root="$(cd "$(dirname "$0")/../.." && pwd)"
. "$root/tools/wizard_driver/machine.sh"
work="$build/run_command_test"
shots="$build/screenshots/run_command_test"

# Bounds, in seconds: the first request follows the prefix's copy and Wine's
# start; the script's end, Wine's own persistence (3 s) and the server's stop.
request_wait=90
end_wait=45

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

xvfb_pid=""
launcher=""
cleanup() {
  [ -n "$launcher" ] && kill "$launcher" 2>/dev/null
  for prefix in "$work"/*/prefix; do
    [ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1
  done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 124' INT TERM

rm -rf "$work" "$shots"
mkdir -p "$work" "$shots"
start_display "$work" || exit 1

setup_sum="$(sha256sum <"$build/setup/ZAN2025.exe")"
setup_files="$(ls -A "$build/setup")"

# within <seconds> <command...>: true once the command succeeds, polled every
# 0.1 s; false when it does not within the bound.
within() {
  polls=$(($1 * 10))
  shift
  until "$@"; do
    polls=$((polls - 1))
    [ $polls -gt 0 ] || return 1
    sleep 0.1
  done
}
asked() { grep -q '^GET /update/setup_zan2025.txt ' "$run/requests.log" 2>/dev/null; }
launcher_ended() { ! kill -0 "$launcher" 2>/dev/null; }
asked_or_ended() { asked || launcher_ended; }

# scenario <name> <gtest filter> [run_setup.sh options...]
scenario() {
  name="$1"
  filter="$2"
  shift 2
  run="$work/$name"
  out="$work/$name.out"
  echo "--- $name: tools/run_setup.sh $*"
  BUILD_DIR="$build" bash "$root/tools/run_setup.sh" --run "$run" "$@" </dev/null >"$out" 2>&1 &
  launcher=$!

  # The driver runs in the script's prefix: it starts once the setup, running
  # in the prefix made, has asked the server for its information.
  within $request_wait asked_or_ended
  if ! asked; then
    fail "$name: the setup asked the server nothing within $request_wait s"
    cat "$out"
    return
  fi

  # The prefix reaches nothing outside the run folder: what the driver reads
  # and writes is there, on the run folder's drive.
  check="$run/check"
  mkdir -p "$check/setup" "$check/setup_next" "$check/shots"
  cp "$build/setup/ZAN2025.exe" "$check/setup/"
  next="$build/setup_next/ZAN2025.exe"
  [ -f "$next" ] || next="$build/setup/ZAN2025.exe"
  cp "$next" "$check/setup_next/"
  WINEPREFIX="$run/prefix" \
    E2E_BUILD_DIR_WIN="$(drivepath "$run" "$check")" \
    E2E_SETUP_EXE="$(drivepath "$run" "$check/setup/ZAN2025.exe")" \
    E2E_SETUP_NEXT_EXE="$(drivepath "$run" "$check/setup_next/ZAN2025.exe")" \
    E2E_SCREENSHOTS="$(drivepath "$run" "$check/shots")" \
    E2E_SERVER_ROOT="$(drivepath "$run" "$run/server_root")" \
    E2E_REQUEST_LOG="$(drivepath "$run" "$run/requests.log")" \
    E2E_RULES_FILE="$(drivepath "$run" "$run/rules.txt")" \
    "$build/wine-run.sh" "$program" --gtest_filter="$filter" --gtest_color=no ||
    fail "$name: the driver program failed"
  cp -r "$check/shots/." "$shots/"

  # With the driver's setups ended, the prefix empties and the script ends by
  # itself.
  if ! within $end_wait launcher_ended; then
    fail "$name: run_setup.sh still runs $end_wait s after the driver ended"
    kill "$launcher" 2>/dev/null
    WINEPREFIX="$run/prefix" wineserver -k </dev/null >/dev/null 2>&1
  else
    wait "$launcher" || fail "$name: run_setup.sh ended with $?"
  fi
  launcher=""
  # Wine hands WINEPREFIX down to every program of a prefix and its wineserver.
  left="$(grep -lzxF "WINEPREFIX=$run/prefix" /proc/[0-9]*/environ 2>/dev/null)"
  [ -z "$left" ] || fail "$name: processes of the prefix outlived run_setup.sh: $(echo $left)"

  for label in "Prefix:" "Setup log:" "Platform folder:" "Register:" "DesktopApp folder:" \
    "Desktop shortcut:" "Update server log:"; do
    grep -q "^$label " "$out" || fail "$name: no \"$label\" line"
  done
  grep -q "^Prefix: *$run/prefix\$" "$out" || fail "$name: the prefix line does not name $run/prefix"
  ! grep -qx '[[:space:]]*[0-9][0-9]*[[:space:]]*' "$out" || fail "$name: a line holds a bare number"
}

# The prepared prefix as the fixture left it. scripts/run.sh asks the fixture
# for it again on every run: that must keep it, so the run's prefix, copied
# from it, keeps sharing its DLL folders.
prepared="$build/testdata/wizard_prefix"
identity() { stat -c '%i %y' "$1"; }
prepared_before="$(identity "$prepared/system.reg")"

scenario defaults 'RunCommand.WithoutOptions*'

sh "$root/tools/fixtures/wizard_prefix.sh" "$build/testdata" "$build" || fail "the prepared prefix could not be made again"
[ "$(identity "$prepared/system.reg")" = "$prepared_before" ] ||
  fail "making the prepared prefix again did not keep it"
dll=drive_c/windows/syswow64/kernel32.dll
[ "$(stat -c %i "$prepared/$dll")" = "$(stat -c %i "$work/defaults/prefix/$dll")" ] ||
  fail "the run's prefix no longer shares the prepared prefix's DLL folders"

scenario with_update 'RunCommand.WithUpdate*' --with-update
# The update replaced the run's copy, and only that.
cmp -s "$work/with_update/setup/ZAN2025.exe" "$build/setup_next/ZAN2025.exe" ||
  fail "with_update: the run's setup is not the newer build"

[ "$(sha256sum <"$build/setup/ZAN2025.exe")" = "$setup_sum" ] || fail "build/setup/ZAN2025.exe changed"
[ "$(ls -A "$build/setup")" = "$setup_files" ] || fail "the files of build/setup changed: $(ls -A "$build/setup" | tr '\n' ' ')"

png_shots "$shots"
if [ "$failures" -ne 0 ]; then
  echo "run_command_test: $failures failed checks"
  exit 1
fi
echo "run_command_test: every check held"
