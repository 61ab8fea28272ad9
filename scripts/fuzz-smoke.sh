#!/usr/bin/env bash
# Builds every fuzz target with clang (build-fuzz/) and runs each for a few
# seconds on its seed corpus, so that a target that no longer builds or
# crashes at once is seen. Installs clang when missing.
#   scripts/fuzz-smoke.sh            5 s per target
#   scripts/fuzz-smoke.sh 120        a longer run, seconds per target
# A crash leaves its input in build-fuzz/findings/ and fails the script,
# after the other targets have had their turn.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}

if ! command -v clang++ >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang
fi

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DKOMAIN_FUZZ=ON -DKOMAIN_TESTS=OFF >/dev/null
targets=$(sed -n '/^set(KOMAIN_FUZZ_TARGETS/,/^)/{s/^  \(fuzz_[a-z_]*\).*/\1/p}' fuzz/CMakeLists.txt)
# shellcheck disable=SC2086
cmake --build build-fuzz -j"$(nproc)" --target $targets

mkdir -p build-fuzz/findings
failed=""
for t in $targets; do
    # Inputs found on the way go to a scratch folder, not into the seeds.
    work=$(mktemp -d /tmp/komain-fuzz-corpus.XXXXXX)
    echo "== $t (${seconds} s)"
    log=build-fuzz/findings/"$t".log
    status=0
    build-fuzz/fuzz/"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix=build-fuzz/findings/"$t"- -print_final_stats=1 \
        "$work" fuzz/corpus/"$t" >"$log" 2>&1 || status=$?
    grep -E '^(stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|artifact_prefix)' "$log" || true
    rm -rf "$work"
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log"
        echo "$t failed (status $status)"
        failed="$failed $t"
    fi
done
if [ -n "$failed" ]; then
    echo "fuzz smoke: failed:$failed"
    exit 1
fi
echo "fuzz smoke: all targets ran"
