#!/usr/bin/env python3
"""check-calls.py OBJDUMP SHIPPED SYMBOLS FUNCTION=RET...

Reads the calling conventions from the code of the shipped i686 DLL. SYMBOLS is the same
link before stripping; every instruction of a checked function must be the same in the
shipped file. A FUNCTION is named as the source names it, never by its linker symbol:
an export by its name in the shipped DLL's export table (KDLL_Create), any other function
by its name without parameters (TransferWorker, Downloader::RunTransfer), looked up among
the symbol copy's demangled names. A name that matches no function, or several, fails.

Each FUNCTION must return only with RET: "ret" (cdecl: the caller pops its arguments) or
"ret $0x10" (stdcall: the function pops 16 bytes). A jump out of the function is a tail
call: the function jumped to returns for it and is checked the same way. The x86_64
tests cannot see any of this: that ABI has one convention."""
import re
import subprocess
import sys

LABEL = re.compile(r"^([0-9a-f]+) <(.+)>:$")
SYMBOLIC = re.compile(r"\s*<[^>]*>")
# A jump or call target: "70c8152b" with symbols, "0x70c8152b" without.
TARGET = re.compile(r"^(\S+) (?:0x)?([0-9a-f]+)$")
# What follows a function's name in a demangled label: a stdcall suffix, a clone's
# suffix (GCC moves rarely run blocks into a ".cold" part), " const".
STDCALL = re.compile(r"@\d+$")
CLONE = re.compile(r"(?: \[clone [^\]]+\]|\.cold)$")
EXPORT_RVA = re.compile(r"^\s*\[\s*(\d+)\] \+base\[\s*\d+\] ([0-9a-f]+) Export RVA$")
EXPORT_NAME = re.compile(r"^\s*\[\s*(\d+)\] (\S+)$")
MAX_TAIL_CALLS = 4


def disassemble(objdump, binary):
    """(functions: label -> [(address, text)], instructions: address -> text)."""
    dump = subprocess.run([objdump, "-d", "-C", "--no-show-raw-insn", binary], check=True,
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


def source_name(label):
    """The name as the source writes it: "Downloader::RunTransfer" of
    "Downloader::RunTransfer() const", "TransferWorker" of "TransferWorker(void*)@4"."""
    name = STDCALL.sub("", CLONE.sub("", label))
    if name.endswith(" const"):
        name = name[: -len(" const")]
    if not name.endswith(")"):
        return name
    depth = 0
    for i in range(len(name) - 1, -1, -1):
        depth += {")": 1, "(": -1}.get(name[i], 0)
        if depth == 0:
            return name[:i]
    return name


def exports(objdump, binary):
    """Export name -> address, from the export table of the file itself."""
    dump = subprocess.run([objdump, "-p", binary], check=True, capture_output=True,
                          text=True).stdout
    base = int(re.search(r"^ImageBase\s+([0-9a-f]+)$", dump, re.M).group(1), 16)
    rvas, names, section = {}, {}, None
    for line in dump.splitlines():
        if line.startswith("Export Address Table"):
            section = "rva"
        elif line.startswith("[Ordinal/Name Pointer] Table"):
            section = "name"
        elif not line.strip():
            section = None
        elif section == "rva" and EXPORT_RVA.match(line):
            index, rva = EXPORT_RVA.match(line).groups()
            rvas[int(index)] = base + int(rva, 16)
        elif section == "name" and EXPORT_NAME.match(line):
            index, name = EXPORT_NAME.match(line).groups()
            names[name] = int(index)
    return {name: rvas[index] for name, index in names.items() if index in rvas}


def find(name, functions, starts, exported):
    """The label of the function the source calls name, or a fault."""
    if name in exported:
        label = starts.get(exported[name])
        return (label, None) if label else (None, f"{name}: the export's address "
                                                  f"{exported[name]:#x} starts no function")
    found = [label for label in functions if not CLONE.search(label)
             and source_name(label) == name]
    if len(found) == 1:
        return found[0], None
    if not found:
        return None, f"{name}: no export and no function of that name"
    return None, f"{name}: names {len(found)} functions: {', '.join(sorted(found))}"


def returns_of(label, functions, starts, shipped, faults, depth=0):
    """The return instructions that end a call of the function, tail calls followed."""
    body = list(functions.get(label, []))
    if not body:
        faults.append(f"{label}: no code")
        return []
    for part in (label + " [clone .cold]", label + ".cold"):
        body += functions.get(part, [])
    inside = {address for address, _ in body}
    found = []
    for address, text in body:
        if shipped.get(address) != text:
            faults.append(f"{label}: at {address:#x} the shipped DLL has "
                          f"'{shipped.get(address)}', the symbol copy '{text}'")
            return []
        mnemonic, _, operand = text.partition(" ")
        if mnemonic in ("ret", "retl"):
            found.append((label, "ret " + operand if operand else "ret"))
        elif mnemonic in ("jmp", "jmpl"):
            if operand.startswith("*"):
                faults.append(f"{label}: indirect jump '{text}' at {address:#x}: cannot follow")
                continue
            target = int(operand, 16)
            if target in inside:
                continue
            if depth >= MAX_TAIL_CALLS or target not in starts:
                faults.append(f"{label}: jump to {target:#x} at {address:#x} is not a tail "
                              f"call into a known function")
                continue
            found += returns_of(starts[target], functions, starts, shipped, faults, depth + 1)
    return found


def main(objdump, shipped_path, symbols_path, specs):
    functions, _ = disassemble(objdump, symbols_path)
    _, shipped = disassemble(objdump, shipped_path)
    exported = exports(objdump, shipped_path)
    starts = {body[0][0]: label for label, body in functions.items()
              if body and not CLONE.search(label)}
    passed = failed = 0
    for spec in specs:
        name, _, expected = spec.partition("=")
        label, fault = find(name, functions, starts, exported)
        faults = [fault] if fault else []
        found = returns_of(label, functions, starts, shipped, faults) if label else []
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
        print(f"{name} ({label}): returns only with '{expected}' ({len(found)} return(s))")
        passed += 1
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    if len(sys.argv) < 5:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]))
