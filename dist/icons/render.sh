#!/usr/bin/env bash
# Renders the program icon zandrel.svg into the committed PNG sizes
# (needs rsvg-convert, Debian package librsvg2-bin). Run after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")"
for size in 48 128 256; do
  rsvg-convert -w "$size" -h "$size" zandrel.svg -o "zandrel-$size.png"
done
