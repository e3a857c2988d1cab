# Sourced by the Windows benchmarks: a Wine prefix of the benchmark's own in
# a temporary folder (the current folder from here on), removed at exit, with
# the Windows build's Dorvane.ocx registered.
#   needs  root, win  the repository, the Windows build (Dorvane.ocx)
#   sets   wine, wineserver, work; ms (the clock in milliseconds), median
#          (of numbers on standard input), reference_tables (the SQL of
#          bench/reference_tables.sql)
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
