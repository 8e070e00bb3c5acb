#!/usr/bin/env bash
# Fails when a source file includes a header of a layer above its own: the layers depend one
# way, and this table is the one place that says which way. A folder may include itself and
# the folders listed after it.
# Usage: scripts/check-layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
    [base]="base"
    [net]="net base"
    [hostnet]="hostnet net base"
    [helper]="helper hostnet net base"
    [ports]="ports hostnet net base"
    [assign]="assign ports hostnet net base"
    [recovery]="recovery ports hostnet net base"
    [upgrade]="upgrade ports hostnet net base"
    [console]="console assign recovery upgrade ports hostnet net base"
    [headless]="headless console ports hostnet net base"
    [ui]="ui console ports hostnet net base"
    [app]="app headless ui console assign recovery upgrade ports hostnet net base"
)

status=0
for dir in src/*/; do
    layer=$(basename "$dir")
    if [ -z "${allowed[$layer]+set}" ]; then
        echo "check-layers: src/$layer is in no layer; add it to scripts/check-layers.sh" >&2
        status=1
        continue
    fi
    while IFS=: read -r file line text; do
        target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
        [ "$target" != "$text" ] || continue  # a header of the same folder or a system one
        if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
            echo "$file:$line: $layer may not include $target (allowed: ${allowed[$layer]})" >&2
            status=1
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$dir" || true)
done
[ "$status" -eq 0 ] && echo "check-layers: every include runs one way"
exit "$status"
