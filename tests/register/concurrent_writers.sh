#!/bin/sh
# Eight Wine processes add the same 60 years and 25 workstations each to one
# register at the same time; the register is then read from the Linux side
# with Python's sqlite3, independently of the setup's own code.
# Usage: concurrent_writers.sh <build folder> <register_writer.exe>
set -eu
build="$1"
writer="$2"
dir="$build/testdata/register_concurrency"
rm -rf "$dir" && mkdir -p "$dir/logs"
reg="Z:$(echo "$dir/SharedInfo" | tr / '\\')"
run="$build/wine-run.sh"

"$run" "$writer" --create "$reg" || { echo "register not created"; exit 1; }
# Each writer waits for the go file, so that all start their writes together;
# each adds the same 60 new years, then 25 workstations of 2025.
go="$dir/go"
pids=""
for i in 1 2 3 4 5 6 7 8; do
  "$run" "$writer" "$reg" 00012 2025 25 "PC$i\\utente" "Z:$(echo "$go" | tr / '\\')" 3000 60 \
    >"$dir/logs/writer$i.txt" 2>&1 &
  pids="$pids $!"
done
for _ in $(seq 1200); do
  [ "$(ls "$dir" | grep -c '^go\.')" -ge 8 ] && break
  sleep 0.1
done
start=$(date +%s.%N)
touch "$go"
failed=0
for pid in $pids; do wait "$pid" || failed=1; done
end=$(date +%s.%N)
cat "$dir"/logs/writer*.txt
[ "$failed" -eq 0 ] || { echo "a writer did not add all its rows"; exit 1; }
echo "8 processes x (60 years + 25 workstations): $(echo "$end - $start" | bc) s"

python3 - "$dir/SharedInfo" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
years = dict(db.execute("SELECT anno, count(*) FROM SwExt GROUP BY anno"))
assert sorted(years) == sorted(["2025"] + [str(y) for y in range(3000, 3060)]), sorted(years)
assert set(years.values()) == {1}, "a year recorded twice: " + str({a: n for a, n in years.items() if n > 1})
rows = db.execute("SELECT idWorkpoint, pdl, pwd, assignee FROM Workpoint").fetchall()
assert len(rows) == 200, f"{len(rows)} workpoint rows, expected 200"
numbers = sorted(int(r[1]) for r in rows)
assert numbers == list(range(1, 201)), "workstation numbers are not 1..200, each once"
links = dict(db.execute("SELECT idWorkpoint, count(*) FROM Workpoint_SwExt GROUP BY idWorkpoint"))
assert all(links.get(r[0]) == 1 for r in rows), "a workstation without exactly one link"
assert len(set(r[3] for r in rows)) == 200, "an assignee recorded twice"
# The scrambled password, computed here from the key bytes on their own.
key = bytes([0x5A, 0x41, 0x4E, 0x2D, 0x73, 0x68, 0x61, 0x72, 0x65, 0x64])
expected = bytes(b ^ key[i % 10] for i, b in enumerate(b"Pw_1234!"))
stored = {bytes(r[2]) if isinstance(r[2], (bytes, memoryview)) else r[2].encode("latin-1") for r in rows}
assert stored == {expected}, f"pwd stored as {stored}, expected {expected}"
print("register checked: one row per year, 200 workstations, numbers 1..200, one link each, pwd scrambled as expected")
PY
