#!/bin/sh
# Draws the game's icons from the one drawing, reedmere.svg: the PNG sizes a
# desktop menu uses, and the Windows .ico. Run it after changing the drawing and
# commit what it makes.
# Needs rsvg-convert and icotool (Debian: librsvg2-bin, icoutils).
set -eu
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" ../reedmere.svg -o "reedmere-$size.png"
done
# Windows shows 16 and 32 in lists, 48 on the desktop, 256 (kept as PNG, as
# Windows reads it at that size) in large views.
icotool -c -o reedmere.ico reedmere-16.png reedmere-32.png reedmere-48.png -r reedmere-256.png
