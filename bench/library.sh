#!/usr/bin/env bash
# Pages as the library grows: for each size and shape, a library of that many images written
# straight into the record files (see bench/library_bench.cpp: "varied" keywords from 2,000
# words, "common" ones from 30), served by the real server; the median of 20 requests over
# one keep-alive connection for the folder grid (405), a user's own images (110, the user
# owns a tenth), the acceptance queue (1004), the search action (18, "harbour sunset") and
# the first page of its results (703); the 99th percentile of another client's folder grid
# while ten clients search back to back; the start-up time (process start to the first page
# answered, median of three) and the server's resident memory beside the size of the four
# record files. Beside it SQLite (through Python's sqlite3 module, Debian's library, the
# same as the shell's) answers the same queries on the same data with the indexes a gallery
# would create: a count and one page of eight, in the page's order; the search as a LIKE
# scan and through an FTS5 index of the keywords (MATCH of both words), each returning every
# accepted match.
#
#   bash bench/library.sh [sizes, default "1000 10000 100000"] [requests, default 20]
#   SHAPES="varied common" (the default) chooses the shapes.
#
# Writing the image files takes long for large sizes on a busy machine: with
# VISTREL_LIBRARY_CACHE naming a directory, the libraries are kept there (root-<size>) and
# used again by later runs (the pages do not change them).
set -euo pipefail
cd "$(dirname "$0")/.."
sizes="${1:-1000 10000 100000}"
requests="${2:-20}"
shapes="${SHAPES:-varied common}"

command -v sqlite3 >/dev/null || bash scripts/setup.sh
cmake -S . -B build/release -G Ninja >/dev/null
cmake --build build/release --target vistrel library_bench >/dev/null
tool=build/release/bench/library_bench

work="$(mktemp -d /tmp/vistrel-library-XXXXXX)"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && wait "$server_pid" 2>/dev/null || true
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
source bench/common.sh

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

sqlite_times() {  # dir folder user -> "grid own queue search fts5" in ms
  python3 - "$1" "$2" "$3" "$requests" <<'PY'
import csv, sqlite3, statistics, sys, time
d, folder, user, reps = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
import os
if os.path.exists(d + "/library.sqlite"):
    os.remove(d + "/library.sqlite")
db = sqlite3.connect(d + "/library.sqlite")
db.executescript("""
CREATE TABLE users(id INTEGER PRIMARY KEY, type INT, username TEXT, firstname TEXT, lastname TEXT);
CREATE TABLE folders(id INTEGER PRIMARY KEY, parentId INT, name TEXT);
CREATE TABLE images(id INTEGER PRIMARY KEY, creationTime INT, user INT, status INT, date TEXT,
  width INT, height INT, size INT, name TEXT, description TEXT, keywords TEXT);
CREATE TABLE links(creationTime INT, folder INT, user INT, image INT, status INT);
""")
for table, n in (("users", 5), ("folders", 3), ("images", 11), ("links", 5)):
    with open(f"{d}/csv/{table}.csv", newline="") as f:
        db.executemany(f"INSERT INTO {table} VALUES ({','.join('?' * n)})", csv.reader(f))
db.executescript("""
CREATE UNIQUE INDEX users_name ON users(username);
CREATE INDEX images_user ON images(user, creationTime);
CREATE INDEX images_status ON images(status, id);
CREATE INDEX links_folder ON links(folder, creationTime);
CREATE INDEX links_image ON links(image);
CREATE VIRTUAL TABLE found USING fts5(keywords, content='images', content_rowid='id');
INSERT INTO found(found) VALUES('rebuild');
ANALYZE;
""")
db.commit()
queries = {
  "grid": [f"SELECT count(*) FROM links l JOIN images i ON i.id = l.image WHERE l.folder = {folder} AND l.status = 1 AND i.status = 1",
           f"SELECT i.*, u.firstname, u.lastname FROM links l JOIN images i ON i.id = l.image JOIN users u ON u.id = i.user WHERE l.folder = {folder} AND l.status = 1 AND i.status = 1 ORDER BY l.creationTime DESC LIMIT 8"],
  "own": [f"SELECT count(*) FROM images WHERE user = {user}",
          f"SELECT * FROM images WHERE user = {user} ORDER BY creationTime DESC LIMIT 8"],
  "queue": ["SELECT count(*) FROM images WHERE status = 0",
            "SELECT i.*, u.firstname, u.lastname FROM images i JOIN users u ON u.id = i.user WHERE i.status = 0 ORDER BY i.id LIMIT 8"],
  "search": ["SELECT * FROM images WHERE status = 1 AND lower(keywords) LIKE '%harbour%' AND lower(keywords) LIKE '%sunset%'"],
  "fts5": ["SELECT k.rowid FROM found k JOIN images i ON i.id = k.rowid WHERE found MATCH 'harbour AND sunset' AND i.status = 1 ORDER BY k.rowid DESC"],
}
out = []
for name in ("grid", "own", "queue", "search", "fts5"):
    times = []
    for _ in range(reps + 2):
        start = time.perf_counter()
        for q in queries[name]:
            db.execute(q).fetchall()
        times.append((time.perf_counter() - start) * 1000)
    out.append("%.3f" % statistics.median(times[2:]))
print(" ".join(out))
PY
}

