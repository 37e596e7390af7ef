#!/usr/bin/env bash
# The release: both Windows programs built in Release mode, stripped (their
# debug information in a file of their own), signed when a certificate is
# given, and packed with CPack beside their symbols and their bill of
# materials:
#   dist/VelkorUSBCleaner-<version>.zip           x64\ and x86\, LISEZMOI.txt, report.schema.json, SHA256SUMS
#   dist/VelkorUSBCleaner-<version>-symbols.zip   x64\ and x86\VelkorUSBCleaner.debug
#   dist/VelkorUSBCleaner-<version>.cdx.json      CycloneDX 1.5 SBOM
# Two runs on one commit give the same bytes, in any folder.
#
#   scripts/release.sh [--build-root DIR] [--out DIR]
#     --build-root DIR  build in DIR/x64 and DIR/x86 (default build/release); folders
#                       that are already configured are built as they are configured
#     --out DIR         where the three files go (default dist)
#
# Signing (Authenticode, SHA-256, with Debian's osslsigncode):
#   VK_SIGN_PKCS12=<file.p12> [VK_SIGN_PASSWORD_FILE=<file>]
#   or VK_SIGN_CERT=<certificate chain, PEM or DER> VK_SIGN_KEY=<key> [VK_SIGN_PASSWORD_FILE=<file>]
#   VK_SIGN_TIMESTAMP_URL=<RFC 3161 server>   countersigns with the server's time
#   VK_SIGN_TIME=<Unix time>                  the signature's own signing time (default: the commit's)
# SOURCE_DATE_EPOCH, when set, replaces the commit's time everywhere.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
jobs="$(nproc 2>/dev/null || echo 2)"

build_root=build/release
out=dist
while [ $# -gt 0 ]; do
    case "$1" in
        --build-root) build_root="${2:?--build-root needs a folder}"; shift 2 ;;
        --out) out="${2:?--out needs a folder}"; shift 2 ;;
        -h | --help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
        *) echo "release.sh: unknown argument '$1' (--help)" >&2; exit 2 ;;
    esac
done
mkdir -p "$build_root" "$out"
build_root="$(cd "$build_root" && pwd)"
out="$(cd "$out" && pwd)"

sign=()
if [ -n "${VK_SIGN_PKCS12:-}" ]; then
    sign=(-pkcs12 "$VK_SIGN_PKCS12")
    signer="$VK_SIGN_PKCS12"
elif [ -n "${VK_SIGN_CERT:-}" ] || [ -n "${VK_SIGN_KEY:-}" ]; then
    if [ -z "${VK_SIGN_CERT:-}" ] || [ -z "${VK_SIGN_KEY:-}" ]; then
        echo "release.sh: VK_SIGN_CERT and VK_SIGN_KEY go together" >&2
        exit 2
    fi
    sign=(-certs "$VK_SIGN_CERT" -key "$VK_SIGN_KEY")
    signer="$VK_SIGN_CERT"
