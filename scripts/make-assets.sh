#!/usr/bin/env bash
# Draws the splash picture (assets/splash.jpg) and the program icon (assets/icon.png):
# a planar test field of 6 x 6 circular targets with the program's name.
# Needs ImageMagick's convert and the DejaVu fonts (developer tools, not build dependencies).
set -euo pipefail
cd "$(dirname "$0")/.."
CONVERT=${CONVERT:-/usr/bin/convert}
FONT=${FONT:-/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf}
FONT_TEXT=${FONT_TEXT:-/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf}

# Splash: 640 x 480, a grey-blue board with the test field on a white plate.
draw=()
for i in 0 1 2 3 4 5; do
  for j in 0 1 2 3 4 5; do
    x=$((150 + i * 68))
    y=$((60 + j * 52))
    draw+=(-fill black -draw "circle $x,$y $((x + 14)),$y")
    draw+=(-fill white -draw "circle $x,$y $((x + 6)),$y")
    draw+=(-stroke black -strokewidth 1 -draw "line $((x - 3)),$y $((x + 3)),$y"
           -draw "line $x,$((y - 3)) $x,$((y + 3))" -stroke none)
  done
done
"$CONVERT" -size 640x480 gradient:'#dfe6ee'-'#9fb2c6' \
  -fill white -stroke '#5a6d80' -strokewidth 2 -draw "rectangle 110,24 530,346" -stroke none \
  "${draw[@]}" \
  -fill '#1d3557' -font "$FONT" -pointsize 72 -gravity north -annotate +0+352 'VRMA' \
  -fill '#26384d' -font "$FONT_TEXT" -pointsize 20 -gravity north \
  -annotate +0+438 'Калибровка камеры по плоскому тестовому полю' \
  -strip -quality 88 -sampling-factor 2x2 assets/splash.jpg

# Icon: 64 x 64, a 3 x 3 field of targets on a white plate with a blue frame.
icon=()
for i in 0 1 2; do
  for j in 0 1 2; do
    x=$((16 + i * 16))
    y=$((16 + j * 16))
    icon+=(-fill black -draw "circle $x,$y $((x + 5)),$y")
    icon+=(-fill white -draw "circle $x,$y $((x + 2)),$y")
  done
done
"$CONVERT" -size 64x64 xc:none \
  -fill white -stroke '#1d3557' -strokewidth 4 -draw "roundrectangle 2,2 61,61 8,8" -stroke none \
  "${icon[@]}" -strip PNG32:assets/icon.png
