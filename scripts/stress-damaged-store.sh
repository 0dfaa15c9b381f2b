#!/usr/bin/env bash
# The long run of several copies of the program meeting a damaged settings store at the same moment:
# every round damages the store, starts the copies together, and checks that each write reported as
# done is in the store and that each damaged original is kept. Fails on any fault.
#   scripts/stress-damaged-store.sh [build dir] [rounds] [copies]
set -euo pipefail
build=${1:-build}; rounds=${2:-200}; copies=${3:-4}
export XDG_CONFIG_HOME="$(mktemp -d)" XDG_DATA_HOME="$(mktemp -d)" QT_QPA_PLATFORM=offscreen
trap 'rm -rf "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"' EXIT
ORVALIS_STRESS_ROUNDS=$rounds ORVALIS_STRESS_COPIES=$copies \
  "$build/tests/store/test_store" copiesMeetDamagedStore
