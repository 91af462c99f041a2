#!/usr/bin/env bash
# Sets up the machine, builds the setup with its tests and runs them all under
# Wine (GUI tests under Xvfb). Extra arguments go to ctest.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

"$root/scripts/bootstrap.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DZAN_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j "$(nproc)" >"$build/build.log" 2>&1 || { tail -60 "$build/build.log"; exit 1; }

export WINEPREFIX="$build/wineprefix"
trap 'WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true' EXIT
cd "$build"
# Only a test program that timed out is run once more (a rare hang of Wine
# itself under parallel load); a failed assertion fails the run at once.
# Under a virtual display, so that tests which open windows or dialogs run
# them for real instead of skipping.
xvfb-run -a ctest --output-on-failure -j "$(nproc)" --repeat after-timeout:2 "$@"
