#!/usr/bin/env bash
# Cross-builds komain and its unit tests for the logger boards and runs the
# unit tests under user-mode emulation (qemu-arm).
#
#   scripts/cross-test.sh [armel|armhf|all]     (default: all)
#
#   armel  older board: ARM9, ARMv5TE, soft float   -> build-armel/
#   armhf  newer board: i.MX, ARMv7-A, hard float   -> build-armhf/
#
# Installs the cross compilers, qemu-user and the GoogleTest sources from
# Debian's packages when they are missing (needs root and apt-get). The build
# treats warnings as errors. Only the unit tests run here: the end-to-end tests
# start komain as a process and stay on the host build.
#
# Environment:
#   KOMAIN_CROSS_JOBS    parallel build jobs (default 2)
#   KOMAIN_CROSS_FILTER  GoogleTest filter for the emulated run (default all;
#                        the host-only tests listed below are always left out)
#   KOMAIN_CROSS_SHARDS  test processes run side by side (default 2)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"

jobs=${KOMAIN_CROSS_JOBS:-2}
shards=${KOMAIN_CROSS_SHARDS:-2}
gtest_src=/usr/src/googletest

case "${1:-all}" in
    armel) targets=(armel) ;;
    armhf) targets=(armhf) ;;
    all) targets=(armel armhf) ;;
    *) echo "usage: $0 [armel|armhf|all]" >&2; exit 2 ;;
esac

triple_of() {
    case "$1" in
        armel) echo arm-linux-gnueabi ;;
        armhf) echo arm-linux-gnueabihf ;;
    esac
}
# The processor qemu emulates: the boards' own cores rather than qemu's
# default "max", so an instruction the board lacks stops the run.
cpu_of() {
    case "$1" in
        armel) echo arm926 ;;
        armhf) echo cortex-a9 ;;
    esac
}

# --- tools -----------------------------------------------------------------
need=()
for t in "${targets[@]}"; do
    tr=$(triple_of "$t")
    command -v "$tr-g++" >/dev/null || need+=("g++-$tr")
done
command -v qemu-arm >/dev/null || need+=(qemu-user)
[ -f "$gtest_src/CMakeLists.txt" ] || need+=(googletest)
command -v cmake >/dev/null || need+=(cmake)
if [ ${#need[@]} -gt 0 ]; then
    echo "cross-test: installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# --- safety ----------------------------------------------------------------
# An ARM build of komain is the board program: without a sandbox it would run
# the real reboot, date -s, hwclock and mount, and qemu-user passes those
# system calls straight to this machine. The tests always work in sandboxes,
# but the emulated run also drops the capabilities that could touch the
# machine (clock, reboot, mounts, modules, network setup, raw devices), so a
# test that slips out of its sandbox fails instead of doing harm. KOMAIN_ROOT
# points at a throwaway sandbox for anything that does not make its own.
drop_caps=-sys_time,-sys_boot,-sys_admin,-sys_module,-net_admin,-sys_rawio,-mknod,-wake_alarm
run_confined() {
    if command -v setpriv >/dev/null; then
        setpriv --bounding-set="$drop_caps" --inh-caps=-all --no-new-privs -- "$@"
    else
        echo "cross-test: setpriv (util-linux) is required to run the emulated tests" >&2
        return 1
    fi
}

# Tests that start the komain program itself to check the host build's
# refusal to run without a sandbox. The program built here is the board
# program, which does not refuse: it must not be started outside a sandbox.
# The day page's test drives the host's browser, which emulation adds nothing to.
host_only=SimRefusal.HostBuildWithoutSandboxExits2:ViewPage.*

# With an ARM interpreter registered in binfmt_misc, a test that starts an
# ARM program would really run it; without one such a start simply fails.
for f in /proc/sys/fs/binfmt_misc/qemu-arm /proc/sys/fs/binfmt_misc/arm; do
    if [ -e "$f" ] && [ -z "${KOMAIN_CROSS_ALLOW_BINFMT:-}" ]; then
        echo "cross-test: $f is registered: ARM programs started by a test would run." >&2
        echo "cross-test: disable it, or set KOMAIN_CROSS_ALLOW_BINFMT=1 to run anyway." >&2
        exit 2
    fi
done

scratch=$(mktemp -d /tmp/komain-cross.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

# --- build and run -----------------------------------------------------------
status=0
for t in "${targets[@]}"; do
    tr=$(triple_of "$t")
    sysroot=/usr/$tr
    bdir=build-$t
    start=$SECONDS
    echo "=== $t: configure ($bdir)"
    cmake -S . -B "$bdir" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-$t.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOMAIN_GTEST_SOURCE="$gtest_src" -DKOMAIN_WERROR=ON \
        >"$scratch/configure-$t.log" || { cat "$scratch/configure-$t.log"; exit 1; }
    echo "=== $t: build komain komain_unit (-j$jobs)"
    cmake --build "$bdir" -j"$jobs" --target komain komain_unit

    "$tr-strip" -o "$bdir/komain.stripped" "$bdir/komain"
    echo "=== $t: stripped komain $(stat -c %s "$bdir/komain.stripped") bytes"

    echo "=== $t: unit tests under qemu-arm -cpu $(cpu_of "$t") -L $sysroot ($shards shards)"
    filter="${KOMAIN_CROSS_FILTER:-*}"
    case "$filter" in
        *-*) filter="$filter:$host_only" ;;
        *) filter="$filter-$host_only" ;;
    esac
    mkdir -p "$scratch/root-$t"
    pids=()
    for ((i = 0; i < shards; i++)); do
        (
            export KOMAIN_ROOT="$scratch/root-$t" TZ=UTC0
            export GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX=$i
            cd "$scratch"
            run_confined qemu-arm -cpu "$(cpu_of "$t")" -L "$sysroot" "$here/$bdir/tests/komain_unit" \
                --gtest_filter="$filter" --gtest_color=no
        ) >"$scratch/unit-$t-$i.log" 2>&1 &
        pids+=($!)
    done
    for ((i = 0; i < shards; i++)); do
        rc=0
        wait "${pids[$i]}" || rc=$?
        cat "$scratch/unit-$t-$i.log"
        if [ $rc -ne 0 ]; then
            echo "=== $t: shard $i FAILED (exit $rc)"
            status=1
        fi
    done
    # GoogleTest closes each shard with "[  PASSED  ] N tests." and, when some
    # failed, "[  FAILED  ] N tests, listed below:"; add the shards up.
    passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\.$/\1/p' "$scratch"/unit-"$t"-*.log |
        awk '{s += $1} END {print s + 0}')
    failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:$/\1/p' "$scratch"/unit-"$t"-*.log |
        awk '{s += $1} END {print s + 0}')
    echo "=== $t: unit tests took $((SECONDS - start)) s including the build"
    echo "$t: $passed passed, $failed failed"
    [ "$failed" -eq 0 ] || status=1
done
exit $status
