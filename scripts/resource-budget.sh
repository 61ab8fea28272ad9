#!/usr/bin/env bash
# Resource budget of a running simulated station with its extension boards
# and instruments on: resident memory of each komain process, the size of
# each System V segment komain made, CPU seconds and bytes written over N
# minutes, scaled to an hour and a day.
#
#   scripts/resource-budget.sh [MINUTES] [-- STATIONSIM OPTIONS...]   (default 60)
#   scripts/resource-budget.sh --flood SECONDS [-- STATIONSIM OPTIONS...]
#
# --flood sets the station up the same way, then floods its CAN socket for
# SECONDS with build-bench/bench/komain_canflood (build it first, see
# docs/performance.md) and prints the frames a second komain took and the
# CPU each of its processes used meanwhile.
#
# Without stationsim options the visibility sensor, the weighing rain gauge
# and the snow-depth sensor are simulated beside the sampling board, GPS and
# pressure sensor (the ultrasonic wind shares COM3 with the visibility
# sensor and COM2 with the GPS, so it is not in the same run; give
# "-- --instrument wind" for a run with it instead of the visibility sensor,
# and VISITYPE 9 is then sent).
#
# The station starts at the factory parameters; the script then sets it up
# on COM0 as a technician would: CHGVER 1 (the current record generation;
# the station reboots with that generation's factory parameters, which
# switch on the air-temperature and rain boards), the LAN destination again,
# DAUSET for every extension board, SENST SD 1 for the snow depth. The
# replies are printed at the end. The measured window starts two minutes
# after the last command, so the boards' first frames, the reboot and the
# day files' creation stay out of the hourly rates; it then runs MINUTES
# minutes of the simulated clock (which runs at real speed).
#
# Bytes written are wchar (bytes handed to write(2)), the upper bound of
# what reaches the NAND flash (it also counts console and serial-port
# writes); the sandbox's file growth is printed beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=60
flood=0
if [ "${1:-}" = "--flood" ]; then
    [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "resource-budget: --flood takes a number of seconds" >&2; exit 2; }
    flood=$2
    shift 2
    [ -x build-bench/bench/komain_canflood ] || { echo "resource-budget: build build-bench first (docs/performance.md)" >&2; exit 2; }
