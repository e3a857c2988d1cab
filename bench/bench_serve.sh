#!/usr/bin/env bash
# dorvane serve on loopback.
#
# The small merge (the sample page over samplekiv.sqlite, 2 workers), against
# nginx serving the merged page as a static file with the same client:
#   - requests per second at saturation, wrk with 2 threads and 4 connections;
#   - p50/p99 latency at 80 % of that rate (hey, 4 rate-limited clients);
#   - the service's user and kernel CPU time while saturated (/proc);
#   - system calls per request over 1,000 requests (strace on every thread
#     of the warm service), with the thread starts, mappings and shared
#     objects opened among them;
#   - resident memory when warm;
#   - the floor of that kernel share: the merge alone (bench_small_merge, no
#     HTTP, 2 threads) plus nginx's own CPU per request for the same page.
# On a machine of 2 cores the client, nginx and the service share the cores;
# run it more than once and note the load (uptime) beside the figures.
# Then one `dorvane web` process per request against the service:
#   - requests per second at saturation (wrk), for the sample page and for a
#     page of 10 placeholders over big.mdb (100,000 rows), against the rate of
#     one process per page (one at a time, and one per core);
#   - p50/p99 latency at 80 % of the saturated rate (hey, rate-limited);
#   - memory per merge in flight: peak RSS with 8 merges running at once,
#     less the warmed-up RSS, divided by 8.
#
# Run from the repository root: bench/bench_serve.sh [BUILD_DIR] [SECONDS] [small]
# ("small": the small merge only).
set -euo pipefail

build=$(realpath "${1:-build}")
seconds=${2:-10}
only=${3:-}
dorvane="$build/dorvane"
fixtures=$(realpath ../shared/fixtures/access)
cores=$(nproc)
work=$(mktemp -d)
server=""
nginx=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  [ -n "$nginx" ] && kill "$nginx" 2>/dev/null && wait "$nginx" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The databases side by side in $work: the sample's DB名 "samplekiv.sqlite"
# and big.mdb's "big.mdb" both resolve there (big.mdb a link to the fixture).
cp "$build/sample/samplekiv.sqlite" "$work/"
ln -s "$fixtures/big.mdb" "$work/big.mdb"
cp samples/sampleweb.htm "$work/sample.htm"
for ((k = 0; k < 10; k++)); do
  printf '!!bigprice,C%06d; gethere\n' $(((k * 1013) % 20000))
done > "$work/big.htm"

start() {  # start WORKERS: a server on a free port; sets $url
  printf '{"data_sources":{"sample":"samplekiv.sqlite","big":"big.mdb"},"folders":["."],
    "workers":%d,"queue":256}\n' "$1" > "$work/serve.json"
  (cd "$work" && exec "$dorvane" serve --config serve.json --listen 127.0.0.1:0 2> "$work/serve.log") &
  server=$!
  for _ in $(seq 100); do grep -q '"listening"' "$work/serve.log" 2>/dev/null && break; sleep 0.05; done
  url="http://127.0.0.1:$(grep -o '"port":[0-9]*' "$work/serve.log" | cut -d: -f2)"
}
stop() { kill "$server"; wait "$server" || true; server=""; }

now() { date +%s.%N; }
rate() { awk -v n="$1" -v a="$2" -v b="$3" 'BEGIN { printf "%.1f", n / (b - a) }'; }

post_script() {  # a wrk script that posts FILE
  printf 'wrk.method = "POST"\nlocal f = io.open("%s", "rb")\nwrk.body = f:read("*a")\nf:close()\n' \
    "$1" > "$work/post.lua"
}

