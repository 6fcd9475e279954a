#!/usr/bin/env python3
"""check-imports.py OBJDUMP FUNCTIONS[,FUNCTIONS...] STUBS BINARY...

Every function that a shipped i686 binary imports must be one that Windows 98 SE and
Windows NT 4.0 SP6 both implement (FUNCTIONS), or one that Windows 9x has only as a
failing stub and whose failure is harmless there (STUBS, one reason per line). Anything
else would keep the binary from loading on one of them, or fail there unnoticed. The
64-bit libraries are held to the same lists plus the one of the 64-bit Windows they
need (several FUNCTIONS lists, separated by commas)."""
import subprocess
import sys
from pathlib import Path


def read_functions(path):
    """'[dll]' headers, then one function a line; # starts a comment."""
    known = set()
    dll = None
    for line in Path(path).read_text().splitlines():
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        if line.startswith("[") and line.endswith("]"):
            dll = line[1:-1].lower()
        elif dll is not None:
            known.add((dll, line))
    return known


def read_stubs(path):
    """'dll function [binary,...]: reason' lines, the binaries the stub is harmless in
    (all when none are named); a stub without its reason is a fault of the list."""
    stubs, faults = {}, []
    for number, line in enumerate(Path(path).read_text().splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        head, _, reason = line.partition(":")
        words = head.split()
        if len(words) not in (2, 3) or not reason.strip():
            faults.append(f"{path}:{number}: not 'dll function [binary,...]: reason': {line}")
            continue
        binaries = set(words[2].lower().split(",")) if len(words) == 3 else None
        stubs[(words[0].lower(), words[1])] = (binaries, reason.strip())
    return stubs, faults


def stub_for(stubs, pair, name):
    """The reason that makes this stub harmless in the named binary, or None."""
    binaries, reason = stubs.get(pair, (set(), None))
    if binaries is None or name.lower() in binaries:
        return reason
    return None


def imported_functions(objdump, binary):
    """(dll, function) pairs from the import tables that objdump prints."""
    dump = subprocess.run([objdump, "-p", binary], check=True, capture_output=True,
                          text=True).stdout
    pairs, dll = [], None
    for line in dump.splitlines():
        text = line.strip()
        if text.startswith("DLL Name:"):
            dll = text.split(":", 1)[1].strip().lower()
        elif dll is not None and line.startswith("\t") and text and text[0] in "0123456789abcdef":
            fields = text.split()
            # "vma hint name" for an import by name, "vma <none> ordinal" or fewer otherwise.
            if len(fields) >= 3 and fields[1].isdigit():
                pairs.append((dll, fields[2]))
            elif len(fields) >= 2:
                pairs.append((dll, "ordinal " + fields[-1]))
        elif not text:
            continue
        elif text.startswith("The ") or text.startswith("There is"):
            dll = None
    return pairs


def main(objdump, functions_paths, stubs_path, binaries):
    known = set()
    for path in functions_paths.split(","):
        known |= read_functions(path)
    lists = " and ".join(Path(p).name for p in functions_paths.split(","))
    stubs, faults = read_stubs(stubs_path)
    for fault in faults:
        print("FAIL: " + fault)
    failed = len(faults)
    passed = 0
    for binary in binaries:
        name = Path(binary).name
        pairs = imported_functions(objdump, binary)
        bad = [p for p in pairs if p not in known and stub_for(stubs, p, name) is None]
        if not pairs:
            bad = [("(none)", "no import table found")]
        for dll, function in bad:
            print(f"FAIL: {name} imports {dll} {function}: not on {lists}")
        for pair in sorted(p for p in pairs if stub_for(stubs, p, name) is not None):
            print(f"{name}: {pair[0]} {pair[1]} is a stub on Windows 9x: "
                  f"{stub_for(stubs, pair, name)}")
        if bad:
            failed += 1
        else:
            passed += 1
            print(f"{name}: {len(pairs)} imported functions, all on the lists")
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    if len(sys.argv) < 5:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]))
