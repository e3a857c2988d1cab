# ocxKiv from a VBScript on the stand-in spreadsheet application: sourced by
# tests/windows/run.sh (its check, run, winpath, $wine, $wineserver, $win,
# $work, $root, $hosts, $linux_dorvane) while Dorvane.ocx is registered.
#
# The merge through the stand-in must leave the workbook exactly as the Linux
# build's in-process sheet does (dorvane sheet on the same .xlsx): every
# part of the package, and the cells and notes as openpyxl reads them.
# Failures must show "error" once per failing pass: counted by the box
# watcher on a virtual display.
standin_class='{6B3C1E52-5D0F-4B8E-9E4A-2F7D8C1A9B30}'
run reg add 'HKCR\Excel.Application\CLSID' /ve /d "$standin_class" /f >/dev/null
back=$(pwd)
sheets=$work/sheets
mkdir -p "$sheets"
cd "$sheets"
sqlite3 samplekiv.sqlite <"$root/samples/samplekiv.sql"
cat "$root/bench/reference_tables.sql" "$root/tests/windows/standin/second.sql" | sqlite3 second.sqlite
book() { /usr/bin/python3 "$root/tests/windows/standin/book.py" "$@"; }
# Placeholders of every outcome in both passes and both databases: values
# with and without notes, a key no table has, rounding up and down, an
# unknown rounding word, detail blocks with row spacing 1, 2 and 0, a cell
# inside a block that keeps its content, a free slot, a target without
# records, a query, a row of neither pass.
book make cases.xlsx 'A1=見出し' 'B2=!!price,A01;' 'B3=!!name,A01;' 'B4=!!price2,A02;' \
  'B5=!!nosuch,A01;' 'B6=!!weight,S1;' 'B7=!!pname,S2;' 'B8=!!wup,S1;' 'B9=!!wdown,S1;' \
  'B10=!!odd,S1;' 'B11=!!names,A01;' 'B12=!!lot,A01'"'"'2;' 'D2=&&orders,A01' 'D8=&&gap2,S1' \
  'E10=keep' 'H2=&&gap0,S1' 'H6=&&slots,S1' 'H10=&&none' 'H12=&&query,S2' 'H14=&&never,S1'
# A placeholder that ends the pass; no secondary database.
book make stop.xlsx 'B2=!!price,A01;' 'B3=!!price' 'B4=!!price,A02;' 'D2=&&orders,A01'
# A placeholder cell that has a note already: AddComment is refused.
book make noted.xlsx 'B2=!!price,A01;' 'note:B2=earlier' 'B3=!!name,A01;' 'D2=&&orders,A01'

standin() {  # NAME BOOK [option...]: starts the stand-in; its calls go to NAME.calls
  local name=$1 workbook=$2
  shift 2
  rm -f "$name.calls.stop" "$name-standin.xlsx"
  "$wine" "$win/excel_standin.exe" "$standin_class" "$workbook" "$name-standin.xlsx" \
    "$name.calls" --timeout 120 "$@" >"$name.standin" 2>&1 &
  standin_pid=$!
  # "ready" once it stands in the table; it ends at once when it cannot.
  for _ in $(seq 150); do
    grep -q ready "$name.standin" && return 0
    kill -0 "$standin_pid" 2>/dev/null || break
    sleep 0.2
  done
  echo "the stand-in for $name did not come up: $(tr -d '\r' <"$name.standin")"
  return 1
}
standin_stop() {  # NAME: the stand-in saves and ends; stopped after 30 s
  touch "$1.calls.stop"
  for _ in $(seq 150); do
    kill -0 "$standin_pid" 2>/dev/null || break
    sleep 0.2
  done
  kill "$standin_pid" 2>/dev/null
  wait "$standin_pid"
}
merge() {  # NAME KIVDB2: ocxKiv from the script
  LC_ALL=ja_JP.UTF-8 timeout 90 "$wine" cscript //nologo "$(winpath "$hosts/sheet.vbs")" \
    samplekiv.sqlite "$2" 2>/dev/null | tr -d '\r' >"$1.out"
}
same_as_linux() {  # NAME BOOK DB2: the stand-in's result against dorvane sheet's
  local name=$1 workbook=$2 db2=$3
  "$linux_dorvane" sheet "$workbook" "$name-linux.xlsx" --db samplekiv.sqlite \
    ${db2:+--db2 "$db2"} >/dev/null 2>&1
  check "$name: the script's call returned ($(head -1 "$name.out"))" grep -q 'wkcycle=2 excel-cleared=True' "$name.out"
  book dump "$name-linux.xlsx" >"$name-linux.txt" 2>&1
  book dump "$name-standin.xlsx" >"$name-standin.txt" 2>&1
  check "$name: cells and notes as the in-process sheet's ($(grep -c . "$name-linux.txt") cells)" \
    diff -u "$name-linux.txt" "$name-standin.txt"
  rm -rf "$name-a" "$name-b" && mkdir "$name-a" "$name-b"
  (cd "$name-a" && unzip -q "../$name-linux.xlsx") && (cd "$name-b" && unzip -q "../$name-standin.xlsx")
  check "$name: every part of the workbook as the in-process sheet left it" diff -r "$name-a" "$name-b"
}

