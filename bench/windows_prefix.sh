# Sourced by the Windows benchmarks: a Wine prefix of the benchmark's own in
# a temporary folder (the current folder from here on), removed at exit, with
# the Windows build's Dorvane.ocx registered.
#   needs  win        the Windows build (Dorvane.ocx)
#   sets   wine, wineserver, work; ms (the clock in milliseconds), median
#          (of numbers on standard input), reference_tables (the SQL of an
#          empty reference table and detail item table)
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
work=$(mktemp -d /tmp/dorvane-bench-windows-XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
trap 'WINEPREFIX=$work/prefix "$wineserver" -k 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
# The prefix's first program initialises it; a "wineboot -i" on top would
# start a second service manager (see tests/windows/run.sh).
timeout 300 "$wine" wineboot >/dev/null 2>&1
"$wine" regsvr32 /s "Z:${win//\//\\}\\Dorvane.ocx" >/dev/null 2>&1

ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
reference_tables() {
  echo "CREATE TABLE 参照ﾃｰﾌﾞﾙ (ｷｰ TEXT, 転送優先 BOOLEAN, ｷｰﾌｨｰﾙﾄﾞ TEXT, ALTｷｰﾌｨｰﾙﾄﾞ TEXT,"
  echo "  DB名 TEXT, ﾌｨｰﾙﾄﾞ名 TEXT, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ TEXT, \"ﾃｰﾌﾞﾙ／ｸｴﾘｰF\" TEXT, ﾃｰﾌﾞﾙ名 TEXT,"
  echo "  ｸｴﾘｰ名 TEXT, コメント項目名 TEXT, 内容説明 TEXT, 単位 DOUBLE, ﾗｳﾝﾄﾞ TEXT, 小数位 SMALLINT,"
  echo "  行間 SMALLINT);"
  echo "CREATE INDEX ｷｰ ON 参照ﾃｰﾌﾞﾙ (ｷｰ);"
  echo "CREATE TABLE 明細項目ﾃｰﾌﾞﾙ (ｷｰ TEXT, 明細順序 SMALLINT, ﾌｨｰﾙﾄﾞ名 TEXT);"
}
