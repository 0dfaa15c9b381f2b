#!/usr/bin/env bash
# A defocus step in the main window at its first-start size under a real X server (xvfb): median of
# 60 typed and 60 keyboard steps, each with the pattern and the map shown.
# Usage: [SCREEN=WxH] bench/window-step.sh [build folder, default build] [steps, default 60] [--paints]
#        [--only=typed|full|key] [--micrograph] [--maximised]
# e.g. SCREEN=1920x1080 bench/window-step.sh build 60 --micrograph --maximised: the spectrum view's step.
set -euo pipefail
build="${1:-build}"
cmake --build "$build" --target bench_window_step
exec xvfb-run -a -s "-screen 0 ${SCREEN:-1366x768}x24" "$build/bench/bench_window_step" "${2:-60}" "${@:3}"
