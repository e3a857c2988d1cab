# Sourced by the Windows benchmarks: a Wine prefix of the benchmark's own in
# a temporary folder (the current folder from here on), removed at exit, with
# the Windows build's Dorvane.ocx registered.
#   needs  root, win  the repository, the Windows build (Dorvane.ocx)
#   sets   wine, wineserver, work; ms (the clock in milliseconds), median
#          (of numbers on standard input), reference_tables (the SQL of
#          bench/reference_tables.sql), price_database
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
reference_tables() { cat "$root/bench/reference_tables.sql"; }
# prices.sqlite: the codes K00001..K<COUNT>, an indexed price each (i * 1.25),
# and the reference row of !!p: the price rounded to 2 places, with the note
# "price".
price_database() {  # COUNT
  {
    reference_tables
    echo "CREATE TABLE items (code TEXT, price DOUBLE); CREATE INDEX items_code ON items (code);"
    echo "INSERT INTO 参照ﾃｰﾌﾞﾙ VALUES ('!!p', 1, 'code', NULL, 'prices.sqlite', 'price', '数値',"
    echo "  'table', 'items', NULL, NULL, 'price', 1, '四捨五入', 2, 0);"
    echo "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $1)"
    echo "  INSERT INTO items SELECT printf('K%05d', i), i * 1.25 FROM n;"
  } | sqlite3 prices.sqlite
}
