#!/usr/bin/env bash
# A defocus step in the main window at its first-start size under a real X server (xvfb): median of
# 60 typed and 60 keyboard steps, each with the pattern and the map shown.
# Usage: bench/window-step.sh [build folder, default build] [steps, default 60] [--paints] [--only=typed|key]
set -euo pipefail
build="${1:-build}"
cmake --build "$build" --target bench_window_step
exec xvfb-run -a -s '-screen 0 1366x768x24' "$build/bench/bench_window_step" "${2:-60}" "${@:3}"
