#!/usr/bin/env python3
"""What an administrator receives, checked as they would check it.

    check_archive.py --source <tree> --dist <folder of the release> --linked <release build root>

The archive: its entries, in their fixed order, dated at the commit's time;
SHA256SUMS verified by `sha256sum -c` from inside the unpacked archive, and
listing every other file; the report's schema and the technician's text. Each
program: no debug sections left, a .gnu_debuglink whose checksum is the one of
its debug file in the symbols archive, the header's TimeDateStamp at the
commit's time, the same security marks as the program as linked, and a version
resource that names the version and the commit.
"""

import argparse
import datetime
import os
import re
import struct
import subprocess
import tempfile
import zipfile
import zlib

from release_check import OBJDUMP, check, finish

WINDRES = {"x64": "x86_64-w64-mingw32-windres", "x86": "i686-w64-mingw32-windres"}
MACHINE = {"x64": 0x8664, "x86": 0x14C}
DYNAMIC_BASE, NX_COMPAT, TERMINAL_SERVER_AWARE, HIGH_ENTROPY_VA = 0x40, 0x100, 0x8000, 0x20


def build_info(linked, arch):
    with open(os.path.join(linked, arch, "build_info", "vk_build_info.h"), encoding="ascii") as header:
        defines = dict(re.findall(r'^#define (\w+) "?(.*?)"?$', header.read(), re.M))
    with open(os.path.join(linked, arch, "build_info", "source_date_epoch"), encoding="ascii") as epoch:
        return defines, int(epoch.read().strip())


def pe_header(path):
    """Machine, TimeDateStamp, DllCharacteristics and the data directories, read from the headers themselves."""
    with open(path, "rb") as exe:
        data = exe.read(4096)
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[offset:offset + 4] == b"PE\0\0", path
    machine, _, stamp = struct.unpack_from("<HHI", data, offset + 4)
    optional = offset + 24
    dll_characteristics = struct.unpack_from("<H", data, optional + 70)[0]
    # PE32+ (x64) has 8-byte fields where PE32 has 4: the directories start later.
    directories = optional + (112 if struct.unpack_from("<H", data, optional)[0] == 0x20B else 96)
    count = struct.unpack_from("<I", data, directories - 4)[0]
    return machine, stamp, dll_characteristics, [struct.unpack_from("<II", data, directories + 8 * i)
                                                 for i in range(count)]


def sections(arch, path):
    listing = subprocess.run([OBJDUMP[arch], "-h", path], check=True, capture_output=True, text=True).stdout
    return re.findall(r"^\s*\d+\s+(\S+)\s", listing, re.M)


def section_bytes(arch, path, name):
    """A section's contents, from objdump's hexadecimal dump."""
    dump = subprocess.run([OBJDUMP[arch], "-s", "-j", name, path], check=True, capture_output=True, text=True).stdout
    data = b""
    for line in dump.splitlines():
        row = re.match(r"^ [0-9a-f]+ ((?:[0-9a-f]{2,8} ){1,4})", line + " ")
        if row:
            data += bytes.fromhex(row.group(1).replace(" ", ""))
    return data


