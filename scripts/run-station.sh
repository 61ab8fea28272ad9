#!/usr/bin/env bash
# Runs a simulated station: builds komain (and the station simulator), makes
# a sandbox, starts the simulator as the outside world and komain in the
# sandbox, and restarts komain after each (simulated) reboot, as the board
# would. Ctrl-C stops everything and removes the station's System V objects.
#   scripts/run-station.sh [SANDBOX_DIR]      (default /tmp/komain-station)
# Environment: KOMAIN_CLOCK="YYYY-MM-DD HH:MM:SS" to start at another time,
# KOMAIN_KERNEL=2.6.39 to simulate the older board.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

cmake -S . -B build-station -DKOMAIN_TESTS=OFF >/dev/null
cmake --build build-station -j"$(nproc)" >/dev/null

root=${1:-/tmp/komain-station}
mkdir -p "$root"
root=$(cd "$root" && pwd -P)
mkdir -p "$root/dev" "$root/run" "$root/sim"
export KOMAIN_ROOT=$root TZ=${TZ:-UTC0}

pids=()
komain_pgid=""
cleanup() {
    trap - INT TERM EXIT
    [ -n "$komain_pgid" ] && kill -KILL -- "-$komain_pgid" 2>/dev/null || true
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    "$top/build-station/komain" --remove-ipc 2>/dev/null || true
    echo
    echo "station stopped; its files stay in $root"
    exit 0
}
trap cleanup INT TERM EXIT

if [ -x build-station/stationsim ]; then
    build-station/stationsim --root "$root" >"$root/sim/stationsim.log" 2>&1 &
    pids+=($!)
    echo "station simulator running (log: $root/sim/stationsim.log)"
fi

echo "komain running in $root (output below; commands it runs: $root/sim/commands.log)"
while true; do
    build-station/komain &
    komain_pgid=$!
    wait "$komain_pgid" || true
    # The starting process has ended: a reboot ends the whole group.
    sleep 1
    if [ -s "$root/sim/reboot.log" ]; then
        echo "--- reboot: $(tail -n 1 "$root/sim/reboot.log"); starting again"
    fi
done
