#!/usr/bin/env bash
# Eight simulated devices upgraded with one archive: eight single headless upgrades one after
# the other against one batch with --parallel 8, in one run. The lab's namespaces live inside a
# network namespace of this run. Needs root; takes a few minutes (product timings).
# Usage: bench/batch_upgrade.sh [build directory, default build/bench-upgrade]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench-upgrade}

if [ "$(id -u)" -ne 0 ]; then
    echo "batch_upgrade: needs root for its network namespaces" >&2
    exit 1
fi
cmake -S . -B "$build" -DVANTOR_BUILD_BENCH=ON -DVANTOR_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j2 --target vantor_batch_upgrade_bench vantor_update_sim vantor
exec unshare --net -- bash -c 'ip link set lo up && exec timeout 900 "$0"' \
    "$build/bench/vantor_batch_upgrade_bench"
