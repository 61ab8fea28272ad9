#!/usr/bin/env bash
# Builds komain with its tests and runs the whole suite (unit and
# end-to-end). Every test makes its own sandbox under /tmp and removes it.
#   scripts/test.sh            host build in build/
#   scripts/test.sh --sanitize AddressSanitizer + UndefinedBehaviorSanitizer in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build
opts=(-DKOMAIN_TESTS=ON -DKOMAIN_WERROR=ON)
if [[ "${1:-}" == "--sanitize" ]]; then
    dir=build-asan
    opts+=(-DKOMAIN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi

cmake -S . -B "$dir" "${opts[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
cd "$dir"
ctest --output-on-failure -j2 --timeout 300
