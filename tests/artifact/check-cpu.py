#!/usr/bin/env python3
"""check-cpu.py OBJDUMP BINARY=LEVEL...

Counts the instructions of each binary's code that a Pentium (i586) lacks: cmov, fcmov,
fcomi/fucomi, MMX and SSE, the long nop and the other Pentium Pro and later additions.
LEVEL says what the binary promises: i586 (any Pentium, Pentium MMX, K6, 6x86: no such
instruction may appear), or i686 (a Pentium Pro or later, as the README states for it:
the count is only reported)."""
import re
import subprocess
import sys
from collections import Counter
from pathlib import Path

NEWER = re.compile(
    r"^(cmov\w+|fcmov\w+|fu?comip?|nop[lw]|sysenter|sysexit|rdpmc|popcnt|lzcnt|movbe|"
    r"ldmxcsr|stmxcsr|fxsave|fxrstor|[lms]fence|clflush|prefetch\w*|movnti|emms)$")
REGISTER = re.compile(r"%x?mm[0-9]")


def newer_instructions(objdump, binary):
    dump = subprocess.run([objdump, "-d", "--no-show-raw-insn", binary], check=True,
                          capture_output=True, text=True).stdout
    found = Counter()
    for line in dump.splitlines():
        fields = line.split("\t")
        if len(fields) < 2 or not fields[0].strip().endswith(":"):
            continue
        text = fields[-1].strip()
        if not text:
            continue
        mnemonic = text.split()[0]
        # An instruction with an MMX or SSE register is named by its register kind.
        if REGISTER.search(text):
            mnemonic = "mmx/sse " + mnemonic
        if NEWER.match(mnemonic) or mnemonic.startswith("mmx/sse "):
            found[mnemonic] += 1
    return found


def main(objdump, specs):
    passed = failed = 0
    for spec in specs:
        binary, _, level = spec.rpartition("=")
        name = Path(binary).name
        found = newer_instructions(objdump, binary)
        total = sum(found.values())
        detail = ", ".join(f"{m} {n}" for m, n in found.most_common())
        if level == "i586":
            if total:
                print(f"FAIL: {name} must run on a Pentium (i586), but has {total} newer "
                      f"instructions: {detail}")
                failed += 1
                continue
            print(f"{name}: no instruction newer than the Pentium (i586): runs on any Pentium")
        elif level == "i686":
            print(f"{name}: needs a Pentium Pro (i686) or later, as the README states: "
                  f"{total} newer instructions" + (f" ({detail})" if detail else ""))
        else:
            print(f"FAIL: {spec}: level must be i586 or i686")
            failed += 1
            continue
        passed += 1
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2:]))
