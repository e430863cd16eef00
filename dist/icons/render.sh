#!/bin/sh
# Renders the application icon's PNG sizes from kestrane.svg (Debian: librsvg2-bin). The PNGs are
# committed, so a build needs no SVG renderer; run this after changing the SVG.
set -eu
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" kestrane.svg --output "kestrane-$size.png"
done
