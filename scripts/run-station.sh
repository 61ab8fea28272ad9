#!/usr/bin/env bash
# Runs a whole simulated weather station on this machine and opens its
# console.
#
# Installs what a fresh Debian machine lacks (as root), builds komain and
# the station simulator, makes a sandbox, starts stationsim (every board and
# instrument the station's parameters enable, a weather model, the central
# computer on a loopback port) and komain in the sandbox, points komain's
# LAN link at the simulated central computer with the DEST command on COM0,
# and opens the console. komain is restarted after each simulated reboot,
# as the board would be.
#
#   scripts/run-station.sh [--minutes N] [--page FILE] [SANDBOX_DIR] [-- STATIONSIM OPTIONS...]
#
# Without a folder the station lives in /tmp/komain-station, or in
# /tmp/komain-station-2, -3 ... when another station runs there already.
# --minutes N runs without a console for N minutes of simulated time,
# prints each saved minute as a watch row and exits 0 only when every
# minute was written and read back over COM0.
# --page FILE keeps FILE the day page of komain-view (plots of the day's
# minutes, the hourly records), rewritten whenever an hour is saved.
# Environment: KOMAIN_CLOCK="YYYY-MM-DD HH:MM:SS" starts at another time,
# KOMAIN_KERNEL=2.6.39 simulates the older board.
#
# Ctrl-C or Ctrl-D ends every process the station started and removes its
# System V objects; the sandbox stays for a look.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

minutes=0
page=""
root=""
simargs=()
while [ $# -gt 0 ]; do
    case "$1" in
    --minutes)
        [ $# -ge 2 ] && [[ "$2" =~ ^[1-9][0-9]*$ ]] || { echo "run-station: --minutes takes a number of minutes" >&2; exit 2; }
        minutes=$2
        shift 2
        ;;
    --page)
        [ $# -ge 2 ] || { echo "run-station: --page takes a file name" >&2; exit 2; }
        page=$(realpath -m "$2")
        shift 2
        ;;
    --) shift; simargs=("$@"); break ;;
    -*) echo "run-station: unknown option $1" >&2; exit 2 ;;
    *) root=$1; shift ;;
    esac
done

