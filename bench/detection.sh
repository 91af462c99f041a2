#!/bin/sh
# The start-up search on a drive of 1,000 offices (detection_bench, timed
# inside the process), against find listing the same tree and reading its
# marker files, alternating over the rounds.
#   bench/detection.sh <build folder> [same|split] [rounds] [offices]
set -eu
. "$(dirname "$0")/common.sh"
bench_start "$1" "${2:-same}"
rounds="${3:-5}"
offices="${4:-1000}"
for r in $(seq "$rounds"); do
  out=$(bench_ours "$build/bench/detection_bench.exe" "$offices" keep)
  # The best of the program's three searches; the tree as Linux sees it.
  ours=$(printf '%s\n' "$out" | sed -n 's/^run [0-9]: .*: \([0-9.]*\) s\r*$/\1/p' | sort -n | head -1)
  tree=$(printf '%s\n' "$out" | sed -n 's/^tree C:\(.*\)\r*$/\1/p' | tr '\\' / | tr -d '\r')
  tree="$WINEPREFIX/drive_c$tree"
  peer=$(bench_peer sh -c 'find "$1" -type f -print0 | xargs -0 cat' sh "$tree")
  rm -rf "$tree"
  bench_record "$r" "$ours" "$peer"
done
bench_summary "start-up search ($offices offices)" "find+cat"
