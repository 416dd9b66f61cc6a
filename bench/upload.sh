#!/usr/bin/env bash
# One upload of a 12-megapixel JPEG through the running server, from the request to the
# response (receiving the body, storing the original, decoding it, writing both previews, the
# large one at twice its pixels, the screen-sized picture and the record), against
# vipsthumbnail making the two previews of the same file and djpeg decoding all of it. Prints
# the median times and their ratio. Then two waits of another client while one client uploads
# that picture back to back, each beside the same client alone in the same run: for a small
# static file, and for three pages that read the database (a user's own images 110, the grid
# of a folder of 80 accepted images 405, the acceptance queue 1004), whose lock the storing
# worker takes too. The load average is printed with the figures: other work on the machine
# moves the tails.
#
# The server runs as installed, in a root laid out by make-root.sh; the uploading account is
# set up through the server's own actions (log in as admin, create and edit a user).
#   bash bench/upload.sh [rounds, default 7]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds="${1:-7}"

bash scripts/setup.sh
bash scripts/setup-bench.sh >/dev/null
command -v curl >/dev/null || { echo "curl is needed"; exit 1; }

bash scripts/build.sh build/release >/dev/null
bash scripts/build.sh build/release --target pages_bench >/dev/null
work="$(mktemp -d)"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')"
bash scripts/make-root.sh "$work/root" build/release >/dev/null
sed -i "s/^\[server.port\]\[.*\]/[server.port][$port]/" "$work/root/config/config.cfg"
q1="$(sed -n 's/^\[images.preview1.quality\]\[\(.*\)\]/\1/p' "$work/root/config/config.cfg")"
# The viewing client's data: the user "bench" (2) owning 80 accepted images, all in folder 1.
build/release/bench/pages_bench "$work/root" 80
q2="$(sed -n 's/^\[images.preview2.quality\]\[\(.*\)\]/\1/p' "$work/root/config/config.cfg")"

"$work/root/bin/vistrel" "$work/root" >"$work/server.out" 2>&1 &
server_pid=$!
base="http://127.0.0.1:$port"
for _ in $(seq 100); do
  curl -s -o /dev/null "$base/" && break
  sleep 0.1
done

request=1000
next() { request=$((request + 1)); }
source bench/common.sh
# "<session id>:<cookie secret>" of a login (log_in); the links name the id, and the id
# counts only together with the cookie.
id() { echo "${1%%:*}"; }
jar() { echo "Cookie: vistrel_session=${1#*:}"; }

next
admin="$(log_in "$base" admin tarbo)"
[ -n "$admin" ] || { echo "admin login failed"; cat "$work/server.out"; exit 1; }
next
curl -s -o /dev/null -H "$(jar "$admin")" "$base/bench?session=$(id "$admin")&requestId=$request&action=7"
# After the administrator, the guest and "bench" the new account is 3. Its uploads wait for
# acceptance, so that the queue grows while they go on.
next
# Posted, as the form is: passwords are refused in a URL.
curl -s -o /dev/null -H "$(jar "$admin")" -d "User.password1=bench&User.password2=bench" \
  "$base/bench?session=$(id "$admin")&requestId=$request&action=8&User.id=3&User.username=uploader&User.lastname=Bench&User.firstname=Mark&User.email=&User.enabled=1&User.folderAdmin=0&User.type=0&User.imageAccept=1&User.folderAccept=0&User.imageDownload=1&User.imageUpload=1&User.imageLimit=100000"
next
user="$(log_in "$base" uploader bench)"
[ -n "$user" ] || { echo "uploader login failed"; exit 1; }
next
viewer="$(log_in "$base" bench bench)"
[ -n "$viewer" ] || { echo "bench user login failed"; exit 1; }

# A camera-sized picture with detail at every scale.
/usr/bin/convert -size 4000x3000 -seed 7 plasma:fractal -quality 90 "$work/original.jpg"
echo "original: 4000 x 3000, $(stat -c %s "$work/original.jpg") bytes"

median() { sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]}'; }

