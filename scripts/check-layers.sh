#!/usr/bin/env bash
# The folders of src/ form a stack: each folder includes only folders below
# it. This checks every '#include "folder/file.h"' against the declared order
# (bottom first) and, where the shared layers tool is beside the project,
# runs it too. Exit 1 on an include that runs upward.
set -euo pipefail
cd "$(dirname "$0")/.."

stack=(platform core board sampling canbus serial processing dailyfiles storage terminal station)

rank() {
    local i
    for i in "${!stack[@]}"; do
        [[ "${stack[$i]}" == "$1" ]] && { echo "$i"; return; }
    done
    echo -1
}

bad=0
while IFS=: read -r file _ inc; do
    from=${file#src/}; from=${from%%/*}
    to=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"/]+)\/.*/\1/' <<<"$inc")
    [[ "$from" == "$to" ]] && continue
    rf=$(rank "$from"); rt=$(rank "$to")
    if (( rf < 0 )); then echo "layers: folder src/$from is not in the stack"; bad=1; continue; fi
    (( rt < 0 )) && continue
    if (( rt >= rf )); then
        echo "layers: $file includes $to/, which is not below $from/"
        bad=1
    fi
done < <(grep -rHnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/' src --include='*.h' --include='*.cpp' | grep -v '^src/[^/]*:')

if [[ -x ../shared/tools/layers ]]; then
    ../shared/tools/layers || bad=1
fi
if (( bad )); then
    exit 1
fi
echo "layers: every include runs downward (${stack[*]})"
