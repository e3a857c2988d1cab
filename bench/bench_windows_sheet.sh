#!/usr/bin/env bash
# ocxKiv on the running spreadsheet application, under Wine: the registered
# Dorvane.ocx called from VBScript merges a sheet of value placeholders, each
# of which gets its value and a hidden note, in the stand-in application (tests/windows/standin, an out-of-process
# automation server); against a VBScript that writes the same values and
# notes into the same sheet with the same calls (Find/FindNext walk,
# Address, Value, AddComment, Visible, Text, Activate; the second
# pass's searches). The stand-in records every call that crosses into its
# process: each Invoke, and each GetIDsOfNames (the script's host looks a
# name up at every use, Dorvane.ocx once per process).
#   bench/bench_windows_sheet.sh [BUILD_WINDOWS [CELLS [RUNS]]]   (defaults build-windows 1000 3)
# Prints, for each, the calls per value cell and the median time per cell,
# timed inside the script around the merge, and the ratio ocxKiv / script;
# checks that both left the same cells and notes. Needs bash scripts/windows
# first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=$(realpath "${1:-$root/build-windows}")
cells=${2:-1000}
runs=${3:-3}
. "$root/bench/windows_prefix.sh"
class='{6B3C1E52-5D0F-4B8E-9E4A-2F7D8C1A9B30}'
"$wine" reg add 'HKCR\Excel.Application\CLSID' /ve /d "$class" /f >/dev/null 2>&1

# The sheet: CELLS placeholders !!p,Knnnnn; in column B; the database: one
# indexed price per code, rounded to 2 places, with the note "price".
/usr/bin/python3 "$root/tests/windows/standin/book.py" make book.xlsx \
  $(for i in $(seq 1 "$cells"); do printf 'B%d=!!p,K%05d; ' $((i + 1)) "$i"; done)
price_database "$cells"
# The script: the calls of both passes of ocxKiv, the value computed from the
# key (Dorvane rounds in its own process: no call).
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
Set c = all.Find("&&")
Set ws = xl.ActiveWorkbook.ActiveSheet
Set all = ws.Cells
all.Activate
all.Select
Set c = all.Find("!!")
Set c = all.Find("&&")
WScript.Echo Int((Timer - t) * 1000)
VBS
sheet_vbs="Z:${root//\//\\}\\tests\\windows\\hosts\\sheet.vbs"

one() {  # NAME RUN COMMAND...: a merge on a fresh stand-in; its milliseconds go to NAME.RUN.ms
  local name=$1 run=$2
  shift 2
  rm -f "$name.calls" "$name.calls.stop" "$name.xlsx"
  "$wine" "$win/excel_standin.exe" "$class" book.xlsx "$name.xlsx" "$name.calls" --timeout 600 \
    >"$name.standin" 2>&1 &
  local pid=$!
  for _ in $(seq 150); do
    grep -q ready "$name.standin" && break
    kill -0 "$pid" 2>/dev/null || { echo "the stand-in did not come up: $(cat "$name.standin")"; exit 1; }
    sleep 0.2
  done
  timeout 600 "$@" 2>/dev/null | tr -d '\r' |
    sed -n 's/.*ms=\([0-9]*\).*/\1/p; s/^\([0-9][0-9]*\)$/\1/p' >"$name.$run.ms"
  touch "$name.calls.stop"
  wait "$pid"
  [ -s "$name.$run.ms" ] || { echo "$name: the merge gave no time"; exit 1; }
}
for run in $(seq "$runs"); do
  one ocx "$run" "$wine" cscript //nologo "$sheet_vbs" prices.sqlite -
  one script "$run" "$wine" cscript //nologo script.vbs
done
o=$(cat ocx.*.ms | median)
s=$(cat script.*.ms | median)
per() { awk -v a="$1" -v n="$cells" 'BEGIN {printf "%.2f", a / n}'; }
invokes() { grep -vc '^?' "$1.calls"; }
lookups() { grep -c '^?' "$1.calls"; }
echo "sheet: $cells value cells, each given a value and a hidden note; median of $runs runs"
echo "                                   calls per cell (Invoke + GetIDsOfNames)   time per cell"
printf 'ocxKiv (Dorvane.ocx from VBScript) %6s + %-6s                           %7.0f µs (%s ms)\n' \
  "$(per "$(invokes ocx)")" "$(per "$(lookups ocx)")" "$(per $((o * 1000)))" "$o"
printf 'VBScript with the same calls       %6s + %-6s                           %7.0f µs (%s ms)\n' \
  "$(per "$(invokes script)")" "$(per "$(lookups script)")" "$(per $((s * 1000)))" "$s"
echo "ratio ocxKiv / script: $(awk -v a="$o" -v b="$s" 'BEGIN {printf "%.2f", a / b}')"
echo "Invoke calls by member, ocxKiv / script:"
join -a1 -a2 -e0 -o 0,1.2,2.2 <(grep -v '^?' ocx.calls | sort | uniq -c | awk '{print $2, $1}') \
  <(grep -v '^?' script.calls | sort | uniq -c | awk '{print $2, $1}') |
  awk '{printf "  %-28s %6d %6d\n", $1, $2, $3}'
dump() { /usr/bin/python3 "$root/tests/windows/standin/book.py" dump "$1"; }
if [ "$(dump ocx.xlsx)" = "$(dump script.xlsx)" ]; then
  echo "results: the same cells and notes"
else
  echo "results differ"
  exit 1
fi
