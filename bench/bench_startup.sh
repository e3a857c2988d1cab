#!/usr/bin/env bash
# How long the command takes to start, against sqlite3 (a C program with one
# library) as the floor of this machine: `dorvane --version`, `dorvane web` of
# the sample page and `dorvane resolve` of one placeholder, each with hyperfine
# (no shell, warmed up), and the shared libraries each loads. `web` saves its
# result as every result is saved, synced to the disk (two fsync calls, which
# on a busy disk take longer than the rest); `web-mem` saves it on a memory
# file system (/dev/shm), where the sync costs nothing: the start and the merge.
#
# Run from the repository root: bench/bench_startup.sh [BUILD_DIR] [RUNS]
set -euo pipefail

build=$(realpath "${1:-build}")
runs=${2:-200}
dorvane="$build/dorvane"
work=$(mktemp -d)
mem=$(mktemp -d /dev/shm/dorvane-startup-XXXXXX)
trap 'rm -rf "$work" "$mem"' EXIT

cp "$build/sample/samplekiv.sqlite" "$work/"
cp samples/sampleweb.htm "$work/sample.htm"
cd "$work"

hyperfine -N --warmup 20 --runs "$runs" --export-json "$work/times.json" \
  -n sqlite3 'sqlite3 --version' \
  -n version "$dorvane --version" \
  -n web "$dorvane web sample.htm out.htm samplekiv.sqlite" \
  -n web-mem "$dorvane web sample.htm $mem/out.htm samplekiv.sqlite" \
  -n resolve "$dorvane resolve !!price,A01; --db samplekiv.sqlite --pass 1" > "$work/hyperfine.txt"

libraries() {  # the shared objects a command has mapped when it ends
  LD_DEBUG=files "$@" 2>&1 >/dev/null | grep -c 'calling init:' || true
}
python3 - "$work/times.json" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
floor = r["sqlite3"]["mean"]
cpu = lambda x: x["user"] + x["system"]  # steadier than wall time on a busy machine
for name in ["sqlite3", "version", "web", "web-mem", "resolve"]:
    x = r[name]
    print(f"{name:8} mean {x['mean'] * 1000:6.2f} ms  (median {x['median'] * 1000:6.2f}, "
          f"user {x['user'] * 1000:5.2f}, system {x['system'] * 1000:5.2f})"
          f"  {x['mean'] / floor:4.2f}x sqlite3 --version, CPU {cpu(x) / cpu(r['sqlite3']):4.2f}x")
PY
echo "libraries initialised: sqlite3 --version $(libraries sqlite3 --version)," \
  "dorvane --version $(libraries "$dorvane" --version)," \
  "dorvane web $(libraries "$dorvane" web sample.htm out.htm samplekiv.sqlite);" \
  "linked (ldd): dorvane $(ldd "$dorvane" | wc -l) lines"
