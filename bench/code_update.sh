#!/usr/bin/env bash
# Measures the code update sender: pages per second against the update simulator over a veth
# pair, in four-page and one-page mode (a bin region, so without the pause after a header
# packet). The lab's namespaces live inside a network namespace of this run. Needs root.
# Usage: bench/code_update.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench-upgrade

if [ "$(id -u)" -ne 0 ]; then
    echo "code_update: needs root for its network namespaces" >&2
    exit 1
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_BUILD_BENCH=ON \
    -DVANTOR_BUILD_TESTS=ON -DVANTOR_BUILD_UI=OFF >/dev/null
cmake --build "$build" -j2 --target vantor_code_update_bench vantor_update_sim
exec unshare --net -- bash -c 'ip link set lo up && exec timeout 300 "$0"' \
    "$build/bench/vantor_code_update_bench"
