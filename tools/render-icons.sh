#!/usr/bin/env bash
# Renders the application icon app/Forgeway.svg into the PNG sizes the
# program loads from its resources (app/icons/forgeway-<N>.png) and into
# app/Forgeway.ico for the Windows build.  The results are committed, so
# this runs only after the drawing changes.  Needs ImageMagick (convert).
set -euo pipefail
cd "$(dirname "$0")/../app"

mkdir -p icons
for size in 16 32 48 64 256; do
    convert -background none -density 384 Forgeway.svg -resize "${size}x${size}" \
        -depth 8 -strip "PNG32:icons/forgeway-${size}.png"
done
convert icons/forgeway-16.png icons/forgeway-32.png icons/forgeway-48.png \
    icons/forgeway-256.png Forgeway.ico
ls -l icons Forgeway.ico
