#!/usr/bin/env bash
# Peak memory of the .reg importer on the files that cost it most: the size limit filled with empty
# lines, with comment lines, with one long hex value, a file of one 60 MiB string value, and the
# export of the deepest key tree. The last column is the peak over the file's size.
#   scripts/measure-import-memory.sh [build dir]   (a Release build with the benchmarks)
set -eu  # no pipefail: `yes` ends by SIGPIPE when `head` has enough
build=${1:-build}
driver="$build/bench/regimport_peak"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
limit=$((64 * 1024 * 1024))
fill() { # fill FILE BODY-COMMAND: the header, then the body cut to the limit
  { printf 'REGEDIT4\r\n'; "${@:2}"; } | head -c "$limit" > "$1"
}
fill "$work/empty-lines.reg" yes ''
fill "$work/comments.reg" yes ';'
{ printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\Big]\r\n"v"=hex:00'
  yes ',00' | tr -d '\n' | head -c $((limit - 100)); printf '\r\n'; } > "$work/one-hex-line.reg"
{ printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\Big]\r\n"v"="'
  yes a | tr -d '\n' | head -c $((60 * 1024 * 1024)); printf '"\r\n'; } > "$work/one-string-line.reg"
"$driver" --deepest "$work/deepest.reg"
printf '%-18s %12s %12s %7s  %s\n' file bytes "peak KiB" "x size" result
for f in empty-lines comments one-hex-line one-string-line deepest; do
  size=$(stat -c %s "$work/$f.reg")
  out=$( { /usr/bin/time -f '%M' "$driver" "$work/$f.reg" > "$work/out"; } 2>&1 | tail -1)
  ratio=$(awk -v p="$out" -v s="$size" 'BEGIN { printf "%.2f", p * 1024 / s }')
  printf '%-18s %12s %12s %7s  %s\n' "$f" "$size" "$out" "$ratio" "$(cat "$work/out")"
done
