#!/usr/bin/env python3
"""The bill of materials, against the CycloneDX 1.5 schema and against the release.

    check_sbom.py --dist <folder of the release> --linked <release build root> --validator <validate.mjs>

The schema (through the CycloneDX library's strict validator, which must also
refuse a broken copy, or it proves nothing); then what the schema cannot see:
every reference resolves; each program's hash is the one SHA256SUMS gives in
the archive; each program lists the MinGW-w64 runtime, winpthreads, the cross
compiler's libstdc++ and libgcc, and nlohmann-json, at the versions dpkg-query
gives; and the system DLLs each imports, as objdump reads its import table.
"""

import argparse
import copy
import datetime
import json
import os
import re
import subprocess
import tempfile
import zipfile

from release_check import OBJDUMP, check, finish

DEBIAN_ARCH = {"x64": "x86-64", "x86": "i686"}


def validate(validator, document):
    with tempfile.NamedTemporaryFile("w", suffix=".cdx.json", delete=False) as copy_file:
        json.dump(document, copy_file)
    try:
        result = subprocess.run(["node", validator, copy_file.name], capture_output=True, text=True)
    finally:
        os.unlink(copy_file.name)
    return result.returncode == 0, result.stdout + result.stderr


def dpkg_version(package):
    return subprocess.run(["dpkg-query", "-W", "-f", "${Version}", package], check=True, capture_output=True,
                          text=True).stdout


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist", required=True)
    parser.add_argument("--linked", required=True)
    parser.add_argument("--validator", required=True)
    args = parser.parse_args()

    with open(os.path.join(args.linked, "x64", "build_info", "vk_build_info.h"), encoding="ascii") as header:
        defines = dict(re.findall(r'^#define (\w+) "?(.*?)"?$', header.read(), re.M))
    with open(os.path.join(args.linked, "x64", "build_info", "source_date_epoch"), encoding="ascii") as epoch_file:
        epoch = int(epoch_file.read())
    name = f"VelkorUSBCleaner-{defines['VK_VERSION']}"
    path = os.path.join(args.dist, name + ".cdx.json")
    with open(path, encoding="utf-8") as text:
        bom = json.load(text)

    valid, said = validate(args.validator, bom)
    print(said, end="")
    check(valid, "the SBOM is valid CycloneDX 1.5")
    # It stops at the first fault: one broken copy per fault.
    for where, fault in [("/components/0/type", lambda b: b["components"][0].update(type="static-library")),
                         ("/metadata/timestamp", lambda b: b["metadata"].update(timestamp="the commit's time")),
                         ("/metadata/component/components/0/hashes/0/alg",
                          lambda b: b["metadata"]["component"]["components"][0]["hashes"][0].update(alg="SHA256"))]:
        broken = copy.deepcopy(bom)
        fault(broken)
        valid, said = validate(args.validator, broken)
        check(not valid and where in said, f"the validator refuses a copy broken at {where}")

    refs = []

    def walk(components):
        for component in components:
            refs.append(component["bom-ref"])
            walk(component.get("components", []))

    walk([bom["metadata"]["component"]] + bom["components"])
    check(len(refs) == len(set(refs)), f"every bom-ref is unique: {refs}")
    graph = {entry["ref"]: entry.get("dependsOn", []) for entry in bom["dependencies"]}
    for ref, needs in graph.items():
        check(ref in refs and all(need in refs for need in needs), f"{ref} and what it depends on are components")
    check(set(refs) == set(graph), "every component is in the dependency graph")

    application = bom["metadata"]["component"]
    check(application["name"] == "VelkorUSBCleaner" and application["version"] == defines["VK_VERSION"],
          f"the SBOM describes VelkorUSBCleaner {defines['VK_VERSION']}")
    check({"name": "velkor:commit", "value": defines["VK_COMMIT"]} in application.get("properties", []),
          f"the SBOM names the commit {defines['VK_COMMIT']}")
    stamp = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    check(bom["metadata"]["timestamp"] == stamp, f"the SBOM is dated at the commit's time {stamp}")

    by_ref = {}

    def index(components):
        for component in components:
            by_ref[component["bom-ref"]] = component
            index(component.get("components", []))

    index([application] + bom["components"])
    with tempfile.TemporaryDirectory() as unpacked:
        zipfile.ZipFile(os.path.join(args.dist, name + ".zip")).extractall(unpacked)
        with open(os.path.join(unpacked, "SHA256SUMS"), encoding="ascii") as sums:
            listed = {line.split("  ", 1)[1]: line.split("  ", 1)[0] for line in sums.read().splitlines()}
        nlohmann = dpkg_version("nlohmann-json3-dev")
        for arch in ("x64", "x86"):
            exe_name = f"{arch}/VelkorUSBCleaner.exe"
            files = [c for c in application.get("components", []) if c["name"] == exe_name]
            if not check(len(files) == 1, f"the SBOM lists {exe_name} once"):
                continue
            program = files[0]
            check(program["hashes"] == [{"alg": "SHA-256", "content": listed[exe_name]}],
                  f"{exe_name}: the SBOM's SHA-256 is the one of SHA256SUMS")
            needs = [by_ref[ref] for ref in graph.get(program["bom-ref"], [])]
            libraries = {(c["name"], c.get("version")) for c in needs if c["type"] == "library"}
            gcc = dpkg_version(f"gcc-mingw-w64-{DEBIAN_ARCH[arch]}-posix")
            gxx = dpkg_version(f"g++-mingw-w64-{DEBIAN_ARCH[arch]}-posix")
            runtime = dpkg_version(f"mingw-w64-{DEBIAN_ARCH[arch]}-dev")
            for wanted in [("libstdc++", gxx), ("libgcc", gcc), ("mingw-w64-crt", runtime),
                           ("winpthreads", runtime), ("nlohmann-json", nlohmann)]:
                check(wanted in libraries, f"{exe_name} is made with {wanted[0]} {wanted[1]}: {sorted(libraries)}")
            for component in needs:
                if component["type"] == "library" and "purl" in component:
                    package = component["purl"].split("/")[2].split("@")[0]
                    check(component["purl"].startswith(f"pkg:deb/debian/{package}@{dpkg_version(package)}?"),
                          f"{component['bom-ref']}: its purl names the package's version")

            dump = subprocess.run([OBJDUMP[arch], "-p", os.path.join(unpacked, arch, "VelkorUSBCleaner.exe")],
                                  check=True, capture_output=True, text=True).stdout
            imported = sorted(d.lower() for d in re.findall(r"^\s*DLL Name: (\S+)$", dump, re.M))
            system = sorted(c["name"].lower() for c in needs if c["bom-ref"].startswith("windows/"))
            check(imported and system == imported, f"{exe_name}: the system DLLs {system} are its imports {imported}")
        windows = by_ref.get("windows", {})
        check(windows.get("type") == "operating-system", "the system DLLs are parts of the operating system")

    finish()
    print(f"{path}: valid, and it is the release's")


if __name__ == "__main__":
    main()
