#!/usr/bin/env bash
# Starts the built setup as scripts/run.sh shows it, on what the build and the
# fixtures wizard_prefix and wizard_packages made; it builds and configures
# nothing, so a check can run it as it is:
#   tools/run_setup.sh [--with-update] [--drive] [--run DIR]
# The build folder is $BUILD_DIR (default <repo>/build); the run folder DIR
# (default <build>/run) holds what a run makes.
#  - With a display ($DISPLAY) and without --drive: the wizard opens for a
#    person, in the Wine prefix DIR/prefix (made once, kept between runs), from
#    a fresh copy of the setup in DIR/setup/ (a self-update replaces that copy,
#    never the build's). The prefix has no drive leading outside DIR: Wine's
#    Z: (the machine's root) is removed, so the setup neither offers nor
#    searches the machine's own folders, and the setup starts from drive R:,
#    which is DIR. The local update server is its HTTP proxy, serving
#    DIR/server_root and reading misbehaviour rules from DIR/rules.txt (see
#    tools/update_server.py). Its setup information names the built setup's
#    own version, so no update is offered; with --with-update it names the
#    setup_next build, whose package it serves, and the setup updates itself
#    and starts again. The server stays up until every process of the prefix
#    has ended, the restarted setup included.
#  - Otherwise: drives a new-office installation under a virtual display, with
#    the end-to-end road EndRoad.NewOfficeOnC (tools/wizard_driver/run_e2e.sh).
# Wine runs with the Italian locale, so its own buttons (Avanti, Annulla...)
# speak the language of the pages. Both modes end by printing, each with a
# label, what the run made; the exit code is the setup's (cut to 8 bits by
# wine) or the driven road's.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
run=""
with_update=0
drive=0
while [ $# -gt 0 ]; do
  case "$1" in
    --with-update) with_update=1 ;;
    --drive) drive=1 ;;
    --run) run="${2:?--run needs a folder}"; shift ;;
    *) echo "usage: run_setup.sh [--with-update] [--drive] [--run DIR]" >&2; exit 2 ;;
  esac
  shift
done
[ -n "${DISPLAY:-}" ] || drive=1
if [ "$drive" -eq 1 ] && [ "$with_update" -eq 1 ]; then
  echo "run_setup.sh: --with-update is for the wizard opened on a display (the driven road skips the update)" >&2
  exit 2
fi
run="${run:-$build/run}"
mkdir -p "$run"
run="$(cd "$run" && pwd)"
data="$build/testdata"
. "$root/tools/wizard_driver/machine.sh"

for needed in "$build/setup/ZAN2025.exe" "$data/wizard_prefix/system.reg" "$data/e2e_packages/update"; do
  if [ ! -e "$needed" ]; then
    echo "run_setup.sh: $needed is missing (build, then run the fixtures wizard_prefix and wizard_packages)" >&2
    exit 1
  fi
done

if ! locale -a 2>/dev/null | grep -qix 'it_IT\.utf-\?8'; then
  echo "run_setup.sh: the locale it_IT.UTF-8 is missing (scripts/bootstrap.sh makes it): Wine's buttons will be in English" >&2
fi
unset LANGUAGE
export LANG=it_IT.UTF-8 LC_ALL=it_IT.UTF-8
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# The user's folder of a prefix (drive_c/users/<name>).
user_home() {
  local home
  for home in "$1"/drive_c/users/*/; do
    if [ "$(basename "$home")" != Public ] && [ -d "$home/AppData" ]; then
      echo "${home%/}"
      return
    fi
  done
  echo "$1/drive_c/users/$(id -un)"
}

# Prints, each with a label, what a run made in a prefix ("(not made)" where
# the run did not get that far).
#   print_made <prefix> <desktop folder, "" for the user's> ["Label|path"...]
print_made() {
  local prefix="$1" drive_c="$1/drive_c" user office found=0 line
  user="$(user_home "$prefix")"
  local desktop="${2:-$user/Desktop}"
  shift 2
  made() {  # <label> <path>
    if [ -e "$2" ]; then printf '%-19s%s\n' "$1:" "$2"; else printf '%-19s%s (not made)\n' "$1:" "$2"; fi
  }
  echo
  made "Prefix" "$prefix"
  made "Setup log" "$user/AppData/Local/DesktopApp/DesktopApp_setup_log.txt"
  for office in "$drive_c"/ZAN/PM*/; do
    [ -d "$office" ] || continue
    found=1
    made "Platform folder" "$office"
    made "Register" "${office}ZAN_Shared/SharedInfo"
  done
  if [ "$found" -eq 0 ]; then
    made "Platform folder" "$drive_c/ZAN/PM<code>/"
    made "Register" "$drive_c/ZAN/PM<code>/ZAN_Shared/SharedInfo"
  fi
  made "DesktopApp folder" "$drive_c/ZAN/DesktopApp/"
  made "Desktop shortcut" "$desktop/Servizi ZAN.lnk"
  for line in "$@"; do
    made "${line%%|*}" "${line#*|}"
  done
}

