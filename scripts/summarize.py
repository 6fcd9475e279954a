#!/usr/bin/env python3
"""Adds up the results of every build's test run into one closing line.

Each ctest entry counts once, except a GoogleTest program, which counts its test cases
(from the XML file it wrote as results/<entry>.xml)."""
import sys
import xml.etree.ElementTree as ET
from pathlib import Path


def gtest_counts(path):
    root = ET.parse(path).getroot()
    tests = int(root.get("tests", 0))
    failed = int(root.get("failures", 0)) + int(root.get("errors", 0))
    skipped = sum(1 for case in root.iter("testcase")
                  if case.find("skipped") is not None or case.get("result") == "skipped")
    return tests - failed - skipped, failed, skipped


def main(build_dirs):
    passed = failed = skipped = 0
    for build in map(Path, build_dirs):
        junit = build / "results" / "ctest-junit.xml"
        if not junit.exists():
            print(f"summary: {build.name}: no results", file=sys.stderr)
            failed += 1
            continue
        for case in ET.parse(junit).getroot().iter("testcase"):
            name = case.get("name")
            ok = case.get("status") == "run" and case.find("failure") is None
            details = build / "results" / f"{name}.xml"
            if details.exists():
                p, f, s = gtest_counts(details)
                if not ok and f == 0:
                    f = 1  # the program failed outside any test case (a crash, a time-out)
                passed, failed, skipped = passed + p, failed + f, skipped + s
            elif ok:
                passed += 1
            else:
                failed += 1
    line = f"{passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped"
    print(line)
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
