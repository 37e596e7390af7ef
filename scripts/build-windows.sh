#!/usr/bin/env bash
# Cross-builds the Windows program for x86_64 and i686 with MinGW-w64 and
# copies both to dist/x64 and dist/x86 under the same file name, so that the
# prompts' caption is "VelkorUSBCleaner" for both.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
jobs="$(nproc 2>/dev/null || echo 2)"

build() {
    local arch="$1" toolchain="$2"
    cmake -S . -B "build/$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain"
    cmake --build "build/$arch" -j "$jobs"
    mkdir -p "dist/$arch"
    cp "build/$arch/app/VelkorUSBCleaner.exe" "dist/$arch/VelkorUSBCleaner.exe"
}

build x64 toolchain-mingw-x86_64.cmake
build x86 toolchain-mingw-i686.cmake
ls -l dist/x64/VelkorUSBCleaner.exe dist/x86/VelkorUSBCleaner.exe