if [ "$drive" -eq 1 ]; then
  # The new-office road of the end-to-end tests, under a name of its own so a
  # test run does not overwrite what it leaves.
  cp "$build/tests/e2e_end_test.exe" "$run/wizard_road.exe"
  rc=0
  E2E_BUILD_DIR="$build" sh "$root/tools/wizard_driver/run_e2e.sh" "$run/wizard_road.exe" \
    --gtest_filter=EndRoad.NewOfficeOnC --gtest_color=no || rc=$?
  prefix="$build/e2e/wizard_road/prefix"
  # The road points the desktop at a folder of its own prefix.
  print_made "$prefix" "$prefix/drive_c/users/Public/e2e_desktop" \
    "Update server log|$build/e2e/wizard_road/requests.log" \
    "Screenshots|$build/screenshots/wizard_road/new_office/"
  exit $rc
fi

# The product version of an executable (its version block), four numbers.
version_of() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    sys.exit("no version block in " + sys.argv[1])
ms, ls = struct.unpack_from("<II", data, at + 16)  # the product version
print("%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
PY
}

prefix="$run/prefix"
export WINEPREFIX="$prefix"
if [ ! -f "$prefix/system.reg" ]; then
  # As run_e2e.sh makes a test's prefix.
  rm -rf "$prefix"
  copy_prefix "$data/wizard_prefix" "$prefix"
fi
# On every run, also for a prefix an earlier version of this script made.
confine_drives "$prefix" "$run"

# The setup runs from a copy of its own: its update renames and replaces the
# file it was started from.
rm -rf "$run/setup"
mkdir -p "$run/setup"
cp "$build/setup/ZAN2025.exe" "$run/setup/ZAN2025.exe"

rm -rf "$run/server_root"
cp -a --reflink=auto "$data/e2e_packages" "$run/server_root"
: >"$run/rules.txt"
built="$(version_of "$build/setup/ZAN2025.exe")"
offered="$(tr -d '\r\n' <"$run/server_root/update/setup_ZAN2025.txt")"
if [ "$with_update" -eq 1 ]; then
  if [ ! -f "$build/setup_next/ZAN2025.exe" ] || [ "$offered" = "$built" ]; then
    echo "run_setup.sh: the sample packages hold no newer setup than $built (build setup_next, then run the fixture wizard_packages)" >&2
    exit 1
  fi
else
  # Every environment's setup information names the built setup's version.
  for info in "$run/server_root"/update/setup_ZAN2025*.txt; do
    printf '%s\r\n' "$built" >"$info"
  done
fi

# A Ctrl-C (or a check giving up) ends the prefix's programs too.
trap 'wineserver -k </dev/null >/dev/null 2>&1; exit 130' INT TERM

# Wine's services are started first, with their output elsewhere (they outlive
# the setup); the server ends 3 s after the last program, which `wineserver -w`
# waits for.
wineserver -p3 </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

setup="$(drivepath "$run" "$run/setup/ZAN2025.exe")"
echo "Setup:             $run/setup/ZAN2025.exe ($setup, $built; the server offers $(tr -d '\r\n' <"$run/server_root/update/setup_ZAN2025.txt"))"
rc=0
# The server runs the setup and stops after the command; the command lasts as
# long as the prefix has programs, so a setup restarted by its update still
# finds its server.
python3 "$root/tools/update_server.py" --root "$run/server_root" --log "$run/requests.log" \
  --rules-file "$run/rules.txt" -- \
  sh -c 'cd "$1" && wine "$2" </dev/null; rc=$?; wineserver -w; exit $rc' sh "$run/setup" "$setup" || rc=$?

print_made "$prefix" "" "Update server log|$run/requests.log"
exit $rc
