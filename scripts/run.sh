#!/usr/bin/env bash
# Runs the setup on this machine, as the tests do: sets the machine up, builds,
# makes the sample packages and a Wine prefix (with the .NET Framework 4.8
# value, so the wizard starts on its first page) and starts the local update
# server as the setup's HTTP proxy.
#  - With a display ($DISPLAY set): opens the wizard for a person to click
#    through, in the prefix build/run/prefix.
#  - Without one (or with --drive): drives a whole new-office installation
#    under a virtual display and prints where its screenshots, log, installed
#    folders and register are.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

"$root/scripts/bootstrap.sh"
mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" >"$build/build.log" 2>&1 || { tail -60 "$build/build.log"; exit 1; }
(cd "$build" && ctest -R '^fixture_wizard_(prefix|packages)$' >/dev/null) || {
  echo "run.sh: the prefix or the sample packages could not be made" >&2
  exit 1
}

if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--drive" ]; then
  run="$build/run"
  export WINEPREFIX="$run/prefix" WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  if [ ! -d "$WINEPREFIX" ]; then
    mkdir -p "$run"
    cp -a "$build/testdata/wizard_prefix" "$WINEPREFIX"
  fi
  rm -rf "$run/server_root"
  cp -a "$build/testdata/e2e_packages" "$run/server_root"
  echo "Update server log: $run/requests.log"
  exec python3 "$root/tools/update_server.py" --root "$run/server_root" \
    --log "$run/requests.log" -- wine "$build/setup/ZAN2025.exe"
fi

# The new-office road of the end-to-end tests, under a name of its own so a
# test run does not overwrite what it leaves.
mkdir -p "$build/run"
cp "$build/tests/e2e_end_test.exe" "$build/run/wizard_road.exe"
E2E_BUILD_DIR="$build" sh "$root/tests/wizard/run_e2e.sh" "$build/run/wizard_road.exe" \
  --gtest_filter=EndRoad.NewOfficeOnC --gtest_color=no
drive_c="$build/e2e/wizard_road/prefix/drive_c"
echo
echo "Screenshots:       $build/screenshots/wizard_road/new_office/"
echo "Setup log:         $(ls "$drive_c"/users/*/AppData/Local/DesktopApp/DesktopApp_setup_log.txt)"
echo "Platform folder:   $drive_c/ZAN/PM01234/"
echo "DesktopApp folder: $drive_c/ZAN/DesktopApp/"
echo "Register:          $drive_c/ZAN/PM01234/ZAN_Shared/SharedInfo"
