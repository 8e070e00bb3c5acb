#!/usr/bin/env bash
# Fails when a C++ source file is not formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find src tests bench fuzz -type f \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null | sort)
clang-format --dry-run -Werror "${files[@]}"
