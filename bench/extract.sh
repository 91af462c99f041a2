#!/bin/sh
# Extract7z against 7zz on one package of about 250 MB (about 2,000 files, a
# quarter random bytes, the rest text; LZMA2 -mx5, one solid block).
# Usage: bench/extract.sh [BUILD_DIR]
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-${BUILD_DIR:-$root/build}}"
work="$build/bench_extract"
rm -rf "$work" && mkdir -p "$work/src"
python3 - "$work/src" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(7)
words = ["".join(rng.choice("abcdefghilmnoprstuvz") for _ in range(rng.randint(2, 11)))
         for _ in range(5000)]
for i in range(2000):
    folder = os.path.join(root, "d%02d" % (i % 40))
    os.makedirs(folder, exist_ok=True)
    if i % 4 == 0:
        with open(os.path.join(folder, "r%04d.bin" % i), "wb") as f:
            f.write(os.urandom(124 * 1024 + rng.randint(0, 2048)))
    else:
        lines = []
        size = 0
        while size < 125 * 1024:
            line = " ".join(rng.choice(words) for _ in range(12)) + "\r\n"
            lines.append(line)
            size += len(line)
        with open(os.path.join(folder, "t%04d.txt" % i), "w") as f:
            f.write("".join(lines))
PY
(cd "$work/src" && 7zz a -t7z -m0=LZMA2 -mx5 -ms=on -bd -bso0 -bsp0 ../package.7z . >/dev/null)
echo "package: $(du -sm "$work/src" | cut -f1) MB in $(find "$work/src" -type f | wc -l) files," \
     "archive $(( $(stat -c %s "$work/package.7z") / 1048576 )) MB," \
     "$(7zz l -slt "$work/package.7z" | sed -n 's/^Blocks = //p') solid block(s)"

export WINEPREFIX="$build/wineprefix"
"$build/wine-run.sh" cmd /c exit >/dev/null 2>&1 || true
t0=$(date +%s.%N)
/usr/bin/time -f "7zz peak RSS %M KB" 7zz x -mmt1 -bd -bso0 -bsp0 -o"$work/out_7zz" "$work/package.7z"
t1=$(date +%s.%N)
out=$("$build/wine-run.sh" "$build/bench/extract_bench.exe" "Z:$(echo "$work/package.7z" | tr / '\\')" \
      "Z:$(echo "$work/out_ours/" | tr / '\\')")
t2=$(date +%s.%N)
echo "7zz x -mmt1: $(echo "$t1 - $t0" | bc) s"
echo "Extract7z under Wine: $out (process wall $(echo "$t2 - $t1" | bc) s)"
diff -r "$work/out_7zz" "$work/out_ours" >/dev/null && echo "trees identical" || echo "TREES DIFFER"
