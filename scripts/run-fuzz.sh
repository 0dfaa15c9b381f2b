#!/usr/bin/env bash
# Runs each fuzzer for a fixed time on a copy of its seed corpus; fails on any crash.
#   scripts/run-fuzz.sh [build folder] [seconds per fuzzer]
set -euo pipefail
build=${1:-build-fuzz}; seconds=${2:-60}
root="$(cd "$(dirname "$0")/.." && pwd)"
export XDG_CONFIG_HOME="$(mktemp -d)" XDG_DATA_HOME="$(mktemp -d)"
run() { # run FUZZER CORPUS-FOLDER
  local work="$root/fuzz/$2-run"
  rm -rf "$work"; mkdir -p "$work"
  cp "$root/fuzz/$2"/* "$work"/ 2>/dev/null || true
  "$build/fuzz/$1" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=4096 "$work"
}
run fuzz_regimport corpus
run fuzz_micrograph corpus-micrograph
echo "fuzz: 2 passed, 0 failed"