check "cases: the stand-in is in the Running Object Table" standin cases cases.xlsx
merge cases second.sqlite
standin_stop cases
same_as_linux cases cases.xlsx second.sqlite
check "cases: each name looked up once in the process (only ActiveSheet's Cells per pass)" \
  test -z "$(grep '^?' cases.calls | grep -v '^?Worksheet.Cells$' | sort | uniq -d)"
check "cases: whether the active sheet has cells, asked once per pass" \
  test "$(grep -c '^?Worksheet.Cells$' cases.calls)" -eq 5
standin stop stop.xlsx
merge stop -
standin_stop stop
same_as_linux stop stop.xlsx ""

# ---- failures: "error" once per failing pass, the other passes run -------------------
failing() {  # NAME KIVDB2 [BOOK [option...]]: a merge under the box watcher
  local name=$1 db2=$2
  shift 2
  [ $# -gt 0 ] && standin "$name" "$@"
  timeout 60 "$wine" "$win/dorvane_box_watcher.exe" 30 2 >"$name.boxes" 2>/dev/null &
  local watcher=$!
  merge "$name" "$db2"
  wait "$watcher"
  [ $# -gt 0 ] && standin_stop "$name"
}
if command -v xvfb-run >/dev/null; then
  # xvfb-run's shell passes no functions on: they go in the script's text.
  export wine win hosts standin_class
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
  xvfb-run -a bash -c "$(declare -f failing standin standin_stop merge winpath)"'
    failing none second.sqlite
    failing noted second.sqlite noted.xlsx
    failing chart - - --chart-sheet
    failing halfway second.sqlite cases.xlsx --fail Range.Value= 3' >/dev/null 2>&1
  boxes() { grep -c '^box: error' "$1.boxes"; }
  check "no running application: \"error\" for each of the 4 passes ($(boxes none))" test "$(boxes none)" -eq 4
  check "no running application: the call returns" grep -q 'wkcycle=2 excel-cleared=True' none.out
  check "AddComment refused: \"error\" once ($(boxes noted))" test "$(boxes noted)" -eq 1
  same_as_linux noted noted.xlsx second.sqlite
  check "active sheet not a worksheet: \"error\" for each of the 2 passes ($(boxes chart))" test "$(boxes chart)" -eq 2
  check "a call failing halfway: \"error\" once ($(boxes halfway))" test "$(boxes halfway)" -eq 1
  book dump halfway-standin.xlsx >halfway.txt 2>&1
  halfway() {  # the first two writes of pass 1 stay, the third cell keeps its text, pass 2 ran
    grep -qP '^B2\tint:200\t単価$' halfway.txt && grep -qP '^B4\tfloat:245.5\t-$' halfway.txt &&
      grep -qP '^B11\tstr:!!names,A01;\t-$' halfway.txt && grep -qP '^B3\tstr:ボールペン\t黒$' halfway.txt
  }
  check "a call failing halfway: what came before stays, later passes run" halfway
fi
cd "$back"
