#!/usr/bin/env bash
# Start-up time of the whole program under a real X server (xvfb), median of repeated first runs.
# Usage: bench/startup.sh [build folder, default build]   (a Release build: the benchmarks' default)
set -euo pipefail
build="${1:-build}"
cmake --build "$build" --target bench_startup orvalis
exec xvfb-run -a -s '-screen 0 1366x768x24' "$build/bench/bench_startup"
