# dorvane.exe against the Linux build's dorvane: sourced by tests/windows/run.sh
# (its check, run, winpath, ja, $wine, $win, $work, $root, $linux_dorvane)
# after the stand-in cases, whose workbooks and databases ($work/sheets) it
# merges again. Each case runs both commands on the same files and compares
# exit statuses, standard output and results, byte for byte.
back=$(pwd)
cmds=$work/command
mkdir -p "$cmds/in" "$cmds/linux" "$cmds/win"
cd "$cmds"
book() { /usr/bin/python3 "$root/tests/windows/standin/book.py" "$@"; }
exe() { "$wine" "$win/dorvane.exe" "$@"; }
cp "$work/sheets/samplekiv.sqlite" "$work/sheets/second.sqlite" .
fixtures=$root/../shared/fixtures
cp "$fixtures/access/ref.mdb" "$fixtures/access/source.mdb" .
chmod u+w ref.mdb source.mdb

# ---- sheet: the worksheet cases and the POI workbooks (code page 932) ----------
# The stand-in's cases (every outcome in both passes; a pass that stops; a
# refused note) and each real workbook with a value and a detail placeholder
# after its rows: the Windows command runs them one after another in one
# cmd script (one Wine start), the Linux command one by one.
cp "$work/sheets/cases.xlsx" "$work/sheets/stop.xlsx" "$work/sheets/noted.xlsx" in/
for f in "$root"/../shared/corpora/workbooks-poi/*.xls[xm]; do book mark "$f" "in/$(basename "$f")"; done
: >sheets.cmd
for f in in/*; do
  b=$(basename "$f")
  db2=
  case $b in cases.xlsx | noted.xlsx) db2="--db2 second.sqlite" ;; esac
  "$linux_dorvane" sheet "in/$b" "linux/$b" --db samplekiv.sqlite $db2 >/dev/null 2>&1
  echo "$? $b" >>sheets.linux
  printf '%s sheet in\\%s win\\%s --db samplekiv.sqlite %s\r\necho %%ERRORLEVEL%% %s\r\n' \
    "$(winpath "$win/dorvane.exe")" "$b" "$b" "$db2" "$b" >>sheets.cmd
done
ja "$wine" cmd /c sheets.cmd 2>/dev/null | tr -d '\r' | grep -E '^[0-9]+ ' >sheets.win
differ=
for f in in/*; do
  b=$(basename "$f")
  book same "linux/$b" "win/$b" >/dev/null 2>&1 || differ="$differ $b"
done
total=$(ls in | wc -l)
check "sheet: $total workbooks, the exit statuses of the Linux command" diff sheets.linux sheets.win
check "sheet: $total workbooks, every part as the Linux command writes it${differ:+ (not:$differ)}" \
  test -z "$differ"
# (Outputs are read whole before they are searched: with pipefail, a grep -q
# that stops early would fail the writer of a pipe.)
types=$(unzip -p win/SimpleMacro.xlsm '\[Content_Types\].xml')
check "sheet: .xlsm kept as a macro workbook" eval '[[ $types == *macroEnabled.main* ]]'
check "sheet: .xls needs Calc: refused with status 2" \
  test "$(exe sheet in/cases.xlsx out.xls --db samplekiv.sqlite >/dev/null 2>&1; echo $?)" = 2
# Without IN and OUT: the running Excel, over automation; none runs here.
exe sheet --db samplekiv.sqlite >/dev/null 2>attach.err
check "sheet without IN and OUT, no Excel running: status 1, error 429 per pass" \
  test "$?/$(grep -c 'error 429' attach.err)" = 1/2

# ---- inspect and resolve over the Access fixtures (code page 1252) -------------
# The output names files by their full paths: the folder of the Access files
# as each system writes it (JSON-escaped too) is read as "D/".
mkdir -p access
cp "$fixtures"/access/*.mdb "$fixtures"/public/*.mdb "$fixtures"/public/*.accdb access/
folder_linux=$cmds/access/
folder_win=$(winpath "$cmds/access/")
folder_json=${folder_win//\\/\\\\}
same_output() {  # NAME ARGS...: both commands' stdout and status, under 1252
  local name=$1
  shift
  "$linux_dorvane" "$@" >"linux/$name.out" 2>/dev/null
  echo "status $?" >>"linux/$name.out"
  LC_ALL=C.UTF-8 exe "$@" >"win/$name.out" 2>/dev/null
  echo "status $?" >>"win/$name.out"
  local side
  for side in linux win; do
    A=$folder_linux B=$folder_win C=$folder_json perl -pi -e 's/\Q$ENV{C}\E|\Q$ENV{B}\E|\Q$ENV{A}\E/D\//g' \
      "$side/$name.out"
  done
  cmp -s "linux/$name.out" "win/$name.out" || differ="$differ $name"
}
differ=
n=0
for db in access/*; do
  same_output "$(basename "$db").json" inspect "$db" --json
  n=$((n + 1))
done
same_output ref.txt inspect access/ref.mdb
check "inspect: $n Access files, the output of the Linux command${differ:+ (not:$differ)}" test -z "$differ"
differ=
for key in price qprice name names nosuch; do
  same_output "resolve-$key" resolve "!!$key,A01;" --db ref.mdb --pass 1 --json
done
check "resolve over ref.mdb: the output of the Linux command${differ:+ (not:$differ)}" test -z "$differ"
# The ODBC driver manager is loaded when a connect string first needs it.
imports=$(x86_64-w64-mingw32-objdump -p "$win/dorvane.exe")
odbc=$(exe resolve "!!x,A;" --db "ODBC;DSN=dorvane-none" --pass 1 2>&1)
check "ODBC: odbc32 not imported, loaded for an ODBC; database (IM002 from the manager)" \
  eval '[[ $imports != *"DLL Name: ODBC32"* && $odbc == *3151*IM002* ]]'

# ---- batch: a bad job among good ones ----------------------------------------------
printf '<!-- !!price,A01; -->gethere <!-- &&orders,A01; -->gethere\n' >in/page.htm
for side in linux win; do
  mkdir -p "$side/batch"
  cp in/page.htm in/cases.xlsx samplekiv.sqlite second.sqlite ref.mdb source.mdb "$side/batch/"
  cat >"$side/batch/jobs.jsonl" <<'JOBS'
{"kind":"web","read":"page.htm","save":"page1.htm","db":"samplekiv.sqlite"}
{"kind":"web","read":"missing.htm","save":"page2.htm","db":"samplekiv.sqlite"}
{"kind":"sheet","in":"cases.xlsx","out":"book3.xlsx","db":"samplekiv.sqlite","db2":"second.sqlite"}
not a job
{"kind":"web","read":"page.htm","save":"page5.htm","db":"ref.mdb","report":"page5.html"}
{"kind":"web","read":"page.htm","save":"page6.htm","db":"nosuch.sqlite"}
JOBS
done
(cd linux/batch && "$linux_dorvane" batch jobs.jsonl -j 2 >out.jsonl 2>/dev/null; echo "status $?" >status)
(cd win/batch && ja "$wine" "$win/dorvane.exe" batch jobs.jsonl -j 2 >out.jsonl 2>/dev/null; echo "status $?" >status)
jobs_seen() { sed 's/"seconds":[0-9.e+-]*/"seconds":S/' "$1/batch/out.jsonl" | sort; }
check "batch: each job's line as the Linux command's ($(grep -c . linux/batch/out.jsonl) jobs)" \
  diff <(jobs_seen linux) <(jobs_seen win)
