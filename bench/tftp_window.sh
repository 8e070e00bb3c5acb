#!/usr/bin/env bash
# Compares windowed TFTP transfers (RFC 7440) of the recovery service with atftpd and dnsmasq:
# a boot loader that asks for `blksize 1468 windowsize 16` (U-Boot with tftpblocksize 1468
# and tftpwindowsize 16) fetches "initrd-pxa.img" (4.5 MB) from
#   - Vantor's recovery service (the program, headless, in recovery mode),
#   - atftpd, which grants the window,
#   - dnsmasq's TFTP server, which leaves windowsize out of its OACK: lock-step, one ACK a block.
# The client is vantor_tftp_window_bench, a receiver that acknowledges as U-Boot does (every
# window's last block and the file's last; on a gap the last block in order, once). It times
# each fetch from its request to its last ACK, so process start-up is not counted. Every
# fetched file must equal the served one byte for byte (cmp). The script prints the median of
# N fetches per server and its ratio to atftpd's. Goal: Vantor no slower than atftpd.
# Then atftp, a packaged client that asks windowsize too, fetches the file once from each
# server (checked with cmp as well), so that the three are seen to serve a client other than
# ours.
#
# With --syscalls, one more fetch per server runs with strace -c -f attached to the server,
# and each server's system call counts during that fetch are printed (strace slows the fetch:
# its time there means nothing).
# With --drop K the client throws away one DATA packet in K as it arrives (picked at random
# from a fixed seed, the same for every server), as a boot loader whose receive buffers
# overflow does: how each server recovers from a lost block of a window (RFC 7440 section 4).
# The client waits a second before it acknowledges again (U-Boot waits five).
# With --work US the client spends US microseconds on each block it takes, as a boot loader
# in an emulator does: then the server's delay from an ACK to the next window's first block
# counts, and the speed of its burst hardly does.
#
# The servers run in a network namespace of their own (the PC), the client in a second one
# (the device) joined to it by a veth pair; nothing reaches a real network. atftpd is not
# installed: its package conflicts with tftpd-hpa (recovery_boot.sh) and would enable a system
# service. It is downloaded with apt-get and unpacked into the build folder, so no maintainer
# script runs and no service of it exists. Needs root.
# Usage: bench/tftp_window.sh [fetches per server, default 5] [--syscalls] [--drop K] [--work US]
# VANTOR_BENCH_SERVERS names the servers to run (default "vantor atftpd dnsmasq"; atftpd is
# the yardstick and always runs): with --drop, dnsmasq's lock-step takes about a minute a fetch.
# VANTOR_BENCH_BUILD names another build folder of the same optimisation (say build/default)
# to reuse instead of build/bench.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${VANTOR_BENCH_BUILD:-build/bench}"
servers="${VANTOR_BENCH_SERVERS:-vantor atftpd dnsmasq}"
[[ " $servers " == *" atftpd "* ]] || servers="$servers atftpd"
export VANTOR_BENCH_SERVERS="$servers"
pcAddress=10.79.0.1
deviceAddress=10.79.0.2
atftpd="$build/atftpd/usr/sbin/atftpd"
file=initrd-pxa.img

