#!/usr/bin/env bash
# Compares the recovery boot service with two widespread servers over the same veth pair and
# with the same clients, in one run:
#   - DHCP: the time from a DISCOVER to its OFFER (vantor_dhcp_latency_bench), Vantor against
#     dnsmasq;
#   - TFTP: the time curl takes to fetch "initrd-pxa.img" (512-byte blocks), Vantor against
#     dnsmasq's TFTP server and in.tftpd (tftpd-hpa), as ratios. Goal: Vantor no slower than
#     the faster of the two.
#
# The servers run in a network namespace of their own (the PC), the clients in a second one
# (the device) joined to it by a veth pair; nothing reaches a real network. Needs root.
# Usage: bench/recovery_boot.sh [fetches per server, default 3]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench
fetches="${2:-${1:-3}}"
pcAddress=10.79.0.1
deviceAddress=10.79.0.2

case "${1:-}" in
    --in-namespace)
        root=$(pwd)
        work=$(mktemp -d)
        device="vantor-bench-$$"
        server=""
        stopServer() {
            if [ -n "$server" ]; then
                kill "$server" 2>/dev/null || true
                wait "$server" 2>/dev/null || true
                server=""
            fi
        }
        cleanUp() {
            stopServer
            ip netns del "$device" 2>/dev/null || true
            rm -rf "$work"
        }
        trap cleanUp EXIT
        mkdir "$work/root"
        ip link set lo up
        ip netns add "$device"
        ip -n "$device" link set lo up
        ip link add pc0 type veth peer name dev0 netns "$device"
        ip addr add "$pcAddress/24" dev pc0
        ip link set pc0 up
        ip -n "$device" link set dev0 address 02:56:4e:be:4c:01
        ip -n "$device" link set dev0 up
        ip -n "$device" route add default dev dev0
        onDevice() { ip netns exec "$device" "$@"; }
        waitForPort() {
            for _ in $(seq 100); do
                ss -Hnlu | grep -q "$1" && return 0
                sleep 0.05
            done
            echo "recovery_boot: no server on $1" >&2
            exit 1
        }
        vantor() {
            (cd "$work" && exec "$root/$build/src/app/vantor" --headless --mode recovery \
                >"$work/vantor.log" 2>&1) &
            server=$!
            waitForPort "$pcAddress:69 "
        }
        dnsmasq() {
            /usr/sbin/dnsmasq --keep-in-foreground --conf-file=/dev/null --port=0 --user=root \
                --group=root --pid-file= --bind-interfaces --interface=pc0 \
                --dhcp-range=10.79.0.100,10.79.0.200,12h --dhcp-boot=kernel-pxa.img --no-ping \
                --dhcp-leasefile="$work/leases" --enable-tftp --tftp-root="$work/root" \
                --log-facility="$work/dnsmasq.log" &
            server=$!
            waitForPort "$pcAddress:69 "
        }
        tftpd() {
            /usr/sbin/in.tftpd --listen --foreground --user root --address "$pcAddress:69" \
                --secure "$work/root" &
            server=$!
            waitForPort "$pcAddress:69 "
        }
        median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
        fetchTimes() {
            for _ in $(seq "$fetches"); do
                onDevice curl -sS --max-time 120 -o /dev/null -w '%{time_total}\n' \
                    "tftp://$pcAddress/initrd-pxa.img"
                # Vantor waits for the device to restart after a RAM disk before it serves
                # the next request; the time is curl's alone, from request to last block.
                if [ "$1" = vantor ]; then
                    sleep 16
                fi
            done
        }

        echo "== DHCP, a booting device without address =="
        vantor
        printf "Vantor:  "
        onDevice "$build/bench/vantor_dhcp_latency_bench" 20
        stopServer
        dnsmasq
        printf "dnsmasq: "
        onDevice "$build/bench/vantor_dhcp_latency_bench" 20
        stopServer

        echo "== TFTP, curl fetching initrd-pxa.img, $fetches times each =="
        # After the RAM disk the device answers at the recovery address, so Vantor's ping
        # test ends at its first attempt.
        ip -n "$device" addr add "$deviceAddress/24" dev dev0
        ip -n "$device" addr add 192.168.0.100/32 dev dev0
        vantor
        onDevice curl -sS -o "$work/root/initrd-pxa.img" "tftp://$pcAddress/initrd-pxa.img"
        sleep 16
        ours=$(fetchTimes vantor | median)
        stopServer
        dnsmasq
        theirs1=$(fetchTimes dnsmasq | median)
        stopServer
        tftpd
        theirs2=$(fetchTimes tftpd | median)
        stopServer
        size=$(stat -c %s "$work/root/initrd-pxa.img")
        awk -v a="$ours" -v b="$theirs1" -v c="$theirs2" -v s="$size" 'BEGIN {
            printf "Vantor   %.3f s  (%.1f MB/s)\n", a, s / a / 1e6
            printf "dnsmasq  %.3f s  (%.1f MB/s)\n", b, s / b / 1e6
            printf "in.tftpd %.3f s  (%.1f MB/s)\n", c, s / c / 1e6
            best = b < c ? b : c
            printf "Vantor / faster of the two: %.2f (goal <= 1.00)\n", a / best
        }'
        exit 0
        ;;
esac

if [ "$(id -u)" -ne 0 ]; then
    echo "recovery_boot: needs root for its network namespaces" >&2
    exit 1
fi
# The two servers compared against are installed for this benchmark only, and without
# starting their system services: a TFTP server of the machine's own must not appear on its
# real network.
if [ ! -x /usr/sbin/dnsmasq ] || [ ! -x /usr/sbin/in.tftpd ]; then
    policy=/usr/sbin/policy-rc.d
    created=""
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' >"$policy"
        chmod +x "$policy"
        created=yes
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        dnsmasq-base tftpd-hpa
    [ -n "$created" ] && rm -f "$policy"
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_BUILD_BENCH=ON \
    -DVANTOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vantor vantor_dhcp_latency_bench
exec unshare --net -- "$0" --in-namespace "$fetches"
