#!/usr/bin/env bash
# The shell program's plain fit of one camera-like 4096 x 4096 micrograph (make_fit_micrographs ...
# camera: counting noise, the detector's MTF, the ice ring), whole processes timed from start to exit
# with their default settings and one thread, reading and spectrum included: the median wall clock
# and processor time of 9 runs (target: at most 0.3 s). With ORVALIS_BEFORE=path/to/orvalis-ctf, that
# program's runs are interleaved with this build's, so that both see the same load.
# Usage: bench/bench-cli-fit-camera.sh [build folder, default build]. Exits 1 when over the target.
. "$(dirname "$0")/cli-bench-setup.sh" bench-cli-fit-camera "${1:-build}"
"$maker" "$work" 3 camera

programs=("$program")
[ -n "${ORVALIS_BEFORE:-}" ] && programs+=("$ORVALIS_BEFORE")
for p in "${programs[@]}"; do "$p" fit "$work/micrograph01.mrc" --threads 1 > /dev/null; done # the page cache
for r in $(seq 1 9); do
    file="$work/micrograph0$(((r - 1) % 3 + 1)).mrc"
    for i in "${!programs[@]}"; do
        /usr/bin/time -f "%e %U %S" -o "$work/time" "${programs[$i]}" fit "$file" --threads 1 > "$work/out"
        awk -v i="$i" '{ printf "%d %s %.2f\n", i, $1, $2 + $3 }' "$work/time" >> "$work/runs"
    done
done
status=0
for i in "${!programs[@]}"; do
    median() { awk -v i="$i" -v k="$1" '$1 == i { print $k }' "$work/runs" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
    wall=$(median 2)
    cpu=$(median 3)
    verdict=""
    if [ "$i" = 0 ]; then
        if awk -v f="$wall" 'BEGIN { exit !(f <= 0.3) }'; then verdict="ok"; else verdict="OVER"; status=1; fi
    fi
    printf '%-60s wall %5s s, processor %5s s  %s\n' "${programs[$i]}" "$wall" "$cpu" "${verdict:+(limit 0.3 s) $verdict}"
done
echo "load average while measured: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
