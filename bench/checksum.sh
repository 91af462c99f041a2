#!/bin/sh
# Folder checksum benchmark: a DesktopApp tree of about 250 MB in some two
# thousand files, hashed by checksum_bench under Wine and by md5sum, warm cache,
# best of three rounds each; prints both times and their ratio.
#   bench/checksum.sh <build folder> [scratch folder]
set -eu
build="$(cd "$1" && pwd)"
scratch="${2:-$(mktemp -d)}"
tree="$scratch/bin"
if [ ! -d "$tree/9.8.7.6" ]; then
  python3 - "$tree" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(7)
total = 0
for i in range(2000):
    folder = ["", "9.8.7.6", "9.8.7.6/locales", "9.8.7.6/locales/x/y"][i % 4]
    # Mostly small files and a few large ones, as in a browser-based app.
    size = rng.choice([2000, 8000, 30000, 60000]) if i % 50 else 4500000
    path = os.path.join(root, folder, "f%04d.bin" % i)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(os.urandom(size))
    total += size
print("tree: %d files, %.0f MB" % (2000, total / 1e6))
PY
fi
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
winpath="Z:$(echo "$tree" | tr / '\\')"
cat $(find "$tree" -type f) > /dev/null
ours=$("$build/wine-run.sh" "$build/bench/checksum_bench.exe" "$winpath" 9.8.7.6 3 |
       tee /dev/stderr | sed -n 's/.*, \([0-9.]*\) ms.*/\1/p' | sort -n | head -1)
best=""
for r in 1 2 3; do
  s=$(date +%s%N)
  find "$tree" -type f -print0 | xargs -0 md5sum > /dev/null
  e=$(( ($(date +%s%N) - s) / 1000000 ))
  echo "md5sum round $r: $e ms" >&2
  if [ -z "$best" ] || [ "$e" -lt "$best" ]; then best=$e; fi
done
echo "checksum: $ours ms, md5sum: $best ms, ratio $(python3 -c "print(round($ours / $best, 2))")"
