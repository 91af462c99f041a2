#!/bin/sh
# A 200 MB download through WininetWrapper under Wine and through curl, both via
# the local update server as proxy (the same request path and sendfile loop on
# the server for both). curl writes to a file, since the setup keeps the body.
# Prints one line: both times, their ratio and the setup's peak memory.
# Usage: bench/http.sh [build folder]
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
data="$build/bench_http"
mkdir -p "$data/files"
[ -s "$data/files/big.bin" ] || head -c 209715200 /dev/urandom > "$data/files/big.bin"
url="http://aggiornamenti.zan.example/files/big.bin"
python3 "$root/tools/update_server.py" --root "$data" -- sh -c '
  out="$3/curl.bin"
  start=$(date +%s.%N)
  curl -s -o "$out" "$2"
  mid=$(date +%s.%N)
  rm -f "$out"
  setup=$("$1/wine-run.sh" "$1/bench/wininet_bench.exe" "$2")
  end=$(date +%s.%N)
  echo "$setup"
  curl_s=$(echo "$mid - $start" | bc)
  setup_s=$(echo "$end - $mid" | bc)
  peak=$(echo "$setup" | sed -n "s/.*peak_working_set_mb \([0-9.]*\).*/\1/p")
  echo "curl $curl_s s, WininetWrapper under Wine $setup_s s (process included)," \
       "ratio $(echo "scale=2; $setup_s / $curl_s" | bc), peak working set $peak MB"
' sh "$build" "$url" "$data" | tail -n +2
