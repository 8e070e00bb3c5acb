#!/usr/bin/env bash
# Installs what Vantor needs on Debian 12 (when something is missing) and builds it.
# Usage: scripts/setup.sh [preset]
#   run                  what building and running the program needs; builds the program and
#                        its network helper alone into build/run (scripts/run.sh)
#   default, asan, tsan  that and what the test suite's tools and clients need; builds
#                        everything into build/<preset> (default: default)
#   none                 installs what the test suite needs, builds nothing
# Under sudo, in a checkout of the user who called sudo (SUDO_UID), the build runs as that user,
# so that no file of it belongs to root; only apt-get runs as root.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

# What builds the program and its helper, and what they run: ip for ARP entries and host
# routes, setcap/getcap for the helper's capabilities (scripts/run.sh), setpriv to start the
# program as the user, xdg-open to open a device's web page in the user's browser.
program_packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev zlib1g-dev
    iproute2 util-linux libcap2-bin xdg-utils
)
# What the suite builds against and the tools and clients its tests run. netbase provides
# /etc/services, where the TFTP clients look up the port of "tftp".
test_packages=(
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth imagemagick zip unzip busybox udhcpc curl clang libclang-rt-dev clang-format bc
    atftp tftp-hpa netbase
    dnsmasq-base tftpd-hpa
    # Not atftpd, which bench/tftp_window.sh compares against: its package conflicts with
    # tftpd-hpa (installing it removes tftpd-hpa) and enables a TFTP service of its own. The
    # benchmark unpacks it into its build folder instead, where no maintainer script runs.
)
packages=("${program_packages[@]}")
[ "$preset" = run ] || packages+=("${test_packages[@]}")

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
as_user=()
# Under sudo in a checkout of the user's, the build is the user's too: run as root, cmake and
# the compiler would leave files the user can neither rebuild nor test (ctest writes Testing/).
if [ "$(id -u)" -eq 0 ] && [ "${SUDO_UID:-0}" -ne 0 ] && [ "$(stat -c %u .)" = "$SUDO_UID" ]; then
    user=$(getent passwd "$SUDO_UID" | cut -d: -f1)
    home=$(getent passwd "$SUDO_UID" | cut -d: -f6)
    # Earlier versions built as root under sudo: give the user back what they left.
    if [ -e build ] && [ -n "$(find build ! -uid "$SUDO_UID" -print -quit)" ]; then
        echo "setup: giving $user the files under build/ that an earlier run as root left"
        chown -R -h "$SUDO_UID:$SUDO_GID" build
    fi
    as_user=(setpriv --reuid="$SUDO_UID" --regid="$SUDO_GID" --init-groups --
        env HOME="$home" USER="$user" LOGNAME="$user")
fi
"${as_user[@]}" cmake --preset "$preset" >/dev/null
"${as_user[@]}" cmake --build --preset "$preset"