scenario() {  # scenario NAME PAGE SOURCE DATA_SOURCE_NAME RUNS
  local name=$1 page=$2 source=$3 named=$4 runs=$5
  # One process per request, one at a time and one per core.
  local t0 t1 t2
  t0=$(now)
  for ((i = 0; i < runs; i++)); do
    (cd "$work" && "$dorvane" web "$page" "$work/out-$i.htm" "$source")
  done
  t1=$(now)
  seq 0 $((runs - 1)) | (cd "$work" && xargs -P "$cores" -I{} "$dorvane" web "$page" "$work/par-{}.htm" "$source")
  t2=$(now)
  local single parallel
  single=$(rate "$runs" "$t0" "$t1")
  parallel=$(rate "$runs" "$t1" "$t2")

  post_script "$page"
  curl -sf --data-binary @"$page" "$url/v1/page?primary=$named" > "$work/served.htm"
  cmp -s "$work/served.htm" "$work/out-0.htm" || { echo "$name: served page differs" >&2; exit 1; }
  local saturated
  saturated=$(wrk -t 2 -c 8 -d "${seconds}s" -s "$work/post.lua" "$url/v1/page?primary=$named" |
    awk '/Requests\/sec/ { print $2 }')
  # 80 % of it, spread over 4 rate-limited clients.
  local per_client
  per_client=$(awk -v r="$saturated" 'BEGIN { printf "%d", r * 0.8 / 4 }')
  hey -z "${seconds}s" -c 4 -q "$per_client" -m POST -D "$page" -T text/html \
    "$url/v1/page?primary=$named" > "$work/hey.txt"
  local p50 p99
  p50=$(awk '/ 50% in/ { printf "%.2f", $3 * 1000 }' "$work/hey.txt")
  p99=$(awk '/ 99% in/ { printf "%.2f", $3 * 1000 }' "$work/hey.txt")
  echo "$name:"
  echo "  one dorvane web process per page, one at a time: $single pages/s"
  echo "  one dorvane web process per page, $cores at a time:     $parallel pages/s"
  echo "  dorvane serve ($cores workers), saturated (wrk -c 8):  $saturated requests/s" \
    "($(awk -v s="$saturated" -v p="$parallel" 'BEGIN { printf "%.0f", s / p }')x the parallel processes)"
  echo "  at 80 % of that ($((per_client * 4)) requests/s):   p50 $p50 ms, p99 $p99 ms"
}

cpu_ticks() {  # user and system clock ticks so far of the processes PID... (the server)
  local pids=("${@:-$server}")
  (cd /proc && awk '{ u += $14; k += $15 } END { print u, k }' "${pids[@]/%//stat}")
}

cpu_split() {  # "user U s, kernel K s (P % kernel)" between two cpu_ticks readings
  echo "$1 $2" | awk '{ u = $3 - $1; k = $4 - $2;
    printf "user %.1f s, kernel %.1f s (%.0f %% kernel)", u / 100, k / 100, 100 * k / (u + k) }'
}

per_request() {  # "U K": user and kernel µs per request between two cpu_ticks readings at RATE/s
  echo "$1 $2 $3" | awk -v t="$seconds" '{ n = $5 * t;
    printf "%.1f %.1f", ($3 - $1) * 1e4 / n, ($4 - $2) * 1e4 / n }'
}

