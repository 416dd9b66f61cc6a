#!/usr/bin/env bash
# Generated pages per second: the image grid of a folder (page 405, eight thumbnails of a folder
# holding 80 accepted images) and an image's detail page (page 404), served by the real server
# to a logged-in ordinary user, beside nginx (one worker) serving a static 5 KB file in the same
# run. wrk drives each with keep-alive on loopback, 2 threads and 50 connections, in rounds that
# take turns between the three, so that a change in the machine's load meets all alike. Prints
# pages/s of both pages and nginx's requests/s per round, their medians and the ratios of the
# medians.
#
#   bash bench/pages.sh [seconds per run, default 10] [rounds, default 3]
set -euo pipefail
cd "$(dirname "$0")/.."

duration="${1:-10}"
rounds="${2:-3}"
bash scripts/setup-bench.sh
cmake -S . -B build/release -G Ninja >/dev/null
cmake --build build/release --target vistrel pages_bench >/dev/null

source bench/common.sh
bench_scratch

# --- our server, on a root with the benchmark's data ---
lay_out_root
build/release/bench/pages_bench "$root" 80
"$root/bin/vistrel" "$root" >"$work/ours.out" 2>&1 &
ours_pid=$!
wait_port "$ours_port"

# The login: the session's id for the links, and its cookie, without which the id opens nothing.
login="$(log_in "http://127.0.0.1:$ours_port" bench bench)"
[ -n "$login" ] || { echo "the login failed"; cat "$work/ours.out"; exit 1; }
session="${login%%:*}"
cookie="Cookie: vistrel_session=${login#*:}"
grid_url="http://127.0.0.1:$ours_port/?session=$session&page=405&Folder.id=1&pagenum=3"
detail_url="http://127.0.0.1:$ours_port/?session=$session&page=404&Folder.id=1&pagenum=21"
shows() {  # url pattern -> fails with the answer shown when the page lacks the pattern
  local answer
  answer="$(curl -s -i -H "$cookie" "$1")"
  grep -q "$2" <<<"$answer" && return 0
  echo "session $session: $1 answered:"; head -c 1500 <<<"$answer"; echo
  return 1
}
shows "$grid_url" 'class="imageTitle"' || { echo "page 405 shows no images"; exit 1; }
shows "$detail_url" 'class="imageAttribute"' || { echo "page 404 shows no image"; exit 1; }

# --- nginx ---
start_nginx

# --- load ---
run_wrk() {  # name url -> prints requests/s
  local out="$work/wrk-$1.txt"
  wrk -t2 -c50 -d2s -H "$cookie" "$2" >/dev/null  # warm-up
  wrk -t2 -c50 -d"${duration}s" -H "$cookie" "$2" >"$out"
  if grep -q "Non-2xx" "$out"; then echo "$1 answered errors:" >&2; cat "$out" >&2; exit 1; fi
  awk '/^Requests\/sec:/{print $2}' "$out"
}

grid_all=""; detail_all=""; nginx_all=""
for round in $(seq "$rounds"); do
  grid_rps="$(run_wrk grid "$grid_url")"
  detail_rps="$(run_wrk detail "$detail_url")"
  nginx_rps="$(run_wrk nginx "http://127.0.0.1:$nginx_port/")"
  grid_all+=" $grid_rps"; detail_all+=" $detail_rps"; nginx_all+=" $nginx_rps"
  awk -v r="$round" -v a="$grid_rps" -v b="$detail_rps" -v n="$nginx_rps" 'BEGIN{printf \
    "round %d: grid %.0f, detail %.0f, nginx %.0f (grid %.2f, detail %.2f)\n", r, a, b, n, a / n, b / n}'
done
grid_rps="$(median <<<"$grid_all")"
detail_rps="$(median <<<"$detail_all")"
nginx_rps="$(median <<<"$nginx_all")"
grid_size="$(curl -s -H "$cookie" "$grid_url" | wc -c)"
detail_size="$(curl -s -H "$cookie" "$detail_url" | wc -c)"

echo "medians of $rounds rounds:"
printf '%-28s %12s %10s\n' page 'per second' bytes
printf '%-28s %12s %10s\n' 'ours: grid 405 (8 of 80)' "$grid_rps" "$grid_size"
printf '%-28s %12s %10s\n' 'ours: detail 404' "$detail_rps" "$detail_size"
printf '%-28s %12s %10s\n' 'nginx: static file' "$nginx_rps" 5120
awk -v a="$grid_rps" -v b="$detail_rps" -v n="$nginx_rps" \
  'BEGIN{printf "ratio to nginx: grid %.2f, detail %.2f\n", a / n, b / n}'
