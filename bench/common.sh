# Shared by the bench scripts (sourced). Wine's server is started for a prefix
# of the benchmarks' own and pinned, since every call that reaches it is a
# round trip between two processes whose cost depends on where both run:
#   same   server, our program and the Linux peer on one CPU (the default)
#   split  the server on one CPU, our program and the peer on another
# Rounds alternate ours and the peer; the summary gives min and median of the
# times and of the per-round ratio ours / peer.

bench_start() {  # <build folder> [same|split]
  build="$(cd "$1" && pwd)"
  placement="${2:-same}"
  last=$(($(nproc) - 1))
  server_cpu=$last
  case "$placement" in
    same) cpu=$last ;;
    split) cpu=$((last - 1)) ;;
    *) echo "placement must be same or split" >&2; exit 2 ;;
  esac
  export WINEPREFIX="$build/bench_prefix" WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  [ -d "$WINEPREFIX/drive_c" ] || wine cmd /c exit </dev/null >/dev/null 2>&1
  # This prefix is the benchmarks' alone: a server left from another placement goes.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  taskset -c "$server_cpu" wineserver -p
  taskset -c "$cpu" wine cmd /c exit </dev/null >/dev/null 2>&1
  trap 'wineserver -k 2>/dev/null || true' EXIT
  bench_times=""
  echo "placement $placement: wineserver on CPU $server_cpu, programs on CPU $cpu"
}

# Runs a Windows program of the build on the benchmark CPU; its output goes
# through a file (a Wine service it starts could hold a pipe open).
bench_ours() {
  out="$(mktemp)"
  taskset -c "$cpu" wine "$@" </dev/null >"$out" 2>&1 || { cat "$out" >&2; rm -f "$out"; return 1; }
  cat "$out"
  rm -f "$out"
}

# Wall time in seconds of a Linux command on the benchmark CPU.
bench_peer() {
  s=$(date +%s%N)
  taskset -c "$cpu" "$@" >/dev/null
  echo "scale=4; ($(date +%s%N) - $s) / 1000000000" | bc
}

bench_record() {  # <round> <ours s> <peer s>
  echo "round $1: ours $2 s, peer $3 s"
  bench_times="$bench_times $2:$3"
}

bench_summary() {  # <name> <peer name>
  python3 - "$1" "$2" "$placement" $bench_times <<'PY'
import statistics, sys
name, peer, placement = sys.argv[1:4]
pairs = [tuple(map(float, p.split(":"))) for p in sys.argv[4:]]
ours = [o for o, _ in pairs]
theirs = [p for _, p in pairs]
ratios = [o / p for o, p in pairs]
f = lambda xs: "min %.3f median %.3f" % (min(xs), statistics.median(xs))
print("%s (%s, %d rounds): ours s %s; %s s %s; ratio %s"
      % (name, placement, len(pairs), f(ours), peer, f(theirs), f(ratios)))
PY
}
