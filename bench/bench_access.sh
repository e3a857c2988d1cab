#!/usr/bin/env bash
# Access figures from the command line, timed together by hyperfine:
#   bash bench/bench_access.sh BUILD [OLD_DORVANE] [RUNS]
#   import   `dorvane inspect big.mdb`: the catalog and every table of big.mdb
#            copied into the in-memory copy (the 100,000 rows of big)
#   merge    `dorvane web` of a page of 10,000 !!bigprice placeholders over big.mdb
#   export   one `mdb-export big.mdb big` (mdbtools, the test oracle), when installed
# OLD_DORVANE, another build's dorvane (the reader before a change), runs the same
# commands in the same run. Peak memory of `inspect` on a 100 MB file grown by
# bench/grow_access_table.py: /usr/bin/time -v BUILD/dorvane inspect FILE.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dorvane=$(realpath "$1/dorvane")
old=${2:+$(realpath "$2")}
runs=${3:-10}
work=$(mktemp -d /tmp/dorvane-bench-access-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$root/../shared/fixtures/access/big.mdb" "$work/"
cd "$work"
for i in $(seq 0 9999); do
  printf '<p><!-- !!bigprice,C%06d; -->gethere</p>\n' $(((i * 7) % 20000))
done >page.htm
commands=(-n import "$dorvane inspect big.mdb" -n merge "$dorvane web page.htm out.htm big.mdb")
if [ -n "$old" ]; then
  commands+=(-n "import (old)" "$old inspect big.mdb" -n "merge (old)" "$old web page.htm old.htm big.mdb")
fi
if command -v mdb-export >/dev/null; then commands+=(-n export "mdb-export big.mdb big"); fi
hyperfine -N --warmup 2 --runs "$runs" --output=null "${commands[@]}"
if grep -q gethere out.htm; then echo "the merge left placeholders unresolved" >&2; exit 1; fi
if [ -n "$old" ] && ! cmp -s out.htm old.htm; then echo "the two merges differ" >&2; exit 1; fi
