#!/bin/sh
# Folder checksum benchmark: a DesktopApp tree of about 250 MB in some two
# thousand files, hashed by checksum_bench under Wine (timed inside the
# process) and by md5sum, warm cache, alternating over the rounds.
#   bench/checksum.sh <build folder> [same|split] [rounds] [scratch folder]
set -eu
. "$(dirname "$0")/common.sh"
bench_start "$1" "${2:-same}"
rounds="${3:-5}"
scratch="${4:-$build/bench_checksum}"
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
winpath="Z:$(echo "$tree" | tr / '\\')"
cat $(find "$tree" -type f) > /dev/null
for r in $(seq "$rounds"); do
  ms=$(bench_ours "$build/bench/checksum_bench.exe" "$winpath" 9.8.7.6 1 |
       sed -n 's/.*, \([0-9.]*\) ms.*/\1/p')
  peer=$(bench_peer sh -c 'find "$1" -type f -print0 | xargs -0 md5sum' sh "$tree")
  bench_record "$r" "$(echo "scale=4; $ms / 1000" | bc)" "$peer"
done
bench_summary checksum md5sum
