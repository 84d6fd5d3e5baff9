#!/usr/bin/env bash
# Draws the core library's cursors with ImageMagick and writes them beside this script as
# 32 x 32 .cur files:
#   w0.cur ... w11.cur  the progress dialogs' animation, a clock whose hand moves one hour a frame
#                       (the dialogs advance one frame a second); W12.cur is a spare, unused
#   question.cur        the About box's arrow with a question mark
# ImageMagick writes icons but not cursors; a cursor file is an icon file whose type is 2 and
# whose entry holds the hot spot where the icon's holds planes and bit depth, so the icon's
# header is patched. The files are checked in; run this again after changing a drawing.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT

# to_cursor PNG OUT HOTX HOTY
to_cursor() {
    convert "$1" -define icon:auto-resize=32 "$work/icon.ico"
    cp "$work/icon.ico" "$2"
    printf '\x02\x00' | dd of="$2" bs=1 seek=2 conv=notrunc status=none
    printf "\\x$(printf %02x "$3")\\x00\\x$(printf %02x "$4")\\x00" |
        dd of="$2" bs=1 seek=10 conv=notrunc status=none
}

clock() {  # frame, output
    local angle x y
    angle=$(awk -v k="$1" 'BEGIN { print (k * 30 - 90) * 3.14159265 / 180 }')
    x=$(awk -v a="$angle" 'BEGIN { printf "%d", 16 + 10 * cos(a) }')
    y=$(awk -v a="$angle" 'BEGIN { printf "%d", 16 + 10 * sin(a) }')
    convert -size 32x32 xc:none \
        -fill white -stroke black -strokewidth 2 -draw 'circle 16,16 16,2' \
        -stroke '#2f5fa8' -strokewidth 1 -draw 'line 16,4 16,6' -draw 'line 28,16 26,16' \
        -draw 'line 16,28 16,26' -draw 'line 4,16 6,16' \
        -stroke black -strokewidth 3 -draw "line 16,16 $x,$y" \
        -fill black -stroke none -draw 'circle 16,16 16,18' "$work/clock.png"
    to_cursor "$work/clock.png" "$2" 16 16
}

for k in $(seq 0 11); do clock "$k" "w$k.cur"; done
clock 0 W12.cur

convert -size 32x32 xc:none -fill white -stroke black -strokewidth 1 \
    -draw 'path "M 1,1 L 1,22 L 6,17 L 10,26 L 13,25 L 9,16 L 16,16 Z"' \
    -fill '#2f5fa8' -stroke white -strokewidth 1 -draw 'circle 24,12 24,4' \
    -fill white -stroke none -font DejaVu-Sans-Bold -pointsize 13 -gravity NorthWest \
    -annotate +20+4 '?' "$work/question.png"
to_cursor "$work/question.png" question.cur 1 1
