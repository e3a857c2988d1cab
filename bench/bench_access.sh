#!/usr/bin/env bash
# Access figures from the command line, in alternating rounds (each command
# once per round, in turn), as medians of wall-clock and CPU (user + system)
# time with their ratios to one mdb-export:
#   bash bench/bench_access.sh BUILD [OLD_DORVANE] [ROUNDS]
#   import   `dorvane inspect big.mdb`: the catalog and every table of big.mdb
#            read (the 100,000 rows of big)
#   merge    `dorvane web` of a page of 10,000 !!bigprice placeholders over big.mdb,
#            the file read by the merge itself
#   sqlite   the same merge over a SQLite file holding the same tables (made from
#            mdb-export's output), when mdb-export is installed
#   export   one `mdb-export big.mdb big` (mdbtools, the test oracle), when installed
# OLD_DORVANE, another build's dorvane (the reader before a change), runs the same
# commands in the same rounds. Peak memory of `inspect` on a 100 MB file grown by
# bench/grow_access_table.py: /usr/bin/time -v BUILD/dorvane inspect FILE.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dorvane=$(realpath "$1/dorvane")
old=${2:+$(realpath "$2")}
rounds=${3:-15}
work=$(mktemp -d /tmp/dorvane-bench-access-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$root/../shared/fixtures/access/big.mdb" "$work/"
cd "$work"
for i in $(seq 0 9999); do
  printf '<p><!-- !!bigprice,C%06d; -->gethere</p>\n' $(((i * 7) % 20000))
done >page.htm

names=(import merge)
commands=("$dorvane inspect big.mdb" "$dorvane web page.htm out.htm big.mdb")
if [ -n "$old" ]; then
  names+=("import (old)" "merge (old)")
  commands+=("$old inspect big.mdb" "$old web page.htm old.htm big.mdb")
fi
if command -v mdb-export >/dev/null; then
  # The same reference row and table in a SQLite file, big.sqlite.
  mdb-export big.mdb big >big.csv
  python3 - <<'PY'
import csv, sqlite3
db = sqlite3.connect("big.sqlite")
db.executescript("""
CREATE TABLE 参照ﾃｰﾌﾞﾙ (ｷｰ TEXT, 転送優先 BOOLEAN, ｷｰﾌｨｰﾙﾄﾞ TEXT, ALTｷｰﾌｨｰﾙﾄﾞ TEXT, DB名 TEXT,
  ﾌｨｰﾙﾄﾞ名 TEXT, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ TEXT, "ﾃｰﾌﾞﾙ／ｸｴﾘｰF" TEXT, ﾃｰﾌﾞﾙ名 TEXT, ｸｴﾘｰ名 TEXT,
  コメント項目名 TEXT, 内容説明 TEXT, 単位 DOUBLE, ﾗｳﾝﾄﾞ TEXT, 小数位 SMALLINT, 行間 SMALLINT);
CREATE INDEX ｷｰ ON 参照ﾃｰﾌﾞﾙ (ｷｰ);
INSERT INTO 参照ﾃｰﾌﾞﾙ VALUES ('!!bigprice', 1, 'code', NULL, 'big.sqlite', 'price', '数値',
  'table', 'big', NULL, NULL, NULL, 1, '四捨五入', 2, 0);
CREATE TABLE big (id INTEGER, code TEXT, name TEXT, price DOUBLE, flag BOOLEAN, dt DATETIME);
CREATE INDEX code ON big (code);
""")
with open("big.csv", newline="") as f:
    rows = csv.reader(f)
    next(rows)
    db.executemany("INSERT INTO big VALUES (?, ?, ?, ?, ?, ?)",
                   ((int(r[0]), r[1], r[2], float(r[3]), int(r[4]), r[5]) for r in rows))
db.commit()
PY
  names+=(sqlite export)
  commands+=("$dorvane web page.htm sqlite.htm big.sqlite" "mdb-export big.mdb big")
fi

# Each command once per round; its wall and CPU milliseconds, one line a run.
TIMEFORMAT='%R %U %S'
for _ in $(seq "$rounds"); do
  for i in "${!commands[@]}"; do
    { time ${commands[$i]} >/dev/null; } 2>&1 | awk '{ printf "%.1f %.1f\n", $1 * 1000, ($2 + $3) * 1000 }' >>"times.$i"
  done
done
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
last=$((${#commands[@]} - 1))
base_wall=$(cut -d' ' -f1 "times.$last" | median)
base_cpu=$(cut -d' ' -f2 "times.$last" | median)
printf '%-14s %10s %10s %12s %12s   (%s rounds, medians)\n' "" "wall ms" "CPU ms" "wall ratio" "CPU ratio" "$rounds"
for i in "${!commands[@]}"; do
  wall=$(cut -d' ' -f1 "times.$i" | median)
  cpu=$(cut -d' ' -f2 "times.$i" | median)
  awk -v n="${names[$i]}" -v w="$wall" -v c="$cpu" -v bw="$base_wall" -v bc="$base_cpu" \
    'BEGIN { printf "%-14s %10.1f %10.1f %12.3f %12.3f\n", n, w, c, w / bw, c / bc }'
done
if grep -q gethere out.htm; then echo "the merge left placeholders unresolved" >&2; exit 1; fi
if [ -n "$old" ] && ! cmp -s out.htm old.htm; then echo "the two merges differ" >&2; exit 1; fi
if [ -f sqlite.htm ] && ! cmp -s out.htm sqlite.htm; then
  echo "the merges over the Access file and the SQLite file differ" >&2
  exit 1
fi
