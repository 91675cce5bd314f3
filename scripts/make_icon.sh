#!/usr/bin/env bash
# Draws the program's icon (a blue shield with a white check mark: "these sites are trusted") with ImageMagick
# and writes the PNGs and the multi-size Windows .ico into src/platform/icon/. The outputs are committed, so the
# build needs no ImageMagick; run this again only to change the picture.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="${1:-$here/../src/platform/icon}"
mkdir -p "$out"
convert_cmd="${CONVERT:-convert}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# The drawing lives on a 256 x 256 grid. Every size is drawn 8 times larger and scaled down, so edges are smooth;
# the small sizes get a heavier outline and check mark, so they stay legible at 16 pixels.
shield="M 128,14 L 226,50 L 226,118 C 226,180 186,224 128,246 C 70,224 30,180 30,118 L 30,50 Z"
inner="M 128,30 L 212,61 L 212,118 C 212,171 178,208 128,229 C 78,208 44,171 44,118 L 44,61 Z"
check="M 74,128 L 112,166 L 184,90"

draw_size() {
  local size="$1" check_width="$2" draw_inner="$3"
  local big=$((size * 8))
  local scale
  scale="$(awk -v b="$big" 'BEGIN { printf "%.6f", b / 256 }')"
  local inner_cmd=()
  if [[ "$draw_inner" == yes ]]; then
    inner_cmd=(-fill '#2f7fd6' -stroke none -draw "affine $scale,0,0,$scale,0,0 path '$inner'")
  fi
  "$convert_cmd" -size "${big}x${big}" xc:none \
    -fill '#17467f' -stroke none -draw "affine $scale,0,0,$scale,0,0 path '$shield'" \
    "${inner_cmd[@]}" \
    -fill none -stroke white -strokewidth "$check_width" \
    -draw "stroke-linecap round stroke-linejoin round affine $scale,0,0,$scale,0,0 path '$check'" \
    -filter Box -resize "${size}x${size}" \
    -strip -define png:exclude-chunks=date,time -define png:color-type=6 "PNG32:$tmp/veraway-$size.png"
}

draw_size 256 26 yes
draw_size 128 27 yes
draw_size 64 29 yes
draw_size 48 30 yes
draw_size 32 34 no
draw_size 16 40 no

# The PNGs are the hicolor theme's sizes that the Linux install ships; the .ico keeps the four sizes Windows uses.
for size in 16 32 48 64 128 256; do
  cp "$tmp/veraway-$size.png" "$out/veraway-$size.png"
done
"$convert_cmd" "$tmp/veraway-16.png" "$tmp/veraway-32.png" "$tmp/veraway-48.png" "$tmp/veraway-256.png" \
  -strip "$out/veraway.ico"
echo "wrote $out/veraway-{16,32,48,64,128,256}.png and $out/veraway.ico"
