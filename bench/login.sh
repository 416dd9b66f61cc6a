#!/usr/bin/env bash
# A login flood against another client's static file and an uploader, beside nginx in the
# same run.
#
# The real server runs on a fresh root (make-root.sh) holding 50 extra accounts. One client
# fetches /style.css (12.7 KB) every 5 ms over one keep-alive connection and records the
# p50 and p99 of its answers, while connections post the login form without pause
# (login_bench, from many loopback addresses):
#   quiet:  no logins (the same file's latency without the flood);
#   fresh:  40 addresses with 8 connections each, wrong passwords under user names never
#           used before (the attack that once stalled the server loop); meanwhile a user
#           uploads a 640 x 480 picture every 2 s, and every upload must be stored;
#   right:  50 connections, each logs in to its own account with its right password: up to
#           the check rate (20 a second) each costs an argon2id hash, the rest are refused
#           as "too many logins at the moment", never as failed;
#   mixed:  50 connections with wrong passwords for admin, wrong ones for another
#           connection's account, right ones and unknown names: after 5 failures per
#           account and address or 20 per address the throttle refuses them unhashed;
#   nginx:  nginx (one worker) serving a 5 KB file to the same probe while the fresh
#           flood's 320 connections post the same logins to it (answered 405: the load's
#           shape, not its work).
# The goal: the static file's p99 at most 10 ms during every flood.
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
command -v /usr/bin/convert >/dev/null || { echo "ImageMagick's convert is needed"; exit 1; }

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

# The uploader's session (the login form's post) and picture.
uploader="$(log_in "http://127.0.0.1:$ours_port" uploader upload)"
[ -n "$uploader" ] || { echo "the uploader's login failed" >&2; exit 1; }
/usr/bin/convert -size 640x480 -seed 5 plasma:fractal -quality 90 "$work/upload.jpg"

# --- nginx ---
start_nginx

# --- load ---
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
declare -A result
run() {  # name port mode source-prefix path [upload session and picture]
  local line
  line="$(build/release/bench/login_bench load "$2" "$duration" "$3" "$4" "$5" \
    "$failed_text" "$throttled_text" "${@:6}")"
  result[$1]="${line#RESULT }"
  sleep 2
}
run quiet "$ours_port" quiet 127.0.0. /style.css
run fresh "$ours_port" fresh 127.0.1. /style.css "$uploader" "$work/upload.jpg"
run right "$ours_port" right 127.0.2. /style.css
run mixed "$ours_port" mixed 127.0.3. /style.css
run nginx "$nginx_port" fresh 127.0.4. /

# No right login of the "right" run failed, our server gave every login one of its
# answers, and every upload during the fresh flood was stored; anything else would measure
# something else.
fields() { read -r probes p50 p99 max attempts ok failed throttled refused other rate uploads stored slowest <<<"${result[$1]}"; }
fields right
if [ "$failed" -ne 0 ] || [ "$ok" -eq 0 ] || [ "$((ok + throttled + refused))" -ne "$attempts" ]; then
  echo "right logins: $ok of $attempts logged in, $failed failed" >&2
  exit 1
fi
for run in fresh mixed; do
  fields "$run"
  if [ "$other" -ne 0 ] || [ "$attempts" -eq 0 ]; then
    echo "$run flood: $other of $attempts logins got no login answer" >&2
    exit 1
  fi
done
fields fresh
# 472 bytes per image record.
records=$(($(stat -c %s "$root/database/image.db") / 472))
if [ "$uploads" -eq 0 ] || [ "$stored" -ne "$uploads" ] || [ "$records" -ne "$uploads" ]; then
  echo "uploads during the fresh flood: $stored of $uploads answered, $records stored" >&2
  exit 1
fi

echo "${duration} s per run; load average before the runs: $load_before"
printf '%-30s %7s %9s %9s %9s %9s %18s\n' 'static file (run)' fetches 'p50 (ms)' 'p99 (ms)' 'max (ms)' 'logins/s' 'hashed/refused'
row() {  # label name
  fields "$2"
  local split="-"
  [ "$attempts" -gt 0 ] && split="$((ok + failed))/$((throttled + refused))"
  [ "$2" = nginx ] && split="(405)"
  [ "$attempts" -eq 0 ] && rate="-"
  printf '%-30s %7s %9s %9s %9s %9s %18s\n' "$1" "$probes" "$p50" "$p99" "$max" "$rate" "$split"
}
row 'ours: no flood' quiet
row 'ours: 40 x 8 new names' fresh
row 'ours: right passwords' right
row 'ours: mixed, throttled' mixed
row 'nginx 5 KB: 40 x 8 new names' nginx
fields fresh
echo "uploads during the 40 x 8 flood: $stored of $uploads stored, slowest answer $slowest ms"
p99_of() { fields "$1"; echo "$p99"; }
awk -v f="$(p99_of fresh)" -v r="$(p99_of right)" -v m="$(p99_of mixed)" -v n="$(p99_of nginx)" \
  'BEGIN{printf "ratio of p99 ours/nginx under the flood: new names %.1f, right passwords %.1f, mixed %.1f\n", f / n, r / n, m / n}'
awk -v f="$(p99_of fresh)" -v r="$(p99_of right)" -v m="$(p99_of mixed)" \
  'BEGIN{printf "goal, p99 at most 10 ms during every flood: %s\n", (f <= 10 && r <= 10 && m <= 10) ? "met" : "not met"}'