elif [ $# -gt 0 ] && [ "$1" != "--" ]; then
    minutes=$1
    shift
fi
[ "${1:-}" = "--" ] && shift
simargs=("$@")
[ ${#simargs[@]} -gt 0 ] || simargs=(--instrument visibility --instrument raingauge --instrument snow)
wind=0
for a in "${simargs[@]}"; do [ "$a" = wind ] && wind=1; done

root=$(mktemp -d /tmp/komain-budget.XXXXXX)
out=$root.sample
log=$root.log
mkfifo "$root.in"
station=""
cleanup() {
    exec 7>&- 2>/dev/null || true
    if [ -n "$station" ]; then
        kill -TERM "$station" 2>/dev/null || true
        wait "$station" 2>/dev/null || true
    fi
    [ -n "${BUDGET_KEEP:-}" ] || rm -rf "$root" "$root.in" "$log" "$out" "$out.tmp" "$out.base"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# Start a few seconds before a minute.
now=$(date +%s)
export KOMAIN_CLOCK=${KOMAIN_CLOCK:-$(date -u -d "@$(((now / 60 + 1) * 60 - 8))" '+%Y-%m-%d %H:%M:%S')}
# The console reads its commands from the fifo; closing it ends the run.
scripts/run-station.sh "$root" -- --no-watch "${simargs[@]}" <"$root.in" >"$log" 2>&1 &
station=$!
exec 7>"$root.in"

komain=$(readlink -f build-station/komain)
# komain's four processes: the started one and its process group.
members() {
    local lead
    lead=$(cat "$root/run/komain.pid" 2>/dev/null) || return 0
    [ -n "$lead" ] || return 0
    { echo "$lead"; pgrep -g "$lead"; pgrep -P "$lead"; } 2>/dev/null | sort -u | while read -r p; do
        [ "$(readlink "/proc/$p/exe" 2>/dev/null)" = "$komain" ] && echo "$p"
    done
}
# The process's part: the started process is A (the CAN receiver); of its
# two children C (the listener) has forked D (the minute loop), B has not.
role() {
    local lead ppid
    lead=$(cat "$root/run/komain.pid" 2>/dev/null)
    ppid=$(awk '{print $4}' "/proc/$1/stat" 2>/dev/null)
    if [ "$1" = "$lead" ]; then echo A
    elif [ "$ppid" != "$lead" ]; then echo D
    elif echo "$2" | grep -qx "$(pgrep -P "$1" | head -n 1)"; then echo C
    else echo B
    fi
}
alive() { kill -0 "$station" 2>/dev/null || { echo "the station ended early; its log:" >&2; tail -n 30 "$log" >&2; exit 1; }; }
send() { alive; echo "$1" >&7; sleep 2; }
# Waits until komain runs with a started process other than $1, and a
# little longer for its start-up.
wait_komain() {
    local n=0
    until [ -n "$(members)" ] && [ "$(cat "$root/run/komain.pid" 2>/dev/null)" != "$1" ]; do
        alive
        n=$((n + 1))
        [ $n -lt 240 ] || { echo "komain did not start" >&2; exit 1; }
        sleep 0.5
    done
    sleep 5
}

# komain takes its first commands some seconds after it starts: ask until
# it answers.
answers() {
    local asked n=0
    asked=$(grep -ac '^MAIN:' "$log" || true)
    until [ "$(grep -ac '^MAIN:' "$log" || true)" -gt "$asked" ]; do
        n=$((n + 1))
        [ $n -lt 40 ] || { echo "komain does not answer on COM0" >&2; exit 1; }
        send "DAUSET"
        sleep 1
    done
}

wait_komain none
answers
before=$(cat "$root/run/komain.pid")
send "CHGVER 1"
wait_komain "$before"
answers
port=$(cat "$root/sim/central.port" 2>/dev/null || true)
[ -n "$port" ] && send "DEST 127.0.0.1 $port"
for unit in CLIM RADI SOIL EATH SEAA TARH TAIR RAIN; do send "DAUSET $unit 1"; done
send "SENST SD 1"
[ "$wind" = 1 ] && send "VISITYPE 9"
send "DAUSET"
ready=$(date +%s)

cpu_of() {
    local p pids
    pids=$(members)
    for p in $pids; do
        awk -v t="$(getconf CLK_TCK)" -v p="$p" -v r="$(role "$p" "$pids")" '{printf "%s %.2f %s\n", p, ($14 + $15) / t, r}' "/proc/$p/stat" 2>/dev/null
    done
}
if [ "$flood" -gt 0 ]; then
    sleep 30
    cpu_of >"$out.base"
    build-bench/bench/komain_canflood "$root" "$flood"
    cpu_of >"$out"
    echo "== CPU of each komain process during the flood"
    awk -v s="$flood" 'FNR == NR {c[$1] = $2; next} {printf "%s (pid %s): %.2f s = %.0f %% of one core\n", $3, $1, $2 - c[$1], 100 * ($2 - c[$1]) / s}' "$out.base" "$out"
    exec 7>&-
    wait "$station" 2>/dev/null
    station=""
    exit 0
fi

# The upper half of the System V keys of this sandbox: FNV-1a of its folder,
# as komain makes them.
keys=$(
    h=2166136261
    for ((i = 0; i < ${#root}; i++)); do
        printf -v c '%d' "'${root:i:1}"
        h=$(( ((h ^ c) * 16777619) & 0xffffffff ))
    done
    printf '0x%04x' $((h & 0x7fff))
)

# A process or segment may go between two looks: the sampling tolerates it.
set +e +o pipefail
tick=$(getconf CLK_TCK)
first=""
while alive; do
    pids=$(members || true)
    elapsed=$(( $(date +%s) - ready ))
    if [ -n "$pids" ] && [ $elapsed -ge "${BUDGET_SETTLE:-120}" ]; then
        [ -n "$first" ] || first=$(date +%s)
        {
            echo "elapsed $(( $(date +%s) - first ))"
            for p in $pids; do
                rss=$(awk '/^VmRSS/ {print $2}' "/proc/$p/status" 2>/dev/null)
                anon=$(awk '/^RssAnon/ {print $2}' "/proc/$p/status" 2>/dev/null)
                cpu=$(awk -v t="$tick" '{printf "%.2f", ($14 + $15) / t}' "/proc/$p/stat" 2>/dev/null)
                wr=$(awk '/^wchar/ {print $2}' "/proc/$p/io" 2>/dev/null)
                echo "proc $p ${rss:-0} ${cpu:-0} ${wr:-0} ${anon:-0} $(role "$p" "$pids")"
            done
            # komain's segments: the private ones its processes made, and
            # the keyed ones of this sandbox (they outlive a reboot).
            ipcs -m -p | awk 'NR > 3 && $3 ~ /^[0-9]+$/ {print $1, $3}' | while read -r id cpid; do
                for p in $pids; do
                    [ "$cpid" = "$p" ] && ipcs -m | awk -v id="$id" '$2 == id && $1 == "0x00000000" {print "shm", $1, $5}'
                done
            done
            ipcs -m | awk -v k="$keys" 'NR > 3 && substr($1, 1, 6) == k {print "shm", $1, $5}'
            echo "files $(du -sb "$root/mnt" | cut -f1)"
            echo "frames $(wc -l <"$root/sim/can0.log")"
            echo "console $(stat -c %s "$root/sim/komain.out")"
        } >"$out.tmp"
        mv "$out.tmp" "$out"
        [ -e "$out.base" ] || cp "$out" "$out.base"
        [ $(( $(date +%s) - first )) -lt $((minutes * 60)) ] || break
    fi
    sleep 5
done
# The state of every board as komain sees it, then the end of the input.
for s in STATMAIN STATCLIM STATRADI STATEATH STATSOIL STATSEAA STATTARH; do send "$s"; done
sleep 3
exec 7>&-
wait "$station" 2>/dev/null
station=""
echo "== COM0 commands and replies"
grep -a -A1 -E 'COM0> (CHGVER|DEST|DAUSET|SENST|VISITYPE|STAT)' "$log" | grep -av '^--$' | cut -c1-160
echo "== bus frames by node over the run (the simulator's record)"
awk 'function hex(s,  i, v) { for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", tolower(substr(s, i, 1))) - 1; return v }
     {split($3, f, "#"); n = hex(f[1]) % 128; c[n]++} END {for (n in c) printf "node %3d: %d frames\n", n, c[n]}' "$root/sim/can0.log" | sort -k2n
set -e
[ -s "$out" ] || { echo "no komain process seen" >&2; exit 1; }

echo "== budget"
awk '
FNR == 1   { f++ }
f == 1 && /^proc/    { cpu0 += $4; wr0 += $5 }
f == 1 && /^files/   { files0 = $2 }
f == 1 && /^frames/  { fr0 = $2 }
f == 1 && /^console/ { con0 = $2 }
f == 2 && /^elapsed/ { t = $2 }
f == 2 && /^proc/    { n++; printf "process %d (%s, pid %s): %6d kB resident (%d kB private), %8.2f s CPU since start, %10d bytes written since start\n", n, $7, $2, $3, $6, $4, $5; cpu += $4; wr += $5; if ($3 > rss) rss = $3; if ($6 > priv) priv = $6 }
f == 2 && /^shm/     { printf "shared segment key %s: %d bytes\n", $2, $3; shm += $3; nshm++ }
f == 2 && /^files/   { files = $2 }
f == 2 && /^frames/  { fr = $2 }
f == 2 && /^console/ { con = $2 }
END {
    if (t <= 0) t = 1
    printf "largest resident %d kB, largest private %d kB; %d shared segments, %d bytes in all\n", rss, priv, nshm, shm
    printf "measured window %d s: CPU %.2f s = %.3f %% of one core = %.1f s an hour\n", t, cpu - cpu0, 100 * (cpu - cpu0) / t, (cpu - cpu0) * 3600 / t
    printf "written (wchar) %d bytes = %.2f MB an hour = %.1f MB a day\n", wr - wr0, (wr - wr0) * 3600 / t / 1e6, (wr - wr0) * 86400 / t / 1e6
    printf "of it console output %d bytes = %.2f MB an hour; the rest (files, serial lines, LAN) %.2f MB an hour = %.1f MB a day\n", con - con0, (con - con0) * 3600 / t / 1e6, (wr - wr0 - con + con0) * 3600 / t / 1e6, (wr - wr0 - con + con0) * 86400 / t / 1e6
    printf "sandbox files grew %d bytes = %.2f MB an hour; now %d bytes\n", files - files0, (files - files0) * 3600 / t / 1e6, files
    printf "bus frames (both ways) %.1f a second\n", (fr - fr0) / t
}' "$out.base" "$out"
