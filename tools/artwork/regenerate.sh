#!/usr/bin/env bash
# Redraws Calvera's artwork into resources/art/ with tools/artwork/make_artwork.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build build --target make_artwork >/dev/null
build/tools/make_artwork resources/art
