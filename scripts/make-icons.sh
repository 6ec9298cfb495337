#!/bin/sh
# Renders the program's icon (data/icons/*.svg) into the PNG sizes of the hicolor theme.
# The PNGs are kept in the repository, so a build needs no SVG renderer; run this after
# changing the SVG (rsvg-convert comes with the Debian package librsvg2-bin).
set -e
cd "$(dirname "$0")/../data/icons"
for svg in *.svg; do
    name=${svg%.svg}
    for n in 16 22 24 32 48 64 128 256; do
        mkdir -p "hicolor/${n}x${n}"
        rsvg-convert -w "$n" -h "$n" "$svg" -o "hicolor/${n}x${n}/$name.png"
    done
done
