#!/usr/bin/env bash
# Runs a simulated station and gives you its main terminal (COM0).
#
# Builds komain and the station simulator, makes a sandbox, starts the
# simulator (it plays the main sampling board on the simulated CAN bus and
# links the six serial ports to pseudo-terminals) and komain in the sandbox,
# restarting komain after each simulated reboot as the board would.
#
# What you type is sent to COM0: try  DMGD   DMGD 2026-12-06 10:01 5   OBSAMPLE MAIN
# Replies appear below it; each minute the new main minute record (DMGD
# line) is shown as komain saves it. Ctrl-C (or Ctrl-D) stops everything and
# removes the station's System V objects; the sandbox stays for a look.
#
#   scripts/run-station.sh [SANDBOX_DIR]      (default /tmp/komain-station)
# Environment: KOMAIN_CLOCK="YYYY-MM-DD HH:MM:SS" starts at another time,
# KOMAIN_KERNEL=2.6.39 simulates the older board.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

echo "building ..."
cmake -S . -B build-station -DKOMAIN_TESTS=OFF >/dev/null
cmake --build build-station -j"$(nproc)" >/dev/null

root=${1:-/tmp/komain-station}
mkdir -p "$root"
root=$(cd "$root" && pwd -P)
mkdir -p "$root/dev" "$root/run" "$root/sim"
export KOMAIN_ROOT=$root TZ=${TZ:-UTC0}
generation=newer
if [ -n "${KOMAIN_KERNEL:-}" ]; then
    IFS=. read -r major minor _ <<<"$KOMAIN_KERNEL"
    if [ "${major:-0}" -lt 3 ] || { [ "${major:-0}" -eq 3 ] && [ "${minor:-0}" -lt 2 ]; }; then
        generation=older
    fi
fi

# The simulator links the serial ports anew; komain starts once they exist.
rm -f "$root"/dev/tty*
last_port=ttymxc2
[ "$generation" = older ] && last_port=ttym1

supervisor=""
watcher=""
cleanup() {
    trap - INT TERM EXIT
    [ -n "$supervisor" ] && kill "$supervisor" 2>/dev/null || true
    [ -n "$watcher" ] && kill "$watcher" 2>/dev/null || true
    if [ -s "$root/run/komain.pid" ]; then
        kill -KILL -- "-$(cat "$root/run/komain.pid")" 2>/dev/null || true
    fi
    wait 2>/dev/null || true
    "$top/build-station/komain" --remove-ipc 2>/dev/null || true
    echo
    echo "station stopped; its files stay in $root"
    exit 0
}
trap cleanup INT TERM EXIT

# komain in the background, restarted after every reboot. Its own output
# goes to a file so that the console stays readable.
: >"$root/sim/komain.out"
(
    until [ -L "$root/dev/$last_port" ]; do sleep 0.1; done
    while true; do
        "$top/build-station/komain" >>"$root/sim/komain.out" 2>&1 &
        echo $! >"$root/run/komain.pid"
        wait $! || true
        # The starting process has ended: a reboot ends the whole group.
        sleep 1
        echo "--- komain ended ($(tail -n 1 "$root/sim/reboot.log" 2>/dev/null)); starting again" >&2
    done
) &
supervisor=$!

# Each minute's saved DMGD line, read back from its slot of the day file.
(
    tail -n 0 -F "$root/sim/komain.out" 2>/dev/null | while IFS= read -r line; do
        case "$line" in
        savefile:*)
            stamp=${line#savefile:}
            d=${stamp%% *}
            t=${stamp#* }
            file="$root/mnt/nand3/tempdata/DMGD/${d:2:2}${d:5:2}${d:8:2}.DAT"
            slot=$((10#${t:0:2} * 60 + 10#${t:3:2}))
            rec=$(dd if="$file" bs=512 skip="$slot" count=1 2>/dev/null | tr -d '\000\r' | head -n 1)
            [ -n "$rec" ] && printf '[DMGD %s] %s\n' "${t:0:5}" "$rec"
            ;;
        esac
    done
) &
watcher=$!

echo "komain runs in $root ($generation board); its output: $root/sim/komain.out"
echo "COM0 console: type a command and Enter (Ctrl-C ends)"
"$top/build-station/stationsim" --root "$root" --log "$root/sim/can0.log" --ports "$generation" --console
