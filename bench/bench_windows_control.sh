#!/usr/bin/env bash
# The visual control sited, in-place activated and torn down in Wine's ATL
# container (an "AtlAxWin" window on a form), CYCLES times in one process on
# a display of its own (xvfb-run): the median time of a cycle, and the
# process's private bytes and GDI and USER objects before, warm and after
# (bench/windows/bench_control_site.cpp).
#   bench/bench_windows_control.sh [BUILD_WINDOWS [CYCLES]]   (defaults build-windows 1000)
# Needs bash scripts/windows first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=$(realpath "${1:-$root/build-windows}")
cycles=${2:-1000}
. "$root/bench/windows_prefix.sh"
# Wine's desktop must start on the display: a server of its own.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true
xvfb-run -a "$wine" "$win/bench_control_site.exe" "$cycles" 2>/dev/null | tr -d '\r'
