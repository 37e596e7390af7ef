#!/usr/bin/env python3
"""Validates VelkorUSBCleaner reports against views/report.schema.json.

Usage: validate.py <schema> <report.json>...  Exit status 0 when every report
is valid, 1 otherwise (each error is printed).
"""
import json
import sys

import jsonschema


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    failures = 0
    for path in argv[2:]:
        with open(path, encoding="utf-8") as f:
            report = json.load(f)
        errors = sorted(validator.iter_errors(report), key=lambda e: list(e.path))
        for error in errors:
            print(f"{path}: {'/'.join(map(str, error.path))}: {error.message}")
        failures += bool(errors)
        print(f"{path}: {'invalid' if errors else 'valid'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
