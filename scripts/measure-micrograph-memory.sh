#!/usr/bin/env bash
# Peak memory of reading a 4096 x 4096 float32 MRC micrograph (64 MiB) and computing its spectrum, as
# the window does it off its event loop.
#   scripts/measure-micrograph-memory.sh [build dir]   (a Release build with the benchmarks)
set -eu
build=${1:-build}
driver="$build/bench/micrograph_peak"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$driver" --write "$work/micrograph.mrc"
size=$(stat -c %s "$work/micrograph.mrc")
out=$( { /usr/bin/time -f '%M KiB peak, %e s' "$driver" "$work/micrograph.mrc" > "$work/out"; } 2>&1 | tail -1)
printf '%s bytes: %s; %s\n' "$size" "$out" "$(cat "$work/out")"
