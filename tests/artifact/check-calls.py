#!/usr/bin/env python3
"""check-calls.py OBJDUMP SHIPPED SYMBOLS FUNCTION=RET...

Reads the calling conventions from the code of the shipped i686 DLL. SYMBOLS is the same
link before stripping, which names the functions; every instruction of a checked function
must be the same in the shipped file. Each FUNCTION (its symbol, e.g. _KDLL_Create or
_TransferWorker@4) must return only with RET: "ret" (cdecl: the caller pops its
arguments) or "ret $0x10" (stdcall: the function pops 16 bytes). A jump out of the
function is a tail call: the function jumped to returns for it and is checked the same
way. The x86_64 tests cannot see any of this: that ABI has one convention."""
import re
import subprocess
import sys

LABEL = re.compile(r"^([0-9a-f]+) <(.+)>:$")
SYMBOLIC = re.compile(r"\s*<[^>]*>")
# A jump or call target: "70c8152b" with symbols, "0x70c8152b" without.
TARGET = re.compile(r"^(\S+) (?:0x)?([0-9a-f]+)$")
MAX_TAIL_CALLS = 4


def disassemble(objdump, binary):
    """(functions: name -> [(address, text)], instructions: address -> text)."""
    dump = subprocess.run([objdump, "-d", "--no-show-raw-insn", binary], check=True,
                          capture_output=True, text=True).stdout
    functions, instructions, current = {}, {}, None
    for line in dump.splitlines():
        label = LABEL.match(line)
        if label:
            current = functions.setdefault(label.group(2), [])
            continue
        fields = line.split("\t")
        if len(fields) < 2 or not fields[0].strip().endswith(":"):
            continue
        address = int(fields[0].strip()[:-1], 16)
        text = " ".join(SYMBOLIC.sub("", fields[-1]).split())
        if not text:
            continue
        target = TARGET.match(text)
        if target:
            text = f"{target.group(1)} {target.group(2)}"
        instructions[address] = text
        if current is not None:
            current.append((address, text))
    return functions, instructions


def returns_of(name, functions, starts, shipped, faults, depth=0):
    """The return instructions that end a call of the function, tail calls followed."""
    body = functions.get(name)
    if not body:
        faults.append(f"{name}: not found in the symbols")
        return []
    # GCC may move the rarely run blocks of a function into a part of its own.
    body = body + functions.get(name + ".cold", [])
    inside = {address for address, _ in body}
    found = []
    for address, text in body:
        if shipped.get(address) != text:
            faults.append(f"{name}: at {address:#x} the shipped DLL has "
                          f"'{shipped.get(address)}', the symbol copy '{text}'")
            return []
        mnemonic, _, operand = text.partition(" ")
        if mnemonic in ("ret", "retl"):
            found.append((name, "ret " + operand if operand else "ret"))
        elif mnemonic in ("jmp", "jmpl"):
            if operand.startswith("*"):
                faults.append(f"{name}: indirect jump '{text}' at {address:#x}: cannot follow")
                continue
            target = int(operand, 16)
            if target in inside:
                continue
            if depth >= MAX_TAIL_CALLS or target not in starts:
                faults.append(f"{name}: jump to {target:#x} at {address:#x} is not a tail "
                              f"call into a known function")
                continue
            found += returns_of(starts[target], functions, starts, shipped, faults, depth + 1)
    return found


def main(objdump, shipped_path, symbols_path, specs):
    functions, _ = disassemble(objdump, symbols_path)
    _, shipped = disassemble(objdump, shipped_path)
    starts = {body[0][0]: name for name, body in functions.items()
              if body and not name.endswith(".cold")}
    passed = failed = 0
    for spec in specs:
        name, _, expected = spec.partition("=")
        faults = []
        found = returns_of(name, functions, starts, shipped, faults)
        if not found and not faults:
            faults.append(f"{name}: no return instruction")
        for where, text in found:
            if text != expected:
                faults.append(f"{name} returns with '{text}' (in {where}); expected "
                              f"'{expected}'")
        if faults:
            for fault in faults:
                print("FAIL: " + fault)
            failed += 1
            continue
        print(f"{name}: returns only with '{expected}' ({len(found)} return(s))")
        passed += 1
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    if len(sys.argv) < 5:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]))
