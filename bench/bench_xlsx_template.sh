#!/usr/bin/env bash
# Native workbooks against xlsx-template (the Node.js template filler) on the
# same workbook of 5,000 value cells (bench_workbook's template: shared
# strings, 20 cells to a row; for xlsx-template "${v0}"… in the same cells,
# filled with the numbers the merge writes).
#
# xlsx-template is installed with npm into a temporary folder at run time and
# removed at the end (npm and Node.js from scripts/setup). Alternating pairs,
# medians:
#   - `dorvane sheet IN OUT --db KIVDB`: the whole process, wall time;
#   - xlsx-template, one fill per Node.js process as a command would run it:
#     the whole process, and inside it the fill alone (read, load,
#     substitute, generate, write; Node's start and the module's loading not
#     counted).
#
# Run from the repository root: bench/bench_xlsx_template.sh [BUILD_DIR] [PAIRS] [DORVANE]
# (DORVANE: another build's command to time, e.g. the tree before a change).
set -euo pipefail

build=$(realpath "${1:-build}")
pairs=${2:-11}
dorvane=$(realpath "${3:-$build/dorvane}")
version=1.4.7
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench_workbook" --write "$work"
(cd "$work" && npm install --silent --no-audit --no-fund --no-save "xlsx-template@$version" > /dev/null)
cat > "$work/fill.js" <<'JS'
const fs = require("fs");
const XlsxTemplate = require("xlsx-template");
const [input, output, valuesFile] = process.argv.slice(2);
const values = JSON.parse(fs.readFileSync(valuesFile, "utf8"));
function fill() {
  const t = new XlsxTemplate(fs.readFileSync(input));
  t.substitute(1, values);
  fs.writeFileSync(output, t.generate({ type: "nodebuffer" }));
}
const start = process.hrtime.bigint();
fill();
console.log((Number(process.hrtime.bigint() - start) / 1e6).toFixed(2));
JS

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Both results checked once: every placeholder filled.
"$dorvane" sheet "$work/plain.xlsx" "$work/out.xlsx" --db "$work/kiv.sqlite"
node "$work/fill.js" "$work/filler.xlsx" "$work/filled.xlsx" "$work/values.json" > /dev/null
for f in out filled; do
  if unzip -p "$work/$f.xlsx" xl/worksheets/sheet1.xml xl/sharedStrings.xml | grep -q '!!plain\|\${v'; then
    echo "$f.xlsx still holds placeholders" >&2
    exit 1
  fi
done

: > "$work/dorvane.txt"
: > "$work/node.txt"
: > "$work/inside.txt"
for ((i = 0; i < pairs; i++)); do
  /usr/bin/time -f "%e %U %S" -a -o "$work/dorvane.txt" \
    "$dorvane" sheet "$work/plain.xlsx" "$work/out.xlsx" --db "$work/kiv.sqlite"
  /usr/bin/time -f "%e %U %S" -a -o "$work/node.txt" \
    node "$work/fill.js" "$work/filler.xlsx" "$work/filled.xlsx" "$work/values.json" >> "$work/inside.txt"
done
wall() { awk '{ print $1 * 1000 }' "$1" | median; }
cpu() { awk '{ print ($2 + $3) * 1000 }' "$1" | median; }
dw=$(wall "$work/dorvane.txt")
dc=$(cpu "$work/dorvane.txt")
nw=$(wall "$work/node.txt")
nc=$(cpu "$work/node.txt")
inside=$(median < "$work/inside.txt")
echo "5,000 cells, medians of $pairs alternating pairs (load $(cut -d' ' -f1-3 /proc/loadavg)):"
echo "  dorvane sheet IN OUT, the whole process:          $dw ms wall, $dc ms CPU"
echo "  xlsx-template $version, the whole Node.js process:  $nw ms wall, $nc ms CPU"
echo "  xlsx-template $version, the fill inside Node.js:    $inside ms wall"
awk -v dw="$dw" -v dc="$dc" -v nw="$nw" -v nc="$nc" -v i="$inside" 'BEGIN {
  printf "  dorvane / xlsx-template: %.3f (CPU), %.3f (wall), %.3f (wall, the fill alone)\n",
    dc / nc, dw / nw, dw / i }'