small_merge() {
  start 2
  local query="$url/v1/page?primary=sample"
  post_script "$work/sample.htm"
  curl -sf --data-binary @"$work/sample.htm" "$query" > "$work/merged.htm"

  # nginx: the merged page as a static file, one worker per core.
  local port
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  mkdir -p "$work/nginx/static"
  cp "$work/merged.htm" "$work/nginx/static/sample.htm"
  cat > "$work/nginx/nginx.conf" <<CONF
daemon off; worker_processes $cores; pid $work/nginx/nginx.pid; user root;
error_log $work/nginx/error.log;
events { worker_connections 256; }
http {
  access_log off; client_body_temp_path $work/nginx/body;
  server { listen 127.0.0.1:$port; root $work/nginx/static; }
}
CONF
  /usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" 2> /dev/null &
  nginx=$!
  for _ in $(seq 100); do curl -sf "http://127.0.0.1:$port/sample.htm" > /dev/null && break; sleep 0.05; done
  local static nginx_pids nginx_before
  nginx_pids=("$nginx" $(pgrep -P "$nginx"))
  nginx_before=$(cpu_ticks "${nginx_pids[@]}")
  static=$(wrk -t 2 -c 4 -d "${seconds}s" "http://127.0.0.1:$port/sample.htm" |
    awk '/Requests\/sec/ { print $2 }')
  local nginx_after nginx_split nginx_cost
  nginx_after=$(cpu_ticks "${nginx_pids[@]}")
  nginx_split=$(cpu_split "$nginx_before" "$nginx_after")
  nginx_cost=$(per_request "$nginx_before" "$nginx_after" "$static")
  kill "$nginx"; wait "$nginx" || true; nginx=""

  wrk -t 2 -c 4 -d 2s -s "$work/post.lua" "$query" > /dev/null  # warm-up
  local before after saturated
  before=$(cpu_ticks)
  saturated=$(wrk -t 2 -c 4 -d "${seconds}s" -s "$work/post.lua" "$query" |
    awk '/Requests\/sec/ { print $2 }')
  after=$(cpu_ticks)
  local split cost
  split=$(cpu_split "$before" "$after")
  cost=$(per_request "$before" "$after" "$saturated")

  # The merge alone, on as many threads as the service has workers.
  local alone
  alone=$(cd "$work" && "$build/bench_small_merge" --benchmark_min_time=3 \
    --benchmark_filter=threads:2 serve.json sample.htm sample 2> /dev/null |
    awk '/threads:2/ { for (i = 1; i <= NF; i++) if (split($i, kv, "=") == 2) v[kv[1]] = kv[2]
                       printf "%.1f %.1f", v["user_us"], v["kernel_us"] }')

  local per_client
  per_client=$(awk -v r="$saturated" 'BEGIN { printf "%d", r * 0.8 / 4 }')
  hey -z "${seconds}s" -c 4 -q "$per_client" -m POST -D "$work/sample.htm" -T text/html \
    "$query" > "$work/hey.txt"
  local p50 p99
  p50=$(awk '/ 50% in/ { printf "%.2f", $3 * 1000 }' "$work/hey.txt")
  p99=$(awk '/ 99% in/ { printf "%.2f", $3 * 1000 }' "$work/hey.txt")
  local rss
  rss=$(awk '/VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$server/status")

  # System calls of 1,000 requests on every thread of the warm service.
  strace -f -qq -p "$server" -o "$work/strace.txt" &
  local tracer=$!
  sleep 1
  hey -n 1000 -c 4 -m POST -D "$work/sample.htm" -T text/html "$query" > "$work/hey-traced.txt"
  sleep 0.5
  kill -INT "$tracer"; wait "$tracer" || true
  local calls
  calls=$(awk '{ sub(/^[0-9]+ +/, ""); if (match($0, /^[a-z_0-9]+\(/)) print substr($0, 1, RLENGTH - 1) }' \
    "$work/strace.txt" | sort | uniq -c | sort -rn)
  count() { echo "$calls" | awk -v n="$1" '$2 == n { c = $1 } END { print c + 0 }'; }
  local total
  total=$(echo "$calls" | awk '{ t += $1 } END { print t + 0 }')

  echo "small merge (the sample page, 2 workers, wrk -t 2 -c 4):"
  echo "  nginx, the merged page as a static file:  $static requests/s"
  echo "  dorvane serve:                            $saturated merges/s" \
    "($(awk -v s="$saturated" -v n="$static" 'BEGIN { printf "1/%.1f", n / s }') of nginx)"
  echo "  service CPU while saturated:              $split"
  echo "  nginx's CPU while saturated:              $nginx_split"
  echo "$cost $nginx_cost $alone" | awk '{
    printf "  CPU per request, user/kernel:             service %.0f/%.0f µs, nginx %.0f/%.0f µs," \
      " the merge alone %.0f/%.0f µs\n", $1, $2, $3, $4, $5, $6
    printf "  kernel share of the merge alone plus nginx: %.0f %% (the floor of the service'"'"'s)\n",
      100 * ($4 + $6) / ($3 + $4 + $5 + $6) }'
  echo "  at 80 % of that ($((per_client * 4)) requests/s):       p50 $p50 ms, p99 $p99 ms"
  echo "  resident memory when warm:                $rss MiB"
  echo "  system calls per request (1,000 requests): $(awk -v t="$total" 'BEGIN { printf "%.1f", t / 1000 }')" \
    "— clone $(($(count clone) + $(count clone3))), mmap $(count mmap), munmap $(count munmap)," \
    "madvise $(count madvise), shared objects opened $(grep -c '\.so[."]' "$work/strace.txt" || true)" \
    "in all"
  echo "  the most frequent:" $(echo "$calls" | head -12 | awk '{ printf "%s %.1f, ", $2, $1 / 1000 }')
  stop
}

small_merge
[ "$only" = small ] && exit 0

start "$cores"
scenario "sample page (samplekiv.sqlite)" "$work/sample.htm" samplekiv.sqlite sample 100
scenario "page of 10 placeholders over big.mdb (100,000 rows)" "$work/big.htm" big.mdb big 20
stop

# Memory per merge in flight: 8 workers, 8 clients posting the big.mdb page.
start 8
curl -sf --data-binary @"$work/big.htm" "$url/v1/page?primary=big" > /dev/null
for _ in 1 2 3; do
  hey -n 64 -c 8 -m POST -D "$work/big.htm" "$url/v1/page?primary=big" > /dev/null
done
before=$(awk '/VmRSS/ { print $2 }' "/proc/$server/status")
echo 5 > "/proc/$server/clear_refs"  # resets the peak (VmHWM)
hey -z "${seconds}s" -c 8 -m POST -D "$work/big.htm" "$url/v1/page?primary=big" > /dev/null
peak=$(awk '/VmHWM/ { print $2 }' "/proc/$server/status")
echo "memory: warmed-up RSS $((before / 1024)) MiB, peak with 8 merges in flight" \
  "$((peak / 1024)) MiB: $(((peak - before) / 8)) KiB per merge in flight"
stop
