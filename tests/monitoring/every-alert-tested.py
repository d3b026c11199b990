#!/usr/bin/env python3
"""Fails when an alert of the rule files has no unit test, or a unit test
names an alert that no rule file defines (a renamed alert)."""
import re
import sys


def names(path, pattern):
    with open(path, encoding="utf-8") as text:
        return set(re.findall(pattern, text.read(), re.MULTILINE))


def main(argv):
    if len(argv) < 3:
        print("usage: every-alert-tested.py RULES.yml... -- TESTS.yml...", file=sys.stderr)
        return 64
    split = argv.index("--") if "--" in argv else len(argv)
    rules, tests = argv[1:split], argv[split + 1:]
    defined = set().union(*(names(p, r"^\s*-\s*alert:\s*(\S+)\s*$") for p in rules))
    tested = set().union(*(names(p, r"^\s*alertname:\s*(\S+)\s*$") for p in tests))
    untested, unknown = sorted(defined - tested), sorted(tested - defined)
    for name in untested:
        print(f"alert {name} has no unit test")
    for name in unknown:
        print(f"a unit test names {name}, which no rule file defines")
    if not defined:
        print("no alert found in " + " ".join(rules))
    return 1 if untested or unknown or not defined else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
