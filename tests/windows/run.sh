#!/usr/bin/env bash
# The Windows stage of the tests: the cross-built programs under Wine, in a
# Wine prefix of their own that is removed at the end.
#   tests/windows/run.sh BUILD_WINDOWS LINUX_DORVANE
# BUILD_WINDOWS holds Dorvane.ocx, dorvane.exe and the test programs;
# LINUX_DORVANE is the Linux build's dorvane, whose "web" output the script
# hosts must match byte for byte. Prints "ok"/"FAIL" per check; exits 1 when
# any failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
win=$(cd "$1" && pwd)
linux_dorvane=$(realpath "$2")
hosts=$root/tests/windows/hosts
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
work=$(mktemp -d /tmp/dorvane-windows-XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
failures=0

cleanup() {
  WINEPREFIX=$work/prefix "$wineserver" -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

check() {  # name command...
  local name=$1
  shift
  if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
run() { "$wine" "$@" 2>/dev/null | tr -d '\r'; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Wine opens files with Japanese names, and takes 932 as the ANSI code page,
# only under a Japanese locale: one of the tests' own.
locales=$win/test-locale
if [ ! -d "$locales/ja_JP.UTF-8" ]; then
  mkdir -p "$locales"
  localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8" 2>/dev/null
fi
export LOCPATH=$locales
ja() { LC_ALL=ja_JP.UTF-8 "$@"; }

# The prefix's first program initialises it (and starts the service manager);
# "wineboot -i" on top would start a second service manager in the same
# session, which leaves services unstarted (1053), the RPC service that holds
# the Running Object Table among them.
timeout 300 "$wine" wineboot >/dev/null 2>&1
ocx="Z:${win//\//\\}\\Dorvane.ocx"

# ---- every file imports only Windows system DLLs ---------------------------------
system_dlls='^(KERNEL32|ADVAPI32|USER32|GDI32|ole32|OLEAUT32|msvcrt|ODBC32|VERSION)\.dll$'
for f in Dorvane.ocx dorvane.exe dorvane_windows_tests.exe dorvane_box_watcher.exe; do
  others=$(x86_64-w64-mingw32-objdump -p "$win/$f" | awk '/DLL Name:/ {print $3}' |
           grep -Eiv "$system_dlls")
  check "imports of $f: system DLLs only${others:+ (not: $others)}" test -z "$others"
done

# ---- registration ------------------------------------------------------------------
clsid='{2362DF56-1756-4226-B838-C3B0E3E905B4}'
libid='{3D60A47F-9CC1-4C06-9103-967168E50A11}'
iid='{27E78DE4-94C9-4507-8E84-78AD6BF53885}'
value() {  # key [name]: the value's data, "" when missing
  local out
  if [ -n "${2:-}" ]; then out=$(run reg query "$1" /v "$2"); else out=$(run reg query "$1" /ve); fi
  printf '%s\n' "$out" | awk -F'    ' '/REG_SZ/ {print $4}'
}
ours() {  # root: how many keys of the library stand under it
  rm -f "$work/export.reg"
  run reg export "$1" "$work/export.reg" /y >/dev/null
  iconv -f UTF-16LE -t UTF-8 "$work/export.reg" 2>/dev/null |
    grep -ciE "^\[.*($clsid|$libid|$iid|Dorvane\.ctlMessage)"
}
run regsvr32 /s "$ocx"
check "regsvr32: InprocServer32 names the library" test "$(value "HKCR\\CLSID\\$clsid\\InprocServer32")" = "$ocx"
check "regsvr32: ThreadingModel Apartment" test "$(value "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel)" = Apartment
check "regsvr32: ProgID to class" test "$(value 'HKCR\Dorvane.ctlMessage\CLSID')" = "$clsid"
check "regsvr32: class to ProgID" test "$(value "HKCR\\CLSID\\$clsid\\ProgID")" = Dorvane.ctlMessage
check "regsvr32: MiscStatus 0x20191" test "$(value "HKCR\\CLSID\\$clsid\\MiscStatus\\1")" = 131473
check "regsvr32: ToolboxBitmap32 resource 30000" test "$(value "HKCR\\CLSID\\$clsid\\ToolboxBitmap32")" = "$ocx, 30000"
check "regsvr32: Control key" run reg query "HKCR\\CLSID\\$clsid\\Control"
check "regsvr32: Version 26.0" test "$(value "HKCR\\CLSID\\$clsid\\Version")" = 26.0
check "regsvr32: type library 26.0 (key 1a.0) win64" test "$(value "HKCR\\TypeLib\\$libid\\1a.0\\0\\win64")" = "$ocx"
check "regsvr32: interface _ctlMessage" test "$(value "HKCR\\Interface\\$iid")" = _ctlMessage

# ---- the GoogleTest cases (Japanese locale: code page 932) -----------------------
# Left out under Wine: two long differential runs (they run in the Linux
# build) and the POSIX permission bits.
(cd "$root" && ja "$wine" "$win/dorvane_windows_tests.exe" --gtest_brief=1 \
   --gtest_filter='-ServiceHost.*:PageDifferential.ShortPages:PageDifferential.RunsOneAfterAnother:PageFile.SaveReplacesWholeAndKeepsPermissions' \
   >"$work/gtest.log" 2>&1)
status=$?
grep -E '^\[  (FAILED|PASSED) ' "$work/gtest.log" | sort -u
check "GoogleTest cases under Wine" test "$status" -eq 0
[ "$status" -eq 0 ] || tail -40 "$work/gtest.log"

# The type library's Japanese names are code page 932 bytes: under code page
# 1252 the library still loads, and the control still binds 明細型 by name.
(cd "$root" && LC_ALL=C "$wine" "$win/dorvane_windows_tests.exe" --gtest_brief=1 \
   --gtest_filter='ComTypeLibrary.*:ComClient.NamesBindToTheDispatchIdsOfTheTable' \
   >"$work/gtest-1252.log" 2>&1)
check "type library and names under code page 1252" test $? -eq 0

# ---- script hosts: the bytes of the Linux build's "dorvane web" ----------------
pages=$work/pages
mkdir -p "$pages/日本語フォルダ"
cp "$root/samples/sampleweb.htm" "$pages/"
sqlite3 "$pages/samplekiv.sqlite" <"$root/samples/samplekiv.sql"
# Page cases: bytes 932 does not define, a lone lead byte, a key without a
# row, a placeholder cut short, the text that ends a pass.
printf '<p>\x80\xa0\xfd \x81! \x93\xfa\x96\x7b</p>\n<!-- !!nosuch,A01; -->gethere\n<!-- !!price,A01; -->gethere\n<!-- !!names,A01; -->gethere gethere\n' >"$pages/edge.htm"
printf 'Yes!! Done; <!-- !!price,A01; -->gethere\n' >"$pages/stop.htm"
printf '<!-- !!price,A02;\xe2\x82\xac --> gethere &&orders,A02; gethere\n' >"$pages/utf8.htm"
cp "$pages/edge.htm" "$pages/日本語フォルダ/ページ.htm"
cd "$pages"
compare() {  # name codepage locale host page [result]: a script host's merge
  local name=$1 cp=$2 locale=$3 host=$4 page=$5 result=${6:-win-$1.htm}
  "$linux_dorvane" web --codepage "$cp" "$page" "linux-$name.htm" samplekiv.sqlite 2>/dev/null
  LC_ALL=$locale "$wine" "${cscript:-cscript}" //nologo "$(winpath "$host")" "${page//\//\\}" \
    "${result//\//\\}" samplekiv.sqlite >"$work/host.out" 2>/dev/null
  check "$name: script ran ($(tr -d '\r' <"$work/host.out" | head -1))" grep -q wkcycle=2 "$work/host.out"
  check "$name: bytes of dorvane web" cmp -s "linux-$name.htm" "$result"
}
compare sample-vbs 932 ja_JP.UTF-8 "$hosts/merge.vbs" sampleweb.htm
compare sample-js 932 ja_JP.UTF-8 "$hosts/merge.js" sampleweb.htm
compare edge-932 932 ja_JP.UTF-8 "$hosts/merge.vbs" edge.htm
compare stop-932 932 ja_JP.UTF-8 "$hosts/merge.js" stop.htm
compare edge-1252 1252 C "$hosts/merge.vbs" edge.htm
compare japanese-folder 932 ja_JP.UTF-8 "$hosts/merge.vbs" 日本語フォルダ/ページ.htm 日本語フォルダ/結果.htm
# An Access reference database (and the source file it names) read in the
# host's process: VBScript against the Linux build's bytes.
cp "$root/../shared/fixtures/access/ref.mdb" "$root/../shared/fixtures/access/source.mdb" .
chmod u+w ref.mdb source.mdb
printf '<p><!-- !!price,A01; -->gethere <!-- !!qprice,A01; -->gethere <!-- !!name,A01; -->gethere <!-- !!names,A01; -->gethere</p>\n' >access.htm
"$linux_dorvane" web --codepage 932 access.htm linux-access.htm ref.mdb 2>/dev/null
LC_ALL=ja_JP.UTF-8 "$wine" cscript //nologo "$(winpath "$hosts/merge.vbs")" access.htm win-access.htm \
  ref.mdb >"$work/host.out" 2>/dev/null
check "access-vbs: script ran ($(tr -d '\r' <"$work/host.out" | head -1))" grep -q wkcycle=2 "$work/host.out"
check "access-vbs: values read from ref.mdb and source.mdb" test "$(grep -c gethere linux-access.htm)" -eq 0
check "access-vbs: bytes of dorvane web" cmp -s linux-access.htm win-access.htm
# Wine's ANSI code page is 932 or 1252 by the locale, never 65001: UTF-8
# pages are merged by the Windows dorvane.exe against the Linux one.
"$linux_dorvane" web --codepage 65001 utf8.htm linux-utf8.htm samplekiv.sqlite 2>/dev/null
"$wine" "$win/dorvane.exe" web --codepage 65001 utf8.htm win-utf8.htm samplekiv.sqlite >/dev/null 2>&1
check "utf8-65001: dorvane.exe web gives the bytes of the Linux build" cmp -s linux-utf8.htm win-utf8.htm

# ---- members and errors as VBScript sees them -----------------------------------------
iconv -f UTF-8 -t CP932 "$hosts/members.vbs" >"$work/members.vbs"
ja "$wine" cscript //nologo "$(winpath "$work/members.vbs")" sampleweb.htm members.htm samplekiv.sqlite \
  2>/dev/null | tr -d '\r' >"$work/members.out"
member() { grep -q "^$1 $2" "$work/members.out"; }
check "wkcycle read after a call" member wkcycle 2
check "wkcycle written" member wkcycle-written 1
check "text read" member text-has-value True
check "text written" member text-written abc
check "an object member handed out and cleared" member kivdb-cleared True
check "WEB明細型 called by name" member web-detail-by-name 0
check "curdbloc is not in the interface (438)" member curdbloc 438
check "ocxKiv without a spreadsheet: each pass fails alone, the call returns" member ocxKiv "0 2 True"
check "Err: overflow 6 with its description" member overflow "6 Overflow: the new value of wkcycle"
check "Err: a Null argument 13 with its description" member null-argument "13 Type mismatch: the argument readFile"

# ---- ocxKiv on the stand-in spreadsheet application -------------------------------------
. "$root/tests/windows/standin/cases.sh"

# ---- dorvane.exe against the Linux command: sheet, inspect, resolve, batch -------------
. "$root/tests/windows/command_cases.sh"

# ---- the message box: waits for OK on a desktop, never blocks without one ----------
printf '<!-- !!price,A01 --> gethere !!' >bad.htm   # a "!!" with no ";" after it: "error"
if command -v xvfb-run >/dev/null; then
  # Two passes fail (pass 1 and pass 2): two boxes, each waiting for OK,
  # which the watcher presses 3 seconds after the script started. Wine's
  # desktop of this prefix must start on the X display: a server of its own.
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
  start=$(date +%s)
  xvfb-run -a bash -c "
    ( sleep 3; '$wine' '$win/dorvane_box_watcher.exe' 60 >'$work/watcher.out' 2>/dev/null ) &
    '$wine' cscript //nologo '$(winpath "$hosts/merge.vbs")' bad.htm box.htm samplekiv.sqlite \
      >'$work/box-script.out' 2>&1
    wait" >/dev/null 2>&1
  waited=$(($(date +%s) - start))
  boxes=$(grep -c "^box: error" "$work/watcher.out")
  [ "$boxes" -eq 2 ] || cat "$work/watcher.out" "$work/box-script.out"
  check "message box: \"error\" once per failing pass ($boxes)" test "$boxes" -eq 2
  check "message box: the pass waited for OK (${waited}s)" test "$waited" -ge 3
  check "message box: the call ended after OK" grep -q wkcycle=2 "$work/box-script.out"
fi
# A service's process: no interactive window station. The "error" lines go
# to the event log, which Wine prints on its eventlog channel.
(cd "$root" && WINEDEBUG=err+eventlog timeout 120 "$wine" "$win/dorvane_windows_tests.exe" \
   --gtest_filter='ServiceHost.*' >"$work/service.log" 2>&1)
check "service: the pass does not wait" grep -q '^\[  PASSED  \] 1 test' "$work/service.log"
check "service: \"error\" with its reason in the event log" \
  grep -q 'ReportEventW L"Dorvane.ocx: error: pass 1 on .*error 3024' "$work/service.log"
"$wineserver" -k 2>/dev/null
"$wineserver" -w 2>/dev/null
start=$(date +%s)
timeout 60 "$wine" cscript //nologo "$(winpath "$hosts/merge.vbs")" bad.htm nobox.htm samplekiv.sqlite >/dev/null 2>&1
check "no desktop: the pass does not block" test $(($(date +%s) - start)) -lt 30
check "no desktop: the result is written" test -s nobox.htm

# ---- the visual control in containers, and the sample run -------------------------
# The sample folder as the installer lays it out (its database names itself
# by its C: path). dorvane.exe sample, then the control in Wine's ATL and in
# a container of the tests' own on a display (tests/windows/control): each
# check printed, and the sample run's results and ocxwebKiv through the
# sited control against the Linux build's bytes of the same page and data.
samplefolder=$WINEPREFIX/drive_c/users/Public/Documents/Dorvane/Sample
mkdir -p "$samplefolder"
cp "$win/sample/sampleweb.htm" "$win/sample/samplekiv.sqlite" "$samplefolder/"
ja "$wine" "$win/dorvane.exe" sample >"$work/sample.out" 2>&1
check "dorvane.exe sample: exit status 0" test $? -eq 0
check "dorvane.exe sample: bytes of dorvane web" cmp -s linux-sample-vbs.htm "$samplefolder/sampleweb1.htm"
mv "$samplefolder" "$samplefolder.away"
ja "$wine" "$win/dorvane.exe" sample >"$work/sample.out" 2>&1
check "dorvane.exe sample without the folder: exit status 1" test $? -eq 1
check "dorvane.exe sample without the folder: the reason" grep -q 'Sample does not exist' "$work/sample.out"
mv "$samplefolder.away" "$samplefolder"
control_tests() {  # bits program: the container tests of one bitness
  local bits=$1 out=$work/control-$1.out
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
  rm -f click-bm-"$bits".htm click-mouse-"$bits".htm dispatch-"$bits".htm
  timeout 300 xvfb-run -a env LC_ALL=ja_JP.UTF-8 "$wine" "$2" "$bits" >"$out" 2>/dev/null
  tr -d '\r' <"$out" | sed -n "s/^\(ok  \|FAIL\) /\1 control $bits: /p"
  failures=$((failures + $(grep -c '^FAIL' "$out")))
  check "control $bits: every check ran" grep -q 'teardown' "$out"
  for f in click-bm click-mouse dispatch; do
    check "control $bits: $f-$bits.htm, bytes of dorvane web" cmp -s linux-sample-vbs.htm "$f-$bits.htm"
  done
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
}
if command -v xvfb-run >/dev/null; then
  control_tests 64 "$win/dorvane_control_tests.exe"
fi

# ---- 32-bit: build-windows/i686 beside the 64-bit library -------------------------
win32=$win/i686
if [ -f "$win32/Dorvane.ocx" ]; then
  for f in Dorvane.ocx dorvane.exe; do
    others=$(i686-w64-mingw32-objdump -p "$win32/$f" | awk '/DLL Name:/ {print $3}' |
             grep -Eiv "$system_dlls")
    check "i686 imports of $f: system DLLs only${others:+ (not: $others)}" test -z "$others"
  done
  exports=$(i686-w64-mingw32-objdump -p "$win32/Dorvane.ocx" |
            awk '/Ordinal\/Name Pointer/ {on=1; next} on && NF == 0 {on=0} on {print $3}' | tr '\n' ' ')
  check "i686 exports, undecorated ($exports)" \
    test "$exports" = "DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer "
fi
# A 64-bit prefix runs 32-bit programs when Debian's wine32 is installed.
syswow64=$WINEPREFIX/drive_c/windows/syswow64
server="HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32"
view() { run reg query "$server" /ve "/reg:$1" | awk -F'    ' '/REG_SZ/ {print $4}'; }  # 32 or 64
if [ -f "$win32/Dorvane.ocx" ] && [ -f "$syswow64/cscript.exe" ]; then
  ocx32="Z:${win32//\//\\}\\Dorvane.ocx"
  run 'C:\windows\syswow64\regsvr32.exe' /s "$ocx32"
  check "i686 regsvr32: the 32-bit view names the 32-bit library" test "$(view 32)" = "$ocx32"
  check "i686 regsvr32: the 64-bit view keeps the 64-bit library" test "$(view 64)" = "$ocx"
  check "i686 regsvr32: type library win32" \
    test "$(value "HKCR\\TypeLib\\$libid\\1a.0\\0\\win32")" = "$ocx32"
  cscript='C:\windows\syswow64\cscript.exe' compare sample-vbs-32bit 932 ja_JP.UTF-8 "$hosts/merge.vbs" sampleweb.htm
  if command -v xvfb-run >/dev/null && [ -f "$win32/dorvane_control_tests.exe" ]; then
    control_tests 32 "$win32/dorvane_control_tests.exe"
  fi
  run 'C:\windows\syswow64\regsvr32.exe' /s /u "$ocx32"
  check "i686 regsvr32 /u: nothing left in the 32-bit view" test -z "$(view 32)"
  check "i686 regsvr32 /u: the 64-bit registration stays whole" \
    test "$(view 64)" = "$ocx" -a "$(value "HKCR\\TypeLib\\$libid\\1a.0\\0\\win64")" = "$ocx" \
    -a "$(value 'HKCR\Dorvane.ctlMessage\CLSID')" = "$clsid" -a -z "$(value "HKCR\\TypeLib\\$libid\\1a.0\\0\\win32")"
else
  echo "skip 32-bit under Wine: no build-windows/i686 or no 32-bit Wine (wine32)"
fi

# ---- unregistration: machine, then per user ----------------------------------------------
run regsvr32 /s /u "$ocx"
check "regsvr32 /u leaves no key" test "$(ours 'HKLM\Software\Classes')" -eq 0
run regsvr32 /s /n /i:user "$ocx"
check "regsvr32 /n /i:user writes under HKCU\\Software\\Classes" test "$(ours 'HKCU\Software\Classes')" -gt 10
check "per-user registration leaves the machine alone" test "$(ours 'HKLM\Software\Classes')" -eq 0
check "per-user InprocServer32" test "$(value "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32")" = "$ocx"
run regsvr32 /s /u /n /i:user "$ocx"
check "regsvr32 /u /n /i:user leaves no key" test "$(ours 'HKCU\Software\Classes')" -eq 0

# ---- the installer: install, use, uninstall, nothing left -------------------------
rm -rf "$samplefolder"  # the installer's to make
if [ -f "$win/dorvane.msi" ]; then
  "$wine" msiexec /i "$(winpath "$win/dorvane.msi")" /qn >/dev/null 2>&1
  check "msiexec /i: exit status 0" test $? -eq 0
  check "msiexec /i: the class names the installed library" test "$(value "HKCR\\CLSID\\$clsid\\InprocServer32")" = 'C:\Program Files\Dorvane\Dorvane.ocx'
  installed="$WINEPREFIX/drive_c/Program Files/Dorvane"
  for f in Dorvane.ocx dorvane.exe README.md; do
    check "msiexec /i: $f installed" test -s "$installed/$f"
  done
  for f in sampleweb.htm samplekiv.sqlite; do
    check "msiexec /i: $f installed in the sample folder" test -s "$samplefolder/$f"
  done
  check "msiexec /i: type library registered, not self-registered" \
    test "$(value "HKCR\\TypeLib\\$libid\\1a.0\\0\\win64")" = 'C:\Program Files\Dorvane\Dorvane.ocx'
  if [ -f "$syswow64/cscript.exe" ]; then
    check "msiexec /i: the 32-bit library in the 32-bit view" \
      test "$(view 32)" = 'C:\Program Files (x86)\Dorvane\Dorvane.ocx'
  fi
  # The sample page merged in the installed sample folder (its DB名 rows
  # name samplekiv.sqlite there), byte for byte as the Linux build does; and
  # the installed dorvane.exe's sample run.
  (cd "$samplefolder" && LC_ALL=ja_JP.UTF-8 "$wine" cscript //nologo "$(winpath "$hosts/merge.vbs")" \
     sampleweb.htm "$(winpath "$work/installed.htm")" samplekiv.sqlite >/dev/null 2>&1)
  check "installed: a script merges the sample page as dorvane web" cmp -s linux-sample-vbs.htm "$work/installed.htm"
  ja "$wine" "$installed/dorvane.exe" sample >/dev/null 2>&1
  check "installed: dorvane.exe sample writes the bytes of dorvane web" \
    cmp -s linux-sample-vbs.htm "$samplefolder/sampleweb1.htm"
  "$wine" msiexec /x "$(winpath "$win/dorvane.msi")" /qn >/dev/null 2>&1
  check "msiexec /x: exit status 0" test $? -eq 0
  printf 'On Error Resume Next\r\nSet o = CreateObject("Dorvane.ctlMessage")\r\nWScript.Echo Err.Number\r\n' >"$work/create.vbs"
  check "msiexec /x: CreateObject fails with 429" \
    test "$(run cscript //nologo "$(winpath "$work/create.vbs")")" = 429
  check "msiexec /x: no file left" test ! -e "$installed" -a ! -e "$WINEPREFIX/drive_c/Program Files (x86)/Dorvane"
  check "msiexec /x: the sample's files removed" \
    test ! -e "$samplefolder/sampleweb.htm" -a ! -e "$samplefolder/samplekiv.sqlite"
  check "msiexec /x: no key left" test "$(ours 'HKLM\Software\Classes')" -eq 0 -a "$(ours 'HKLM\Software\Wow6432Node\Classes')" -eq 0
fi

echo "Windows stage: $failures failed"
[ "$failures" -eq 0 ]
