#!/usr/bin/env bash
# The command on Windows against the command on Linux, in the same run: each
# a whole process, the Windows one under Wine.
#   sheet  a workbook whose active sheet holds CELLS value placeholders, each
#          of which gets its value and a hidden note, merged natively
#   batch  JOBS page jobs of 100 placeholders each, run by 2 workers
#   start  dorvane --help: what starting the process costs alone
#   bench/bench_windows_command.sh [BUILD [BUILD_WINDOWS [CELLS [JOBS [RUNS]]]]]
#     (defaults build build-windows 5000 100 5)
# The runs alternate Linux and Windows; prints the median of RUNS for each and
# the ratio Windows / Linux, and checks that both wrote the same workbook parts
# and pages. Needs bash scripts/windows first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux=$(realpath "${1:-$root/build}")
win=$(realpath "${2:-$root/build-windows}")
cells=${3:-5000}
jobs=${4:-100}
runs=${5:-5}
. "$root/bench/windows_prefix.sh"
book() { /usr/bin/python3 "$root/tests/windows/standin/book.py" "$@"; }

price_database "$cells"
book make book.xlsx $(for i in $(seq 1 "$cells"); do printf 'B%d=!!p,K%05d; ' $((i + 1)) "$i"; done)
mkdir -p pages linux win
for i in $(seq 0 99); do
  printf '<TR><TD>!!p,K%05d;</TD><TD>gethere</TD></TR>\n' $((i * 37 % cells + 1))
done >pages/page.htm
for side in linux win; do
  for j in $(seq 1 "$jobs"); do
    printf '{"kind":"web","read":"pages/page.htm","save":"%s/page%d.htm","db":"prices.sqlite"}\n' \
      "$side" "$j"
  done >"$side.jsonl"
done

timed() {  # COMMAND...: milliseconds
  local t
  t=$(ms)
  "$@" >/dev/null 2>&1 || true
  echo $(($(ms) - t))
}
sheet_linux=() sheet_win=() batch_linux=() batch_win=() start_linux=() start_win=()
for _ in $(seq "$runs"); do
  start_linux+=($(timed "$linux/dorvane" --help))
  start_win+=($(timed "$wine" "$win/dorvane.exe" --help))
  sheet_linux+=($(timed "$linux/dorvane" sheet book.xlsx out-linux.xlsx --db prices.sqlite))
  sheet_win+=($(timed "$wine" "$win/dorvane.exe" sheet book.xlsx out-win.xlsx --db prices.sqlite))
  batch_linux+=($(timed "$linux/dorvane" batch linux.jsonl -j 2))
  batch_win+=($(timed "$wine" "$win/dorvane.exe" batch win.jsonl -j 2))
done
report() {  # NAME LINUX... -- WINDOWS...
  local name=$1 l w
  l=$(printf '%s\n' "${@:2:$runs}" | median)
  w=$(printf '%s\n' "${@:$((runs + 2))}" | median)
  printf '%-44s Linux %6s ms   Windows %6s ms   ratio %s\n' "$name" "$l" "$w" \
    "$(awk -v a="$w" -v b="$l" 'BEGIN {printf "%.2f", a / b}')"
}
echo "median of $runs runs, each a whole process (Windows under Wine: $($wine --version))"
report "sheet: $cells value cells with notes" "${sheet_linux[@]}" "${sheet_win[@]}"
report "batch: $jobs pages of 100 placeholders, -j 2" "${batch_linux[@]}" "${batch_win[@]}"
report "start: --help" "${start_linux[@]}" "${start_win[@]}"
book same out-linux.xlsx out-win.xlsx && echo "workbooks: the same parts, byte for byte"
for j in $(seq 1 "$jobs"); do cmp -s "linux/page$j.htm" "win/page$j.htm" || { echo "page $j differs"; exit 1; }; done
echo "pages: identical bytes"
