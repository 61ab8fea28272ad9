#!/usr/bin/env bash
# The long fault-injection campaign, outside ctest: power cuts at random
# moments of the minute cycle, of the hourly save and of a parameter save
# (every third each), then a flooded CAN bus and a noisy GPS line while
# commands are served. It runs copies of the test and of komain, so that a
# rebuild meanwhile changes nothing.
#   scripts/fault-campaign.sh                  100 cuts, 300 s of flood
#   scripts/fault-campaign.sh 30 60 5          30 cuts, 60 s of flood, seed 5
# Needs build/ configured with -DKOMAIN_TESTS=ON. Prints the figures the
# tests report ("power cuts: ...", "flood: ...").
set -euo pipefail
cd "$(dirname "$0")/.."
kills=${1:-100}
noise=${2:-300}
seed=${3:-21}

cmake --build build -j2 --target komain komain_e2e >/dev/null
work=$(mktemp -d /tmp/komain-fault.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp build/komain build/tests/komain_e2e "$work"/

status=0
KOMAIN_FAULT_BINARY="$work/komain" KOMAIN_FAULT_KILLS="$kills" KOMAIN_FAULT_SEED="$seed" \
    "$work/komain_e2e" --gtest_filter='FaultE2E.PowerCuts*' || status=1
KOMAIN_FAULT_BINARY="$work/komain" KOMAIN_FAULT_NOISE_S="$noise" \
    "$work/komain_e2e" --gtest_filter='FaultE2E.Flooded*' || status=1
exit $status
