#!/usr/bin/env bash
# Draws the small pictures of the web interface (menus, lists, buttons) as GIF files.
#   make-icons.sh [output-dir]     default: root-template/web/images
# The GIFs are committed, so this only needs to run after a change of the drawings.
# Needs ImageMagick (scripts/setup.sh installs it).
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-root-template/web/images}"
mkdir -p "$out"

# Prefer ImageMagick's own binary over any wrapper named "convert" earlier in PATH.
im=""
for candidate in magick convert-im6.q16 convert-im6 convert; do
  if command -v "$candidate" >/dev/null 2>&1; then im="$(command -v "$candidate")"; break; fi
done
if [ -z "$im" ]; then
  echo "make-icons.sh: ImageMagick not found (run scripts/setup.sh)" >&2
  exit 1
fi

# One calm palette for all pictures.
blue="#3b6ea8"; blue_dark="#2a5181"
amber="#e2a72e"; amber_light="#f2c55c"; amber_dark="#a87712"
grey="#b3b8bf"; grey_light="#d3d7dc"; grey_dark="#7f868f"
sky="#6fa3dc"; hill="#4f9a5b"; sun="#f6d44a"
green="#3c9a5f"; red="#c8463f"; gold="#e8b21f"; slate="#35465a"

# draw <file> <width> <height> <draw arguments...>: a transparent canvas with crisp shapes.
draw() {
  local file="$1" w="$2" h="$3"
  shift 3
  "$im" -size "${w}x${h}" xc:none +antialias "$@" -strip "$out/$file"
}

# A folder: the back with its tab, and the lighter front.
folder_shape() {
  local fill="$1" front="$2" edge="$3"
  printf '%s\n' -fill "$fill" -stroke "$edge" -draw "polygon 1,3 6,3 7,4 14,4 14,13 1,13" \
    -fill "$front" -stroke "$edge" -draw "rectangle 1,6 14,13"
}

# The small picture inside an image folder: sky, sun and a hill.
picture_inset() {
  local frame="$1" skycol="$2" hillcol="$3" suncol="$4"
  printf '%s\n' -stroke "$frame" -fill "$skycol" -draw "rectangle 4,7 11,12" \
    -stroke none -fill "$suncol" -draw "rectangle 9,8 10,9" \
    -fill "$hillcol" -draw "polygon 5,12 7,9 9,12"
}

# A person: head and shoulders.
person() {
  local fill="$1"
  printf '%s\n' -stroke none -fill "$fill" -draw "circle 7,4 7,1" \
    -draw "roundrectangle 1,9 13,15 4,4"
}

mapfile -t f_normal < <(folder_shape "$amber" "$amber_light" "$amber_dark")
mapfile -t f_grey < <(folder_shape "$grey" "$grey_light" "$grey_dark")

draw ball.gif 10 10 -stroke none -fill "$blue" -draw "circle 4.5,4.5 4.5,0.5" \
  -fill "#8fb4e0" -draw "rectangle 3,2 4,3"

draw folder.gif 16 16 "${f_normal[@]}"
draw folder_disabled.gif 16 16 "${f_grey[@]}"

mapfile -t inset_normal < <(picture_inset "$blue_dark" "$sky" "$hill" "$sun")
mapfile -t inset_grey < <(picture_inset "$grey_dark" "#c9cdd2" "$grey_dark" "#eef0f2")
draw folder_images.gif 16 16 "${f_normal[@]}" "${inset_normal[@]}"
draw folder_images_disabled.gif 16 16 "${f_grey[@]}" "${inset_grey[@]}"

# Folder with an arrow pointing up: "to the parent folder".
draw folder_up.gif 16 16 "${f_normal[@]}" \
  -stroke none -fill "$slate" -draw "polygon 7,5 11,9 9,9 9,12 6,12 6,9 3,9 3,9"

# Four tiles: "back to the grid of images".
draw multiview.gif 16 16 -stroke none -fill "$slate" \
  -draw "rectangle 1,1 6,6" -draw "rectangle 9,1 14,6" \
  -draw "rectangle 1,9 6,14" -draw "rectangle 9,9 14,14"

mapfile -t p_blue < <(person "$blue")
mapfile -t p_admin < <(person "$slate")
mapfile -t p_grey < <(person "$grey")

draw user_enabled.gif 16 16 "${p_blue[@]}"
# Administrator: a gold star badge.
draw user_admin.gif 16 16 "${p_admin[@]}" -stroke none -fill "$gold" \
  -draw "polygon 12,7 13,9.6 15.8,9.8 13.6,11.5 14.4,14.2 12,12.7 9.6,14.2 10.4,11.5 8.2,9.8 11,9.6"
# May upload: a green arrow badge.
draw user_upload.gif 16 16 "${p_blue[@]}" -stroke none -fill "$green" \
  -draw "polygon 12,6 15,10 13,10 13,15 11,15 11,10 9,10"
# Disabled: grey, with a red bar badge.
draw user_disabled.gif 16 16 "${p_grey[@]}" -stroke none -fill "$red" \
  -draw "rectangle 9,10 15,12"

# The browser's tab icon (web/favicon.ico, beside the images folder): a white V on a blue tile.
"$im" -size 16x16 xc:none -stroke none -fill "$blue" -draw "roundrectangle 0,0 15,15 3,3" \
  -stroke white -strokewidth 2.2 -fill none -draw "polyline 4,4.5 8,11.5 12,4.5" -strip "$out/../favicon.ico"

echo "Pictures written to $out"