def dos_time(epoch):
    # A ZIP's DOS date has two-second steps; release.sh packs with TZ=UTC.
    when = datetime.datetime.fromtimestamp(epoch - epoch % 2, datetime.timezone.utc)
    return when.timetuple()[:6]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--dist", required=True)
    parser.add_argument("--linked", required=True)
    args = parser.parse_args()

    defines, epoch = build_info(args.linked, "x64")
    check((defines, epoch) == build_info(args.linked, "x86"), "both programs name one version, commit and time")
    version, commit = defines["VK_VERSION"], defines["VK_COMMIT"]
    committed = subprocess.run(["git", "-C", args.source, "log", "-1", "--format=%ct"], capture_output=True,
                               text=True)
    if committed.returncode == 0 and "SOURCE_DATE_EPOCH" not in os.environ:
        check(epoch == int(committed.stdout), f"the release's time {epoch} is the commit's {committed.stdout}")
    name = f"VelkorUSBCleaner-{version}"

    with tempfile.TemporaryDirectory() as unpacked, tempfile.TemporaryDirectory() as symbols:
        archive = zipfile.ZipFile(os.path.join(args.dist, name + ".zip"))
        expected = ["LISEZMOI.txt", "SHA256SUMS", "report.schema.json", "x64/", "x64/VelkorUSBCleaner.exe",
                    "x86/", "x86/VelkorUSBCleaner.exe"]
        check([entry.filename for entry in archive.infolist()] == expected,
              f"the archive holds {expected} in this order: {archive.namelist()}")
        for entry in archive.infolist():
            check(entry.date_time == dos_time(epoch), f"{entry.filename} is dated {entry.date_time}")
            mode = entry.external_attr >> 16
            check(mode == (0o40755 if entry.is_dir() else 0o100644), f"{entry.filename} has mode {oct(mode)}")
        archive.extractall(unpacked)

        # As the README tells an administrator on Linux.
        verified = subprocess.run(["sha256sum", "--strict", "-c", "SHA256SUMS"], cwd=unpacked, capture_output=True,
                                  text=True)
        print(verified.stdout, end="")
        check(verified.returncode == 0, "sha256sum -c SHA256SUMS passes inside the unpacked archive")
        with open(os.path.join(unpacked, "SHA256SUMS"), encoding="ascii") as sums:
            listed = [line.split("  ", 1)[1] for line in sums.read().splitlines()]
        others = sorted(os.path.relpath(os.path.join(where, f), unpacked)
                        for where, _, files in os.walk(unpacked) for f in files if f != "SHA256SUMS")
        check(listed == others, f"SHA256SUMS lists every other file, in order: {listed} against {others}")

        with open(os.path.join(unpacked, "report.schema.json"), "rb") as shipped, \
                open(os.path.join(args.source, "views", "report.schema.json"), "rb") as source:
            check(shipped.read() == source.read(), "the archive's report.schema.json is the program's")
        with open(os.path.join(unpacked, "LISEZMOI.txt"), "rb") as text:
            readme = text.read()
        check(readme.startswith(f"VelkorUSBCleaner {version} ({commit})\r\n".encode("ascii")),
              "LISEZMOI.txt names the version and the commit")
        check(b"@VERSION@" not in readme and b"@COMMIT@" not in readme, "LISEZMOI.txt has no placeholder left")
        check(readme.count(b"\n") == readme.count(b"\r\n"), "LISEZMOI.txt ends its lines with CR LF")
        check(all(byte not in readme for byte in (b"\x81", b"\x8d", b"\x8f", b"\x90", b"\x9d")),
              "LISEZMOI.txt is Windows-1252 text")

        debug = zipfile.ZipFile(os.path.join(args.dist, name + "-symbols.zip"))
        check(debug.namelist() == ["x64/", "x64/VelkorUSBCleaner.debug", "x86/", "x86/VelkorUSBCleaner.debug"],
              f"the symbols archive holds one debug file per program: {debug.namelist()}")
        for entry in debug.infolist():
            check(entry.date_time == dos_time(epoch), f"symbols {entry.filename} is dated {entry.date_time}")
        debug.extractall(symbols)

        for arch in ("x64", "x86"):
            exe = os.path.join(unpacked, arch, "VelkorUSBCleaner.exe")
            debug_file = os.path.join(symbols, arch, "VelkorUSBCleaner.debug")
            linked = os.path.join(args.linked, arch, "app", "VelkorUSBCleaner.exe")
            names = sections(arch, exe)
            check(not [s for s in names if s.startswith(".debug")], f"{arch}: no debug section left: {names}")
            check(".debug_info" in sections(arch, debug_file) and ".debug_line" in sections(arch, debug_file),
                  f"{arch}: the debug file holds the debug information")
            check(".debug_info" in sections(arch, linked), f"{arch}: the program as linked has debug information")
            link = section_bytes(arch, exe, ".gnu_debuglink")
            link_name = link.split(b"\0", 1)[0]
            with open(debug_file, "rb") as data:
                crc = zlib.crc32(data.read())
            check(link_name == b"VelkorUSBCleaner.debug" and struct.unpack("<I", link[-4:])[0] == crc,
                  f"{arch}: .gnu_debuglink names VelkorUSBCleaner.debug with its CRC ({link_name}, {link[-4:].hex()})")

            machine, stamp, marks, directories = pe_header(exe)
            linked_machine, linked_stamp, linked_marks, linked_directories = pe_header(linked)
            # Imports, resources, relocations, TLS, the load configuration...:
            # what the linker set up, stripping must leave as it is.
            check(directories == linked_directories,
                  f"{arch}: stripping keeps the data directories ({directories} against {linked_directories})")
            check(machine == MACHINE[arch] == linked_machine, f"{arch}: machine {machine:#x}")
            check(stamp == epoch == linked_stamp, f"{arch}: TimeDateStamp {stamp} (linked {linked_stamp}) is {epoch}")
            check(marks == linked_marks, f"{arch}: stripping keeps the header's marks ({marks:#x}, {linked_marks:#x})")
            wanted = DYNAMIC_BASE | NX_COMPAT | TERMINAL_SERVER_AWARE | (HIGH_ENTROPY_VA if arch == "x64" else 0)
            check(marks & wanted == wanted, f"{arch}: ASLR, DEP and Terminal-Server-aware marks ({marks:#x})")

            resources = subprocess.run([WINDRES[arch], "-J", "coff", "-O", "rc", "-i", exe], capture_output=True,
                                       check=True).stdout.decode("cp1252")
            numbers = version.replace(".", ", ") + ", 0"
            check(f"FILEVERSION {numbers}" in resources and f"PRODUCTVERSION {numbers}" in resources,
                  f"{arch}: the version resource's numbers are {numbers}")
            check(f'VALUE "FileVersion", "{version}"' in resources, f"{arch}: FileVersion is {version}")
            check(f'VALUE "ProductVersion", "{version} ({commit})"' in resources,
                  f"{arch}: ProductVersion names the commit {commit}")
            check(f'version="{version}.0"' in resources.replace('""', '"'),
                  f"{arch}: the manifest's assembly version is {version}.0")

    finish()
    print(f"{name}: archive, checksums, programs and symbols as they should be")


if __name__ == "__main__":
    main()
