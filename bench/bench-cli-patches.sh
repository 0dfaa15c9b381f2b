#!/usr/bin/env bash
# What --patches adds to the shell program's fit, whole processes timed from start to exit, one
# thread, runs of the plain fit and the fit with --patches interleaved on the same 4096 x 4096
# micrographs (make_fit_micrographs): the median of 5 of each, and their difference at most 1 s.
# Usage: bench/bench-cli-patches.sh [build folder, default build]. Exits 1 when it is over.
. "$(dirname "$0")/cli-bench-setup.sh" bench-cli-patches "${1:-build}"
"$maker" "$work" 2

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