# What a fresh machine lacks.
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v flock >/dev/null || need+=(util-linux)
[ -f /usr/include/pty.h ] || need+=(libc6-dev)
if [ ${#need[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "run-station: please install ${need[*]}" >&2
        exit 2
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

echo "building ..."
mkdir -p build-station
(
    flock 8   # one build at a time when two stations start together
    cmake -S . -B build-station -DKOMAIN_TESTS=OFF >/dev/null
    cmake --build build-station -j"$(nproc)" >/dev/null
) 8>build-station/.lock

# A sandbox of our own: a second station beside a running one takes the
# next free folder and never touches the first.
lock_sandbox() {
    mkdir -p "$1/run"
    exec 9>"$1/run/station.lock"
    flock -n 9
}
if [ -n "$root" ]; then
    lock_sandbox "$root" || { echo "run-station: a station runs in $root already" >&2; exit 2; }
else
    root=/tmp/komain-station
    n=1
    until lock_sandbox "$root"; do
        n=$((n + 1))
        root=/tmp/komain-station-$n
    done
fi
root=$(cd "$root" && pwd -P)
mkdir -p "$root/dev" "$root/run" "$root/sim"
export KOMAIN_ROOT=$root TZ=${TZ:-UTC0}
# The zone of the station's clock, for readers of its files (komain-view).
printf '%s\n' "$TZ" >"$root/sim/tz"
if [ "$minutes" -gt 0 ] && [ -z "${KOMAIN_CLOCK:-}" ]; then
    # Start a few seconds before a minute, so the run is not longer than it
    # need be.
    now=$(date +%s)
    KOMAIN_CLOCK=$(date -u -d "@$(((now / 60 + 1) * 60 - 8))" '+%Y-%m-%d %H:%M:%S')
    export KOMAIN_CLOCK
fi
generation=newer
if [ -n "${KOMAIN_KERNEL:-}" ]; then
    IFS=. read -r major minor _ <<<"$KOMAIN_KERNEL"
    if [ "${major:-0}" -lt 3 ] || { [ "${major:-0}" -eq 3 ] && [ "${minor:-0}" -lt 2 ]; }; then
        generation=older
    fi
fi

# The simulator links the serial ports anew; komain starts once they exist.
rm -f "$root"/dev/tty* "$root/run/komain.pid"
last_port=ttymxc2
[ "$generation" = older ] && last_port=ttym1

# Every background job in its own process group, so that one signal ends
# a job with everything it started.
set -m
supervisor=""
pager=""
stopping=0
cleanup() {
    status=$?
    [ "$stopping" = 1 ] && return
    stopping=1
    trap - INT TERM HUP EXIT
    [ -n "$supervisor" ] && kill -TERM -- "-$supervisor" 2>/dev/null || true
    [ -n "$pager" ] && kill -TERM -- "-$pager" 2>/dev/null || true
    if [ -s "$root/run/komain.pid" ]; then
        kill -KILL -- "-$(cat "$root/run/komain.pid")" 2>/dev/null || true
    fi
    [ -n "$supervisor" ] && kill -KILL -- "-$supervisor" 2>/dev/null || true
    wait 2>/dev/null || true
    "$top/build-station/komain" --remove-ipc 2>/dev/null || true
    echo "station stopped; its files stay in $root"
    exit "$status"
}
trap cleanup INT TERM HUP EXIT

# komain in the background, restarted after every reboot. Its own output
# goes to a file (the console reads its saves from there).
: >"$root/sim/komain.out"
(
    trap 'exit 0' TERM
    until [ -L "$root/dev/$last_port" ]; do sleep 0.1; done
    while true; do
        "$top/build-station/komain" >>"$root/sim/komain.out" 2>&1 </dev/null &
        echo $! >"$root/run/komain.pid"
        # A reboot kills it: no job-status line on the console for that.
        { wait $!; } 2>/dev/null || true
        # The starting process has ended: a reboot ends the whole group.
        sleep 1
        # On a terminal the line replaces the console's prompt, which the
        # console draws again within a second.
        clear_line=""
        [ -t 2 ] && clear_line=$'\r\033[K'
        echo "${clear_line}--- komain ended ($(tail -n 1 "$root/sim/reboot.log" 2>/dev/null)); starting again" >&2
    done
) &
supervisor=$!

# The day page: written once the first minute is saved, then again after
# each hourly save (the DHGD file's time moves).
if [ -n "$page" ]; then
    (
        trap 'exit 0' TERM
        last=""
        while true; do
            stamp=$(stat -c %Y "$root"/mnt/nand3/tempdata/DHGD/*.DAT 2>/dev/null | sort -n | tail -n 1 || true)
            if [ "$stamp" != "$last" ] || [ ! -s "$page" ]; then
                "$top/build-station/komain-view" "$root" --format page --out "$page" 2>/dev/null && last=$stamp
            fi
            sleep 5 &
            wait $! || true
        done
    ) &
    pager=$!
    echo "day page: $page (rewritten every saved hour)"
fi

echo "komain runs in $root ($generation board); its output: $root/sim/komain.out"
sim=("$top/build-station/stationsim" --root "$root" --ports "$generation" --record "$root/sim/can0.log" --point-lan)
if [ "$minutes" -gt 0 ]; then
    echo "running $minutes minutes from $KOMAIN_CLOCK ..."
    set +e
    "${sim[@]}" --minutes "$minutes" "${simargs[@]}" </dev/null
    status=$?
    set -e
    exit "$status"
fi
echo "console: type komain commands (DMGD, OBSAMPLE MAIN ...), :help for more; Ctrl-C or Ctrl-D ends"
"${sim[@]}" --console "${simargs[@]}"
