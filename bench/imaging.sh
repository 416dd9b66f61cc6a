#!/usr/bin/env bash
# Decoding a 12-megapixel JPEG and writing its two previews, against vipsthumbnail doing the
# same two previews in the same run. Prints the median times and their ratio.
#   bash bench/imaging.sh [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds="${1:-7}"

bash scripts/setup.sh
if ! command -v vipsthumbnail >/dev/null; then
  # Only this comparison needs it, so the project's set-up does not install it.
  echo "Installing libvips-tools for the comparison"
  sudo_cmd=""
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends libvips-tools >/dev/null
fi

bash scripts/build.sh build/release >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

g++ -std=c++17 -O2 -I. bench/imaging_bench.cpp build/release/libvistrel_imaging.a \
  -Wl,--start-group build/release/libvistrel_core.a build/release/libvistrel_platform.a \
  -Wl,--end-group -ljpeg -lpthread -o "$work/imaging_bench"

# A camera-sized picture with detail at every scale.
/usr/bin/convert -size 4000x3000 -seed 7 plasma:fractal -quality 90 "$work/original.jpg"
echo "original: 4000 x 3000, $(stat -c %s "$work/original.jpg") bytes"

ours="$("$work/imaging_bench" "$work/original.jpg" "$work" "$rounds")"

vips_times=()
for _ in $(seq "$rounds"); do
  start=$(date +%s%N)
  vipsthumbnail "$work/original.jpg" --size 100000x120 -o "$work/vips-120.jpg[Q=75]"
  vipsthumbnail "$work/original.jpg" --size 100000x240 -o "$work/vips-240.jpg[Q=75]"
  end=$(date +%s%N)
  vips_times+=("$(( (end - start) / 1000 ))")
done
vips="$(printf '%s\n' "${vips_times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}')"

echo "vistrel decode + two previews: ${ours} ms (median of ${rounds})"
echo "vipsthumbnail, two previews:   ${vips} ms (median of ${rounds}, two processes)"
awk -v a="$ours" -v b="$vips" 'BEGIN {printf "ratio vistrel / vipsthumbnail: %.2f\n", a / b}'
