#!/bin/sh
# Extract7z (extract_bench, timed inside the process) against 7zz x -mmt1 on
# one package of about 250 MB (about 2,000 files, a quarter random bytes, the
# rest text; LZMA2 -mx5, one solid block), alternating over the rounds.
#   bench/extract.sh <build folder> [same|split] [rounds]
set -eu
. "$(dirname "$0")/common.sh"
bench_start "$1" "${2:-same}"
rounds="${3:-5}"
work="$build/bench_extract"
if [ ! -s "$work/package.7z" ]; then
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
fi
echo "package: $(du -sm "$work/src" | cut -f1) MB in $(find "$work/src" -type f | wc -l) files," \
     "archive $(( $(stat -c %s "$work/package.7z") / 1048576 )) MB"
archive="Z:$(echo "$work/package.7z" | tr / '\\')"
for r in $(seq "$rounds"); do
  rm -rf "$work/out_ours" "$work/out_7zz"
  ours=$(bench_ours "$build/bench/extract_bench.exe" "$archive" "Z:$(echo "$work/out_ours/" | tr / '\\')" |
         sed -n 's/.* seconds \([0-9.]*\) .*/\1/p')
  peer=$(bench_peer 7zz x -mmt1 -bd -bso0 -bsp0 -o"$work/out_7zz" "$work/package.7z")
  bench_record "$r" "$ours" "$peer"
done
diff -r "$work/out_7zz" "$work/out_ours" >/dev/null && echo "trees identical" || echo "TREES DIFFER"
bench_summary extraction "7zz x -mmt1"
