#!/usr/bin/env bash
# Renders the program icon and the splash picture from their SVG sources into the PNG files that are
# committed beside them (data/icons/hicolor/<n>x<n>/apps/orvalis.png and data/icons/splash.png).
# Run it after editing an SVG. Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
icons="$(cd "$(dirname "$0")/../data/icons" && pwd)"
command -v rsvg-convert >/dev/null || { echo "rsvg-convert is missing: apt-get install librsvg2-bin" >&2; exit 1; }
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$icons/hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" -o "$icons/hicolor/${size}x${size}/apps/orvalis.png" "$icons/orvalis.svg"
done
rsvg-convert -w 200 -h 200 -o "$icons/splash.png" "$icons/splash.svg"
