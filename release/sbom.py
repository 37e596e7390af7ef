#!/usr/bin/env python3
"""Writes the release's bill of materials, a CycloneDX 1.5 JSON document.

    sbom.py --version 1.0.0 --commit <git describe> --epoch <seconds> --out <file.cdx.json>
            --program x64=<final exe>=<build folder> --program x86=<final exe>=<build folder>

What each program is made of is read from the build itself, never listed by
hand: the linker's map (app/VelkorUSBCleaner.exe.map) names every object and
archive member linked in, Ninja's dependency log names every header compiled
into those objects (which is how a header-only library such as nlohmann-json
shows), dpkg tells which Debian package each of those files comes from and its
version, and the final executable's import table names the system DLLs it
needs. A file that no package accounts for, outside the source folder, stops
the release: the document would not be complete.

The output depends only on the release's content, so two builds of one commit
write the same bytes (the serial number is derived from the executables'
hashes, the timestamp is SOURCE_DATE_EPOCH).
"""

import argparse
import datetime
import hashlib
import json
import os
import re
import subprocess
import sys
import uuid

OBJDUMP = {"x64": "x86_64-w64-mingw32-objdump", "x86": "i686-w64-mingw32-objdump"}
# The packages of the cross compilers and of the MinGW-w64 runtime: their
# headers are part of the toolchain, not libraries of their own.
TOOLCHAIN_PACKAGE = re.compile(r"^(gcc|g\+\+|cpp)-mingw-w64-|^mingw-w64-")

# What each linked file of the toolchain is part of.
RUNTIME_PARTS = [
    (re.compile(r"^lib(stdc\+\+|supc\+\+)\.a$"), "libstdc++"),
    (re.compile(r"^(libgcc|libgcc_eh)\.a$|^crt(begin|end)\.o$"), "libgcc"),
    (re.compile(r"^libssp(_nonshared)?\.a$"), "libssp"),
    (re.compile(r"^lib(win)?pthread\.a$"), "winpthreads"),
]
GCC_RUNTIME_LICENSE = "GPL-3.0-or-later WITH GCC-exception-3.1"
PARTS = {
    "libstdc++": ("The GNU C++ standard library, linked statically", GCC_RUNTIME_LICENSE),
    "libgcc": ("GCC's low-level runtime and unwinder, linked statically", GCC_RUNTIME_LICENSE),
    "libssp": ("GCC's stack protector runtime, linked statically", GCC_RUNTIME_LICENSE),
    "winpthreads": ("The MinGW-w64 POSIX threads library, linked statically", "MIT AND BSD-3-Clause"),
    "mingw-w64-crt": ("The MinGW-w64 C runtime start-up code, its msvcrt.dll glue and the import libraries of "
                      "the system DLLs, linked statically (main licence; some files carry others, listed in "
                      "the package's copyright file)", "ZPL-2.1"),
    "nlohmann-json": ("JSON for Modern C++, header-only, compiled into the report", "MIT"),
}
HEADER_LIBRARIES = {"nlohmann-json3-dev": "nlohmann-json"}


def run(*command, check=True):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if check and result.returncode != 0:
        sys.exit(f"sbom.py: {' '.join(command[:3])}... failed: {result.stderr.strip()}")
    return result


