#!/usr/bin/env bash
# The hardening kit, long form: builds the release program and runs every check of
# tests/harden against it, the quick ones (also part of the test run) and the long ones:
# crash safety with many kills, smuggling through nginx, connection floods and load with wrk.
# Each prints its table.
#
#   bash scripts/harden.sh [seconds per flood and per load run, default 20] [kills, default 25]
set -uo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
kills="${2:-25}"

bash scripts/setup.sh >/dev/null
bash scripts/setup-bench.sh >/dev/null
bash scripts/build.sh build/release >/dev/null
program="$PWD/build/release/bin/vistrel"

failed=()
check() {  # name arguments...
  local name="$1"
  shift
  echo
  echo "=== $name"
  if ! python3 "tests/harden/$name.py" "$program" "$@"; then failed+=("$name"); fi
}
check bad_requests
check bad_files
check bad_input
check access_control
check sessions
check account_sessions
check large_bodies
check body_hold
check disk_fill
check upload_limits
check logins
check account_sessions
check crash_safety "$kills"
check proxy
check floods "$seconds"
check load "$seconds"

echo
if [ ${#failed[@]} -gt 0 ]; then
  echo "Hardening kit: failed: ${failed[*]}"
  exit 1
fi
echo "Hardening kit: every check passed."
