#!/usr/bin/env bash
# Database benchmark: 100,000 images, 1,000 folders, 1,000,000 links, 1,000 users.
# Times our record scans and, on the same data, the sqlite3 shell doing the same queries as
# full table scans (no index, keyword search with LIKE), plus SQLite with the natural
# indexes for reference. Prints milliseconds (the fastest of the repetitions on both sides,
# since the machine may be shared) and the ratios.
#
#   bash bench/db.sh [build-dir] [repetitions]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
reps="${2:-9}"

command -v sqlite3 >/dev/null || bash scripts/setup.sh
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target db_bench >/dev/null

work="$(mktemp -d /tmp/vistrel-bench-XXXXXX)"
trap 'rm -rf "$work"' EXIT
"$build/bench/db_bench" generate "$work/root" 100000 1000 1000000 1000
read -r word1 word2 folder username < "$work/root/bench.params"

csv="$work/root/csv"
sqlite3 "$work/full.sqlite" <<SQL
CREATE TABLE users(id INTEGER PRIMARY KEY, type INT, enabled INT, username TEXT, password TEXT,
  firstname TEXT, lastname TEXT, language TEXT, email TEXT, imageLimit INT, imageAccept INT,
  folderAccept INT, folderAdmin INT, imageUpload INT, imageDownload INT);
CREATE TABLE folders(id INTEGER PRIMARY KEY, enabled INT, parentId INT, ownerId INT, name TEXT,
  imageFolder INT);
CREATE TABLE images(id INTEGER PRIMARY KEY, creationTime INT, user INT, status INT, date TEXT,
  width INT, height INT, size INT, name TEXT, description TEXT, keywords TEXT);
CREATE TABLE links(creationTime INT, folder INT, user INT, image INT, status INT);
.mode csv
.import $csv/users.csv users
.import $csv/folders.csv folders
.import $csv/images.csv images
.import $csv/links.csv links
SQL
cp "$work/full.sqlite" "$work/indexed.sqlite"
sqlite3 "$work/indexed.sqlite" <<SQL
CREATE INDEX users_username ON users(username);
CREATE INDEX links_folder ON links(folder, image);
CREATE INDEX images_status ON images(status);
SQL

keyword_sql="SELECT id, user, status, date, width, height, size, name, description, keywords FROM images WHERE status = 1 AND keywords LIKE '%$word1%' AND keywords LIKE '%$word2%';"
folder_sql="SELECT l.creationTime, l.folder, l.user, l.image, l.status FROM links l JOIN images i ON i.id = l.image WHERE l.folder = $folder AND i.status = 1;"
user_sql="SELECT * FROM users WHERE username = '$username';"
count_sql="SELECT count(*) FROM images WHERE id >= 0;"
add_sql="INSERT INTO images(creationTime, user, status, date, width, height, size, name, description, keywords) VALUES (1900000000, 1, 0, '', 0, 0, 0, 'bench', '', 'bench image');"

# The fastest of the repetitions of one statement's time in the sqlite3 shell, in milliseconds:
# the larger of the wall time and the processor time (the wall time has only millisecond
# resolution).
sqlite_ms() {
  local db="$1" sql="$2"
  {
    echo "PRAGMA automatic_index = OFF;"
    echo ".timer on"
    echo ".output /dev/null"
    for _ in $(seq "$reps"); do echo "$sql"; done
  } | sqlite3 "$db" | awk '/^Run Time/ {
      real = $4 * 1000; cpu = ($6 + $8) * 1000; printf "%.3f\n", (real > cpu ? real : cpu)
    }' | sort -n | head -1
}

# Warm the page cache for both sides.
cat "$work/root/database/"*.db "$work"/*.sqlite >/dev/null

ours="$("$build/bench/db_bench" run "$work/root" "$reps" "$word1" "$word2" "$folder" "$username")"
get() { echo "$ours" | awk -v k="$1" '$1 == k { print $2 }'; }

read_ms="$(get read_image_file)"
printf '\n%-18s %10s %12s %12s %10s\n' "operation" "ours ms" "sqlite scan" "sqlite idx" "scan/ours"
row() {
  local name="$1" ours_ms="$2" sql="$3"
  local full indexed
  full="$(sqlite_ms "$work/full.sqlite" "$sql")"
  indexed="$(sqlite_ms "$work/indexed.sqlite" "$sql")"
  printf '%-18s %10.3f %12.3f %12.3f %10s\n' "$name" "$ours_ms" "$full" "$indexed" \
    "$(awk -v a="$full" -v b="$ours_ms" 'BEGIN { if (b > 0) printf "%.1fx", a / b; else print "-" }')"
}
row keyword_search "$(get keyword_search)" "$keyword_sql"
row folder_images "$(get folder_images)" "$folder_sql"
row user_by_username "$(get user_by_username)" "$user_sql"
row count_images "$(get count_images)" "$count_sql"
# Ours first scans image.db for the first free record (deleted records are reused); SQLite
# just appends. Both sync to disk.
row add_image "$(get add_image)" "$add_sql"
printf '\nreading image.db once: %.3f ms; keyword search / read = %s (goal: at most 2x)\n' \
  "$read_ms" "$(awk -v a="$(get keyword_search)" -v b="$read_ms" 'BEGIN { printf "%.2fx", a / b }')"
