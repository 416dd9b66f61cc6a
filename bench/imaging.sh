#!/usr/bin/env bash
# Making the two previews of a 12-megapixel JPEG (4000 x 3000, quality 90) with the scaled
# decode, against the earlier way (the whole picture decoded, then sampled), djpeg decoding
# the whole file and vipsthumbnail making the same two previews, all in the same run; then
# the peak memory above idle for a decompression bomb (a 14000 x 14000 header in a few
# hundred bytes) and a real 100-megapixel picture, beside djpeg's and vipsthumbnail's peaks.
#   bash bench/imaging.sh [rounds, default 7]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds="${1:-7}"

bash scripts/setup.sh >/dev/null
bash scripts/setup-bench.sh >/dev/null
bash scripts/build.sh build/release >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

g++ -std=c++17 -O2 -I. bench/imaging_bench.cpp build/release/libvistrel_imaging.a \
  -Wl,--start-group build/release/libvistrel_core.a build/release/libvistrel_platform.a \
  -Wl,--end-group -ljpeg $(pkg-config --libs libexif) -lpthread -o "$work/imaging_bench"

median() { sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]}'; }
# Milliseconds of one run of a command.
timed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  awk -v n="$(( (end - start) / 1000 ))" 'BEGIN {printf "%.1f\n", n / 1000}'
}
# Peak resident memory of a command in MB.
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1 | awk '{printf "%.1f", $1 / 1024}'; }

# A camera-sized picture with detail at every scale.
/usr/bin/convert -size 4000x3000 -seed 7 plasma:fractal -quality 90 "$work/original.jpg"
echo "original: 4000 x 3000, $(stat -c %s "$work/original.jpg") bytes"

# The tools take turns in every round, so that a change of the machine's load meets all.
: >"$work/ours"; : >"$work/full"; : >"$work/djpeg"; : >"$work/djpeg8"; : >"$work/vips"
for _ in $(seq "$rounds"); do
  read -r scaled whole <<<"$("$work/imaging_bench" time "$work/original.jpg" "$work" 1)"
  echo "$scaled" >>"$work/ours"
  echo "$whole" >>"$work/full"
  timed djpeg -outfile /dev/null "$work/original.jpg" >>"$work/djpeg"
  timed djpeg -scale 1/8 -outfile /dev/null "$work/original.jpg" >>"$work/djpeg8"
  timed sh -c "vipsthumbnail '$work/original.jpg' --size 100000x120 -o '$work/vips-120.jpg[Q=75]' &&
               vipsthumbnail '$work/original.jpg' --size 100000x240 -o '$work/vips-240.jpg[Q=75]'" >>"$work/vips"
done
ours="$(median <"$work/ours")"
full="$(median <"$work/full")"
djpeg_ms="$(median <"$work/djpeg")"
djpeg8_ms="$(median <"$work/djpeg8")"
vips_ms="$(median <"$work/vips")"

echo "12 MP previews, scaled decode:          ${ours} ms (median of ${rounds})"
echo "12 MP previews, whole decode (earlier): ${full} ms"
echo "djpeg, whole picture:                   ${djpeg_ms} ms"
echo "djpeg -scale 1/8:                       ${djpeg8_ms} ms"
echo "vipsthumbnail, two previews:            ${vips_ms} ms (two processes)"
awk -v a="$ours" -v b="$djpeg_ms" 'BEGIN {printf "ratio vistrel / djpeg whole: %.2f\n", a / b}'
awk -v a="$ours" -v b="$vips_ms" 'BEGIN {printf "ratio vistrel / vipsthumbnail: %.2f\n", a / b}'

# The bomb: an arithmetic-coded flat picture whose header then claims 14000 x 14000 pixels.
/usr/bin/convert -size 64x64 xc:gray "$work/flat.ppm"
cjpeg -arithmetic -outfile "$work/flat.jpg" "$work/flat.ppm"
python3 - "$work/flat.jpg" "$work/bomb.jpg" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
sof = data.index(b'\xff\xc9')
data[sof + 5:sof + 9] = (14000).to_bytes(2, 'big') * 2
open(sys.argv[2], 'wb').write(data)
PY
# A real 100-megapixel picture: ImageMagick's 12-megapixel one enlarged by vips, which
# streams (ImageMagick's own enlargement exceeds its memory policy here).
vips resize "$work/original.jpg" "$work/100mp.jpg[Q=90]" 2.887
echo "bomb: 14000 x 14000 claimed, $(stat -c %s "$work/bomb.jpg") bytes; 100 MP: $(vipsheader "$work/100mp.jpg" | sed 's/.*: \([0-9x]*\) .*/\1/'), $(stat -c %s "$work/100mp.jpg") bytes"

for name in bomb 100mp; do
  line="$("$work/imaging_bench" memory "$work/$name.jpg" "$work")"
  idle="$(echo "$line" | sed -n 's/^idle \([0-9.]*\) MB.*/\1/p')"
  top="$(echo "$line" | sed -n 's/.*peak \([0-9.]*\) MB.*/\1/p')"
  echo "$name: vistrel peak ${top} MB, $(awk -v a="$top" -v b="$idle" 'BEGIN {printf "%.1f", a - b}') MB above idle ($line)"
done
echo "100mp: djpeg whole peak $(peak djpeg -outfile /dev/null "$work/100mp.jpg") MB," \
  "djpeg -scale 1/8 peak $(peak djpeg -scale 1/8 -outfile /dev/null "$work/100mp.jpg") MB," \
  "vipsthumbnail peak $(peak vipsthumbnail "$work/100mp.jpg" --size 100000x240 -o "$work/v.jpg") MB"