ours_times=()
for _ in $(seq "$rounds"); do
  next
  # No "Expect: 100-continue": the body goes out with the headers, as browsers send forms.
  seconds="$(curl -s -o /dev/null -H 'Expect:' -H "$(jar "$user")" -w '%{time_total}' \
    -F "Image.user=3" -F "Image.file=@$work/original.jpg;type=image/jpeg" -F "add_image=Upload" \
    "$base/bench?session=$(id "$user")&requestId=$request&action=11&pagenum=1")"
  ours_times+=("$(awk -v s="$seconds" 'BEGIN {printf "%.1f", s * 1000}')")
done
stored="$(find "$work/root/images/original" -name '0*.jpg' | wc -l)"
[ "$stored" -eq "$rounds" ] || { echo "expected $rounds stored originals, found $stored"; exit 1; }
cmp -s "$work/original.jpg" "$work/root/images/original/0000080.jpg" || { echo "stored original differs"; exit 1; }

# Another client's waits: alone, then while one client uploads the 12-megapixel picture back
# to back (the upload's decoding and scaling run on workers; the server loop must keep
# answering). Each path is asked <count> times over one keep-alive connection, the paths in
# turn, 2 ms apart.
latency() {  # count path[|cookie secret]... -> one line "p50 p99" in ms per path
  python3 - "$port" "$@" <<'PY'
import http.client, sys, time
port, count, paths = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3:]
c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
times = {p: [] for p in paths}
for _ in range(count):
    for p in paths:
        path, _, secret = p.partition("|")
        t = time.perf_counter()
        c.request("GET", path, headers={"Cookie": "vistrel_session=" + secret} if secret else {})
        r = c.getresponse()
        r.read()
        times[p].append((time.perf_counter() - t) * 1000)
        if r.status != 200:
            sys.exit("%s answered %d" % (p, r.status))
        time.sleep(0.002)
