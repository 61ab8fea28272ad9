#!/usr/bin/env bash
# Resource budget of a running simulated station: resident memory of each
# komain process, the size of each System V segment komain made, CPU
# seconds and bytes written, over N minutes of simulated time, scaled to an
# hour and a day.
#
#   scripts/resource-budget.sh [MINUTES] [-- STATIONSIM OPTIONS...]   (default 5)
#
# Runs scripts/run-station.sh --minutes in a sandbox of its own, samples
# /proc every few seconds while komain runs, and prints the last sample
# before the station stops. Bytes written are wchar (bytes handed to
# write(2)), the upper bound of what reaches the NAND flash (it also counts
# console and serial-port writes); the sandbox's file sizes are printed
# beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=5
if [ $# -gt 0 ] && [ "$1" != "--" ]; then minutes=$1; shift; fi
root=$(mktemp -d /tmp/komain-budget.XXXXXX)
out=$root.sample
trap 'rm -rf "$root" "$out" "$out.tmp" "$out.base"' EXIT

scripts/run-station.sh --minutes "$minutes" "$root" "$@" >"$root.log" 2>&1 &
station=$!
trap 'kill -TERM "$station" 2>/dev/null || true; wait "$station" 2>/dev/null || true; rm -rf "$root" "$root.log" "$out" "$out.tmp" "$out.base"' EXIT

# komain's four processes: the started one and its process group.
members() {
    local lead
    lead=$(cat "$root/run/komain.pid" 2>/dev/null) || return 0
    [ -n "$lead" ] || return 0
    { echo "$lead"; pgrep -g "$lead"; pgrep -P "$lead"; } 2>/dev/null | sort -u | while read -r p; do
        [ "$(readlink "/proc/$p/exe" 2>/dev/null)" = "$(readlink -f build-station/komain)" ] && echo "$p"
    done
}
# A process or segment may go between two looks: the sampling tolerates it.
set +e +o pipefail
first=""
tick=$(getconf CLK_TCK)
while kill -0 "$station" 2>/dev/null; do
    pids=$(members || true)
    if [ -n "$pids" ]; then
        [ -n "$first" ] || first=$(date +%s)
        {
            echo "elapsed $(( $(date +%s) - first ))"
            for p in $pids; do
                rss=$(awk '/^VmRSS/ {print $2}' "/proc/$p/status" 2>/dev/null)
                anon=$(awk '/^RssAnon/ {print $2}' "/proc/$p/status" 2>/dev/null)
                cpu=$(awk -v t="$tick" '{printf "%.2f", ($14 + $15) / t}' "/proc/$p/stat" 2>/dev/null)
                wr=$(awk '/^wchar/ {print $2}' "/proc/$p/io" 2>/dev/null)
                echo "proc $p ${rss:-0} ${cpu:-0} ${wr:-0} ${anon:-0}"
            done
            ipcs -m -p | awk 'NR > 3 && $3 ~ /^[0-9]+$/ {print $1, $3}' | while read -r id cpid; do
                for p in $pids; do
                    [ "$cpid" = "$p" ] && ipcs -m | awk -v id="$id" '$2 == id {print "shm", $1, $5}'
                done
            done
            echo "files $(du -sb "$root/mnt" | cut -f1)"
        } >"$out.tmp"
        mv "$out.tmp" "$out"
        # The first look after the first minute's files are made: the rates
        # from there on leave out the day files' creation.
        [ -e "$out.base" ] || [ $(( $(date +%s) - first )) -lt 70 ] || cp "$out" "$out.base"
    fi
    sleep 5
done
wait "$station" || echo "(the station run ended with status $?; see the sample below)"
[ -s "$out" ] || { echo "no komain process seen" >&2; exit 1; }

[ -s "$out.base" ] || cp "$out" "$out.base"
awk '
FNR == 1   { f++ }
f == 1 && /^elapsed/ { t0 = $2 }
f == 1 && /^proc/    { cpu0 += $4; wr0 += $5 }
f == 2 && /^elapsed/ { t = $2 }
f == 2 && /^proc/    { n++; printf "process %d (pid %s): %6d kB resident (%d kB private), %6.2f s CPU, %10d bytes written\n", n, $2, $3, $6, $4, $5; cpu += $4; wr += $5; if ($3 > rss) rss = $3 }
f == 2 && /^shm/     { printf "shared segment key %s: %d bytes\n", $2, $3; shm += $3 }
f == 2 && /^files/   { files = $2 }
END {
    if (t <= 0) t = 1
    printf "over %d s: largest resident %d kB, shared segments %d bytes in all\n", t, rss, shm
    printf "CPU: %.2f s = %.3f %% of one core; %.1f s an hour\n", cpu, 100 * cpu / t, cpu * 3600 / t
    printf "written (wchar): %d bytes in all, the first minute'"'"'s day files included\n", wr
    d = t - t0
    if (d > 0)
        printf "from %d s to %d s: CPU %.3f %% of one core; written %.1f MB an hour, %.1f MB a day\n", t0, t, 100 * (cpu - cpu0) / d, (wr - wr0) * 3600 / d / 1e6, (wr - wr0) * 86400 / d / 1e6
    printf "sandbox files now: %d bytes\n", files
}' "$out.base" "$out"
