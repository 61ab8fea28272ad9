#!/bin/sh
# Instructions (user space, as callgrind counts them) per CAN frame
# conversion and per minute cycle, and what they make on a 200 MIPS ARM9
# taking one x86 instruction as one ARM instruction. Each case runs with n
# and 2n repetitions; the difference over n drops the set-up. System calls
# (the file writes' kernel time) are not counted.
#   scripts/callgrind-counts.sh [build-dir] [--minutes-only]   (default: build)
# The build dir needs -DKOMAIN_BENCH=ON and target komain_counts.
set -eu
build=${1:-build}
drv=$build/bench/komain_counts
[ -x "$drv" ] || { echo "build $drv first: cmake -DKOMAIN_BENCH=ON && cmake --build $build --target komain_counts" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Total instructions of one run of the driver.
count() {
    valgrind --tool=callgrind --callgrind-out-file="$tmp/out" "$drv" "$@" 2>"$tmp/log" >/dev/null
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$tmp/log"
}

# per-op instructions of a case: label n args... (the count is appended)
row() {
    label=$1 n=$2 limit=$3
    shift 3
    a=$(count "$@" "$n")
    b=$(count "$@" $((2 * n)))
    awk -v l="$label" -v a="$a" -v b="$b" -v n="$n" -v lim="$limit" 'BEGIN {
        i = (b - a) / n; us = i / 200;   # 200 instructions a microsecond
        if (lim == "frame") { rate = 200e6 / i; printf "%-26s %12d %12.1f %14.0f %10.0fx\n", l, i, us, rate, rate / 1100 }
        else { printf "%-26s %12d %12.1f %14s %10.0fx\n", l, i, us, "-", 55e6 / us }
    }'
}

printf "%-26s %12s %12s %14s %11s\n" "path" "instr/op" "ARM9 us/op" "frames/s" "headroom"
[ "${2:-}" = --minutes-only ] || for node in 3 5 6 9 12 15 16 17 18; do
    for pdo in 1 2 3 4; do
        row "frame node $node TPDO$pdo" 2000 frame frame $node $pdo
    done
done
[ "${2:-}" = --minutes-only ] || row "frame received, bus mix" 2000 frame recv
row "minute cycle" 4 minute minute
row "minute cycle, new day" 2 minute newday
row "minute cycle at minute 0" 2 minute hour
echo "frames/s: a 200 MIPS ARM9 doing nothing else; headroom against the 1,100 frames/s of"
echo "a saturated 125 kbit/s bus, resp. the minute cycle against its 55 s window."
