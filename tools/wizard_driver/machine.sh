# Shell helpers of the scripts that give the setup a machine of its own under
# Wine: tools/wizard_driver/run_e2e.sh, tests/run/run_command_test.sh and
# tools/run_setup.sh source this file (POSIX sh).

# copy_prefix <prepared prefix> <prefix>: a Wine prefix of its own; the two
# DLL folders (1.2 GB, only ever read) as hard links, the rest (registry,
# users, the rest of C:) as real copies.
copy_prefix() {
  mkdir -p "$2/drive_c/windows"
  copy_entries "$1" "$2"
  copy_entries "$1/drive_c" "$2/drive_c"
  copy_entries "$1/drive_c/windows" "$2/drive_c/windows"
}
copy_entries() {  # <from> <to>: every entry of a folder but drive_c and windows
  find "$1" -mindepth 1 -maxdepth 1 | while read -r entry; do
    case "${entry##*/}" in
      drive_c | windows) ;;
      system32 | syswow64) cp -al "$entry" "$2/" ;;
      *) cp -a --reflink=auto "$entry" "$2/" ;;
    esac
  done
}

# The drive the run command's prefix sees its run folder as (tools/run_setup.sh).
run_drive=R

# confine_drives <prefix> <folder>: the prefix's drives lead nowhere outside
# <folder>. Every drive link that does goes (Wine's Z:, the machine's root,
# with every drive Wine made for the machine's devices), and $run_drive: is
# <folder>. Only before the prefix's wineserver starts: a running one does not
# see a link added.
confine_drives() {
  folder="$(readlink -f "$2")"
  for link in "$1"/dosdevices/?: "$1"/dosdevices/?::; do
    [ -L "$link" ] || continue
    case "$(readlink -f "$link")/" in
      "$folder"/*) ;;
      *) rm -f "$link" ;;
    esac
  done
  ln -sfn "$folder" "$1/dosdevices/$(echo "$run_drive" | tr A-Z a-z):"
}

# drivepath <folder> <path>: a path inside <folder> as a prefix confined to
# it sees it, on $run_drive:.
drivepath() { printf '%s:%s' "$run_drive" "${2#"$1"}" | tr / '\\'; }

# start_display <folder>: a virtual display of its own (Xvfb picks a free
# number itself, so runs in parallel never meet); exports DISPLAY and sets
# xvfb_pid, or fails with Xvfb's output.
start_display() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$1/display" >"$1/xvfb.log" 2>&1 &
  xvfb_pid=$!
  tries=0
  while ! grep -q '^[0-9][0-9]*$' "$1/display" 2>/dev/null; do
    tries=$((tries + 1))
    if [ $tries -gt 200 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
      echo "Xvfb did not start" >&2
      cat "$1/xvfb.log" >&2
      return 1
    fi
    sleep 0.05
  done
  export DISPLAY=":$(cat "$1/display")"
}

# winpath <path>: a Linux path as the prefix's programs see it.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# export_driver <build> <program name> <screenshot folder>: what the wizard
# driver (tools/wizard_driver/driver.h) reads of the build, and where it
# saves its screenshots.
export_driver() {
  export E2E_PROGRAM="$2"
  export E2E_BUILD_DIR_WIN="$(winpath "$1")"
  export E2E_SETUP_EXE="$(winpath "$1/setup/ZAN2025.exe")"
  if [ -f "$1/setup_next/ZAN2025.exe" ]; then
    export E2E_SETUP_NEXT_EXE="$(winpath "$1/setup_next/ZAN2025.exe")"
  else
    export E2E_SETUP_NEXT_EXE="$E2E_SETUP_EXE"
  fi
  export E2E_SCREENSHOTS="$(winpath "$3")"
}

# png_shots <folder>: the driver's BMP screenshots turned into PNG files.
png_shots() {
  find "$1" -name '*.bmp' | while read -r bmp; do
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
}
