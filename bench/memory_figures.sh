#!/usr/bin/env bash
# Peak memory of two large page merges, measured with /usr/bin/time -v:
#   detail  a page with one detail placeholder over a table of ROWS rows (default 1,000,000)
#   page    a page of about PAGE_MB megabytes (default 100) with 1,000 value placeholders
# Usage: bench/memory_figures.sh [build/dorvane]   (from the repository root)
# Prints, per case, the result's size, the peak resident memory, their ratio
# and the wall-clock time.
set -euo pipefail
dorvane=$(realpath "${1:-build/dorvane}")
rows=${ROWS:-1000000}
page_mb=${PAGE_MB:-100}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

sqlite3 -bail mem.sqlite <<SQL
CREATE TABLE 参照ﾃｰﾌﾞﾙ (ｷｰ TEXT, 転送優先 BOOLEAN, ｷｰﾌｨｰﾙﾄﾞ TEXT, ALTｷｰﾌｨｰﾙﾄﾞ TEXT, DB名 TEXT,
  ﾌｨｰﾙﾄﾞ名 TEXT, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ TEXT, "ﾃｰﾌﾞﾙ／ｸｴﾘｰF" TEXT, ﾃｰﾌﾞﾙ名 TEXT, ｸｴﾘｰ名 TEXT,
  コメント項目名 TEXT, 内容説明 TEXT, 単位 DOUBLE, ﾗｳﾝﾄﾞ TEXT, 小数位 SMALLINT, 行間 SMALLINT);
CREATE INDEX ｷｰ ON 参照ﾃｰﾌﾞﾙ (ｷｰ);
CREATE TABLE 明細項目ﾃｰﾌﾞﾙ (ｷｰ TEXT, 明細順序 SMALLINT, ﾌｨｰﾙﾄﾞ名 TEXT);
CREATE TABLE orders (code TEXT, line INTEGER, item TEXT, qty INTEGER);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
INSERT INTO orders SELECT 'A01', i, 'item' || i, i % 97 FROM n;
CREATE TABLE items (code TEXT, price DOUBLE);
INSERT INTO items VALUES ('A01', 120);
INSERT INTO 参照ﾃｰﾌﾞﾙ VALUES
  ('&&orders', 1, 'code', NULL, 'mem.sqlite', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, 1, NULL, 0, 1),
  ('!!price', 1, 'code', NULL, 'mem.sqlite', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 0, 0);
INSERT INTO 明細項目ﾃｰﾌﾞﾙ VALUES ('&&orders', 0, 'line'), ('&&orders', 1, 'item'), ('&&orders', 2, 'qty');
SQL
printf '<HTML><BODY>\r\n<!-- &&orders,A01; -->gethere\r\n</BODY></HTML>' > detail.htm

# The large page: 100-byte filler lines and 1,000 value placeholders spread evenly.
python3 - "$page_mb" <<'PY'
import sys
mb = int(sys.argv[1])
line = "<P>" + "x" * 93 + "</P>\r\n"          # 100 bytes
lines = mb * 1024 * 1024 // len(line)
every = max(1, lines // 1000)
with open("page.htm", "w", newline="") as f:
    f.write("<HTML><BODY>\r\n")
    for i in range(lines):
        f.write("<!-- !!price,A01; -->gethere\r\n" if i % every == 0 else line)
    f.write("</BODY></HTML>")
PY

measure() {
  local name=$1 page=$2
  /usr/bin/time -v "$dorvane" web "$page" "$name.out.htm" mem.sqlite 2> "$name.time" || {
    cat "$name.time"; exit 1; }
  local kb out
  kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$name.time")
  wall=$(awk -F'): ' '/Elapsed \(wall clock\)/ {print $2}' "$name.time")
  out=$(stat -c %s "$name.out.htm")
  awk -v n="$name" -v in_="$(stat -c %s "$page")" -v o="$out" -v kb="$kb" -v w="$wall" 'BEGIN {
    printf "%-7s page %.1f MB  result %.1f MB  peak RSS %.1f MB  %.2f bytes per result byte  %s\n",
      n, in_ / 1048576, o / 1048576, kb / 1024, kb * 1024 / o, w }'
}
measure detail detail.htm
measure page page.htm
