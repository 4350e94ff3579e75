#!/usr/bin/env bash
# Regenerates the program icons (committed as binary .ico files): a rounded
# square in each program's colour with its initial, at 16, 32 and 48 pixels.
# Needs ImageMagick's convert and the DejaVu fonts.
set -euo pipefail
cd "$(dirname "$0")"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
make_icon() {  # name colour letter
  local name=$1 colour=$2 letter=$3 tmp
  tmp=$(mktemp -d)
  for size in 16 32 48; do
    local r=$((size / 6)) pt=$((size * 5 / 8))
    convert -size ${size}x${size} xc:none -fill "$colour" \
      -draw "roundrectangle 0,0 $((size - 1)),$((size - 1)) $r,$r" \
      -font "$font" -pointsize "$pt" -fill white -gravity center -annotate +0+0 "$letter" \
      "$tmp/$size.png"
  done
  convert "$tmp/16.png" "$tmp/32.png" "$tmp/48.png" "$name.ico"
  rm -rf "$tmp"
}
make_icon packrat '#8a5a2b' P
make_icon packrat-cli '#5a3a1b' p
make_icon skinferry '#1f6f8b' S
make_icon mipmill '#2e7d32' M
make_icon alphawed '#6a1b9a' A
make_icon fshtool '#c62828' F
make_icon roadfire '#455a64' R
