#!/usr/bin/env bash
# Runs the setup on this machine, as the tests do:
#   scripts/run.sh [--with-update] [--drive]
# Sets the machine up, builds, makes the sample packages and a Wine prefix
# (with the .NET Framework 4.8 value, so the wizard starts on its first page;
# made once, again only when Wine or its script changed), then hands over to
# tools/run_setup.sh, which starts the setup with the local update server as
# its HTTP proxy, in the run folder build/run:
#  - With a display ($DISPLAY set): opens the wizard for a person to click
#    through (prefix build/run/prefix, whose only drives are C: and R:, the
#    run folder), from a copy of the setup in build/run/setup/. The server
#    offers no newer setup; with --with-update it offers the setup_next
#    build, to show the setup updating itself.
#  - Without one (or with --drive): drives a whole new-office installation
#    under a virtual display.
# Both print, each with a label, where the prefix, the setup log, the
# installed folders, the register and the desktop shortcut are.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

for option in "$@"; do
  case "$option" in
    --with-update | --drive) ;;
    *) echo "usage: scripts/run.sh [--with-update] [--drive]" >&2; exit 2 ;;
  esac
done

"$root/scripts/bootstrap.sh"
mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" >"$build/build.log" 2>&1 || { tail -60 "$build/build.log"; exit 1; }
(cd "$build" && ctest -R '^fixture_wizard_(prefix|packages)$' >/dev/null) || {
  echo "run.sh: the prefix or the sample packages could not be made" >&2
  exit 1
}

BUILD_DIR="$build" exec "$root/tools/run_setup.sh" --run "$build/run" "$@"
