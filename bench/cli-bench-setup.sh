# What the shell program's benchmarks share, sourced as
#   . "$(dirname "$0")/cli-bench-setup.sh" NAME [build folder, default build]
# It finds the program and the micrographs' maker in the build, makes a work folder removed at exit,
# keeps the user's settings out of it, and gives timed(): the wall clock and processor time
# (user + system) of one run, as "wall cpu".
set -euo pipefail
bench_name=$1
build=$(cd "${2:-build}" && pwd)
program="$build/src/app/orvalis-ctf"
maker="$build/bench/make_fit_micrographs"
for p in "$program" "$maker"; do
    [ -x "$p" ] || { echo "$bench_name: no $p (build it first)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

timed() {
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" > /dev/null
    awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$work/time"
}
