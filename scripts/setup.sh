#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing,
# and the node packages of the browser test.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config libgtest-dev libjpeg62-turbo-dev libjpeg-turbo-progs libsodium-dev libexif-dev libexiv2-dev imagemagick fonts-dejavu-core
          sqlite3 python3 nodejs chromium nginx openssl systemd)

sudo_cmd=""
if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
# Tools the tests start themselves as peers, on free ports (Prometheus, fail2ban-regex,
# logrotate): installed without starting or enabling their own system services.
peer_packages=(prometheus fail2ban logrotate)
peer_missing=()
for p in "${peer_packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    peer_missing+=("$p")
  fi
done
if [ ${#peer_missing[@]} -gt 0 ]; then
  echo "Installing (services left off): ${peer_missing[*]}"
  policy=/usr/sbin/policy-rc.d
  own_policy=0
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo_cmd tee "$policy" >/dev/null
    $sudo_cmd chmod 755 "$policy"
    own_policy=1
  fi
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${peer_missing[@]}" || {
    [ "$own_policy" -eq 1 ] && $sudo_cmd rm -f "$policy"; exit 1; }
  [ "$own_policy" -eq 1 ] && $sudo_cmd rm -f "$policy"
  if [ -d /run/systemd/system ]; then
    $sudo_cmd systemctl disable --now prometheus.service fail2ban.service >/dev/null 2>&1 || true
  fi
fi
# Node's package manager comes with some builds of nodejs and is a package of its own in others.
if ! command -v npm >/dev/null 2>&1; then
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends npm
fi

# The browser test drives Debian's chromium with playwright-core, installed from the lock file
# of tests/browser (never a browser of its own). Installed again only when the lock file changed.
browser_dir="$(cd "$(dirname "$0")/.." && pwd)/tests/browser"
stamp="$browser_dir/node_modules/.vistrel-lock"
if ! cmp -s "$browser_dir/package-lock.json" "$stamp"; then
  echo "Installing the browser test's node packages"
  (cd "$browser_dir" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --ignore-scripts --no-audit --no-fund)
  cp "$browser_dir/package-lock.json" "$stamp"
fi
