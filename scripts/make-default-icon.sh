#!/bin/sh
# Draws the runtime's default icon (runtime/resources/plinth-setup.ico) with ImageMagick:
# a blue rounded square holding a white pedestal, at 16, 32, 48 and 256 pixels, each a PNG.
set -eu
out=${1:-"$(dirname "$0")/../runtime/resources/plinth-setup.ico"}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 256x256 xc:none \
  \( -size 256x256 gradient:'#3b82f6-#1e3a8a' -alpha set \) \
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

# Every frame is a PNG (Windows reads PNG frames at any size): a third of the bytes of bitmap
# frames, in a file that the stub carries. zopflipng (package zopfli) packs them losslessly.
for size in 16 32 48 256; do
  zopflipng -y -m "$tmp/$size.png" "$tmp/z$size.png" >/dev/null
done
byte() { printf "\\$(printf %03o $(($1 & 255)))"; }
le16() { byte "$1"; byte $(($1 >> 8)); }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16)); }
{
  le16 0; le16 1; le16 4                     # ICONDIR: reserved, type icon, four images
  offset=$((6 + 4 * 16))
  for size in 16 32 48 256; do               # ICONDIRENTRY: 256 is written as 0
    length=$(wc -c < "$tmp/z$size.png")
    byte $((size & 255)); byte $((size & 255)); byte 0; byte 0
    le16 1; le16 32; le32 "$length"; le32 "$offset"
    offset=$((offset + length))
  done
  cat "$tmp/z16.png" "$tmp/z32.png" "$tmp/z48.png" "$tmp/z256.png"
} > "$out"
