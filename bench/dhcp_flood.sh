#!/usr/bin/env bash
# Measures how many datagrams per second the recovery BOOTP/DHCP responder sustains in a mixed
# flood (foreign clients, malformed and oversized datagrams, replies, requests for another
# server) while a device keeps asking for an address (DISCOVER and REQUEST by turns): for
# rising offered rates, the device's requests answered out of those sent and the datagrams the
# kernel dropped at the responder's socket. Junk is dropped by design and gets no reply.
#
# The program runs in Recovery mode in a network namespace of its own (the PC), the flood
# comes from a second one (the device) joined to it by a veth pair; nothing reaches a real
# network. Each rate runs for a bounded time and count. Needs root.
# Usage: bench/dhcp_flood.sh [seconds per rate, default 3] [device requests per second, default 4]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench
pcAddress=10.79.1.1

if [ "${1:-}" = --in-namespace ]; then
    shift
    root=$(pwd)
    work=$(mktemp -d)
    device="vantor-flood-$$"
    server=""
    cleanUp() {
        if [ -n "$server" ]; then
            kill "$server" 2>/dev/null || true
            wait "$server" 2>/dev/null || true
        fi
        ip netns del "$device" 2>/dev/null || true
        rm -rf "$work"
    }
    trap cleanUp EXIT
    ip link set lo up
    ip netns add "$device"
    ip -n "$device" link set lo up
    ip link add pc0 type veth peer name dev0 netns "$device"
    ip addr add "$pcAddress/24" dev pc0
    ip link set pc0 up
    ip -n "$device" link set dev0 address 02:56:4e:f1:00:01
    ip -n "$device" link set dev0 up
    ip -n "$device" route add default dev dev0
    # The responder's trace goes to standard error: into a file, as an operator's would.
    (cd "$work" && exec "$root/$build/src/app/vantor" --headless --mode recovery \
        >"$work/vantor.out" 2>"$work/vantor.err") &
    server=$!
    for _ in $(seq 100); do
        ss -Hnlu | grep -q ":67 " && break
        sleep 0.05
    done
    ss -Hnlu | grep -q ":67 " || { echo "dhcp_flood: the responder did not start" >&2; exit 1; }
    rssBefore=$(awk '/VmRSS/ { print $2 }' "/proc/$server/status")
    timeout 300 ip netns exec "$device" "$build/bench/vantor_dhcp_flood_bench" "$server" "$@"
    rssAfter=$(awk '/VmRSS/ { print $2 }' "/proc/$server/status")
    echo "responder's resident memory: $rssBefore KiB before the flood, $rssAfter KiB after"
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "dhcp_flood: needs root for its network namespaces" >&2
    exit 1
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_BUILD_BENCH=ON \
    -DVANTOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vantor vantor_dhcp_flood_bench
exec unshare --net -- "$0" --in-namespace "${1:-3}" "${2:-4}"
