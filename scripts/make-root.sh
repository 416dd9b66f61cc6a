#!/usr/bin/env bash
# Lays out a root directory for the server and installs the built program into it.
#   make-root.sh <root-dir> <build-dir> [--service]
#
# A new root gets the configuration, the web files and the empty database and image
# folders from root-template/. Files already in the root are never replaced, and a root
# whose database folder holds anything keeps its config, web and database folders exactly
# as they are. The program <build-dir>/bin/vistrel is always copied to <root-dir>/bin/vistrel,
# so running this again after a build updates the program and nothing else.
#
# With --service (as root) the root is made ready for the service that "vistrel <root>
# -install" registers: it runs as the system user VISTREL_SERVICE_USER (vistrel when unset),
# made here when missing. That user owns only what the server writes (database/, images/,
# tmp/, the files of large request bodies, and log/); the root directory, the program, the
# configuration and the web files stay root's, readable by the user's group, so that a
# server taken over can change neither its program nor its settings.
set -euo pipefail

service=0
if [ "$#" -eq 3 ] && [ "$3" = "--service" ]; then
  service=1
elif [ "$#" -ne 2 ]; then
  echo "usage: make-root.sh <root-dir> <build-dir> [--service]" >&2
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
if [ "$service" -eq 1 ] && [ "$(id -u)" -ne 0 ]; then
  echo "make-root.sh: --service gives the root to a system user: run it as root (sudo)" >&2
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
mkdir -p "$root/images/original" "$root/images/preview1" "$root/images/preview2" \
  "$root/images/preview2x" "$root/images/screen" "$root/bin" "$root/tmp" "$root/log"

# Copy beside the old program and rename, so that a running server keeps its file.
cp "$program" "$root/bin/vistrel.new.$$"
chmod 755 "$root/bin/vistrel.new.$$"
mv -f "$root/bin/vistrel.new.$$" "$root/bin/vistrel"

if [ "$holds_data" -eq 1 ]; then
  echo "Root $root holds data: only bin/vistrel was updated."
else
  echo "Root laid out in $root."
fi

if [ "$service" -eq 1 ]; then
  user="${VISTREL_SERVICE_USER:-vistrel}"
  if ! id -u "$user" >/dev/null 2>&1; then
    useradd --system --user-group --home-dir "$root" --no-create-home \
      --shell /usr/sbin/nologin --comment "Vistrel image library server" "$user"
    echo "Made the system user $user."
  fi
  group="$(id -gn "$user")"
  chown root:"$group" "$root"
  chmod 0750 "$root"
  chown -R root:root "$root/bin"
  chmod -R go-w "$root/bin"
  chown -R root:"$group" "$root/config" "$root/web"
  chmod -R u+rwX,g+rX,g-w,o-rwx "$root/config" "$root/web"
  chown -R "$user":"$group" "$root/database" "$root/images" "$root/tmp" "$root/log"
  chmod -R u+rwX,go-w "$root/database" "$root/images" "$root/tmp" "$root/log"
  # A directory above the root that is closed to the user would stop the service at start.
  if ! runuser -u "$user" -- test -r "$root/config/config.cfg" -a -w "$root/database"; then
    echo "make-root.sh: the user $user cannot reach $root: open the directories above it" >&2
    exit 1
  fi
  echo "Root $root given to the service user $user."
fi
