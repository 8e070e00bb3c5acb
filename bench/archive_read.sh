#!/usr/bin/env bash
# Reading every member of a large deflated, encrypted firmware archive: the archive reader
# against `unzip -P wqzt -p` on the same file, best of five runs each, as a ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench-core
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_BUILD_BENCH=ON \
    -DVANTOR_BUILD_UI=OFF >/dev/null
cmake --build "$build" --target vantor_archive_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Compressible but not trivial content: a microcode-sized image, a large bin and a logo.
head -c 262144 /dev/urandom | base64 >"$work/update.enc"
seq 1 3000000 >"$work/image.bin"
head -c 200000 /dev/urandom >"$work/logo.gif"
(cd "$work" && zip -q -P wqzt firmware.zip update.enc image.bin logo.gif)
ls -l "$work/firmware.zip" | awk '{print "archive:", $5, "bytes"}'

ours=$("$build/bench/vantor_archive_bench" "$work/firmware.zip" 5)
echo "archive reader: $ours"
ours_s=$(echo "$ours" | sed -E 's/.* in ([0-9.]+) s.*/\1/')

best=999
for _ in 1 2 3 4 5; do
    start=$(date +%s.%N)
    unzip -P wqzt -p "$work/firmware.zip" >/dev/null
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    best=$(echo "if ($t < $best) $t else $best" | bc -l)
done
printf 'unzip -p:       %.4f s (best of 5)\n' "$best"
printf 'ratio unzip/ours: %.2f (above 1: the archive reader is faster)\n' \
    "$(echo "$best / $ours_s" | bc -l)"
