#!/usr/bin/env bash
# Opens two merge reports in headless Chromium — the bundled sample and a
# merge whose secondary database is missing — and checks that each renders:
# no console message (script errors, blocked loads), the summary and the
# placeholder table present, the filter script run, a screenshot taken.
#   report_in_browser.sh DORVANE SAMPLE_DIR SOURCE_DIR OUT_DIR
# The reports and screenshots stay in OUT_DIR.
set -euo pipefail
dorvane=$1 sample=$2 src=$3 out=$4
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "chromium is not installed (scripts/setup installs it)" >&2
  exit 1
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs a merge that must end with the given exit status.
merge() {
  local want=$1 status=0
  shift
  (cd "$sample" && "$dorvane" web "$@") || status=$?
  if [ "$status" -ne "$want" ]; then
    echo "dorvane web $* ended with $status, not $want" >&2
    exit 1
  fi
}
merge 0 "$src/samples/sampleweb.htm" "$work/sample.htm" samplekiv.sqlite \
  --report "$out/sample-report.html"
merge 3 "$src/samples/sampleweb.htm" "$work/failing.htm" samplekiv.sqlite "$work/missing.sqlite" \
  --report "$out/failing-report.html"

fail() {
  echo "$1: $2" >&2
  exit 1
}
for name in sample-report failing-report; do
  url="file://$out/$name.html"
  flags=(--headless --disable-gpu --no-sandbox --no-first-run --user-data-dir="$work/profile")
  timeout 120 "$browser" "${flags[@]}" --enable-logging=stderr --v=0 --dump-dom "$url" \
    >"$work/$name.dom" 2>"$work/$name.log" || fail "$name" "chromium could not open the report"
  if grep -q 'CONSOLE' "$work/$name.log"; then
    grep 'CONSOLE' "$work/$name.log" >&2
    fail "$name" "the page logged to the console"
  fi
  grep -q '<section id="summary">' "$work/$name.dom" || fail "$name" "no summary"
  grep -q '<table id="occurrences">' "$work/$name.dom" || fail "$name" "no placeholder table"
  grep -Eq 'id="f-count">[0-9]+ of [0-9]+ shown<' "$work/$name.dom" ||
    fail "$name" "the filter script did not run"
  timeout 120 "$browser" "${flags[@]}" --hide-scrollbars --window-size=1280,1400 \
    --screenshot="$out/$name.png" "$url" >/dev/null 2>&1 || fail "$name" "no screenshot"
  [ "$(head -c 8 "$out/$name.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "$name" "the screenshot is no PNG"
done
grep -q 'error 3024' "$work/failing-report.dom" || fail failing-report "the missing database's error is not shown"
echo "reports and screenshots in $out"
