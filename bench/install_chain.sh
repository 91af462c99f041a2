#!/bin/sh
# The whole install chain under Wine against curl and 7zz, by hand (not in CI):
#   bench/install_chain.sh <build folder> [rounds]
# Packages: Korval about 250 MB in 2,000 files (a quarter random bytes, the
# rest text; LZMA2 -mx5, one solid block) and DesktopApp about 50 MB, with its
# descriptor. Ours: the real setup driven by bench/install_chain.cpp through
# tools/wizard_driver/run_e2e.sh (its own prefix, display and update server), timed
# from "Sheet active -> WIZ_INSTALL" to "Sheet active -> WIZ_END" in the
# setup's log. Peer: curl fetching the same three files through the same kind
# of server, then 7zz x -mmt1 of both archives. Each side runs with all its
# processes (Wine's server, the update server) pinned to one CPU, so both pay
# for their server on the same CPU; rounds alternate. Needs the fixtures
# wizard_prefix and wizard_packages (run them with ctest first).
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
build="$(cd "$1" && pwd)"
rounds="${2:-3}"
data="$build/bench_install"
cpu=$(($(nproc) - 1))
host=$(sed -n 's/^ZAN_UPDATE_HOST:STRING=//p' "$build/CMakeCache.txt")
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

if [ ! -s "$data/server/update/desktopapp.xml" ]; then
  rm -rf "$data" && mkdir -p "$data/korval" "$data/desktopapp"
  python3 - "$data" "$root/tools" "$build/tools/stand_in.exe" "$host" <<'PY'
import os, random, shutil, sys
data, tools, stand_in, host = sys.argv[1:5]
sys.path.insert(0, tools)
import build_packages
rng = random.Random(7)
words = ["".join(rng.choice("abcdefghilmnoprstuvz") for _ in range(rng.randint(2, 11)))
         for _ in range(5000)]
def text(size):
    lines, n = [], 0
    while n < size:
        line = " ".join(rng.choice(words) for _ in range(12)) + "\r\n"
        lines.append(line)
        n += len(line)
    return "".join(lines).encode()
def tree(root, count, size, top):
    for i in range(count):
        folder = os.path.join(root, top, "d%02d" % (i % 40))
        os.makedirs(folder, exist_ok=True)
        data_ = os.urandom(size) if i % 4 == 0 else text(size)
        with open(os.path.join(folder, "f%04d.%s" % (i, "bin" if i % 4 == 0 else "txt")), "wb") as f:
            f.write(data_)
korval = os.path.join(data, "korval")
shutil.rmtree(korval)
build_packages.korval_tree(korval, stand_in)
tree(korval, 2000, 125 * 1024, "FILES")
app = os.path.join(data, "desktopapp")
shutil.rmtree(app)
build_packages.desktopapp_tree(app, stand_in, "1.2.3.4")
tree(app, 400, 125 * 1024, "1.2.3.4")
server = os.path.join(data, "server", "update")
build_packages.pack(korval, os.path.join(server, "korval", "korval2025.7z"))
build_packages.pack(app, os.path.join(server, "desktopapp", "production", "desktopapp.7z"))
build_packages.write(os.path.join(server, "desktopapp.xml"),
    '<?xml version="1.0" encoding="UTF-8"?>\r\n<rel>\r\n'
    "  <download_url>http://%s/update/desktopapp/production/desktopapp.7z</download_url>\r\n"
    "  <number>1.2.3.4</number>\r\n  <checksum>%s</checksum>\r\n</rel>\r\n"
    % (host, build_packages.folder_checksum(app, "1.2.3.4")))
PY
fi
korval="$data/server/update/korval/korval2025.7z"
app="$data/server/update/desktopapp/production/desktopapp.7z"
echo "Korval $(du -sm "$data/korval" | cut -f1) MB in $(find "$data/korval" -type f | wc -l) files," \
     "archive $(($(stat -c %s "$korval") / 1048576)) MB; DesktopApp $(du -sm "$data/desktopapp" | cut -f1) MB," \
     "archive $(($(stat -c %s "$app") / 1048576)) MB; CPU $cpu"

times=""
for r in $(seq "$rounds"); do
  # Ours, with the setup's peak resident size read from Linux meanwhile.
  peak_file="$data/peak_rss"; : >"$peak_file"
  (while :; do
     pid=$(pgrep -f 'ZAN2025.exe' | head -1 || true)
     [ -n "$pid" ] && sed -n 's/^VmHWM:[^0-9]*\([0-9]*\).*/\1/p' "/proc/$pid/status" 2>/dev/null >>"$peak_file"
     sleep 0.5
   done) &
  watcher=$!
  out=$(E2E_BUILD_DIR="$build" taskset -c "$cpu" sh "$root/tools/wizard_driver/run_e2e.sh" \
        "$build/bench/install_chain_bench.exe" "$(winpath "$korval")" "$(winpath "$app")" \
        "$(winpath "$data/server/update/desktopapp.xml")" 2>&1 | grep '^chain seconds' || true)
  kill "$watcher" 2>/dev/null || true
  [ -n "$out" ] || { echo "round $r: the setup did not reach WIZ_END" >&2; exit 1; }
  ours=$(echo "$out" | sed -n 's/^chain seconds \([0-9.]*\).*/\1/p')
  rss=$(sort -n "$peak_file" | tail -1)

  # Peer: the same three files through an update server, then 7zz.
  rm -rf "$data/peer" && mkdir -p "$data/peer"
  peer=$(taskset -c "$cpu" python3 "$root/tools/update_server.py" --root "$data/server" -- sh -c '
    s=$(date +%s%N)
    for p in update/korval/korval2025.7z update/desktopapp.xml update/desktopapp/production/desktopapp.7z; do
      curl -s -o "$1/$(basename $p)" "http://$2/$p"
    done
    7zz x -mmt1 -y -bd -bso0 -bsp0 -o"$1/korval" "$1/korval2025.7z"
    7zz x -mmt1 -y -bd -bso0 -bsp0 -o"$1/desktopapp" "$1/desktopapp.7z"
    echo "scale=3; ($(date +%s%N) - $s) / 1000000000" | bc' sh "$data/peer" "$host" | tail -1)
  echo "round $r: ours $ours s ($out; peak RSS from Linux $((${rss:-0} / 1024)) MB), peer $peer s"
  times="$times $ours:$peer"
done
python3 - $times <<'PY'
import statistics, sys
pairs = [tuple(map(float, p.split(":"))) for p in sys.argv[1:]]
f = lambda xs: "min %.2f median %.2f" % (min(xs), statistics.median(xs))
print("install chain (%d rounds): ours s %s; curl + 7zz s %s; ratio %s"
      % (len(pairs), f([o for o, _ in pairs]), f([p for _, p in pairs]),
         f([o / p for o, p in pairs])))
PY
