#!/usr/bin/env bash
# Compares the recovery boot service with two widespread servers over the same veth pair and
# with the same clients, in one run:
#   - DHCP: the time from a DISCOVER to its OFFER (vantor_dhcp_latency_bench), Vantor against
#     dnsmasq;
#   - TFTP: the time curl takes to fetch "initrd-pxa.img", Vantor against dnsmasq's TFTP
#     server and in.tftpd (tftpd-hpa), as ratios, once with the block size a boot loader asks
#     for on Ethernet (blksize 1468, RFC 2348) and once in plain RFC 1350 lock-step (512-byte
#     blocks, no options). Goal: Vantor no slower than the faster of the two.
#
# The servers run in a network namespace of their own (the PC), the clients in a second one
# (the device) joined to it by a veth pair; nothing reaches a real network. Needs root.
# Usage: bench/recovery_boot.sh [fetches per server and block size, default 3]
# VANTOR_BENCH_BUILD names another build folder of the same optimisation (say build/default)
# to reuse instead of build/bench.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${VANTOR_BENCH_BUILD:-build/bench}"
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
        program="$root/$build/src/vantor"
        [ -x "$program" ] || program="$root/$build/src/app/vantor"
        waitForPort() {
            for _ in $(seq 400); do
                ss -Hnlu | grep -q "$1" && return 0
                sleep 0.05
            done
            echo "recovery_boot: no server on $1" >&2
            cat "$work/vantor.log" >&2 2>/dev/null || true
            exit 1
        }
        vantor() {
            (cd "$work" && exec "$program" --headless --mode recovery \
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
        # fetchTimes SERVER CURL-OPTIONS...: the median time of the fetches.
        fetchTimes() {
            local who=$1
            shift
            for _ in $(seq "$fetches"); do
                onDevice curl -sS --max-time 120 "$@" -o /dev/null -w '%{time_total}\n' \
                    "tftp://$pcAddress/initrd-pxa.img"
                # Vantor waits for the device to restart after a RAM disk before it serves
                # the next request; the time is curl's alone, from request to last block.
                if [ "$who" = vantor ]; then
                    sleep 16
                fi
            done | median
        }
        blocks1468=(--tftp-blksize 1468)
        blocks512=(--tftp-no-options)
        report() {
            awk -v a="$2" -v b="$3" -v c="$4" -v s="$size" -v what="$1" 'BEGIN {
                printf "-- %s\n", what
                printf "Vantor   %.3f s  (%.1f MB/s)\n", a, s / a / 1e6
                printf "dnsmasq  %.3f s  (%.1f MB/s)\n", b, s / b / 1e6
                printf "in.tftpd %.3f s  (%.1f MB/s)\n", c, s / c / 1e6
                best = b < c ? b : c
                printf "Vantor / faster of the two: %.2f (goal <= 1.00)\n", a / best
            }'
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
        ours1468=$(fetchTimes vantor "${blocks1468[@]}")
        ours512=$(fetchTimes vantor "${blocks512[@]}")
        stopServer
        dnsmasq
        dnsmasq1468=$(fetchTimes dnsmasq "${blocks1468[@]}")
        dnsmasq512=$(fetchTimes dnsmasq "${blocks512[@]}")
        stopServer
        tftpd
        tftpd1468=$(fetchTimes tftpd "${blocks1468[@]}")
        tftpd512=$(fetchTimes tftpd "${blocks512[@]}")
        stopServer
        size=$(stat -c %s "$work/root/initrd-pxa.img")
        report "blksize 1468" "$ours1468" "$dnsmasq1468" "$tftpd1468"
        report "512-byte blocks, no options" "$ours512" "$dnsmasq512" "$tftpd512"
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
if [ -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DVANTOR_BUILD_BENCH=ON >/dev/null
else
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_BUILD_BENCH=ON \
        -DVANTOR_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target vantor vantor_dhcp_latency_bench
exec unshare --net -- "$0" --in-namespace "$fetches"