check "batch: exit status 1 as the Linux command's" diff linux/batch/status win/batch/status
check "batch: the good jobs' results as the Linux command's" \
  eval 'cmp linux/batch/page1.htm win/batch/page1.htm && cmp linux/batch/page5.htm win/batch/page5.htm &&
        book same linux/batch/book3.xlsx win/batch/book3.xlsx && test -s win/batch/page5.html'
check "batch: nothing written for the missing page" test ! -e win/batch/page2.htm

# ---- a folder named in Greek and Japanese under code page 1252 ------------------
acp=$(LC_ALL=C.UTF-8 run reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP)
check "code page 1252 under LC_ALL=C.UTF-8" eval '[[ $acp == *REG_SZ*1252* ]]'
folder="Δοκιμή 見積"
for side in linux win; do
  mkdir -p "$side/$folder"
  cp in/page.htm in/cases.xlsx samplekiv.sqlite "$side/$folder/"
done
# The page's DB名 rows name samplekiv.sqlite in the current folder: the folder itself.
(cd "linux/$folder" && "$linux_dorvane" web "$PWD/page.htm" "$PWD/結果.htm" "$PWD/samplekiv.sqlite" &&
   "$linux_dorvane" sheet "$PWD/cases.xlsx" "$PWD/結果.xlsx" --db "$PWD/samplekiv.sqlite") >/dev/null 2>&1
(cd "win/$folder" && LC_ALL=C.UTF-8 exe web "$(winpath "$PWD/page.htm")" "$(winpath "$PWD/結果.htm")" \
   "$(winpath "$PWD/samplekiv.sqlite")" && LC_ALL=C.UTF-8 exe sheet "$(winpath "$PWD/cases.xlsx")" \
   "$(winpath "$PWD/結果.xlsx")" --db "$(winpath "$PWD/samplekiv.sqlite")") >/dev/null 2>&1
check "Greek and Japanese folder, code page 1252: web and sheet ran" test $? -eq 0
check "Greek and Japanese folder: the page's bytes of the Linux command" \
  cmp "linux/$folder/結果.htm" "win/$folder/結果.htm"
check "Greek and Japanese folder: the workbook's parts of the Linux command" \
  book same "linux/$folder/結果.xlsx" "win/$folder/結果.xlsx"
# On a console the same text arrives as UTF-16 (WriteConsoleW): script(1)
# gives Wine a terminal, whose console shows the name whole.
LC_ALL=C.UTF-8 script -qec "'$wine' '$win/dorvane.exe' web '$folder/none.htm' x.htm samplekiv.sqlite" \
  typescript >/dev/null 2>&1
check "console: a message naming the folder shows it whole" grep -q "$folder/none.htm" typescript

# ---- --help names every command; what the build lacks says so --------------------
exe --help >help.txt 2>/dev/null
missing=
for c in resolve web sheet batch inspect register unregister sample serve; do
  grep -qE "^  ([a-z]+ .*/ )?$c( |$)" help.txt || missing="$missing $c"
done
check "--help names every command${missing:+ (not:$missing)}" test -z "$missing"
check "--help says what Windows lacks" grep -q "serve is not part of the Windows build" help.txt
check "serve: not part of the Windows build, status 2" \
  test "$(exe serve --config x 2>&1 >/dev/null | tr -d '\r')" = "dorvane serve: not part of the Windows build of Dorvane"
cd "$back"