rows=()
cache="${VISTREL_LIBRARY_CACHE:-}"
for n in $sizes; do
for shape in $shapes; do
  root="${cache:-$work}/root-$n"
  [ "$shape" = varied ] || root="${cache:-$work}/root-$shape-$n"
  if [ -z "$cache" ] || [ ! -f "$root/generated" ]; then
    rm -rf "$root"
    bash scripts/make-root.sh "$root" build/release >/dev/null
    "$tool" generate "$root" "$n" "$shape" >/dev/null
    touch "$root/generated"
  fi
  bash scripts/make-root.sh "$root" build/release >/dev/null  # this build's program
  record_bytes="$(cat "$root"/database/*.db | wc -c)"
  cat "$root"/database/*.db >/dev/null

  starts=()
  cpus=()
  for i in 1 2 3; do
    # A fresh port each time: the one before may still be held by closed connections.
    port="$(free_port)"
    sed -i "s/^\[server.port\]\[[0-9]*\]/[server.port][$port]/" "$root/config/config.cfg"
    read -r ms cpu server_pid < <("$tool" startup "$root" "$port")
    starts+=("$ms")
    cpus+=("$cpu")
    if [ "$i" -lt 3 ]; then kill "$server_pid"; wait "$server_pid" 2>/dev/null || true; fi
  done
  start_ms="$(printf '%s\n' "${starts[@]}" | median)"
  start_cpu="$(printf '%s\n' "${cpus[@]}" | median)"

  # "<session id>:<cookie secret>" (log_in); the paths below carry the secret after a "|".
  user_login="$(log_in "http://127.0.0.1:$port" user3 bench)"
  admin_login="$(log_in "http://127.0.0.1:$port" admin tarbo)"
  [ -n "$user_login" ] && [ -n "$admin_login" ] || { echo "the login failed" >&2; exit 1; }
  user_session="${user_login%%:*}|${user_login#*:}"
  admin_session="${admin_login%%:*}|${admin_login#*:}"
  folder=501
  user_id=5  # user3
  grid_path="/?session=${user_login%%:*}&page=405&Folder.id=$folder&pagenum=1|${user_login#*:}"
  own_path="/?session=${user_login%%:*}&page=110&pagenum=1|${user_login#*:}"
  queue_path="/?session=${admin_login%%:*}&page=1004&pagenum=1|${admin_login#*:}"
  search_path="/?session=${user_login%%:*}&page=700&action=18&requestId={n}&words=harbour+sunset|${user_login#*:}"

  shows() { curl -s -H "Cookie: vistrel_session=${2#*|}" "http://127.0.0.1:$port${2%%|*}" | grep -c 'class="imageTitle' >/dev/null || { echo "page $1 shows no images" >&2; exit 1; }; }
  shows 405 "$grid_path"
  shows 110 "$own_path"
  shows 1004 "$queue_path"

  results_path="/?session=${user_login%%:*}&page=703&pagenum=1|${user_login#*:}"
  ours=()
  for path in "$grid_path" "$own_path" "$queue_path" "$search_path" "$results_path"; do
    read -r med _ _ < <("$tool" get "$port" "$path" "$requests")
    ours+=("$med")
  done
  # Ten searchers on a session of their own, and the user's folder grid beside them.
  searcher_login="$(log_in "http://127.0.0.1:$port" user4 bench)"
  contend_path="/?session=${searcher_login%%:*}&page=700&action=18&requestId={n}&words=harbour+sunset|${searcher_login#*:}"
  read -r _ p99 searches < <("$tool" contend "$port" "$contend_path" "$grid_path" 10 $((requests * 50)))
  # The search's result: the last grid page's number and the images on it.
  last="$(curl -s -H "Cookie: vistrel_session=${user_login#*:}" "http://127.0.0.1:$port/?session=${user_login%%:*}&page=703&pagenum=1000000")"
  found="$(( ($(echo "$last" | grep -o 'pageNumSelected">[0-9]*' | grep -o '[0-9]*$' || echo 1) - 1) * 8 + $(echo "$last" | grep -c 'class="imageTitle' || true) ))"
  rss_kb="$(awk '/^VmRSS/ { print $2 }' "/proc/$server_pid/status")"
  kill "$server_pid"
  wait "$server_pid" 2>/dev/null || true
  server_pid=""

  read -r s_grid s_own s_queue s_search s_fts < <(sqlite_times "$root" "$folder" "$user_id")
  rows+=("$(printf '%-9s %-6s %8s %8s %8s %8s %8s %8s %9s %7s %7.2f %6s | %7s %7s %7s %8s %7s' "$n" "$shape" \
    "${ours[0]}" "${ours[1]}" "${ours[2]}" "${ours[3]}" "${ours[4]}" "$p99" "$start_ms" "$start_cpu" \
    "$(awk -v r="$rss_kb" -v b="$record_bytes" 'BEGIN { print r * 1024 / b }')" "${found:-?}" \
    "$s_grid" "$s_own" "$s_queue" "$s_search" "$s_fts")")
  [ -n "$cache" ] || rm -rf "$root"
done
done

echo
echo "median ms of $requests requests; p99 ms of the folder grid while ten clients search; start-up: ms and"
echo "processor ms (median of 3); RSS / record files; images found by the search; load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-9s %-6s %8s %8s %8s %8s %8s %8s %9s %7s %7s %6s | %7s %7s %7s %8s %7s\n' images shape 'grid405' 'own110' \
  'queue1004' 'search18' 'found703' 'p99 10x' 'start-up' 'cpu' 'RSS/db' 'found' 'sq grid' 'sq own' 'sq queue' \
  'sq like' 'sq fts5'
printf '%s\n' "${rows[@]}"
