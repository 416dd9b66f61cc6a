#!/usr/bin/env bash
# Generated pages per second: the image grid of a folder (page 405, eight thumbnails of a folder
# holding 80 accepted images) and an image's detail page (page 404), served by the real server
# to a logged-in ordinary user, beside nginx (one worker) serving a static 5 KB file in the same
# run. wrk drives each with keep-alive on loopback, 2 threads and 50 connections, in rounds that
# take turns between them, so that a change in the machine's load meets all alike. Prints
# pages/s of both pages and nginx's requests/s per round, their medians and the ratios of the
# medians.
#
# Our server writes its access log ([log.access][file], as a new root does); a twin on a copy
# of the same root with the logs off serves the grid and the style sheet (a static file) in
# the same rounds, so that the cost of the log and the counting stands beside them. The
# folder's shared link (/s/<token>, its grid of 60 pictures a page) is served in the same
# rounds too, without any cookie, as a visitor without an account sees it.
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
link_path="$(build/release/bench/pages_bench "$root" 80 | grep '^/s/')"  # the folder's shared link
sed -i "s/^\[log.access\]\[[a-z]*\]/[log.access][file]/" "$root/config/config.cfg"
quiet="$work/root-quiet"
cp -a "$root" "$quiet"
quiet_port="$(free_port)"
sed -i "s/^\[server.port\]\[[0-9]*\]/[server.port][$quiet_port]/; s/^\[log.access\]\[[a-z]*\]/[log.access][off]/" \
  "$quiet/config/config.cfg"
"$root/bin/vistrel" "$root" >"$work/ours.out" 2>&1 &
ours_pid=$!
"$quiet/bin/vistrel" "$quiet" >"$work/quiet.out" 2>&1 &
quiet_pid=$!
wait_port "$ours_port"
wait_port "$quiet_port"

# The login: the session's id for the links, and its cookie, without which the id opens nothing.
login="$(log_in "http://127.0.0.1:$ours_port" bench bench)"
[ -n "$login" ] || { echo "the login failed"; cat "$work/ours.out"; exit 1; }
session="${login%%:*}"
cookie="Cookie: vistrel_session=${login#*:}"
quiet_login="$(log_in "http://127.0.0.1:$quiet_port" bench bench)"
[ -n "$quiet_login" ] || { echo "the login on the twin failed"; cat "$work/quiet.out"; exit 1; }
quiet_cookie="Cookie: vistrel_session=${quiet_login#*:}"
grid_url="http://127.0.0.1:$ours_port/?session=$session&page=405&Folder.id=1&pagenum=3"
quiet_grid_url="http://127.0.0.1:$quiet_port/?session=${quiet_login%%:*}&page=405&Folder.id=1&pagenum=3"
static_url="http://127.0.0.1:$ours_port/style.css"
link_url="http://127.0.0.1:$ours_port$link_path"
quiet_static_url="http://127.0.0.1:$quiet_port/style.css"
detail_url="http://127.0.0.1:$ours_port/?session=$session&page=404&Folder.id=1&pagenum=21"
shows() {  # url pattern -> fails with the answer shown when the page lacks the pattern
  local answer
  answer="$(curl -s -i -H "$cookie" "$1")"
  grep -q "$2" <<<"$answer" && return 0
  echo "session $session: $1 answered:"; head -c 1500 <<<"$answer"; echo
  return 1
}
shows "$grid_url" 'class="imageTitle"' || { echo "page 405 shows no images"; exit 1; }
[ -n "$link_path" ] && curl -s "$link_url" | grep -qi '<img' || { echo "the link's grid shows no images"; exit 1; }
shows "$detail_url" 'class="imageAttribute"' || { echo "page 404 shows no image"; exit 1; }

# --- nginx ---
start_nginx

