#!/usr/bin/env bash
# ocxwebKiv on a 1 MB page with 10,000 placeholders: the Windows build under
# Wine (the registered Dorvane.ocx called from VBScript, timed inside the
# script around the call; and dorvane.exe web as a whole process) against
# the Linux build (dorvane web as a whole process), in the same run.
#   bench/bench_windows.sh [BUILD [BUILD_WINDOWS [RUNS]]]   (defaults build build-windows 5)
# Prints the median of RUNS for each and the ratio Windows / Linux; checks
# that both wrote the same bytes. Needs bash scripts/windows first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux=$(realpath "${1:-$root/build}")
win=$(realpath "${2:-$root/build-windows}")
runs=${3:-5}
. "$root/bench/windows_prefix.sh"

# The page: 10,000 lines of 104 bytes, each a placeholder and its marker
# (1,040,000 bytes); the database: 5,000 codes, an indexed sum per placeholder.
for i in $(seq 0 9999); do
  printf '<TR><TD>!!p,K%05d;</TD><TD>gethere</TD></TR>%54s\n' $((i % 5000)) ''
done >page.htm
{
  reference_tables
  echo "CREATE TABLE items (code TEXT, price DOUBLE); CREATE INDEX items_code ON items (code);"
  echo "INSERT INTO 参照ﾃｰﾌﾞﾙ VALUES ('!!p', 1, 'code', NULL, 'prices.sqlite', 'price', '数値',"
  echo "  'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 2, 0);"
  echo "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 4999)"
  echo "  INSERT INTO items SELECT printf('K%05d', i), i * 1.25 FROM n;"
} | sqlite3 prices.sqlite
cat >time.vbs <<'VBS'
On Error Resume Next
Set o = CreateObject("Dorvane.ctlMessage")
t = Timer
o.ocxwebKiv "page.htm", "out-com.htm", "prices.sqlite", ""
If Err.Number <> 0 Then WScript.Quit 3
WScript.Echo Int((Timer - t) * 1000)
VBS

linux_runs=() com_runs=() exe_runs=()
for _ in $(seq "$runs"); do
  t=$(ms); "$linux/dorvane" web page.htm out-linux.htm prices.sqlite; linux_runs+=($(($(ms) - t)))
  com_runs+=($("$wine" cscript //nologo time.vbs 2>/dev/null | tr -d '\r'))
  t=$(ms); "$wine" "$win/dorvane.exe" web page.htm out-exe.htm prices.sqlite >/dev/null 2>&1
  exe_runs+=($(($(ms) - t)))
done
l=$(printf '%s\n' "${linux_runs[@]}" | median)
c=$(printf '%s\n' "${com_runs[@]}" | median)
e=$(printf '%s\n' "${exe_runs[@]}" | median)
echo "page: $(stat -c %s page.htm) bytes, $(grep -c '!!p' page.htm) placeholders; median of $runs runs"
echo "Linux   dorvane web (whole process)         ${l} ms"
echo "Windows ocxwebKiv through COM (in VBScript)  ${c} ms   ratio $(awk -v a="$c" -v b="$l" 'BEGIN {printf "%.2f", a / b}')"
echo "Windows dorvane.exe web (whole process)      ${e} ms   ratio $(awk -v a="$e" -v b="$l" 'BEGIN {printf "%.2f", a / b}')"
cmp -s out-linux.htm out-com.htm && cmp -s out-linux.htm out-exe.htm && echo "results: identical bytes" ||
  { echo "results differ"; exit 1; }
