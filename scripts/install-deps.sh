#!/usr/bin/env bash
# Installs the Debian packages a group of jobs needs, skipping those already
# there: host (Linux build and unit tests), windows (MinGW-w64 cross
# builds), wine (running the Windows programs), or all.
set -euo pipefail

# libclang-rt-dev: libFuzzer and the sanitizer runtimes (only recommended by clang).
# nlohmann-json3-dev: the report's JSON (header-only, so the cross builds use it
# too); python3-jsonschema: the tests that validate reports against the schema;
# python3-pefile (in Debian's python3): the step after the Windows link that
# points the header at the program's load configuration.
host=(cmake ninja-build g++ clang libclang-rt-dev googletest libbenchmark-dev python3 nlohmann-json3-dev
      python3-jsonschema)
windows=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
         nlohmann-json3-dev python3 python3-pefile)
# Both Wine loaders: the 32-bit program and tests run in a 32-bit prefix.
# wine32 is i386-only, so it needs the i386 architecture first.
# The end-to-end scenarios validate the real program's reports too.
wine=(wine wine64 wine32:i386 xvfb xdotool imagemagick x11-utils python3 python3-jsonschema)

wanted=()
case "${1:-all}" in
    host) wanted=("${host[@]}") ;;
    windows) wanted=("${windows[@]}") ;;
    wine) wanted=("${wine[@]}") ;;
    all) wanted=("${host[@]}" "${windows[@]}" "${wine[@]}") ;;
    *) echo "usage: $0 [host|windows|wine|all]" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
fi
echo "installing: ${missing[*]}"
case " ${missing[*]} " in
    *:i386\ *)
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
        ;;
esac
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
