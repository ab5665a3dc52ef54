#!/usr/bin/env bash
# Renders the icon's PNG sizes from tarvex.svg into this folder. The PNGs are
# committed, so that a build needs no SVG renderer: run this (it needs
# rsvg-convert, from librsvg2-bin) after changing the drawing, and commit
# what it wrote.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" tarvex.svg --output "tarvex-$size.png"
done
