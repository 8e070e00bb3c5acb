#!/usr/bin/env bash
# Builds Vantor and renders the pictures of its main window shown in the documentation:
# docs/screenshot.png (Auto mode, as the program starts) and docs/screenshot-firmware.png
# (firmware-file mode), or the two files named. The window is drawn off screen
# (QT_QPA_PLATFORM=offscreen) by tests/ui/WindowPicture.cpp with the program's own workers,
# inside network and host-name namespaces of its own: one veth interface gives the status log
# an interface to list, and nothing reaches a real network. Needs root (for the namespaces).
# Usage: scripts/screenshot.sh [auto.png [firmware.png]]
set -euo pipefail
cd "$(dirname "$0")/.."
picture=build/default/tests/ui/vantor_window_picture

case "${1:-}" in
    --in-namespace)
        hostname installer-pc
        ip link set lo up
        ip link add vantor0 type veth peer name vantor1
        ip addr add 10.20.30.1/24 dev vantor0
        ip link set vantor0 up
        ip link set vantor1 up
        export QT_QPA_PLATFORM=offscreen
        timeout 60 "$picture" "$2" auto
        timeout 60 "$picture" "$3" firmware
        exit 0
        ;;
esac

auto="${1:-docs/screenshot.png}"
firmware="${2:-docs/screenshot-firmware.png}"
if [ "$(id -u)" -ne 0 ]; then
    echo "screenshot: needs root for its namespaces" >&2
    exit 1
fi
scripts/setup.sh default
cmake --build build/default --target vantor_window_picture
mkdir -p "$(dirname "$auto")" "$(dirname "$firmware")"
unshare --net --uts -- "$0" --in-namespace "$auto" "$firmware"
echo "screenshot: wrote $auto and $firmware"
