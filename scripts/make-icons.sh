#!/usr/bin/env bash
# Renders the program's icon, packaging/icons/qnveltor.svg, into the PNG sizes
# that are installed beside it. Run it after changing the SVG and commit the
# PNGs; the build itself needs no SVG renderer.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v rsvg-convert >/dev/null; then
    apt-get install -y --no-install-recommends librsvg2-bin
fi
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" packaging/icons/qnveltor.svg -o "packaging/icons/qnveltor-$size.png"
done
