#!/usr/bin/env bash
# Runs the .reg importer fuzzer for a fixed time on a copy of the seed corpus; fails on any crash.
set -euo pipefail
build=${1:-build-fuzz}; seconds=${2:-60}
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$root/fuzz/corpus-run"
rm -rf "$work"; mkdir -p "$work"
cp "$root"/fuzz/corpus/* "$work"/ 2>/dev/null || true
export XDG_CONFIG_HOME="$(mktemp -d)" XDG_DATA_HOME="$(mktemp -d)"
"$build/fuzz/fuzz_regimport" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=4096 "$work"
echo "fuzz: 1 passed, 0 failed"
