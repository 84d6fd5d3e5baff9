#!/usr/bin/env bash
# Draws the program's icon (icon 128 of shutdwn.exe), a padlock with a power button, and writes
# shutdown.ico with the sizes Windows asks for (16 to 256 pixels). Run by hand with ImageMagick
# when the drawing changes; the build takes the .ico that is checked in.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT

# The shackle: a ring whose lower half is cut away, and two legs down into the body.
ring() {  # COLOUR WIDTH OUT
    convert -size 256x256 xc:none -fill none -stroke "$1" -strokewidth "$2" \
        -draw 'circle 128,94 182,94' -region 256x162+0+94 -alpha transparent +region \
        -draw 'line 74,94 74,132' -draw 'line 182,94 182,132' "$3"
}
ring '#6f7a84' 30 "$work/ring-dark.png"
ring '#c9d1d8' 16 "$work/ring-light.png"

convert "$work/ring-dark.png" "$work/ring-light.png" -composite \
    -stroke '#7a5600' -strokewidth 8 -fill '#e7b416' \
    -draw 'roundrectangle 36,120 220,236 22,22' \
    -stroke none -fill '#f6d35c' -draw 'roundrectangle 50,132 206,156 10,10' \
    -fill '#3b2a00' -draw 'circle 128,168 128,184' \
    -draw 'polygon 118,176 138,176 144,214 112,214' \
    "$work/lock.png"

convert -size 256x256 xc:none \
    -stroke white -strokewidth 10 -fill '#c62828' -draw 'circle 196,196 196,246' \
    -fill none -stroke white -strokewidth 12 \
    -draw 'circle 196,196 224,196' \
    -stroke none -fill '#c62828' -draw 'polygon 196,196 176,156 216,156' \
    -stroke white -draw 'line 196,160 196,196' \
    "$work/power.png"

convert "$work/lock.png" "$work/power.png" -composite "$work/icon.png"
for size in 16 24 32 48 64 128; do
    convert "$work/icon.png" -filter Lanczos -resize "${size}x${size}" "$work/icon-$size.png"
done
# Eight bits a channel: the largest image is stored as PNG, which Windows reads only so.
convert "$work/icon-16.png" "$work/icon-24.png" "$work/icon-32.png" "$work/icon-48.png" \
    "$work/icon-64.png" "$work/icon-128.png" "$work/icon.png" -depth 8 shutdown.ico
cp "$work/icon.png" "${1:-/dev/null}" 2>/dev/null || true
