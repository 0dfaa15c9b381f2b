#!/usr/bin/env bash
# Renews the screenshots in docs/ from the real program: builds tools/screenshots.cpp and runs it
# under a virtual 1366 x 768 screen with an empty settings store, so the pictures show what a new
# user sees. Usage: scripts/make-screenshots.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target orvalis_screenshots
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/config" "$home/data" "$home/run" && chmod 700 "$home/run"
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run" LC_ALL=C.UTF-8 \
    xvfb-run -a -s '-screen 0 1366x768x24' "$build/tools/orvalis_screenshots" docs
