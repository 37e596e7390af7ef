"""What the release's checks share: the cross tools they read the programs
with, and a record of failed checks that lets every check run before the
script fails."""

import sys

OBJDUMP = {"x64": "x86_64-w64-mingw32-objdump", "x86": "i686-w64-mingw32-objdump"}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what)
    return condition


def finish():
    if failures:
        sys.exit(f"{len(failures)} check(s) failed")
