#!/usr/bin/env bash
# A login flood against another client's static file, beside nginx in the same run.
#
# The real server runs on a fresh root (make-root.sh) holding 50 extra accounts. One client
# fetches /style.css (12.7 KB) every 5 ms over one keep-alive connection and records the
# p50 and p99 of its answers, while 50 connections post the login form without pause
# (login_bench, each connection from its own loopback address):
#   quiet:  no logins (the same file's latency without the flood);
#   right:  each connection logs in to its own account with its right password: the
#           throttle never refuses, every attempt costs an argon2id hash;
#   mixed:  wrong passwords for admin from every connection, wrong ones for another
#           connection's account, right ones and unknown names: after 5 failures per
#           account or 20 per address the throttle refuses them without hashing;
#   nginx:  nginx (one worker) serving a 5 KB file to the same probe while the same 50
#           connections post the same logins to it (answered 405: the load's shape, not
#           its work).
# The goal: the static file's p99 under 10 ms during the flood.
#
#   bash bench/login.sh [seconds per run, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."

duration="${1:-20}"
bash scripts/setup.sh >/dev/null
bash scripts/setup-bench.sh
command -v curl >/dev/null || { echo "curl is needed"; exit 1; }
cmake -S . -B build/release -G Ninja >/dev/null
cmake --build build/release --target vistrel login_bench >/dev/null

source bench/common.sh
bench_scratch

# --- our server, on a root with the flood's accounts ---
lay_out_root
build/release/bench/login_bench fill "$root" 50
"$root/bin/vistrel" "$root" >"$work/ours.out" 2>&1 &
ours_pid=$!
# It opens its port before it hashes the accounts' clear passwords: the first answer tells
# that it is ready.
wait_port "$ours_port"
curl -s -o /dev/null --max-time 120 "http://127.0.0.1:$ours_port/style.css"

translation() { sed -n "s/^\[$1\]\[\(.*\)\]$/\1/p" "$root/config/translations.eng"; }
failed_text="$(translation MESSAGE_LOGIN_FAILED)"
throttled_text="$(translation MESSAGE_LOGIN_THROTTLED)"

# --- nginx ---
start_nginx

# --- load ---
declare -A result
run() {  # name port mode source-prefix path
  local line
  line="$(build/release/bench/login_bench load "$2" "$duration" "$3" "$4" "$5" \
    "$failed_text" "$throttled_text")"
  result[$1]="${line#RESULT }"
  sleep 1
}
run quiet "$ours_port" quiet 127.0.0. /style.css
run right "$ours_port" right 127.0.1. /style.css
run mixed "$ours_port" mixed 127.0.2. /style.css
run nginx "$nginx_port" mixed 127.0.3. /

# Every right login of the "right" run logged in, and our server gave every login one of
# its answers; anything else would measure something else.
read -r _ _ _ _ attempts logged_in _ _ _ _ <<<"${result[right]}"
if [ "$logged_in" -ne "$attempts" ] || [ "$attempts" -eq 0 ]; then
  echo "right logins refused: $logged_in of $attempts logged in" >&2
  exit 1
fi
read -r _ _ _ _ attempts _ _ _ other _ <<<"${result[mixed]}"
if [ "$other" -ne 0 ] || [ "$attempts" -eq 0 ]; then
  echo "mixed flood: $other of $attempts logins got no login answer" >&2
  exit 1
fi

echo "${duration} s per run; the flood: 50 connections posting logins without pause"
printf '%-28s %7s %9s %9s %9s %9s %14s\n' 'static file (run)' fetches 'p50 (ms)' 'p99 (ms)' 'max (ms)' 'logins/s' 'hashed/refused'
row() {  # label name
  local probes p50 p99 max attempts ok failed throttled other rate
  read -r probes p50 p99 max attempts ok failed throttled other rate <<<"${result[$2]}"
  local split="-"
  [ "$attempts" -gt 0 ] && split="$((ok + failed))/$throttled"
  [ "$2" = nginx ] && split="(405)"
  [ "$attempts" -eq 0 ] && rate="-"
  printf '%-28s %7s %9s %9s %9s %9s %14s\n' "$1" "$probes" "$p50" "$p99" "$max" "$rate" "$split"
}
row 'ours: no flood' quiet
row 'ours: right passwords' right
row 'ours: mixed, throttled' mixed
row 'nginx 5 KB: the same flood' nginx
p99_of() { read -r _ _ p99 _ <<<"${result[$1]}"; echo "$p99"; }
awk -v r="$(p99_of right)" -v m="$(p99_of mixed)" -v n="$(p99_of nginx)" \
  'BEGIN{printf "ratio of p99 ours/nginx under the flood: right passwords %.1f, mixed %.1f\n", r / n, m / n}'
awk -v r="$(p99_of right)" -v m="$(p99_of mixed)" \
  'BEGIN{printf "goal, p99 under 10 ms during the flood: %s\n", (r < 10 && m < 10) ? "met" : "not met"}'