if [ "${1:-}" = --in-namespace ]; then
    fetches=$2
    syscalls=$3
    drop=$4
    workMicros=$5
    reference=$6
    root=$(pwd)
    work=$(mktemp -d)
    device="vantor-window-$$"
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
    cp "$reference" "$work/root/$file"
    chmod -R a+rX "$work"
    ip link set lo up
    ip netns add "$device"
    ip -n "$device" link set lo up
    ip link add pc0 type veth peer name dev0 netns "$device"
    ip addr add "$pcAddress/24" dev pc0
    ip link set pc0 up
    ip -n "$device" link set dev0 address 02:56:4e:be:4c:02
    ip -n "$device" addr add "$deviceAddress/24" dev dev0
    # After the RAM disk the device answers at the recovery address, so Vantor's ping test
    # ends at its first attempt.
    ip -n "$device" addr add 192.168.0.100/32 dev dev0
    ip -n "$device" link set dev0 up
    onDevice() { ip netns exec "$device" "$@"; }
    client="$root/$build/bench/vantor_tftp_window_bench"
    program="$root/$build/src/vantor"
    [ -x "$program" ] || program="$root/$build/src/app/vantor"
    waitForPort() {
        for _ in $(seq 400); do
            ss -Hnlu | grep -q "$pcAddress:69 " && return 0
            sleep 0.05
        done
        echo "tftp_window: no server on $pcAddress:69" >&2
        cat "$work"/*.log >&2 2>/dev/null || true
        exit 1
    }
    vantor() {
        (cd "$work" && exec "$program" --headless --mode recovery >"$work/vantor.log" 2>&1) &
        server=$!
        waitForPort
    }
    atftpd() {
        "$root/$atftpd" --daemon --no-fork --user root --group root --port 69 \
            --bind-address "$pcAddress" --logfile "$work/atftpd.log" "$work/root" &
        server=$!
        waitForPort
    }
    dnsmasq() {
        /usr/sbin/dnsmasq --keep-in-foreground --conf-file=/dev/null --port=0 --user=root \
            --group=root --pid-file= --bind-interfaces --interface=pc0 --enable-tftp \
            --tftp-root="$work/root" --log-facility="$work/dnsmasq.log" &
        server=$!
        waitForPort
    }
    # Vantor waits for the device to restart after a RAM disk before it serves the next
    # request; the time measured is the client's alone, from request to last ACK.
    settle() {
        if [ "$1" = vantor ]; then
            sleep 16
        fi
    }
    # fetchOnce SERVER: one fetch, checked against the served file; prints the client's line.
    fetchOnce() {
        local line
        rm -f "$work/fetched"
        line=$(onDevice "$client" "$pcAddress" "$file" "$work/fetched" 1468 16 "$drop" \
            "$workMicros")
        if ! cmp -s "$work/fetched" "$reference"; then
            echo "tftp_window: the file fetched from $1 differs from the served one" >&2
            exit 1
        fi
        echo "$line"
    }
    # fetchAll SERVER: N fetches; writes their lines to $work/SERVER.times.
    fetchAll() {
        for _ in $(seq "$fetches"); do
            fetchOnce "$1"
            settle "$1"
        done >"$work/$1.times"
    }
    # atftpOnce SERVER: the packaged client asks the same options once; checked with cmp.
    atftpOnce() {
        rm -f "$work/fetched"
        onDevice atftp --option "blksize 1468" --option "windowsize 16" -g -r "$file" \
            -l "$work/fetched" "$pcAddress" >/dev/null 2>&1 || true
        if ! cmp -s "$work/fetched" "$reference"; then
            echo "tftp_window: atftp's fetch from $1 failed or differs" >&2
            exit 1
        fi
        echo "atftp (windowsize 16) fetched $file from $1 intact"
        settle "$1"
    }
    # countSyscalls SERVER: strace -c -f on the running server during one fetch. Vantor's
    # other threads (DHCP, the console) are counted too.
    countSyscalls() {
        strace -c -f -q -o "$work/$1.strace" -p "$server" &
        local tracer=$!
        sleep 1
        fetchOnce "$1" >"$work/$1.traced"
        kill -INT "$tracer" 2>/dev/null || true
        wait "$tracer" 2>/dev/null || true
        echo "-- $1: system calls during one fetch ($(cut -d' ' -f2 "$work/$1.traced") blocks)"
        sed -n '/^% time/,$p' "$work/$1.strace"
        settle "$1"
    }
    # runServer SERVER: a first fetch that is not counted (it pays for first reads and page
    # faults), N timed fetches, one fetch by atftp and the optional strace fetch.
    runServer() {
        "$1"
        fetchOnce "$1" >/dev/null
        settle "$1"
        fetchAll "$1"
        atftpOnce "$1"
        if [ "$syscalls" = yes ]; then
            countSyscalls "$1" >"$work/$1.syscalls"
        fi
        stopServer
    }

    echo "== TFTP, $file with blksize 1468 windowsize 16, $fetches fetches per server =="
    if [ "$drop" != 0 ]; then
        echo "(the client drops one DATA packet in $drop)"
    fi
    if [ "$workMicros" != 0 ]; then
        echo "(the client spends $workMicros us on each block)"
    fi
    for each in $servers; do
        runServer "$each"
    done
    size=$(stat -c %s "$reference")
    summary() {
        # Median of the times; the other columns summed over the fetches.
        sort -g "$work/$1.times" | awk -v who="$1" -v s="$size" -v base="${2:-}" '
            { t[NR] = $1; acks += $3; odd += $4; timeouts += $5; window = $6; blocks = $2
              dropped += $7 }
            END {
                m = t[int((NR + 1) / 2)]
                printf "%-8s %.4f s (%5.1f MB/s, fastest %.4f, slowest %.4f)", who, m,
                       s / m / 1e6, t[1], t[NR]
                if (base != "") printf "  x%.2f of atftpd", m / base
                printf "  window %d, %d blocks, %.0f ACKs a fetch, %d out of order, %d time-outs",
                       window, blocks, acks / NR, odd, timeouts
                if (dropped) printf ", %d dropped", dropped
                printf "\n"
            }'
    }
    median() { sort -g "$work/$1.times" | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }
    base=$(median atftpd)
    for each in $servers; do
        summary "$each" "$base"
    done
    awk -v a="$(median vantor)" -v b="$base" \
        'BEGIN { printf "Vantor / atftpd: %.2f (goal <= 1.00)\n", a / b }'
    if [ "$syscalls" = yes ]; then
        for each in $servers; do
            cat "$work/$each.syscalls"
        done
    fi
    exit 0
fi

fetches=5
syscalls=no
drop=0
workMicros=0
usage() {
    echo "usage: $0 [fetches per server, 1-99] [--syscalls] [--drop K (2-1000)]" \
        "[--work US (1-1000)]" >&2
    exit 2
}
while (($#)); do
    case "$1" in
        --syscalls) syscalls=yes ;;
        --drop)
            if ! [[ "${2:-}" =~ ^[1-9][0-9]{0,3}$ ]] || (($2 < 2 || $2 > 1000)); then
                usage
            fi
            drop=$2
            shift
            ;;
        --work)
            if ! [[ "${2:-}" =~ ^[1-9][0-9]{0,3}$ ]] || (($2 > 1000)); then
                usage
            fi
            workMicros=$2
            shift
            ;;
        [1-9] | [1-9][0-9]) fetches=$1 ;;
        *) usage ;;
    esac
    shift
done
if [ "$(id -u)" -ne 0 ]; then
    echo "tftp_window: needs root for its network namespaces" >&2
    exit 1
fi
# dnsmasq-base has no system service; atftp is a client. The packages are installed without
# starting any service all the same: a TFTP server of the machine's own must not appear on its
# real network.
needed=(dnsmasq-base atftp libwrap0 libpcre2-8-0)
[ "$syscalls" = no ] || needed+=(strace)
missing=()
for p in "${needed[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$p")
done
updated=""
if ((${#missing[@]})); then
    policy=/usr/sbin/policy-rc.d
    created=""
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' >"$policy"
        chmod +x "$policy"
        created=yes
    fi
    apt-get update -qq
    updated=yes
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    [ -z "$created" ] || rm -f "$policy"
fi
if [ ! -x "$atftpd" ]; then
    [ -n "$updated" ] || apt-get update -qq
    download=$(mktemp -d)
    (cd "$download" && apt-get download -qq -o APT::Sandbox::User=root atftpd)
    mkdir -p "$build/atftpd"
    dpkg-deb -x "$download"/atftpd_*.deb "$build/atftpd"
    rm -rf "$download"
fi
if [ -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DVANTOR_BUILD_BENCH=ON >/dev/null
else
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_BUILD_BENCH=ON \
        -DVANTOR_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target vantor vantor_tftp_window_bench
# The served file: the images folder the build embeds, else the placeholder it generated.
images=$(sed -n 's/^VANTOR_BOOT_IMAGES_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
reference="${images:-$build/src/recovery/images}/$file"
reference=$(realpath "$reference")
exec unshare --net -- "$0" --in-namespace "$fetches" "$syscalls" "$drop" "$workMicros" \
    "$reference"