def linked_files(build, map_path):
    """The objects and archives the linker took members from, and our own objects."""
    archives, objects, ours = set(), set(), set()
    with open(map_path, encoding="utf-8", errors="replace") as text:
        section = None
        for line in text:
            if line.startswith("Archive member included"):
                section = "members"
            elif line.startswith("Discarded input sections"):
                section = None
            elif line.startswith("Linker script and memory map"):
                section = "loads"
            elif section == "members":
                member = re.match(r"^(\S+\.a)\(([^)]+)\)", line)
                if member:
                    archives.add((member.group(1), member.group(2)))
            elif section == "loads" and line.startswith("LOAD "):
                loaded = line[5:].strip()
                if loaded.endswith((".o", ".obj", ".res")):
                    objects.add(loaded)
    files = set()
    for path in sorted(objects):
        absolute = os.path.normpath(os.path.join(build, path))
        if absolute.startswith(build + os.sep):
            ours.add(os.path.relpath(absolute, build))
        else:
            files.add(absolute)
    for archive, member in sorted(archives):
        absolute = os.path.normpath(os.path.join(build, archive))
        if absolute.startswith(build + os.sep):
            # lib<target>.a holds <dir>/CMakeFiles/<target>.dir/.../<member>.
            folder, name = os.path.split(os.path.relpath(absolute, build))
            target = re.sub(r"^lib|\.a$", "", name)
            objects_dir = os.path.join(build, folder, "CMakeFiles", target + ".dir")
            found = [os.path.relpath(os.path.join(where, member), build)
                     for where, _, names in os.walk(objects_dir) if member in names]
            if len(found) != 1:
                sys.exit(f"sbom.py: cannot tell which object of {archive} is {member}")
            ours.add(found[0])
        else:
            files.add(absolute)
    return files, ours


def compiled_headers(build, objects):
    """Every file Ninja's dependency log records for our objects."""
    deps = run("ninja", "-C", build, "-t", "deps", *sorted(objects)).stdout
    headers = set()
    for line in deps.splitlines():
        if line.startswith("    "):
            headers.add(os.path.normpath(os.path.join(build, line.strip())))
    return headers


def owners(paths, roots):
    """Maps each file outside the source and build folders to its Debian package."""
    wanted = {}
    for path in sorted(paths):
        real = os.path.realpath(path)
        if any(real.startswith(root + os.sep) for root in roots):
            continue
        wanted[path] = real
    result = run("dpkg-query", "-S", *sorted(set(wanted.values()) | set(wanted.keys())), check=False)
    owner = {}
    for line in result.stdout.splitlines():
        package, _, path = line.partition(": ")
        if path and "diversion" not in package:
            owner[path] = package.split(":")[0].split(",")[0].strip()
    packages = {}
    for path, real in wanted.items():
        package = owner.get(real) or owner.get(path)
        if not package:
            sys.exit(f"sbom.py: {path} is built in but no Debian package holds it")
        packages.setdefault(package, set()).add(real)
    return packages


def package_facts(package):
    fields = run("dpkg-query", "-W", "-f", "${Version}\t${Architecture}\t${Homepage}", package).stdout
    version, architecture, homepage = fields.split("\t")
    return version, architecture, homepage


def imported_dlls(arch, exe):
    dump = run(OBJDUMP[arch], "-p", exe).stdout
    return sorted(set(re.findall(r"^\s*DLL Name: (\S+)$", dump, re.M)), key=str.lower)


def sha256(path):
    with open(path, "rb") as data:
        return hashlib.sha256(data.read()).hexdigest()


