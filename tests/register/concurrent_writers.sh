#!/bin/sh
# Eight Wine processes add 25 workstations each to one register at the same
# time; the register is then read from the Linux side with Python's sqlite3,
# independently of the setup's own code.
# Usage: concurrent_writers.sh <build folder> <register_writer.exe>
set -eu
build="$1"
writer="$2"
dir="$build/testdata/register_concurrency"
rm -rf "$dir" && mkdir -p "$dir/logs"
reg="Z:$(echo "$dir/SharedInfo" | tr / '\\')"
run="$build/wine-run.sh"

"$run" "$writer" --create "$reg" || { echo "register not created"; exit 1; }
start=$(date +%s.%N)
pids=""
for i in 1 2 3 4 5 6 7 8; do
  "$run" "$writer" "$reg" 00012 2025 25 "PC$i\\utente" >"$dir/logs/writer$i.txt" 2>&1 &
  pids="$pids $!"
done
failed=0
for pid in $pids; do wait "$pid" || failed=1; done
end=$(date +%s.%N)
cat "$dir"/logs/writer*.txt
[ "$failed" -eq 0 ] || { echo "a writer did not add all its workstations"; exit 1; }
echo "8 processes x 25 workstations: $(echo "$end - $start" | bc) s"

python3 - "$dir/SharedInfo" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
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
print("register checked: 200 rows, numbers 1..200, one link each, pwd scrambled as expected")
PY
