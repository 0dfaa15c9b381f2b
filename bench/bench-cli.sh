#!/usr/bin/env bash
# Whole processes of the shell program, timed from start to exit in an empty settings folder:
#   curve                   median of 41 runs (at most 25 ms)
#   chart --out x.svg       median of 21 runs (at most 150 ms)
#   1000 curve runs         one shell loop over a defocus series, each output to a file (at most 30 s)
# Usage: bench/bench-cli.sh [build folder, default build]. Exits 1 when a figure is over its limit.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
program="$build/src/app/orvalis-ctf"
[ -x "$program" ] || { echo "bench-cli: no $program (build it first)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY

now_ns() { date +%s%N; }

# Median in milliseconds of <runs> runs of the given command line.
median_ms() {
    local runs=$1 i start end
    shift
    for ((i = 0; i < runs; i++)); do
        start=$(now_ns)
        "$@" > /dev/null
        end=$(now_ns)
        echo $(((end - start) / 1000))
    done | sort -n | awk '{ a[NR] = $1 } END { printf "%.1f", a[int((NR + 1) / 2)] / 1000 }'
}

status=0
check() { # name figure limit unit
    local verdict=ok
    awk -v f="$2" -v l="$3" 'BEGIN { exit !(f <= l) }' || { verdict=OVER; status=1; }
    printf '%-34s %9s %s   (limit %s %s) %s\n' "$1" "$2" "$4" "$3" "$4" "$verdict"
}

"$program" curve > /dev/null # the libraries in the page cache
check "curve, median of 41" "$(median_ms 41 "$program" curve)" 25 ms
check "info, median of 41" "$(median_ms 41 "$program" info)" 25 ms
check "chart --out x.svg, median of 21" "$(median_ms 21 "$program" chart --out "$work/x.svg")" 150 ms
check "pattern --out x.png, median of 21" "$(median_ms 21 "$program" pattern --out "$work/x.png")" 150 ms

start=$(now_ns)
for ((d = 0; d < 1000; d++)); do
    "$program" curve --defocus "-$((d * 2))" > "$work/curve.tsv"
done
end=$(now_ns)
check "1000 curve runs, defocus 0 .. -1998" "$(awk -v t=$((end - start)) 'BEGIN { printf "%.2f", t / 1e9 }')" 30 s
exit $status
