#!/usr/bin/env bash
# HTTP throughput and latency of our server loop against nginx, side by side in one run.
#
# Both serve a 5 KB page on loopback: ours through http_bench (the server loop and
# HTTP processor with a fixed-page handler), nginx with one worker process, access log off,
# serving a 5 KB file from a temporary directory with its own configuration. wrk drives each
# with keep-alive, 2 threads (or as many as given) and 50 connections, in rounds that take
# turns between the two, so that a change in the machine's load meets both alike. Prints
# requests/s, the 99th percentile latency and the cores wrk itself kept busy, per round, their
# medians and the ratios of the medians, and the CPU our server uses while idle. On a 2-core
# machine two load threads and the server loop are three busy threads on two cores, and the
# p99 then measures where the scheduler puts them; with one load thread each side has a core
# of its own.
#
#   bash bench/http.sh [seconds per run, default 10] [rounds, default 3] [load threads, default 2]
set -euo pipefail
cd "$(dirname "$0")/.."

duration="${1:-10}"
rounds="${2:-3}"
threads="${3:-2}"
bash scripts/setup-bench.sh
cmake -S . -B build/release -G Ninja >/dev/null
cmake --build build/release --target http_bench >/dev/null

source bench/common.sh
bench_scratch

# --- our server ---
build/release/bench/http_bench 0 >"$work/ours.out" 2>&1 &
ours_pid=$!
for _ in $(seq 100); do
  grep -q '^PORT ' "$work/ours.out" 2>/dev/null && break
  sleep 0.1
done
ours_port="$(awk '/^PORT /{print $2}' "$work/ours.out")"
[ -n "$ours_port" ] || { echo "our server did not start"; cat "$work/ours.out"; exit 1; }

# --- nginx ---
start_nginx

# --- load ---
run_wrk() {  # name port -> prints "requests/s p99-ms load-cores"
  local out="$work/wrk-$1.txt"
  wrk -t"$threads" -c50 -d2s "http://127.0.0.1:$2/" >/dev/null  # warm-up
  # The processor time wrk itself takes: on a small machine the load generator competes with
  # the server for the cores, and how busy it is explains much of the tail.
  local TIMEFORMAT='%U %S'
  { time wrk -t"$threads" -c50 -d"${duration}s" --latency "http://127.0.0.1:$2/" >"$out"; } 2>"$work/time-$1.txt"
  if grep -q "Non-2xx" "$out"; then echo "$1 answered errors:"; cat "$out"; exit 1; fi
  local rps p99 cores
  rps="$(awk '/^Requests\/sec:/{print $2}' "$out")"
  p99="$(awk '$1=="99%"{v=$2; if (v ~ /us$/) {sub(/us$/,"",v); v=v/1000} else if (v ~ /ms$/) {sub(/ms$/,"",v)} else if (v ~ /s$/) {sub(/s$/,"",v); v=v*1000}; print v}' "$out")"
  cores="$(awk -v d="$duration" '{printf "%.2f", ($1 + $2) / d}' "$work/time-$1.txt")"
  echo "$rps $p99 $cores"
}

ours_all_rps=""; ours_all_p99=""; ours_all_load=""; nginx_all_rps=""; nginx_all_p99=""; nginx_all_load=""
for round in $(seq "$rounds"); do
  read -r rps p99 load < <(run_wrk ours "$ours_port")
  ours_all_rps+=" $rps"; ours_all_p99+=" $p99"; ours_all_load+=" $load"
  printf 'round %d: ours %12s %8s ms (wrk %s cores)' "$round" "$rps" "$p99" "$load"
  read -r rps p99 load < <(run_wrk nginx "$nginx_port")
  nginx_all_rps+=" $rps"; nginx_all_p99+=" $p99"; nginx_all_load+=" $load"
  printf ', nginx %12s %8s ms (wrk %s cores)\n' "$rps" "$p99" "$load"
done
ours_rps="$(median <<<"$ours_all_rps")"; ours_p99="$(median <<<"$ours_all_p99")"
nginx_rps="$(median <<<"$nginx_all_rps")"; nginx_p99="$(median <<<"$nginx_all_p99")"
ours_load="$(median <<<"$ours_all_load")"; nginx_load="$(median <<<"$nginx_all_load")"

# --- idle CPU of our server over 5 s ---
sleep 2
ticks() { awk '{print $14 + $15}' "/proc/$ours_pid/stat"; }
t0="$(ticks)"
sleep 5
t1="$(ticks)"
hz="$(getconf CLK_TCK)"
idle_cpu="$(awk -v a="$t0" -v b="$t1" -v hz="$hz" 'BEGIN{printf "%.2f", (b - a) / hz / 5 * 100}')"

echo "medians of $rounds rounds, $threads load thread(s):"
printf '%-8s %12s %10s %12s\n' server 'requests/s' 'p99 (ms)' 'wrk (cores)'
printf '%-8s %12s %10s %12s\n' ours "$ours_rps" "$ours_p99" "$ours_load"
printf '%-8s %12s %10s %12s\n' nginx "$nginx_rps" "$nginx_p99" "$nginx_load"
awk -v a="$ours_rps" -v b="$nginx_rps" -v c="$ours_p99" -v d="$nginx_p99" \
  'BEGIN{printf "ratio ours/nginx: requests/s %.2f, p99 %.2f\n", a / b, c / d}'
echo "idle CPU of our server: ${idle_cpu}% of one core"
