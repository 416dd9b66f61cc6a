#!/usr/bin/env bash
# Lays out a root directory for the server and installs the built program into it.
#   make-root.sh <root-dir> <build-dir>
#
# A new root gets the configuration, the web files and the empty database and image
# folders from root-template/. Files already in the root are never replaced, and a root
# whose database folder holds anything keeps its config, web and database folders exactly
# as they are. The program <build-dir>/bin/vistrel is always copied to <root-dir>/bin/vistrel,
# so running this again after a build updates the program and nothing else.
set -euo pipefail

if [ "$#" -ne 2 ]; then
  echo "usage: make-root.sh <root-dir> <build-dir>" >&2
  exit 2
fi
root="$1"
build="$2"
repo="$(cd "$(dirname "$0")/.." && pwd)"
template="$repo/root-template"
program="$build/bin/vistrel"

if [ ! -d "$template/config" ] || [ ! -d "$template/web" ]; then
  echo "make-root.sh: template not found in $template" >&2
  exit 1
fi
if [ ! -f "$program" ] || [ ! -x "$program" ]; then
  echo "make-root.sh: no built program at $program (build first)" >&2
  exit 1
fi
if [ -e "$root" ] && [ ! -d "$root" ]; then
  echo "make-root.sh: $root exists and is not a directory" >&2
  exit 1
fi

mkdir -p "$root"

holds_data=0
if [ -d "$root/database" ] && [ -n "$(find "$root/database" -mindepth 1 -print -quit)" ]; then
  holds_data=1
fi

# Copies the files of one template folder that the root does not have yet.
copy_missing() {
  local dir="$1" file rel
  while IFS= read -r -d '' file; do
    rel="${file#"$template"/}"
    if [ ! -e "$root/$rel" ]; then
      mkdir -p "$(dirname "$root/$rel")"
      cp -p "$file" "$root/$rel"
    fi
  done < <(find "$template/$dir" -type f ! -name .gitkeep -print0)
}

if [ "$holds_data" -eq 0 ]; then
  mkdir -p "$root/config" "$root/web" "$root/database"
  copy_missing config
  copy_missing web
fi
# The image store may be incomplete even in a used root; the server cannot create it.
mkdir -p "$root/images/original" "$root/images/preview1" "$root/images/preview2" "$root/bin"

# Copy beside the old program and rename, so that a running server keeps its file.
cp "$program" "$root/bin/vistrel.new.$$"
chmod 755 "$root/bin/vistrel.new.$$"
mv -f "$root/bin/vistrel.new.$$" "$root/bin/vistrel"

if [ "$holds_data" -eq 1 ]; then
  echo "Root $root holds data: only bin/vistrel was updated."
else
  echo "Root laid out in $root."
fi
