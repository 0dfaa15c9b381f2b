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

# The views as a user opens them under a window manager, at the screen sizes and scales the program
# meets: each run starts from an empty settings store, and the picture is the whole screen.
scene() { # name screen scale-variables args...
    local name=$1 screen=$2 vars=$3
    shift 3
    local store
    store=$(mktemp -d)
    mkdir -p "$store/config" "$store/data" "$store/run" && chmod 700 "$store/run"
    env XDG_CONFIG_HOME="$store/config" XDG_DATA_HOME="$store/data" XDG_RUNTIME_DIR="$store/run" LC_ALL=C.UTF-8 \
        $vars xvfb-run -a -s "-screen 0 ${screen}x24" sh -c \
        'openbox & sleep 1; "$0" "$@"' "$build/tools/orvalis_screenshots" --scene "$@" "docs/$name"
    rm -rf "$store"
}
scene main-1366x768.png 1366x768 "" analysis
scene main-1920x1080.png 1920x1080 "" analysis --maximised
scene main-scale125.png 1366x768 "QT_SCALE_FACTOR=1.25" analysis
scene main-scale200.png 2732x1536 "QT_SCALE_FACTOR=2" analysis
scene main-120dpi.png 1366x768 "QT_FONT_DPI=120" analysis
scene main-120dpi-maximised.png 1366x768 "QT_FONT_DPI=120" analysis --maximised
scene main-monochrome.png 1366x768 "" analysis --monochrome
scene plotter-1366x768.png 1366x768 "" plotter
scene intensity-three-fold.png 1366x768 "" intensity
scene plotter-monochrome.png 1366x768 "" plotter --monochrome
scene workbench-1920x1080.png 1920x1080 "" workbench --maximised
scene workbench-1366x768.png 1366x768 "" workbench --maximised
scene workbench-scale125.png 1366x768 "QT_SCALE_FACTOR=1.25" workbench --maximised
scene workbench-zoomed.png 1920x1080 "" workbench --maximised --zoomed
