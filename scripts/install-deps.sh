#!/usr/bin/env bash
# Installs the Debian packages a group of jobs needs, skipping those already
# there: host (Linux build and unit tests), windows (MinGW-w64 cross
# builds), wine (running the Windows programs), release (scripts/release.sh
# and its tests), or all.
set -euo pipefail

# libclang-rt-dev: libFuzzer and the sanitizer runtimes (only recommended by clang).
# nlohmann-json3-dev: the report's JSON (header-only, so the cross builds use it
# too); python3-jsonschema: the tests that validate reports against the schema;
# libssl-dev: OpenSSL's libcrypto, the simulated workstation's SHA-256.
# python3-pefile (in Debian's python3): the step after the Windows link that
# points the header at the program's load configuration.
host=(cmake ninja-build g++ clang libclang-rt-dev googletest libbenchmark-dev python3 nlohmann-json3-dev
      python3-jsonschema libssl-dev)
windows=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
         nlohmann-json3-dev python3 python3-pefile)
# Both Wine loaders: the 32-bit program and tests run in a 32-bit prefix.
# wine32 is i386-only, so it needs the i386 architecture first.
# The end-to-end scenarios validate the real program's reports too.
wine=(wine wine64 wine32:i386 xvfb xdotool imagemagick x11-utils python3 python3-jsonschema)
# The release (scripts/release.sh): the Windows builds, Authenticode signing,
# the bill of materials; its tests make a throwaway CA with openssl, and
# validate the SBOM with the CycloneDX library from the npm registry (Node.js
# and npm: the machine's own when there are, else Debian's).
release=(cmake ninja-build python3 osslsigncode openssl)

wanted=()
case "${1:-all}" in
    host) wanted=("${host[@]}") ;;
    windows) wanted=("${windows[@]}") ;;
    wine) wanted=("${wine[@]}") ;;
    release) wanted=("${windows[@]}" "${release[@]}") ;;
    all) wanted=("${host[@]}" "${windows[@]}" "${wine[@]}" "${release[@]}") ;;
    *) echo "usage: $0 [host|windows|wine|release|all]" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
case "${1:-all}" in
    release | all) command -v npm >/dev/null || missing+=(nodejs npm) ;;
esac
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
