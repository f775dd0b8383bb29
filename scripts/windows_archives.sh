#!/usr/bin/env bash
# Makes the archives a Windows user takes, cross-built with Debian's
# mingw-w64: vordex-<version>-win64.zip (64-bit Office and programs) and
# vordex-<version>-win32.zip (32-bit), in DIR (default: dist/).
#   bash scripts/windows_archives.sh [DIR]
# Installs the cross compilers with apt-get when they are missing (as root).
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$VORDEX_SCRIPTS/.."
out=$(realpath -m -- "${1:-dist}")

if ! command -v x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix cmake make >/dev/null; then
    ((EUID == 0)) || vordex_die "mingw-w64, cmake and make are needed: run as root to install them"
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends mingw-w64 cmake make >&2
fi

mkdir -p "$out"
for arch in x86_64 i686; do
    build="$out/build-$arch"
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DVORDEX_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" -j2 --target windows_archive >/dev/null
    cp "$build"/vordex-*-win*.zip "$out/"
    rm -rf "$build"
done
ls "$out"/vordex-*-win*.zip
