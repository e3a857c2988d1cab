#!/usr/bin/env bash
# ocxKiv on the running spreadsheet application, under Wine: the registered
# Dorvane.ocx called from VBScript merges a sheet of value placeholders, each
# of which gets its value and a hidden note, in the stand-in application
# (tests/windows/standin, an out-of-process automation server); against a
# VBScript that writes the same values and notes into the same sheet with
# the same calls (Find/FindNext walk, Address, Value, AddComment, Visible,
# Text, Activate). The stand-in records every call that crosses into its
# process (GetIDsOfNames and Invoke).
#   bench/bench_windows_sheet.sh [BUILD_WINDOWS [CELLS [RUNS]]]   (defaults build-windows 2000 3)
# Prints, for each, the calls per value cell and the median time per cell,
# and the ratio ocxKiv / script; checks that both left the same cells and notes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=$(realpath "${1:-$root/build-windows}")
cells=${2:-2000}
runs=${3:-3}
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
work=$(mktemp -d /tmp/dorvane-bench-sheet-XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
trap 'WINEPREFIX=$work/prefix "$wineserver" -k 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
class='{6B3C1E52-5D0F-4B8E-9E4A-2F7D8C1A9B30}'

# The sheet: CELLS placeholders !!p,Knnnnn; in column B; the database: one
# indexed price per code, rounded to 2 places, with the note "price".
/usr/bin/python3 "$root/tests/windows/standin/book.py" make book.xlsx \
  $(for i in $(seq 1 "$cells"); do printf 'B%d=!!p,K%05d; ' $((i + 1)) "$i"; done)
{
  echo "CREATE TABLE 参照ﾃｰﾌﾞﾙ (ｷｰ TEXT, 転送優先 BOOLEAN, ｷｰﾌｨｰﾙﾄﾞ TEXT, ALTｷｰﾌｨｰﾙﾄﾞ TEXT,"
  echo "  DB名 TEXT, ﾌｨｰﾙﾄﾞ名 TEXT, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ TEXT, \"ﾃｰﾌﾞﾙ／ｸｴﾘｰF\" TEXT, ﾃｰﾌﾞﾙ名 TEXT,"
  echo "  ｸｴﾘｰ名 TEXT, コメント項目名 TEXT, 内容説明 TEXT, 単位 DOUBLE, ﾗｳﾝﾄﾞ TEXT, 小数位 SMALLINT,"
  echo "  行間 SMALLINT);"
  echo "CREATE INDEX ｷｰ ON 参照ﾃｰﾌﾞﾙ (ｷｰ);"
  echo "CREATE TABLE 明細項目ﾃｰﾌﾞﾙ (ｷｰ TEXT, 明細順序 SMALLINT, ﾌｨｰﾙﾄﾞ名 TEXT);"
  echo "CREATE TABLE items (code TEXT, price DOUBLE); CREATE INDEX items_code ON items (code);"
  echo "INSERT INTO 参照ﾃｰﾌﾞﾙ VALUES ('!!p', 1, 'code', NULL, 'prices.sqlite', 'price', '数値',"
  echo "  'table', 'items', NULL, NULL, 'price', 1, '四捨五入', 2, 0);"
  echo "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $cells)"
  echo "  INSERT INTO items SELECT printf('K%05d', i), i * 1.25 FROM n;"
} | sqlite3 prices.sqlite
# The script: the calls of one worksheet pass, the value computed from the key.
cat >script.vbs <<'VBS'
Set xl = CreateObject("Excel.Application")
t = Timer
Set ws = xl.ActiveWorkbook.ActiveSheet
Set all = ws.Cells
all.Activate
all.Select
Set c = all.Find("!!")
first = c.Address
last = first
Do
  Set c = all.FindNext(c)
  a = c.Address
  If a = first Then Exit Do
  last = a
Loop
Do
  a = c.Address
  v = c.Value
  c.Value = CLng(Mid(v, 6, 5)) * 1.25
  Set n = c.AddComment
  n.Visible = False
  n.Text "price"
  If a = last Then Exit Do
  Set c = all.FindNext(c)
  c.Activate
Loop
WScript.Echo Int((Timer - t) * 1000)
VBS

"$wine" wineboot -i >/dev/null 2>&1
"$wine" regsvr32 /s "Z:${win//\//\\}\\Dorvane.ocx" >/dev/null 2>&1
"$wine" reg add 'HKCR\Excel.Application\CLSID' /ve /d "$class" /f >/dev/null 2>&1

one() {  # NAME RUN COMMAND...: a merge on a fresh stand-in; prints its milliseconds
  local name=$1 run=$2
  shift 2
  rm -f "$name.calls" "$name.calls.stop" "$name.xlsx"
  "$wine" "$win/excel_standin.exe" "$class" book.xlsx "$name.xlsx" "$name.calls" --timeout 600 \
    >"$name.standin" 2>&1 &
  local pid=$!
  for _ in $(seq 250); do grep -q ready "$name.standin" && break; sleep 0.2; done
  "$@" 2>/dev/null | tr -d '\r' | sed -n 's/.*ms=\([0-9]*\).*/\1/p; s/^\([0-9][0-9]*\)$/\1/p' >"$name.$run.ms"
  touch "$name.calls.stop"
  wait "$pid" || true
}
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
# A fresh prefix starts the service behind the Running Object Table late: a
# first merge, not counted, warms it up.
one ocx 0 "$wine" cscript //nologo "$(printf 'Z:%s' "${root//\//\\}")\\tests\\windows\\hosts\\sheet.vbs" \
  prices.sqlite -
for run in $(seq "$runs"); do
  one ocx "$run" "$wine" cscript //nologo "$(printf 'Z:%s' "${root//\//\\}")\\tests\\windows\\hosts\\sheet.vbs" \
    prices.sqlite -
  one script "$run" "$wine" cscript //nologo script.vbs
done
rm -f ocx.0.ms
o=$(cat ocx.*.ms | median)
s=$(cat script.*.ms | median)
per() { awk -v a="$1" -v n="$cells" 'BEGIN {printf "%.3f", a / n}'; }
calls() { grep -c . "$1.calls"; }
echo "sheet: $cells value cells, each given a value and a hidden note; median of $runs runs"
echo "ocxKiv (Dorvane.ocx from VBScript)   $(per "$(calls ocx)") calls per cell   $(per "$o") ms per cell (${o} ms)"
echo "VBScript with the same calls         $(per "$(calls script)") calls per cell   $(per "$s") ms per cell (${s} ms)"
echo "ratio ocxKiv / script: $(awk -v a="$o" -v b="$s" 'BEGIN {printf "%.2f", a / b}')"
echo "calls of ocxKiv by member:"
grep -v '^?' ocx.calls | sort | uniq -c | sort -rn | awk '{printf "  %-28s %d\n", $2, $1}'
echo "lookups (GetIDsOfNames): ocxKiv $(grep -c '^?' ocx.calls), script $(grep -c '^?' script.calls)"
dump() { /usr/bin/python3 "$root/tests/windows/standin/book.py" dump "$1"; }
if [ "$(dump ocx.xlsx | sed 's/\.0\t/\t/')" = "$(dump script.xlsx | sed 's/\.0\t/\t/')" ]; then
  echo "results: the same cells and notes"
else
  echo "results differ"
  exit 1
fi
