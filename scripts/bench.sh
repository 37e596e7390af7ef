#!/usr/bin/env bash
# Reproduces every benchmark figure of the README: the host benchmarks over
# the simulated workstation (Google Benchmark) and the ratio of ScanOemInfs to
# a plain read loop with the real Windows layer under Wine. Release builds in
# build/bench-host and build/bench-x64, apart from the test builds; nothing
# here is run by scripts/test.sh. Output also goes to build/bench-results.txt.
# ROUNDS sets the rounds of the Wine ratio (default 11), BACKUP_ROUNDS those of the
# backup's cost (default 5).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
jobs="$(nproc 2>/dev/null || echo 2)"

bash scripts/install-deps.sh all

cmake -S . -B build/bench-host -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
    -DVK_BUILD_TESTS=OFF -DVK_BUILD_BENCH=ON
cmake --build build/bench-host -j "$jobs"
cmake -S . -B build/bench-x64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake -DVK_BUILD_TESTS=OFF -DVK_BUILD_BENCH=ON
cmake --build build/bench-x64 -j "$jobs"

export WINEPREFIX="$root/build/wineprefix-bench" WINEDEBUG=-all
trap 'wineserver -k 2>/dev/null || true' EXIT

{
    echo "== Machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
    echo "== Host benchmarks (simulated workstation)"
    build/bench-host/bench/vk_host_bench
    echo "== ScanOemInfs against the plain loop, under Wine"
    # The generated folder is written on the first run and kept in the build folder.
    (cd build/bench-x64 && wine bench/win32_scan_ratio.exe inf-corpus "${ROUNDS:-11}")
    echo "== The whole /quiet pass with /backup against without, under Wine"
    ROUNDS="${BACKUP_ROUNDS:-5}" bash scripts/bench-backup.sh build/bench-x64/app/VelkorUSBCleaner.exe \
        build/bench-backup
} 2>&1 | tee build/bench-results.txt
