#!/usr/bin/env bash
# Renders the wizard's bitmaps from their SVG sources (src/wizard/res). Run
# after editing an SVG and commit the PNGs; the build uses the committed
# files and needs no rasteriser. Needs rsvg-convert (Debian: librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../src/wizard/res"
rsvg-convert -w 164 -h 314 watermark.svg -o watermark.png
rsvg-convert -w 49 -h 49 header.svg -o header.png