def distro():
    codename = ""
    try:
        with open("/etc/os-release", encoding="utf-8") as release:
            for line in release:
                if line.startswith("VERSION_CODENAME="):
                    codename = line.split("=", 1)[1].strip().strip('"')
    except OSError:
        pass
    return codename


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", required=True)
    parser.add_argument("--commit", required=True)
    parser.add_argument("--epoch", required=True, type=int)
    parser.add_argument("--source", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--program", action="append", required=True, help="arch=exe=build")
    args = parser.parse_args()
    source = os.path.realpath(args.source)
    codename = distro()

    libraries = {}  # bom-ref -> component
    programs = []
    for given in args.program:
        arch, exe, build = given.split("=", 2)
        build = os.path.abspath(build)
        roots = [source, os.path.realpath(build)]
        files, ours = linked_files(build, os.path.join(build, "app", "VelkorUSBCleaner.exe.map"))
        headers = compiled_headers(build, [o for o in ours if not o.endswith(".res")])
        uses = set()
        for package, paths in sorted(owners(files, roots).items()):
            parts = set()
            for path in paths:
                name = os.path.basename(path)
                part = next((p for pattern, p in RUNTIME_PARTS if pattern.match(name)), None)
                if part is None:
                    part = "mingw-w64-crt" if package.startswith("mingw-w64-") else package
                parts.add(part)
            for part in sorted(parts):
                uses.add(add_library(libraries, part, package, codename))
        for package in sorted(owners(headers, roots)):
            if not TOOLCHAIN_PACKAGE.match(package):
                uses.add(add_library(libraries, HEADER_LIBRARIES.get(package, package), package, codename))
        programs.append((arch, exe, sorted(uses), imported_dlls(arch, exe)))

    dlls = {}
    for _, _, _, imports in programs:
        for dll in imports:
            dlls.setdefault(dll.lower(), dll)
    windows = {
        "type": "operating-system",
        "bom-ref": "windows",
        "supplier": {"name": "Microsoft"},
        "name": "Microsoft Windows",
        "description": "The system DLLs the programs import: part of Windows, not shipped",
        "components": [{
            "type": "library",
            "bom-ref": "windows/" + key,
            "supplier": {"name": "Microsoft"},
            "name": dlls[key],
            "scope": "required",
            "description": "A system DLL imported by " + ", ".join(
                f"{arch}/VelkorUSBCleaner.exe" for arch, _, _, imports in programs
                if key in (d.lower() for d in imports)),
        } for key in sorted(dlls)],
    }

    files = []
    dependencies = []
    for arch, exe, uses, imports in programs:
        ref = f"VelkorUSBCleaner/{arch}"
        files.append({
            "type": "file",
            "bom-ref": ref,
            "name": f"{arch}/VelkorUSBCleaner.exe",
            "version": args.version,
            "hashes": [{"alg": "SHA-256", "content": sha256(exe)}],
        })
        dependencies.append({"ref": ref, "dependsOn": uses + ["windows/" + d.lower() for d in imports]})
    dependencies.insert(0, {"ref": "VelkorUSBCleaner", "dependsOn": [f["bom-ref"] for f in files]})
    for ref in sorted(libraries):
        dependencies.append({"ref": ref, "dependsOn": []})
    dependencies.append({"ref": "windows", "dependsOn": []})
    for key in sorted(dlls):
        dependencies.append({"ref": "windows/" + key, "dependsOn": []})

    identity = "\n".join([args.version, args.commit] + [f["hashes"][0]["content"] for f in files])
    bom = {
        "bomFormat": "CycloneDX",
        "specVersion": "1.5",
        "serialNumber": "urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL, "VelkorUSBCleaner\n" + identity)),
        "version": 1,
        "metadata": {
            "timestamp": datetime.datetime.fromtimestamp(args.epoch, datetime.timezone.utc)
                                          .strftime("%Y-%m-%dT%H:%M:%SZ"),
            "tools": {"components": [{"type": "application", "name": "VelkorUSBCleaner release/sbom.py",
                                      "version": args.version}]},
            "component": {
                "type": "application",
                "bom-ref": "VelkorUSBCleaner",
                "supplier": {"name": "VELKOR"},
                "name": "VelkorUSBCleaner",
                "version": args.version,
                "description": "Clears the traces of earlier installations of the VELKOR USB readers",
                "properties": [{"name": "velkor:commit", "value": args.commit}],
                "components": files,
            },
        },
        "components": [libraries[ref] for ref in sorted(libraries)] + [windows],
        "dependencies": dependencies,
    }
    with open(args.out, "w", encoding="utf-8", newline="\n") as out:
        json.dump(bom, out, indent=2, ensure_ascii=False)
        out.write("\n")


def add_library(libraries, part, package, codename):
    version, architecture, homepage = package_facts(package)
    ref = f"deb:{package}:{part}"
    if ref not in libraries:
        description, license_expression = PARTS.get(part, (f"Built in from the Debian package {package}", None))
        purl = f"pkg:deb/debian/{package}@{version}?arch={architecture}"
        if codename:
            purl += f"&distro={codename}"
        component = {
            "type": "library",
            "bom-ref": ref,
            "supplier": {"name": "Debian"},
            "name": part,
            "version": version,
            "description": description + f" (Debian package {package})",
            "scope": "required",
            "purl": purl,
        }
        if license_expression:
            component["licenses"] = [{"expression": license_expression}]
        if homepage:
            component["externalReferences"] = [{"type": "website", "url": homepage}]
        libraries[ref] = component
    return ref


if __name__ == "__main__":
    main()
