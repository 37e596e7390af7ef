#!/usr/bin/env python3
"""pe_align.py <exe>: pads a PE file with zeros to a multiple of 8 bytes and
writes its header's checksum again.

Authenticode appends the signature on an 8-byte boundary, padding the file
first when it must, and `osslsigncode remove-signature` writes the checksum
afresh. With the program already aligned and its checksum right, a signed
release with its signature removed is byte for byte the unsigned build, so
that a signed and timestamped program (whose signature no rebuild can
reproduce) can still be checked against the commit it came from.
"""

import struct
import sys


def checksum(data, field):
    """The PE checksum (as ImageHlp's CheckSumMappedFile computes it), the field itself taken as zero."""
    total = 0
    padded = data[:field] + b"\0\0\0\0" + data[field + 4:] + b"\0" * (len(data) % 2)
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + len(data)) & 0xFFFFFFFF


def main(path):
    with open(path, "rb") as exe:
        data = bytearray(exe.read())
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[header:header + 4] != b"PE\0\0":
        sys.exit(f"pe_align.py: {path} is not a PE file")
    data += b"\0" * (-len(data) % 8)
    # The optional header's CheckSum field, at the same place in PE32 and PE32+.
    field = header + 24 + 64
    struct.pack_into("<I", data, field, checksum(bytes(data), field))
    with open(path, "wb") as exe:
        exe.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