fi
if [ ${#sign[@]} -gt 0 ] && [ -n "${VK_SIGN_PASSWORD_FILE:-}" ]; then
    sign+=(-readpass "$VK_SIGN_PASSWORD_FILE")
fi

bash scripts/install-deps.sh release

declare -A triplet=([x64]=x86_64-w64-mingw32 [x86]=i686-w64-mingw32)
declare -A toolchain=([x64]=toolchain-mingw-x86_64.cmake [x86]=toolchain-mingw-i686.cmake)

build() {
    local arch="$1" dir="$build_root/$1"
    if [ -f "$dir/CMakeCache.txt" ]; then
        if ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$dir/CMakeCache.txt"; then
            echo "release.sh: $dir is not a Release build" >&2
            exit 1
        fi
    else
        # Configured as scripts/build-windows.sh configures (tests included,
        # not built here), so that either script can go on with the folder.
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/${toolchain[$arch]}" >/dev/null
    fi
    cmake --build "$dir" -j "$jobs" --target VelkorUSBCleaner
}

# What the build says it is: written at each build by cmake/write_build_info.cmake.
build_info() {
    sed -n "s/^#define $2 \"\(.*\)\"$/\1/p" "$build_root/$1/build_info/vk_build_info.h"
}

echo "== Release builds (x64, x86) in $build_root"
for arch in x64 x86; do build "$arch"; done
version="$(build_info x64 VK_VERSION)"
commit="$(build_info x64 VK_COMMIT)"
epoch="$(cat "$build_root/x64/build_info/source_date_epoch")"
if [ "$version $commit $epoch" != "$(build_info x86 VK_VERSION) $(build_info x86 VK_COMMIT) $(cat "$build_root/x86/build_info/source_date_epoch")" ]; then
    echo "release.sh: the x64 and x86 builds are not of the same version and commit" >&2
    exit 1
fi
reproducible=yes
if [ -z "$epoch" ]; then
    # Outside a clone, without SOURCE_DATE_EPOCH: nothing fixes the dates.
    reproducible=no
    epoch="$(date +%s)"
fi
# objcopy restamps the header's TimeDateStamp, CPack the archives' dates.
export SOURCE_DATE_EPOCH="$epoch"

# What goes into the two archives, prepared beside the builds.
work="$build_root/packaging"
stage="$work/stage"
symbols="$work/symbols"
rm -rf "$work"
echo "== Stripped programs, debug files${sign:+, signatures}"
for arch in x64 x86; do
    mkdir -p "$stage/$arch" "$symbols/$arch"
    linked="$build_root/$arch/app/VelkorUSBCleaner.exe"
    "${triplet[$arch]}-objcopy" --only-keep-debug "$linked" "$symbols/$arch/VelkorUSBCleaner.debug"
    # The link holds the debug file's name and checksum, which debuggers check.
    "${triplet[$arch]}-objcopy" --strip-all --add-gnu-debuglink="$symbols/$arch/VelkorUSBCleaner.debug" \
        "$linked" "$stage/$arch/VelkorUSBCleaner.exe"
    # Aligned as a signature would align it: signed, then unsigned again, it
    # is this file (release/pe_align.py).
    python3 release/pe_align.py "$stage/$arch/VelkorUSBCleaner.exe"
    if [ ${#sign[@]} -gt 0 ]; then
        mv "$stage/$arch/VelkorUSBCleaner.exe" "$stage/$arch/unsigned.exe"
        timestamp=()
        if [ -n "${VK_SIGN_TIMESTAMP_URL:-}" ]; then timestamp=(-ts "$VK_SIGN_TIMESTAMP_URL"); fi
        osslsigncode sign "${sign[@]}" -h sha256 -n "VELKOR USB Cleaner" -time "${VK_SIGN_TIME:-$epoch}" \
            "${timestamp[@]}" -in "$stage/$arch/unsigned.exe" -out "$stage/$arch/VelkorUSBCleaner.exe" >/dev/null
        rm "$stage/$arch/unsigned.exe"
    fi
done
cp views/report.schema.json "$stage/report.schema.json"
LC_ALL=C sed -e "s/@VERSION@/$version/g" -e "s/@COMMIT@/$commit/g" release/LISEZMOI.txt >"$stage/LISEZMOI.txt"
# Every other file, in a fixed order; written beside, then moved in, so that it does not list itself.
(cd "$stage" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum) >"$work/SHA256SUMS"
mv "$work/SHA256SUMS" "$stage/SHA256SUMS"

echo "== Archives (CPack ZIP)"
package="$work/cpack"
cmake -S release -B "$package" -DVK_VERSION="$version" -DVK_STAGE="$stage" -DVK_SYMBOLS="$symbols" >/dev/null
# DOS dates in a ZIP are local times; the owner is the one who packs, so
# outside root a user namespace maps it to root as CI has it.
as_root=()
if [ "$(id -u)" -ne 0 ] && unshare -r true 2>/dev/null; then as_root=(unshare -r); fi
TZ=UTC "${as_root[@]}" cpack --config "$package/CPackConfig.cmake" -B "$package/out" >/dev/null
name="VelkorUSBCleaner-$version"
for file in "$name.zip" "$name-symbols.zip"; do mv -f "$package/out/$file" "$out/$file"; done

echo "== Bill of materials (CycloneDX 1.5)"
python3 release/sbom.py --version "$version" --commit "$commit" --epoch "$epoch" --source "$root" \
    --out "$out/$name.cdx.json" \
    --program "x64=$stage/x64/VelkorUSBCleaner.exe=$build_root/x64" \
    --program "x86=$stage/x86/VelkorUSBCleaner.exe=$build_root/x86"

(cd "$out" && sha256sum "$name.zip" "$name-symbols.zip" "$name.cdx.json")
case "$commit" in
    *-dirty) echo "BUILT FROM CHANGES NOT COMMITTED: $commit is not what the commit holds" ;;
esac
if [ "$reproducible" = no ]; then
    echo "NOT REPRODUCIBLE: no commit time (outside a clone): set SOURCE_DATE_EPOCH to fix the dates"
fi
summary="VelkorUSBCleaner $version ($commit) in $out"
if [ ${#sign[@]} -gt 0 ]; then
    if [ -n "${VK_SIGN_TIMESTAMP_URL:-}" ]; then
        echo "$summary: signed with $signer, timestamped by $VK_SIGN_TIMESTAMP_URL"
    else
        echo "$summary: signed with $signer, no timestamp (VK_SIGN_TIMESTAMP_URL not set)"
    fi
else
    echo "$summary: UNSIGNED (no certificate given: VK_SIGN_PKCS12, or VK_SIGN_CERT and VK_SIGN_KEY)"
fi
