#!/usr/bin/env bash
# Measures the main window: start-up until the interfaces are listed (goal < 300 ms), a mode
# switch Auto -> Manual -> Auto (goal < 150 ms), and the idle CPU of the running program over
# 10 s (goal < 1 % of a core).
#
# Runs under Xvfb inside a network namespace of its own that holds one veth interface, so the
# program lists an interface and listens on it without touching a real network. Needs root.
# Usage: bench/window_startup.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench
idleSeconds=10

case "${1:-}" in
    --in-namespace)
        ip link set lo up
        ip link add vantor0 type veth peer name vantor1
        ip addr add 10.20.30.1/24 dev vantor0
        ip link set vantor0 up
        ip link set vantor1 up
        exec timeout 120 xvfb-run -a "$0" --on-display
        ;;
    --on-display)
        timeout 60 "$build/bench/vantor_window_bench"
        "$build/src/app/vantor" >/dev/null 2>&1 &
        pid=$!
        sleep 2  # start-up is over; what follows is the window at rest
        ticks() { awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$pid/stat"; }
        before=$(ticks)
        sleep "$idleSeconds"
        after=$(ticks)
        kill "$pid"
        wait "$pid" || true
        awk -v t="$((after - before))" -v hz="$(getconf CLK_TCK)" -v s="$idleSeconds" \
            'BEGIN { printf "idle CPU with the window open over %d s: %.2f %% of a core (goal < 1 %%)\n", s, 100 * t / hz / s }'
        exit 0
        ;;
esac

if [ "$(id -u)" -ne 0 ]; then
    echo "window_startup: needs root for its network namespace" >&2
    exit 1
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_BUILD_BENCH=ON \
    -DVANTOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vantor vantor_window_bench
exec unshare --net -- "$0" --in-namespace
