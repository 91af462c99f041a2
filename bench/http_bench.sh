#!/bin/sh
# A 200 MB download through WininetWrapper under Wine and through curl, both via
# the local update server as proxy. Usage: bench/http_bench.sh [build folder]
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
data="$build/bench_http"
mkdir -p "$data/files"
[ -s "$data/files/big.bin" ] || head -c 209715200 /dev/urandom > "$data/files/big.bin"
url="http://aggiornamenti.zan.example/files/big.bin"
python3 "$root/tools/update_server.py" --root "$data" -- sh -c '
  start=$(date +%s.%N)
  curl -s -o /dev/null "$2"
  mid=$(date +%s.%N)
  "$1/wine-run.sh" "$1/tests/wininet_bench.exe" "$2"
  end=$(date +%s.%N)
  echo "curl $(echo "$mid - $start" | bc) s, WininetWrapper under Wine $(echo "$end - $mid" | bc) s (process included)"
  echo "ratio $(echo "scale=2; ($end - $mid) / ($mid - $start)" | bc)"
' sh "$build" "$url"