# --- load ---
run_wrk() {  # name url [cookie header] -> prints requests/s
  local out="$work/wrk-$1.txt" with="${3:-$cookie}"
  wrk -t2 -c50 -d2s -H "$with" "$2" >/dev/null  # warm-up
  wrk -t2 -c50 -d"${duration}s" -H "$with" "$2" >"$out"
  if grep -q "Non-2xx" "$out"; then echo "$1 answered errors:" >&2; cat "$out" >&2; exit 1; fi
  awk '/^Requests\/sec:/{print $2}' "$out"
}

grid_all=""; detail_all=""; nginx_all=""; qgrid_all=""; static_all=""; qstatic_all=""; link_all=""
for round in $(seq "$rounds"); do
  grid_rps="$(run_wrk grid "$grid_url")"
  qgrid_rps="$(run_wrk quiet-grid "$quiet_grid_url" "$quiet_cookie")"
  detail_rps="$(run_wrk detail "$detail_url")"
  nginx_rps="$(run_wrk nginx "http://127.0.0.1:$nginx_port/")"
  static_rps="$(run_wrk static "$static_url")"
  link_rps="$(run_wrk link "$link_url" "X-No-Cookie: 1")"
  qstatic_rps="$(run_wrk quiet-static "$quiet_static_url" "$quiet_cookie")"
  grid_all+=" $grid_rps"; detail_all+=" $detail_rps"; nginx_all+=" $nginx_rps"
  qgrid_all+=" $qgrid_rps"; static_all+=" $static_rps"; qstatic_all+=" $qstatic_rps"
  link_all+=" $link_rps"
  awk -v r="$round" -v a="$grid_rps" -v b="$detail_rps" -v n="$nginx_rps" -v q="$qgrid_rps" \
    -v s="$static_rps" -v t="$qstatic_rps" 'BEGIN{printf \
    "round %d: grid %.0f, detail %.0f, nginx %.0f (grid %.2f, detail %.2f); logs off: grid %.0f; static %.0f, logs off %.0f\n", \
    r, a, b, n, a / n, b / n, q, s, t}'
done
grid_rps="$(median <<<"$grid_all")"
detail_rps="$(median <<<"$detail_all")"
nginx_rps="$(median <<<"$nginx_all")"
qgrid_rps="$(median <<<"$qgrid_all")"
static_rps="$(median <<<"$static_all")"
qstatic_rps="$(median <<<"$qstatic_all")"
link_rps="$(median <<<"$link_all")"
grid_size="$(curl -s -H "$cookie" "$grid_url" | wc -c)"
detail_size="$(curl -s -H "$cookie" "$detail_url" | wc -c)"

echo "medians of $rounds rounds:"
printf '%-28s %12s %10s\n' page 'per second' bytes
printf '%-28s %12s %10s\n' 'ours: grid 405 (8 of 80)' "$grid_rps" "$grid_size"
printf '%-28s %12s %10s\n' 'ours: detail 404' "$detail_rps" "$detail_size"
printf '%-28s %12s %10s\n' 'nginx: static file' "$nginx_rps" 5120
awk -v a="$grid_rps" -v b="$detail_rps" -v n="$nginx_rps" \
  'BEGIN{printf "ratio to nginx: grid %.2f, detail %.2f\n", a / n, b / n}'
printf '%-28s %12s\n' 'ours, logs off: grid 405' "$qgrid_rps"
printf '%-28s %12s\n' 'ours: style sheet' "$static_rps"
printf '%-28s %12s\n' 'ours, logs off: style sheet' "$qstatic_rps"
awk -v a="$grid_rps" -v b="$qgrid_rps" -v c="$static_rps" -v d="$qstatic_rps" \
  'BEGIN{printf "access log and counting cost: grid %.1f%%, style sheet %.1f%% fewer per second\n", (1 - a / b) * 100, (1 - c / d) * 100}'
printf '%-28s %12s\n' "ours: a link's grid (60 of 80)" "$link_rps"
awk -v a="$link_rps" -v b="$grid_rps" 'BEGIN{printf "link grid / folder grid: %.2f\n", a / b}'
