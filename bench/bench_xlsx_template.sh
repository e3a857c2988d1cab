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
# Run from the repository root: bench/bench_xlsx_template.sh [BUILD_DIR] [PAIRS]
set -euo pipefail

build=$(realpath "${1:-build}")
pairs=${2:-11}
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

now() { date +%s%N; }
ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b - a) / 1e6 }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Both results checked once: every placeholder filled.
"$build/dorvane" sheet "$work/plain.xlsx" "$work/out.xlsx" --db "$work/kiv.sqlite"
node "$work/fill.js" "$work/filler.xlsx" "$work/filled.xlsx" "$work/values.json" > /dev/null
for f in out filled; do
  if unzip -p "$work/$f.xlsx" xl/worksheets/sheet1.xml xl/sharedStrings.xml | grep -q '!!plain\|\${v'; then
    echo "$f.xlsx still holds placeholders" >&2
    exit 1
  fi
done

: > "$work/dorvane.txt"
: > "$work/inside.txt"
: > "$work/node.txt"
for ((i = 0; i < pairs; i++)); do
  t0=$(now)
  "$build/dorvane" sheet "$work/plain.xlsx" "$work/out.xlsx" --db "$work/kiv.sqlite"
  t1=$(now)
  node "$work/fill.js" "$work/filler.xlsx" "$work/filled.xlsx" "$work/values.json" >> "$work/inside.txt"
  t2=$(now)
  ms "$t0" "$t1" >> "$work/dorvane.txt"
  echo >> "$work/dorvane.txt"
  ms "$t1" "$t2" >> "$work/node.txt"
  echo >> "$work/node.txt"
done
d=$(median < "$work/dorvane.txt")
inside=$(median < "$work/inside.txt")
whole=$(median < "$work/node.txt")
echo "5,000 cells, medians of $pairs alternating pairs (load $(cut -d' ' -f1-3 /proc/loadavg)):"
echo "  dorvane sheet IN OUT, the whole process:        $d ms"
echo "  xlsx-template $version, the fill inside Node.js:   $inside ms"
echo "  xlsx-template $version, the whole Node.js process: $whole ms"
awk -v d="$d" -v i="$inside" -v w="$whole" 'BEGIN {
  printf "  dorvane / xlsx-template: %.3f (inside Node.js), %.3f (whole processes)\n", d / i, d / w }'
