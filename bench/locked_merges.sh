#!/usr/bin/env bash
# Page merges against a SQLite database that another process writes all the
# time: a writer commits every 10 ms (rollback journal, so each commit locks
# readers out for a moment) while MERGES merges (default 200) run one after
# another. Prints how many succeeded, and the writer's longest wait for its
# commit (the merges' readers may keep it waiting, never past the busy
# time-out). Usage: bench/locked_merges.sh [build/dorvane]
# (from the repository root; needs python3 for the writer).
set -euo pipefail
dorvane=$(realpath "${1:-build/dorvane}")
merges=${MERGES:-200}
root=$(pwd)
work=$(mktemp -d)
trap 'kill $writer 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
sqlite3 -bail samplekiv.sqlite < "$root/samples/samplekiv.sql"
sqlite3 samplekiv.sqlite "PRAGMA journal_mode=DELETE; CREATE TABLE log (n INTEGER, pad TEXT);" >/dev/null
cp "$root/samples/sampleweb.htm" page.htm

python3 - <<'PY' &
import sqlite3, time
db = sqlite3.connect("samplekiv.sqlite", isolation_level=None, timeout=5)
n = 0
longest = 0.0
while True:
    start = time.monotonic()
    db.execute("BEGIN IMMEDIATE")
    db.execute("INSERT INTO log VALUES (?, ?)", (n, "x" * 4000))
    db.execute("COMMIT")
    took = time.monotonic() - start
    if took > longest:
        longest = took
        with open("longest-wait.txt", "w") as f:
            f.write("%.1f" % (took * 1000))
    n += 1
    time.sleep(0.01)
PY
writer=$!
sleep 0.5

ok=0 failed=0
start=$(date +%s.%N)
for i in $(seq "$merges"); do
  if "$dorvane" web page.htm out.htm samplekiv.sqlite 2> err.txt; then
    ok=$((ok + 1))
  else
    failed=$((failed + 1))
    head -c 300 err.txt >&2
  fi
done
end=$(date +%s.%N)
kill $writer; wait $writer 2>/dev/null || true
commits=$(sqlite3 samplekiv.sqlite "SELECT count(*) FROM log")
longest=$(cat longest-wait.txt 2>/dev/null || echo "?")
awk -v ok="$ok" -v n="$merges" -v s="$start" -v e="$end" -v c="$commits" -v w="$longest" 'BEGIN {
  printf "%d of %d merges succeeded (%.1f %%) in %.1f s while the writer committed %d times",
    ok, n, 100 * ok / n, e - s, c
  printf " (its longest commit took %s ms)\n", w }'
