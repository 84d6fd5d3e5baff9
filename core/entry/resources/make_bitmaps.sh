#!/usr/bin/env bash
# Draws the core library's pictures with ImageMagick and writes them beside this script as
# 24-bit BMP files, the form the resource compiler takes:
#   product.bmp  the product's padlock on its shield (48 x 48), shown by setup's dialogs
#   about1.bmp, about2.bmp  the About box's two pictures (455 x 300), a click swaps them
# The files are checked in; run this again after changing a drawing.
set -euo pipefail
cd "$(dirname "$0")"

padlock() {  # size, body colour, shield colour
    local s=$1
    convert -size "${s}x${s}" xc:none \
        -fill "$3" -stroke '#1d2b4f' -strokewidth "$((s / 24 + 1))" \
        -draw "path 'M $((s/2)),$((s/20)) L $((s*9/10)),$((s/6)) L $((s*9/10)),$((s/2)) Q $((s*9/10)),$((s*17/20)) $((s/2)),$((s*19/20)) Q $((s/10)),$((s*17/20)) $((s/10)),$((s/2)) L $((s/10)),$((s/6)) Z'" \
        -fill none -stroke '#f4f4f4' -strokewidth "$((s / 14 + 1))" \
        -draw "arc $((s*7/20)),$((s*5/20)) $((s*13/20)),$((s*11/20)) 180,360" \
        -draw "line $((s*7/20)),$((s*8/20)) $((s*7/20)),$((s*10/20))" \
        -draw "line $((s*13/20)),$((s*8/20)) $((s*13/20)),$((s*10/20))" \
        -fill "$2" -stroke '#1d2b4f' -strokewidth "$((s / 40 + 1))" \
        -draw "roundrectangle $((s*5/20)),$((s*10/20)) $((s*15/20)),$((s*16/20)) $((s/20+1)),$((s/20+1))" \
        -fill '#1d2b4f' -stroke none \
        -draw "circle $((s/2)),$((s*25/40)) $((s/2)),$((s*27/40))" "$4"
}

padlock 48 '#e8b923' '#2f5fa8' /tmp/qor-product.png
convert -size 48x48 xc:'#f0f0f0' /tmp/qor-product.png -composite -type TrueColor BMP3:product.bmp

about() {  # top colour, bottom colour, lock body, shield, output
    padlock 150 "$3" "$4" /tmp/qor-about-lock.png
    convert -size 455x300 gradient:"$1"-"$2" \
        /tmp/qor-about-lock.png -geometry +152+30 -composite \
        -fill '#f0f0f0' -draw 'rectangle 0,220 455,300' \
        -type TrueColor BMP3:"$5"
}
about '#f7f9fc' '#c9d6ea' '#e8b923' '#2f5fa8' about1.bmp
about '#fbf7ef' '#eadcc0' '#9fb8d8' '#8a5a22' about2.bmp
rm -f /tmp/qor-product.png /tmp/qor-about-lock.png
