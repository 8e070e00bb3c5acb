#!/usr/bin/env bash
# Installs, builds and runs the whole test suite.
# Usage: scripts/test.sh [preset] [ctest arguments...]
#   every label (unit, lab, process) unless the arguments pick some, e.g. -L lab;
#   preset default (the default), asan (AddressSanitizer + UndefinedBehaviorSanitizer) or tsan
#   (ThreadSanitizer) runs the suite in that build;
#   all runs it in all three builds, then builds and checks the Debian package, then every
#   fuzz target briefly (what CI runs).
#
# The suite runs inside a network namespace of its own with only a loopback interface, so
# that nothing a test sends can reach a real network; tests that need more build their own
# namespaces inside it. It therefore needs root (or CAP_SYS_ADMIN and CAP_NET_ADMIN).
#
# In the sanitizer builds every report ends the process that made it, and reports are also
# written to build/<preset>/sanitizer/, so that one from a child process (the program or a
# simulator a test starts) cannot go unnoticed: the run fails when that folder is not empty.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="default"
if [ $# -gt 0 ] && [[ "$1" != -* ]]; then
    preset="$1"
    shift
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "test: the suite runs in a network namespace of its own and needs root (try sudo)" >&2
    exit 1
fi

if [ "$preset" = all ]; then
    started=$SECONDS
    for each in default asan tsan; do
        echo "test: === the suite in the $each build ==="
        "$0" "$each" "$@"
    done
    echo "test: === the Debian package ==="
    scripts/package.sh
    scripts/try-package.sh build/package/vantor_*_amd64.deb
    echo "test: === every fuzz target ==="
    scripts/fuzz.sh "${VANTOR_FUZZ_SECONDS:-20}"
    echo "test: all passed in $((SECONDS - started)) s"
    exit 0
fi

scripts/setup.sh "$preset"

export QT_QPA_PLATFORM=offscreen
reports="$PWD/build/$preset/sanitizer"
rm -rf "$reports"
mkdir -p "$reports"
common="halt_on_error=1:abort_on_error=0:print_stacktrace=1"
export ASAN_OPTIONS="$common:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:log_path=$reports/asan"
export UBSAN_OPTIONS="$common:log_path=$reports/ubsan"
export LSAN_OPTIONS="log_path=$reports/lsan"
export TSAN_OPTIONS="$common:second_deadlock_stack=1:log_path=$reports/tsan"

status=0
unshare --net -- bash -c '
    set -euo pipefail
    ip link set lo up
    ctest --preset "$0" --output-on-failure "$@"
' "$preset" "$@" || status=$?

# The unit tests promise to pass as any user with no network: after the whole suite in the
# default build, they run again as nobody (no capability, no new privileges) in a network
# namespace of their own. nobody writes ctest's Testing/ folder in a folder of its own, mounted
# over the build's, and reaches the tree through a world-readable folder mounted over the
# first ancestor it may not enter (a home folder, or /root).
if [ "$preset" = default ] && [ $# -eq 0 ]; then
    echo "test: === the unit tests as nobody ==="
    work=$(mktemp -d)
    mkdir "$work/testing" "$work/tree"
    chown 65534:65534 "$work/testing"
    mkdir -p build/default/Testing
    unshare --net --mount -- bash -c '
        set -euo pipefail
        work="$0" tree="$PWD"
        nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups --no-new-privs --)
        ip link set lo up
        path=""
        IFS=/ read -ra parts <<<"${tree#/}"
        for part in "${parts[@]}"; do
            path="$path/$part"
            "${nobody[@]}" test -x "$path" && continue
            [ "$path" != "$tree" ] || { echo "test: nobody may not enter $tree" >&2; exit 1; }
            mount --bind "$tree" "$work/tree"
            mount -t tmpfs -o mode=755 tmpfs "$path"
            mkdir -p "$tree"
            mount --bind "$work/tree" "$tree"
            cd "$tree"
            break
        done
        mount --bind "$work/testing" build/default/Testing
        "${nobody[@]}" env HOME=/nonexistent ctest --preset default -L unit -j2
    ' "$work" || status=$?
    rm -rf "$work"
fi

# Under sudo, what the suite wrote into the user's build (Testing/, sanitizer reports) goes
# back to the user, who runs the unit tests next (README).
if [ "${SUDO_UID:-0}" -ne 0 ] && [ "$(stat -c %u .)" = "$SUDO_UID" ]; then
    chown -R -h "$SUDO_UID:$SUDO_GID" "build/$preset"
fi

if [ -n "$(ls -A "$reports")" ]; then
    echo "test: sanitizer reports in $reports:" >&2
    for report in "$reports"/*; do
        echo "--- $report" >&2
        head -60 "$report" >&2
    done
    exit 1
fi
exit "$status"
