#!/usr/bin/env bash
# Draws the program's icon with ImageMagick: a folded sheet (the shapefile) with a blue map
# line running into a green one (the MIF), as the Qt window draws it, drawn large and
# reduced to 48, 32 and 16 pixels.
#   make-icon.sh OUT.ico
set -euo pipefail
out=$1
convert -size 256x256 xc:none \
  -fill '#F4F7FA' -stroke '#445566' -strokewidth 10 \
  -draw 'polygon 40,16 168,16 216,64 216,240 40,240' \
  -fill none -strokewidth 19 \
  -draw "stroke '#2A6FC9' stroke-linecap round stroke-linejoin round polyline 64,192 96,136 128,160" \
  -draw "stroke '#1E9E3A' stroke-linecap round stroke-linejoin round polyline 128,160 160,88 192,112" \
  -define icon:auto-resize=48,32,16 "$out"
