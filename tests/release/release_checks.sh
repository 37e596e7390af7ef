#!/usr/bin/env bash
# The release's checks that drive scripts/release.sh itself:
#   release_checks.sh build <source> <out>
#       the release as the README gives it (into <out>); unsigned, it says so last
#   release_checks.sh reproducible <source> <first out> <second build root> <out>
#       a second release from builds in other folders gives the same bytes,
#       and no output holds the folders it was built in
#   release_checks.sh signed <source> <first out> <work>
#       signed with a throwaway CA's code-signing certificate, as a PKCS#12
#       file and as PEM files: osslsigncode verify accepts both programs, a
#       byte changed is refused, and one key with one signing time gives the
#       same files; without its signature a program is the unsigned release's;
#       an RFC 3161 timestamp from a throwaway authority on the loopback verifies
set -euo pipefail

check=$1
source=$2
cd "$source"
# The checks say which certificate signs what; none comes from outside.
unset VK_SIGN_PKCS12 VK_SIGN_CERT VK_SIGN_KEY VK_SIGN_PASSWORD_FILE VK_SIGN_TIMESTAMP_URL VK_SIGN_TIME
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# The name of the release in <out>, from its bill of materials.
release_name() {
    local bom
    bom=$(ls "$1"/VelkorUSBCleaner-*.cdx.json)
    basename "$bom" .cdx.json
}

unpack() {
    rm -rf "$2"
    python3 -m zipfile -e "$1" "$2"
}

# The three files of two releases, byte for byte.
same_release() {
    local name=$1 first=$2 second=$3 file
    for file in "$name.zip" "$name-symbols.zip" "$name.cdx.json"; do
        if cmp -s "$first/$file" "$second/$file"; then
            echo "same bytes: $file $(sha256sum <"$first/$file" | cut -d' ' -f1)"
        else
            fail "$file differs: $(sha256sum "$first/$file" "$second/$file")"
        fi
    done
}

# issue <ca folder> <name> <subject> <extensions>: <name>.key and <name>.crt,
# a leaf certificate of the throwaway CA with those extensions (printf's \n
# between them).
issue() {
    local ca=$1 name=$2 subject=$3 extensions=$4
    openssl req -newkey rsa:2048 -nodes -keyout "$ca/$name.key" -out "$ca/$name.csr" -subj "$subject" 2>/dev/null
    printf "basicConstraints=CA:FALSE\\n$extensions\\n" >"$ca/$name.ext"
    openssl x509 -req -in "$ca/$name.csr" -CA "$ca/ca.crt" -CAkey "$ca/ca.key" -CAcreateserial -days 2 \
        -extfile "$ca/$name.ext" -out "$ca/$name.crt" 2>/dev/null
}

case "$check" in
build)
    out=$3
    bash scripts/release.sh --out "$out" | tee "$out.log"
    last=$(tail -n 1 "$out.log")
    case "$last" in
        *": UNSIGNED (no certificate given"*) ;;
        *) fail "an unsigned release does not say so last: $last" ;;
    esac
    ;;

reproducible)
    first=$3 second_root=$4 out=$5
    name=$(release_name "$first")
    # Two different folders, or the comparison proves nothing.
    if [ "$(cd "$second_root" && pwd -P)/x64" = "$(cd build/release/x64 && pwd -P)" ]; then
        fail "the second build root is the first one"
    fi
    bash scripts/release.sh --build-root "$second_root" --out "$out" | tail -n 1
    same_release "$name" "$first" "$out"
    # Neither the source folder nor a build folder may show in what ships.
    unpack "$out/$name.zip" "$out/unpacked"
    unpack "$out/$name-symbols.zip" "$out/unpacked-symbols"
    for folder in "$source" "$(cd "$second_root" && pwd)" "$(cd build/release && pwd)"; do
        if grep -rlF "$folder" "$out/unpacked" "$out/unpacked-symbols" "$out/$name.cdx.json"; then
            fail "$folder is named in the files above"
        fi
    done
    ;;

signed)
    first=$3 work=$4
    rm -rf "$work"
    mkdir -p "$work/ca"
    ca="$work/ca"
    # A CA and a code-signing certificate that live as long as this test.
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$ca/ca.key" -out "$ca/ca.crt" -days 2 \
        -subj "/CN=VelkorUSBCleaner throwaway test CA" -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
    issue "$ca" signing "/O=VELKOR test/CN=VELKOR test code signing" \
        'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning'
    cat "$ca/signing.crt" "$ca/ca.crt" >"$ca/chain.pem"
    echo "throwaway password" >"$ca/password"
    openssl pkcs12 -export -inkey "$ca/signing.key" -in "$ca/signing.crt" -certfile "$ca/ca.crt" \
        -passout "file:$ca/password" -out "$ca/signing.p12"

    # A signing time of its own, not the commit's: the option is what fixes it.
    VK_SIGN_PKCS12="$ca/signing.p12" VK_SIGN_PASSWORD_FILE="$ca/password" VK_SIGN_TIME=1700000000 \
        bash scripts/release.sh --out "$work/pkcs12" | tee "$work/pkcs12.log" | tail -n 1
    VK_SIGN_CERT="$ca/chain.pem" VK_SIGN_KEY="$ca/signing.key" VK_SIGN_TIME=1700000000 \
        bash scripts/release.sh --out "$work/pem" | tee "$work/pem.log" | tail -n 1
    for log in pkcs12 pem; do
        case "$(tail -n 1 "$work/$log.log")" in
            *": signed with "*", no timestamp"*) ;;
            *) fail "the $log release does not say it is signed" ;;
        esac
    done
    name=$(release_name "$work/pkcs12")
    same_release "$name" "$work/pkcs12" "$work/pem"

    unpack "$work/pkcs12/$name.zip" "$work/unpacked"
    (cd "$work/unpacked" && sha256sum --strict -c SHA256SUMS) || fail "the signed archive's checksums"
    unpack "$first/$name.zip" "$work/first"
    for arch in x64 x86; do
        exe="$work/unpacked/$arch/VelkorUSBCleaner.exe"
        if osslsigncode verify -CAfile "$ca/ca.crt" -in "$exe" >"$work/verify-$arch.txt" 2>&1; then
            echo "$arch: signature verified"
        else
            fail "$arch: osslsigncode verify refuses the signed program: $(tail -n 5 "$work/verify-$arch.txt")"
        fi
        grep -q "Message digest algorithm *: SHA256" "$work/verify-$arch.txt" || fail "$arch: not a SHA-256 digest"
        grep -q "Signing time: Nov 14 22:13:20 2023 GMT" "$work/verify-$arch.txt" || fail "$arch: signing time"
        # One byte of the code changed, and the header's checksum made right
        # again, as whoever changed it would: the signed digest still differs.
        cp "$exe" "$work/tampered.exe"
        python3 - "$work/tampered.exe" <<'EOF'
