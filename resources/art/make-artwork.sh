#!/bin/sh
# Regenerates Dorvane's artwork in this folder:
#
#   banner.jpg   392 x 356 px background picture of the main window, 96 dpi,
#                baseline JPEG, quality 90. A 90 px banner band across the
#                top (blue gradient, faint circles at the right, a light
#                accent line at its foot) carries the logo at the left (a
#                database cylinder crossed by two arrows pointing apart, blue
#                to the upper right, purple to the lower left, as in the icon)
#                and the title "Dorvane" with the subtitle
#                "SQL Server 数据库分离工具" in white. Below it the area the
#                controls stand on: a 1 px separator, then white shading very
#                slightly to #F3F6FA at the bottom. The window clips the
#                right 3 px and the bottom 2 px, so nothing is drawn there.
#   dorvane.ico  16 x 16 and 32 x 32, 256 colours, drawn by make-icon.py.
#
# Needs: ImageMagick 6 or 7 (`convert`, or `magick`), python3 (standard
# library only), fonts DejaVu Sans Bold (fonts-dejavu-core) and WenQuanYi
# Micro Hei (fonts-wqy-microhei).
#
# Usage: resources/art/make-artwork.sh  (from anywhere; writes next to itself)
# The icon is the same bytes on every run; the JPEG may differ slightly
# between ImageMagick versions.
set -eu

here=$(cd "$(dirname "$0")" && pwd)

if command -v magick >/dev/null 2>&1; then
    im="magick"
elif command -v convert >/dev/null 2>&1; then
    im="convert"
else
    echo "make-artwork.sh: ImageMagick (convert) is not installed" >&2
    exit 1
fi

find_font() {
    for f in "$@"; do
        if [ -f "$f" ]; then
            echo "$f"
            return 0
        fi
    done
    return 1
}
latin_font=$(find_font \
    /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf \
    /usr/share/fonts/dejavu/DejaVuSans-Bold.ttf) || {
    echo "make-artwork.sh: DejaVu Sans Bold not found (package fonts-dejavu-core)" >&2
    exit 1
}
cjk_font=$(find_font \
    /usr/share/fonts/truetype/wqy/wqy-microhei.ttc \
    /usr/share/fonts/wqy-microhei/wqy-microhei.ttc) || {
    echo "make-artwork.sh: WenQuanYi Micro Hei not found (package fonts-wqy-microhei)" >&2
    exit 1
}

W=392
H=356
BAND=90

# Arrow pointing along +x in its own frame, tail at 2, tip at 34; the logo
# turns one copy up-right and one down-left about the cylinder's centre.
arrow="polygon 2,-4 19,-4 19,-11 34,0 19,11 19,4 2,4"

"$im" \
    -size ${W}x$((H - BAND)) gradient:'#FFFFFF-#F3F6FA' \
    \( -size ${BAND}x${W} gradient:'#2E7ED3-#173F88' -rotate 90 +repage \
       -fill 'rgba(255,255,255,0.07)' -stroke none \
           -draw "circle 350,8 350,92" \
           -draw "circle 292,96 292,138" \
       -fill 'rgba(255,255,255,0.05)' \
           -draw "circle 392,70 392,118" \) \
    +swap -append +repage \
    -fill '#5DA2EA' -draw "rectangle 0,$((BAND - 2)) $((W - 1)),$((BAND - 1))" \
    -fill '#DCE4EE' -draw "rectangle 0,$BAND $((W - 1)),$BAND" \
    -stroke '#0F3270' -strokewidth 1 -fill '#EAF3FD' \
        -draw "rectangle 27,25 61,65" \
        -draw "ellipse 44,65 17,6 0,180" \
        -draw "ellipse 44,25 17,6 0,360" \
    -stroke none -fill '#EAF3FD' -draw "rectangle 28,26 60,64" \
    -stroke '#8DB5E3' -fill none \
        -draw "ellipse 44,38 17,6 0,180" \
        -draw "ellipse 44,51 17,6 0,180" \
    -stroke '#0F3270' \
        -draw "line 27,25 27,65" -draw "line 61,25 61,65" \
    -stroke '#B9D5F3' -fill '#F7FBFF' -draw "ellipse 44,25 16,5 0,360" \
    -stroke white -strokewidth 2 -fill '#2F86F0' \
        -draw "push graphic-context translate 46,43 rotate -45 $arrow pop graphic-context" \
    -fill '#9A4DE0' \
        -draw "push graphic-context translate 42,47 rotate 135 $arrow pop graphic-context" \
    -stroke none \
    -font "$latin_font" -pointsize 32 \
        -fill 'rgba(0,0,0,0.22)' -annotate +97+53 'Dorvane' \
        -fill white -annotate +96+52 'Dorvane' \
    -font "$cjk_font" -pointsize 14 \
        -fill 'rgba(0,0,0,0.20)' -annotate +99+75 'SQL Server 数据库分离工具' \
        -fill '#EEF5FF' -annotate +98+74 'SQL Server 数据库分离工具' \
    -strip -colorspace sRGB -type TrueColor \
    -units PixelsPerInch -density 96 \
    -interlace None -sampling-factor 1x1 -quality 90 \
    "jpeg:$here/banner.jpg"

python3 "$here/make-icon.py" "$here/dorvane.ico"
