#!/bin/sh
# Draws the runtime's default icon (runtime/resources/plinth-setup.ico) with ImageMagick:
# a blue rounded square holding a white pedestal, at 16, 32, 48 and 256 pixels.
set -eu
out=${1:-"$(dirname "$0")/../runtime/resources/plinth-setup.ico"}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 256x256 xc:none \
  \( -size 256x256 gradient:'#3b82f6-#1e3a8a' \) \
  \( -size 256x256 xc:none -fill white -draw 'roundrectangle 8,8 247,247 48,48' \) \
  -delete 0 -compose DstIn -composite \
  -fill white -stroke none \
  -draw 'roundrectangle 92,56 163,150 10,10' \
  -draw 'roundrectangle 68,154 187,176 6,6' \
  -draw 'roundrectangle 48,182 207,206 6,6' \
  -depth 8 "$tmp/256.png"
for size in 16 32 48; do
  convert "$tmp/256.png" -filter Lanczos -resize ${size}x${size} -depth 8 "$tmp/$size.png"
done
convert "$tmp/16.png" "$tmp/32.png" "$tmp/48.png" "$tmp/256.png" "$out"