import struct, sys
with open(sys.argv[1], "rb") as exe:
    data = bytearray(exe.read())
data[0x1400] ^= 0x01
field = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 64
struct.pack_into("<I", data, field, 0)
total = 0
for (word,) in struct.iter_unpack("<H", data + b"\0" * (len(data) % 2)):
    total = (total & 0xFFFF) + (total >> 16) + word
total = (total & 0xFFFF) + (total >> 16)
struct.pack_into("<I", data, field, (total & 0xFFFF) + len(data))
with open(sys.argv[1], "wb") as exe:
    exe.write(data)
EOF
        if osslsigncode verify -CAfile "$ca/ca.crt" -in "$work/tampered.exe" >"$work/tampered-$arch.txt" 2>&1; then
            fail "$arch: a program with one byte changed passes verification"
        elif grep -q "Calculated message digest .*MISMATCH" "$work/tampered-$arch.txt"; then
            echo "$arch: one byte changed, refused: $(grep -m1 "Calculated message digest" "$work/tampered-$arch.txt")"
        else
            fail "$arch: refused for another reason than its digest: $(tail -n 3 "$work/tampered-$arch.txt")"
        fi
        # Its signature taken off, the signed program is the unsigned release's.
        osslsigncode remove-signature -in "$exe" -out "$work/unsigned-$arch.exe" >/dev/null
        if cmp "$work/unsigned-$arch.exe" "$work/first/$arch/VelkorUSBCleaner.exe"; then
            echo "$arch: without its signature, the unsigned release's program"
        else
            fail "$arch: the signed program without its signature is not the unsigned one"
        fi
        # Another CA does not vouch for it.
        if osslsigncode verify -CAfile /dev/null -in "$exe" >/dev/null 2>&1; then
            fail "$arch: verified without its CA"
        fi
    done

    # An RFC 3161 timestamp, from a time-stamping authority of the same CA on
    # the loopback (there is no other network here).
    issue "$ca" tsa "/CN=VelkorUSBCleaner throwaway time-stamping authority" \
        'keyUsage=critical,digitalSignature,nonRepudiation\nextendedKeyUsage=critical,timeStamping'
    cat >"$ca/tsa.cnf" <<EOF
[ tsa ]
default_tsa = throwaway
[ throwaway ]
serial = $ca/tsa.serial
crypto_device = builtin
signer_cert = $ca/tsa.crt
certs = $ca/ca.crt
signer_key = $ca/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
EOF
    echo 01 >"$ca/tsa.serial"
    python3 tests/release/tsa_server.py "$ca/tsa.cnf" "$work/tsa.port" &
    tsa=$!
    trap 'kill "$tsa" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do [ -s "$work/tsa.port" ] && break; sleep 0.2; done
    url="http://127.0.0.1:$(cat "$work/tsa.port" 2>/dev/null || echo none)"
    no_proxy=127.0.0.1 NO_PROXY=127.0.0.1 VK_SIGN_CERT="$ca/chain.pem" VK_SIGN_KEY="$ca/signing.key" \
        VK_SIGN_TIMESTAMP_URL="$url" bash scripts/release.sh --out "$work/timestamped" | tee "$work/timestamped.log" |
        tail -n 1 || fail "signing with a timestamp"
    kill "$tsa" 2>/dev/null || true
    wait "$tsa" 2>/dev/null || true
    case "$(tail -n 1 "$work/timestamped.log")" in
        *": signed with "*", timestamped by $url") ;;
        *) fail "the timestamped release does not say so" ;;
    esac
    unpack "$work/timestamped/$name.zip" "$work/timestamped-unpacked"
    for arch in x64 x86; do
        exe="$work/timestamped-unpacked/$arch/VelkorUSBCleaner.exe"
        if osslsigncode verify -CAfile "$ca/ca.crt" -TSA-CAfile "$ca/ca.crt" -in "$exe" >"$work/timestamp-$arch.txt" 2>&1 &&
            grep -q "Timestamp Server Signature verification: ok" "$work/timestamp-$arch.txt"; then
            echo "$arch: signature and RFC 3161 timestamp verified"
        else
            fail "$arch: the timestamped signature: $(tail -n 8 "$work/timestamp-$arch.txt")"
        fi
    done
    ;;

*)
    echo "usage: $0 build|reproducible|signed <source> ..." >&2
    exit 2
    ;;
esac

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
