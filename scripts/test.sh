#!/usr/bin/env bash
# Installs, builds and runs the whole test suite.
# Usage: scripts/test.sh [preset] [ctest arguments...]   (preset: default, asan or tsan)
#
# The suite runs inside a network namespace of its own with only a loopback interface, so
# that nothing a test sends can reach a real network; tests that need more build their own
# namespaces inside it. It therefore needs root (or CAP_SYS_ADMIN and CAP_NET_ADMIN).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="default"
if [ $# -gt 0 ] && [[ "$1" != -* ]]; then
    preset="$1"
    shift
fi
scripts/setup.sh "$preset"

if [ "$(id -u)" -ne 0 ]; then
    echo "test: the suite runs in a network namespace of its own and needs root (try sudo)" >&2
    exit 1
fi
export QT_QPA_PLATFORM=offscreen
exec unshare --net -- bash -c '
    set -euo pipefail
    ip link set lo up
    ctest --preset "$0" --output-on-failure "$@"
' "$preset" "$@"
