#!/usr/bin/env bash
# Builds the Debian package build/package/vantor_<version>_amd64.deb with CPack from a Release
# build in build/release (the window, no tests), then checks it (scripts/check-package.sh).
# Usage: scripts/package.sh
# Missing build and check tools are installed with apt-get (root or sudo). Warnings are errors
# here as in the presets; VANTOR_WERROR=OFF scripts/package.sh builds with a compiler that
# knows warnings ours does not.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh none
packages=(dpkg-dev file desktop-file-utils appstream lintian man-db)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "package: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Debian's hardening: stack protector, fortified libc calls, read-only relocations bound now.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOR_BUILD_TESTS=OFF \
    -DVANTOR_WERROR="${VANTOR_WERROR:-ON}" "${launcher[@]}" \
    -DCMAKE_CXX_FLAGS="-fstack-protector-strong -D_FORTIFY_SOURCE=2" \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro -Wl,-z,now" >/dev/null
cmake --build build/release

rm -rf build/package
(cd build/release && cpack -B "$PWD/../package" >/dev/null)
rm -rf build/package/_CPack_Packages
deb=$(echo build/package/vantor_*_amd64.deb)
scripts/check-package.sh "$deb"
echo "package: $deb ($(stat -c %s "$deb") bytes)"
