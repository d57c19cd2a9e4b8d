#!/usr/bin/env python3
"""Validates pkgtool's JSON outputs against docs/pkgtool.schema.json with a
validator that is not ours (Debian's python3-jsonschema). The tests of every
tier that produce JSON call it, as a program or as a module.

usage: schema_check.py FILE|- ...   ('-' reads one document from stdin)
Exit status 0: all valid; 1: one is not (each problem printed); 77: no
jsonschema module here (scripts/install-deps.sh installs it).
"""
import json
import os
import sys

SCHEMA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "pkgtool.schema.json")
_validator = None


def validator():
    global _validator
    if _validator is None:
        import jsonschema
        schema = json.load(open(SCHEMA, encoding="utf-8"))
        jsonschema.Draft202012Validator.check_schema(schema)
        _validator = jsonschema.Draft202012Validator(schema)
    return _validator


def problems(doc):
    """The schema's objections to one parsed document, as lines."""
    return ["%s: %s" % ("/".join(str(p) for p in e.absolute_path) or "(top)", e.message[:300])
            for e in sorted(validator().iter_errors(doc), key=lambda e: list(e.absolute_path))]


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    try:
        validator()
    except ImportError:
        print("SKIP: no jsonschema module (package python3-jsonschema)")
        return 77
    bad = 0
    for name in sys.argv[1:]:
        text = sys.stdin.read() if name == "-" else open(name, encoding="utf-8").read()
        try:
            found = problems(json.loads(text))
        except ValueError as e:
            found = ["not JSON: %s" % e]
        for p in found:
            print("FAIL %s: %s" % (name, p))
        bad += bool(found)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
