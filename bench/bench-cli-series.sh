#!/usr/bin/env bash
# The shell program's tilt series fit, whole processes timed from start to exit: a 41-tilt series of
# 4096 x 4096 float32 tilts (-60 .. 60 degrees in 3 degree steps, a 2.7 GB MRC stack written by
# series_accuracy --write-speed), read section by section and fitted, at most 15 s on one thread and
# 8.5 s on two, with the axis given (--tilt-axis) and fitted. The stack is read once first, so the
# figures are the fit's and the reader's, not the disk's. Prints the load average beside them: others
# building on this machine slow it.
# Usage: bench/bench-cli-series.sh [build folder, default build]. Exits 1 when a figure is over its limit.
. "$(dirname "$0")/cli-bench-setup.sh" bench-cli-series "${1:-build}"
writer="$build/bench/series_accuracy"
[ -x "$writer" ] || { echo "bench-cli-series: no $writer (build it first)" >&2; exit 1; }

"$writer" --write-speed "$work/series"
cat "$work/series/series.mrc" > /dev/null

status=0
printf '%-34s %8s %8s   %s\n' "run" "wall_s" "cpu_s" "load average"
for axis in given fitted; do
    for threads in 1 2; do
        limit=15
        [ "$threads" = 2 ] && limit=8.5
        extra=()
        [ "$axis" = given ] && extra=(--tilt-axis 85)
        read -r wall cpu < <(timed "$program" fit-series "$work/series/series.mrc" --tilts "$work/series/series.tlt" \
            --threads "$threads" "${extra[@]}")
        verdict=ok
        awk -v f="$wall" -v l="$limit" 'BEGIN { exit !(f <= l) }' || { verdict=OVER; status=1; }
        printf '%-34s %8s %8s   %s   (limit %s s) %s\n' "axis $axis, --threads $threads" "$wall" "$cpu" \
            "$(cut -d' ' -f1-3 /proc/loadavg)" "$limit" "$verdict"
    done
done
exit $status