for p in paths:
    t = sorted(times[p])
    print("%.2f %.2f" % (t[len(t) // 2], t[int(len(t) * 0.99) - 1]))
PY
}
uploader_pid=""
start_uploads() {
  (
    while :; do
      curl -s -o /dev/null -H 'Expect:' -H "$(jar "$user")" -F "Image.user=3" \
        -F "Image.file=@$work/original.jpg;type=image/jpeg" -F "add_image=Upload" \
        "$base/bench?session=$(id "$user")&requestId=$RANDOM$RANDOM&action=11&pagenum=1" || break
    done
  ) &
  uploader_pid=$!
  sleep 0.5
}
stop_uploads() {
  kill "$uploader_pid" 2>/dev/null || true
  wait "$uploader_pid" 2>/dev/null || true
}
load() { cut -d' ' -f1 /proc/loadavg; }

load_before="$(load)"
read -r alone50 alone99 < <(latency 300 /style.css)
start_uploads
read -r busy50 busy99 < <(latency 300 /style.css)
stop_uploads
echo "static file for another client, alone:                p50 ${alone50} ms, p99 ${alone99} ms"
echo "static file for another client, during uploads:       p50 ${busy50} ms, p99 ${busy99} ms"

pages=(110 405 1004)
paths=("/?session=$(id "$viewer")&page=110&pagenum=1|${viewer#*:}"
       "/?session=$(id "$viewer")&page=405&Folder.id=1&pagenum=1|${viewer#*:}"
       "/?session=$(id "$admin")&page=1004&pagenum=1|${admin#*:}")
for path in "${paths[@]}"; do
  answer="$(curl -s -H "Cookie: vistrel_session=${path#*|}" "$base${path%%|*}")"
  grep -q 'class="imageTitle' <<<"$answer" || { echo "$path shows no images"; exit 1; }
done
mapfile -t alone < <(latency 400 "${paths[@]}")
start_uploads
uploads_before="$(find "$work/root/images/original" -name '*.jpg' | wc -l)"
mapfile -t busy < <(latency 400 "${paths[@]}")
uploads_during=$(( $(find "$work/root/images/original" -name '*.jpg' | wc -l) - uploads_before ))
stop_uploads
for i in 0 1 2; do
  read -r a50 a99 <<<"${alone[$i]}"
  read -r b50 b99 <<<"${busy[$i]}"
  printf 'page %-4s alone: p50 %s ms, p99 %s ms; during uploads: p50 %s ms, p99 %s ms\n' \
    "${pages[$i]}" "$a50" "$a99" "$b50" "$b99"
done
echo "uploads finished while the pages were timed: $uploads_during"
echo "load average (1 min) before the waits: $load_before, after: $(load)"

# How close the pictures of an upload come to ImageMagick's -resize of the same original, for
# a picture of fine text, line fields and a star (the test picture of the previews' filter):
# PSNR in dB and bytes of each file. The screen-sized picture of a 4000 x 3000 original is
# the decode at half the size (2 x 2 areas averaged), measured against ImageMagick's box.
python3 tests/lib/imaging/detail_picture.py "$work/detail.jpg"
next
curl -s -o /dev/null -H 'Expect:' -H "$(jar "$user")" -F "Image.user=3" \
  -F "Image.file=@$work/detail.jpg;type=image/jpeg" -F "add_image=Upload" \
  "$base/bench?session=$(id "$user")&requestId=$request&action=11&pagenum=1"
detail_id="$(ls "$work/root/images/original" | grep -E '^[0-9]+\.jpg$' | sort | tail -1)"
cmp -s "$work/detail.jpg" "$work/root/images/original/$detail_id" || { echo "the detail picture was not stored last"; exit 1; }
psnr_line="PSNR against ImageMagick -resize, detail picture:"
for store in preview1 preview2 preview2x screen; do
  file="$work/root/images/$store/$detail_id"
  size="$(identify -format '%wx%h' "$file")"
  filter=""
  [ "$store" = screen ] && filter="-filter box"
  # shellcheck disable=SC2086
  /usr/bin/convert "$work/detail.jpg" $filter -resize "$size!" "$work/reference.ppm"
  db="$(/usr/bin/compare -metric PSNR "$file" "$work/reference.ppm" null: 2>&1 || true)"
  psnr_line+=" $store $size $(printf '%.1f' "$db") dB $(stat -c %s "$file") bytes;"
done
echo "${psnr_line%;}"

vips_times=()
for _ in $(seq "$rounds"); do
  start=$(date +%s%N)
  vipsthumbnail "$work/original.jpg" --size 100000x120 -o "$work/vips-120.jpg[Q=$q1]"
  vipsthumbnail "$work/original.jpg" --size 100000x240 -o "$work/vips-240.jpg[Q=$q2]"
  end=$(date +%s%N)
  vips_times+=("$(awk -v n="$(( (end - start) / 1000 ))" 'BEGIN {printf "%.1f", n / 1000}')")
done

djpeg_times=()
for _ in $(seq "$rounds"); do
  start=$(date +%s%N)
  djpeg -outfile /dev/null "$work/original.jpg"
  end=$(date +%s%N)
  djpeg_times+=("$(awk -v n="$(( (end - start) / 1000 ))" 'BEGIN {printf "%.1f", n / 1000}')")
done

ours="$(printf '%s\n' "${ours_times[@]}" | median)"
vips="$(printf '%s\n' "${vips_times[@]}" | median)"
echo "vistrel upload, request to response: ${ours} ms (median of ${rounds})"
echo "vipsthumbnail, two previews:         ${vips} ms (median of ${rounds}, two processes)"
awk -v a="$ours" -v b="$vips" 'BEGIN {printf "ratio vistrel / vipsthumbnail: %.2f\n", a / b}'
djpeg_ms="$(printf '%s\n' "${djpeg_times[@]}" | median)"
echo "djpeg, whole picture:                ${djpeg_ms} ms (median of ${rounds})"
awk -v a="$ours" -v b="$djpeg_ms" 'BEGIN {printf "ratio vistrel / djpeg whole: %.2f\n", a / b}'
