#!/usr/bin/env bash
# The shell program's batch fit, whole processes timed from start to exit:
#   fit of one 4096 x 4096 micrograph, reading and spectrum included, one thread (median of 5; at most 1.5 s)
#   fit of 16 such micrographs with --threads 1 and --threads 2: two threads at least 1.8 x faster
# Four distinct micrographs are written (make_fit_micrographs) and each is named four times, as the
# library's bench_ctffit does; the files stay in the page cache, so the figures are the fit's, not the disk's.
# Usage: bench/bench-cli-fit.sh [build folder, default build]. Exits 1 when a figure is over its limit.
. "$(dirname "$0")/cli-bench-setup.sh" bench-cli-fit "${1:-build}"

"$maker" "$work" 4
files=()
for round in 1 2 3 4; do
    for i in 01 02 03 04; do
        ln -s "$work/micrograph$i.mrc" "$work/m$round-$i.mrc"
        files+=("$work/m$round-$i.mrc")
    done
done

now_ns() { date +%s%N; }
# seconds of wall clock of one run of the given command line
wall_s() {
    local start end
    start=$(now_ns)
    "$@" > /dev/null
    end=$(now_ns)
    awk -v t=$((end - start)) 'BEGIN { printf "%.3f", t / 1e9 }'
}

status=0
check() { # name figure limit unit [at-least]
    local verdict=ok
    if [ "${5:-}" = at-least ]; then
        awk -v f="$2" -v l="$3" 'BEGIN { exit !(f >= l) }' || { verdict=LOW; status=1; }
    else
        awk -v f="$2" -v l="$3" 'BEGIN { exit !(f <= l) }' || { verdict=OVER; status=1; }
    fi
    printf '%-44s %9s %s   (limit %s %s) %s\n' "$1" "$2" "$4" "$3" "$4" "$verdict"
}

"$program" fit "$work/micrograph01.mrc" --threads 1 > /dev/null # the page cache, the plans' wisdom
one=$(for r in 1 2 3 4 5; do wall_s "$program" fit "$work/micrograph0$(((r - 1) % 4 + 1)).mrc" --threads 1; echo; done |
    sort -n | awk '{ a[NR] = $1 } END { print a[3] }')
check "fit, one 4096^2 file, 1 thread, median of 5" "$one" 1.5 s
read -r t1 c1 <<< "$(timed "$program" fit "${files[@]}" --threads 1)"
read -r t2 c2 <<< "$(timed "$program" fit "${files[@]}" --threads 2)"
printf '%-44s %9s s   (processor time %s s)\n' "fit, 16 files, --threads 1" "$t1" "$c1" \
    "fit, 16 files, --threads 2" "$t2" "$c2"
# On a machine other work loads, two threads cannot run twice as fast; equal processor times then
# show that the batch itself scales (nothing serialises its threads or makes them do more).
printf '%-44s %9s x\n' "processor time, 2 threads over 1" "$(awk -v a="$c2" -v b="$c1" 'BEGIN { printf "%.2f", a / b }')"
check "speed-up of 2 threads over 1" "$(awk -v a="$t1" -v b="$t2" 'BEGIN { printf "%.2f", a / b }')" 1.8 x at-least
exit $status
