#!/bin/sh
# A 200 MB download through WininetWrapper under Wine (wininet_bench, timed
# inside the process) and through curl, both via the local update server as
# proxy (the same request path and sendfile loop on the server for both),
# alternating over the rounds. curl writes to a file, since the setup keeps
# the body. The server itself runs on neither benchmark CPU's schedule.
#   bench/http.sh <build folder> [same|split] [rounds]
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
if [ "${1:-}" = "--inner" ]; then  # run by the update server, with http_proxy set
  shift
  . "$here/common.sh"
  bench_start "$1" "$2"
  url="http://aggiornamenti.zan.example/files/big.bin"
  for r in $(seq "$3"); do
    ours=$(bench_ours "$build/bench/wininet_bench.exe" "$url" | sed -n 's/.* seconds \([0-9.]*\) .*/\1/p')
    peer=$(bench_peer curl -s -o "$build/bench_http/curl.bin" "$url")
    rm -f "$build/bench_http/curl.bin"
    bench_record "$r" "$ours" "$peer"
  done
  bench_summary "200 MB download" curl
  exit 0
fi
build="$(cd "$1" && pwd)"
data="$build/bench_http"
mkdir -p "$data/files"
[ -s "$data/files/big.bin" ] || head -c 209715200 /dev/urandom > "$data/files/big.bin"
python3 "$here/../tools/update_server.py" --root "$data" -- \
  sh "$here/http.sh" --inner "$build" "${2:-same}" "${3:-5}"
