#!/usr/bin/env bash
# Page jobs in bulk: one `dorvane batch` against one `dorvane web` process per
# job (200 pages against big.mdb, 100,000 rows), and one worker against two
# (200 pages against a SQLite source). Prints wall-clock seconds per run.
#
# Run from the repository root: bench/bench_batch.sh [BUILD_DIR] (default build).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-build}")
dorvane="$build/dorvane"
fixtures=$(realpath ../shared/fixtures/access)
jobs=200
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

# ---- 200 pages against big.mdb: batch -j 2 against 200 processes ----------
# big.mdb holds its own reference table; its DB名 "big.mdb" resolves against
# the current directory, so everything runs in the fixtures folder and
# writes into $work.
for ((i = 0; i < jobs; i++)); do
  page=""
  for ((k = 0; k < 10; k++)); do
    page+=$(printf '!!bigprice,C%06d; gethere\n' $(((i * 97 + k * 1013) % 20000)))
  done
  printf '%s\n' "$page" > "$work/big$i.htm"
  printf '{"kind":"web","read":"%s","save":"%s","db":"big.mdb"}\n' \
    "$work/big$i.htm" "$work/big$i.out.htm" >> "$work/big.jsonl"
done

cd "$fixtures"
t0=$(now)
for ((i = 0; i < jobs; i++)); do
  "$dorvane" web "$work/big$i.htm" "$work/big$i.proc.htm" big.mdb
done
t1=$(now)
seq 0 $((jobs - 1)) | xargs -P 2 -I{} "$dorvane" web "$work/big{}.htm" "$work/big{}.proc2.htm" big.mdb
t2=$(now)
"$dorvane" batch -j 2 "$work/big.jsonl" > "$work/big.results"
t3=$(now)
for ((i = 0; i < jobs; i++)); do
  cmp -s "$work/big$i.proc.htm" "$work/big$i.out.htm" || { echo "big$i differs"; exit 1; }
done
echo "big.mdb, $jobs pages of 10 placeholders:"
echo "  $jobs dorvane web processes, one after another: $(elapsed "$t0" "$t1") s"
echo "  $jobs dorvane web processes, two at a time:     $(elapsed "$t1" "$t2") s"
echo "  dorvane batch -j 2:                            $(elapsed "$t2" "$t3") s"

# ---- 200 pages against a SQLite source: -j 1 against -j 2 -------------------
cd "$work"
{
  cat "$here/reference_tables.sql"
  echo "INSERT INTO 参照ﾃｰﾌﾞﾙ VALUES ('!!p', 1, 'code', NULL, '$work/kiv.sqlite', 'price',"
  echo "  '数値', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 2, 0);"
  echo "CREATE TABLE items (code TEXT, price DOUBLE);"
  echo "CREATE INDEX items_code ON items (code);"
  echo "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 99999)"
  echo "INSERT INTO items SELECT printf('C%06d', i % 20000), i * 1.25 FROM n;"
} | sqlite3 kiv.sqlite
for ((i = 0; i < jobs; i++)); do
  page=""
  for ((k = 0; k < 50; k++)); do
    page+=$(printf '<td>!!p,C%06d; gethere</td>\n' $(((i * 97 + k * 1013) % 20000)))
  done
  printf '%s\n' "$page" > "sq$i.htm"
  printf '{"kind":"web","read":"sq%d.htm","save":"sq%d.out.htm","db":"kiv.sqlite"}\n' "$i" "$i" \
    >> sq.jsonl
done
t0=$(now)
"$dorvane" batch -j 1 sq.jsonl > sq1.results
t1=$(now)
"$dorvane" batch -j 2 sq.jsonl > sq2.results
t2=$(now)
echo "SQLite source, $jobs pages of 50 placeholders:"
echo "  dorvane batch -j 1: $(elapsed "$t0" "$t1") s"
echo "  dorvane batch -j 2: $(elapsed "$t1" "$t2") s"
grep -vc '"status":"ok"' sq1.results sq2.results big.results 2>/dev/null | sed 's/^/  jobs not ok: /' || true
