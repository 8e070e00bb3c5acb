#!/usr/bin/env bash
# Builds Vantor and takes the picture of its main window shown in the documentation
# (docs/screenshot.png, or the file named). The program runs as shipped, in Auto mode, which
# only listens, under Xvfb inside network and host-name namespaces of its own: one veth
# interface gives the status log an interface to list, and nothing reaches a real network.
# Needs root (for the namespaces) and ImageMagick's import (scripts/setup.sh installs it).
# Usage: scripts/screenshot.sh [output.png]
set -euo pipefail
cd "$(dirname "$0")/.."
title="Vantor  Ver. 5.6.4.0,  Jan 15, 2008"

case "${1:-}" in
    --in-namespace)
        hostname installer-pc
        ip link set lo up
        ip link add vantor0 type veth peer name vantor1
        ip addr add 10.20.30.1/24 dev vantor0
        ip link set vantor0 up
        ip link set vantor1 up
        exec timeout 60 xvfb-run -a -s "-screen 0 640x700x24" "$0" --on-display "$2"
        ;;
    --on-display)
        build/default/src/app/vantor >/dev/null 2>&1 &
        pid=$!
        sleep 2  # shown, interfaces listed, banner blinking
        import -window "$title" "$2"
        kill "$pid"
        wait "$pid" || true
        exit 0
        ;;
esac

output="${1:-docs/screenshot.png}"
if [ "$(id -u)" -ne 0 ]; then
    echo "screenshot: needs root for its namespaces" >&2
    exit 1
fi
scripts/setup.sh default
mkdir -p "$(dirname "$output")"
unshare --net --uts -- "$0" --in-namespace "$output"
echo "screenshot: wrote $output"
