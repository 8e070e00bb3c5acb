#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# Usage: scripts/fuzz.sh [seconds per target (default 30)] [target...]   (default: every target)
#
# Each target starts from its committed seeds (fuzz/corpus/<target>) and its past findings
# (fuzz/regressions/<target>); new inputs collect in build/fuzz/corpus/<target>, which later
# runs go on from. A target that crashes, leaks, trips a sanitizer or times out fails the run;
# its input is left in build/fuzz/findings/. Minimise it with
#   build/fuzz/fuzz/<target> -minimize_crash=1 -runs=10000 <input>
# and commit the result to fuzz/regressions/<target>, where the test suite replays it.
# The targets parse bytes only: they open no socket and run no tool.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true

scripts/setup.sh none
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DVANTOR_WERROR=ON \
    -DVANTOR_BUILD_FUZZ=ON -DVANTOR_BUILD_UI=OFF -DVANTOR_BUILD_TESTS=OFF >/dev/null
cmake --build build/fuzz

targets=("$@")
if ((${#targets[@]} == 0)); then
    for source in fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

mkdir -p build/fuzz/findings
failed=()
summary=()
for target in "${targets[@]}"; do
    work="build/fuzz/corpus/$target"
    mkdir -p "$work"
    seeds=("fuzz/corpus/$target")
    [ -d "fuzz/regressions/$target" ] && seeds+=("fuzz/regressions/$target")
    log="build/fuzz/$target.log"
    echo "fuzz: $target for ${seconds} s"
    if "build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="build/fuzz/findings/$target-" \
        "$work" "${seeds[@]}" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        summary+=("$target: ${runs:-?} executions in ${seconds} s, nothing found")
    else
        tail -40 "$log" >&2
        failed+=("$target")
        summary+=("$target: FAILED, see $log and build/fuzz/findings/")
    fi
done
printf 'fuzz: %s\n' "${summary[@]}"
if ((${#failed[@]})); then
    echo "fuzz: findings in ${failed[*]}" >&2
    exit 1
fi
