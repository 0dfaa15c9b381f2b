#!/usr/bin/env bash
# What --patches adds to the shell program's fit, whole processes timed from start to exit, one
# thread, runs of the plain fit and the fit with --patches interleaved on the same 4096 x 4096
# micrographs (make_fit_micrographs): the median of 5 of each, and their difference at most 1 s.
# Usage: bench/bench-cli-patches.sh [build folder, default build]. Exits 1 when it is over.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
program="$build/src/app/orvalis-ctf"
maker="$build/bench/make_fit_micrographs"
for p in "$program" "$maker"; do
    [ -x "$p" ] || { echo "bench-cli-patches: no $p (build it first)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$maker" "$work" 2

# wall clock and processor time (user + system) of one run: "wall cpu"
timed() {
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" > /dev/null
    awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$work/time"
}
"$program" fit "$work/micrograph01.mrc" --threads 1 > /dev/null # the page cache, the plans' wisdom
: > "$work/plain"
: > "$work/patches"
for r in 1 2 3 4 5; do
    m="$work/micrograph0$(((r - 1) % 2 + 1)).mrc"
    timed "$program" fit "$m" --threads 1 >> "$work/plain"
    timed "$program" fit "$m" --threads 1 --patches "$work/p.tsv" >> "$work/patches"
done
median() { sort -n -k"$2" "$1" | awk -v c="$2" '{ a[NR] = $c } END { print a[3] }'; }
plain=$(median "$work/plain" 1) patches=$(median "$work/patches" 1)
plainCpu=$(median "$work/plain" 2) patchesCpu=$(median "$work/patches" 2)
added=$(awk -v a="$patches" -v b="$plain" 'BEGIN { printf "%.3f", a - b }')
printf '%-44s %9s s (processor %s s)\n' "fit, one 4096^2 file, 1 thread" "$plain" "$plainCpu"
printf '%-44s %9s s (processor %s s)\n' "the same with --patches" "$patches" "$patchesCpu"
printf '%-44s %9s s   (limit 1 s) ' "added by --patches, median of 5" "$added"
if awk -v d="$added" 'BEGIN { exit !(d <= 1) }'; then echo ok; else echo OVER; exit 1; fi
