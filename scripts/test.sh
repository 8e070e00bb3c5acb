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

if [ -n "$(ls -A "$reports")" ]; then
    echo "test: sanitizer reports in $reports:" >&2
    for report in "$reports"/*; do
        echo "--- $report" >&2
        head -60 "$report" >&2
    done
    exit 1
fi
exit "$status"
