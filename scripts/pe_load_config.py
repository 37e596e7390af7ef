#!/usr/bin/python3
"""Points an executable's load configuration entry at its _load_config_used.

GNU ld before 2.45 leaves the header's load configuration entry empty even
when the program defines _load_config_used (Microsoft's linker and LLD fill
it from that symbol): this fills it the same way after the link, the size
from the structure's first field, and keeps the header's checksum right.
Usage: pe_load_config.py <program.exe> <nm of its toolchain>
"""
import subprocess
import sys

import pefile

LOAD_CONFIG = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]


def symbol_address(nm, path):
    listing = subprocess.run([nm, path], check=True, capture_output=True, text=True).stdout
    for line in listing.splitlines():
        fields = line.split()
        # 32-bit symbols carry the C compiler's leading underscore.
        if len(fields) == 3 and fields[2] in ("_load_config_used", "__load_config_used"):
            return int(fields[0], 16)
    sys.exit(f"{path}: no _load_config_used symbol (is the program stripped?)")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    path, nm = sys.argv[1], sys.argv[2]
    address = symbol_address(nm, path)
    pe = pefile.PE(path)
    rva = address - pe.OPTIONAL_HEADER.ImageBase
    size = pe.get_dword_at_rva(rva)
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[LOAD_CONFIG]
    if entry.VirtualAddress not in (0, rva):
        sys.exit(f"{path}: the load configuration entry points elsewhere (0x{entry.VirtualAddress:x})")
    entry.VirtualAddress = rva
    entry.Size = size
    if pe.OPTIONAL_HEADER.CheckSum != 0:
        pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
    data = pe.write()
    pe.close()
    with open(path, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
