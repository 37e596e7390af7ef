#!/usr/bin/env bash
# Builds everything and runs every test: the portable logic on Linux with
# g++ and with clang++ (AddressSanitizer and UBSan), each libFuzzer target
# for a bounded time (VK_FUZZ_SECONDS, 20 by default), then the Windows
# programs cross-built with MinGW-w64, whose own tests and end-to-end
# scenarios run under Wine. Installs what is missing first (needs root).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
jobs="$(nproc 2>/dev/null || echo 2)"

started=$SECONDS
# Each stage's header says when it began, so that CI's time can be read per stage.
stage() { echo "== $* [at $((SECONDS - started)) s]"; }

bash scripts/install-deps.sh all

run_host() {
    local dir="$1"; shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug "$@"
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs")
    # CTest keeps a passing test's output to itself; the sweeps' tallies are worth a line each.
    grep -h "^fault sweep\|^kill sweep:" "$dir/Testing/Temporary/LastTest.log" || true
}

stage "Host build (g++)"
run_host build/host-gcc -DCMAKE_CXX_COMPILER=g++
stage "Host build (clang++, AddressSanitizer + UBSan)"
run_host build/host-clang -DCMAKE_CXX_COMPILER=clang++ -DVK_SANITIZE=ON
stage "Fuzz targets (clang++, libFuzzer + AddressSanitizer + UBSan, ${VK_FUZZ_SECONDS:-20} s each)"
run_host build/host-fuzz -DCMAKE_CXX_COMPILER=clang++ -DVK_FUZZ=ON -DVK_BUILD_TESTS=OFF \
    -DVK_FUZZ_SECONDS="${VK_FUZZ_SECONDS:-20}"

stage "Windows builds (MinGW-w64, x86_64 and i686)"
bash scripts/build-windows.sh

# shellcheck source=scripts/wine-loader.sh
. scripts/wine-loader.sh
vk_use_wine_loader "$root/build/wine-loader"
# The two architectures' tests run side by side: each has its own prefixes
# and private displays, and they mostly wait on Wine and on their prompts.
# Each one's output is shown whole once both have ended.
wine_tests() {
    local arch=$1
    (cd "build/$arch" && ctest --output-on-failure) >"build/wine-tests-$arch.log" 2>&1
}
if [ "$VK_WINE32" = yes ]; then
    stage "Windows tests under Wine (x86_64 in 64-bit prefixes, i686 in 32-bit prefixes, side by side)"
    arches=(x64 x86)
else
    stage "Windows tests under Wine (x86_64, 64-bit prefixes)"
    arches=(x64)
fi
pids=()
for arch in "${arches[@]}"; do
    wine_tests "$arch" &
    pids+=($!)
done
failed=0
for i in "${!arches[@]}"; do
    status=0
    wait "${pids[$i]}" || status=$?
    echo "-- ${arches[$i]}:"
    cat "build/wine-tests-${arches[$i]}.log"
    [ "$status" -eq 0 ] || failed=1
done
if [ "$VK_WINE32" != yes ]; then
    # Said where it shows, so that a run without them is never taken for one with them.
    echo "== Windows tests under Wine (i686): SKIPPED: this kernel cannot start Wine's 32-bit loader" \
        "(no IA-32 emulation); the i686 program is built but not run"
fi
[ "$failed" -eq 0 ] || { echo "Windows tests under Wine: FAILED (see above)"; exit 1; }

# After the test builds: the second release of the reproducibility check is
# made from their objects, the first in build/release.
stage "Release (scripts/release.sh): reproducible, signed, checksummed, with its bill of materials"
cmake -S tests/release -B build/release-tests -G Ninja >/dev/null
ctest --test-dir build/release-tests --output-on-failure
stage "All tests passed"
