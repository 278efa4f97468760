#!/usr/bin/env bash
# Renders the window icon data/karthos-preferences.png from its SVG, after the SVG was
# changed (the build embeds both; the tests check that the PNG is the SVG's).
set -euo pipefail
cd "$(dirname "$0")/.."
rsvg-convert -w 64 -h 64 data/karthos-preferences.svg -o data/karthos-preferences.png
