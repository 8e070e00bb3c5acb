#!/usr/bin/env bash
# Installs what Vantor needs on Debian 12 (when something is missing) and builds it.
# Usage: scripts/setup.sh [preset]      (preset: default, asan or tsan; default: default;
#                                        none: install only)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev zlib1g-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    iproute2 util-linux libcap2-bin
    xvfb xauth imagemagick zip unzip busybox udhcpc curl clang libclang-rt-dev clang-format bc
    atftp tftp-hpa
    dnsmasq-base tftpd-hpa
    # Not atftpd, which bench/tftp_window.sh compares against: its package conflicts with
    # tftpd-hpa (installing it removes tftpd-hpa) and enables a TFTP service of its own. The
    # benchmark unpacks it into its build folder instead, where no maintainer script runs.
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    # dnsmasq-base and tftpd-hpa are only compared against in bench/recovery_boot.sh, inside
    # network namespaces: the TFTP server's system service must never start, or a TFTP server
    # of this machine would answer on its real network.
    policy=/usr/sbin/policy-rc.d
    created=""
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
        $sudo chmod +x "$policy"
        created=yes
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    [ -z "$created" ] || $sudo rm -f "$policy"
    if command -v systemctl >/dev/null; then
        $sudo systemctl disable --now tftpd-hpa >/dev/null 2>&1 || true
    fi
    $sudo update-rc.d tftpd-hpa disable >/dev/null 2>&1 || true
fi

[ "$preset" != none ] || exit 0
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
