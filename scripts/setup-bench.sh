#!/usr/bin/env bash
# Installs the Debian packages that only the benchmarks need (the load generator, the
# reference server, vipsthumbnail and djpeg), only those that are missing. The build and the
# tests do not need them.
set -euo pipefail

packages=(wrk nginx libvips-tools libjpeg-turbo-progs)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
