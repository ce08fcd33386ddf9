#!/bin/sh
# Renders the PNG sizes of the icon from its SVG (needs rsvg-convert from librsvg2-bin).
set -eu
cd "$(dirname "$0")"
for size in 48 256; do
    rsvg-convert -w $size -h $size drivelink.svg -o drivelink-$size.png
done
