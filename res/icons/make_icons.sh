#!/usr/bin/env bash
# Draws the program icon and the tray icon (ImageMagick). Run from anywhere; writes beside itself.
set -euo pipefail
cd "$(dirname "$0")"
draw() {  # draw SIZE OUT
  local s=$1 out=$2
  convert -size "${s}x${s}" xc:none \
    -fill '#1f5fa8' -stroke '#0d2f57' -strokewidth $((s / 32 + 1)) \
    -draw "roundrectangle $((s / 16)),$((s / 16)) $((s - s / 16 - 1)),$((s - s / 16 - 1)) $((s / 6)),$((s / 6))" \
    -fill '#f4f7fb' -stroke none \
    -draw "circle $((s / 2)),$((s / 2)) $((s / 2)),$((s / 5))" \
    -fill '#1f5fa8' -draw "circle $((s / 2)),$((s / 2)) $((s / 2)),$((s / 3))" \
    -fill '#f4f7fb' -stroke '#f4f7fb' -strokewidth $((s / 10 + 1)) \
    -draw "line $((s * 9 / 16)),$((s * 9 / 16)) $((s * 13 / 16)),$((s * 13 / 16))" \
    -fill '#e8b33a' -stroke none -draw "circle $((s * 3 / 4)),$((s / 4)) $((s * 3 / 4)),$((s / 7))" \
    "$out"
}
draw 64 quillet.png
draw 22 tray.png
# The program icon for the desktop's icon theme (installed under hicolor).
mkdir -p ../desktop/hicolor
for s in 16 32 48 64 128 256; do draw "$s" "../desktop/hicolor/${s}.png"; done
