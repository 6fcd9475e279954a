#!/usr/bin/env python3
"""check-package.py ZIP VERSION PRODUCT BUILT_DLL CC CXX OBJDUMP FILE...

Unpacks the package as a host developer gets it and checks it: exactly the files FILE...
under one top folder; SHA256SUMS.txt right for every one of them; a version resource in
every .dll and .exe with VERSION and PRODUCT; kdll.dll the one the build made; the notes
naming the version; include/kdll.h compiling as C89 and as C++, and a program built
against it and lib/libkdll.dll.a importing the four exports from kdll.dll."""
import hashlib
import struct
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

SIGNATURE = "VS_VERSION_INFO".encode("utf-16-le")

# A host as kdll.h describes it: every export, the parameter block of nine words.
HOST_PROGRAM = r"""
#include "kdll.h"
typedef char params_are_nine_words[sizeof(KdllParams) == 36 ? 1 : -1];
int main(void)
{
    KdllParams params;
    KDLL_CreateFn create = KDLL_Create;
    int instance;
    ZeroMemory(&params, sizeof params);
    instance = create(params);
    KDLL_Open(params);
    KDLL_Close();
    KDLL_Destroy();
    return instance == 0;
}
"""
EXPORTS = {"KDLL_Create", "KDLL_Open", "KDLL_Close", "KDLL_Destroy"}


def version_strings(data):
    """The fixed file version and the StringFileInfo texts of a VS_VERSION_INFO."""
    start = data.find(SIGNATURE)
    if start < 6:
        return None, {}
    start -= 6
    texts = {}

    def node(offset):
        length, value_length, kind = struct.unpack_from("<HHH", data, offset)
        end_key = offset + 6
        while data[end_key:end_key + 2] != b"\0\0":
            end_key += 2
        key = data[offset + 6:end_key].decode("utf-16-le")
        value_at = (end_key + 2 + 3) & ~3
        value_size = value_length * 2 if kind == 1 else value_length
        if kind == 1 and value_length:
            texts[key] = data[value_at:value_at + value_size].decode("utf-16-le").rstrip("\0")
        child = (value_at + value_size + 3) & ~3
        while child < offset + length:
            child_length = struct.unpack_from("<H", data, child)[0]
            if child_length == 0:
                break
            node(child)
            child = (child + child_length + 3) & ~3
        return value_at

    value_at = node(start)
    ms, ls = struct.unpack_from("<II", data, value_at + 8)
    fixed = f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
    return fixed, texts


def numeric_version(version):
    parts = [int(p) for p in version.split(".")] + [0, 0, 0]
    return ".".join(str(p) for p in parts[:4])


def build_host(compiler, standard, source_name, include, lib, work, objdump):
    """Compiles the host program with the package's header and links it against the
    import library; returns the faults found."""
    source = work / source_name
    source.write_text(HOST_PROGRAM)
    program = work / (source_name + ".exe")
    run = subprocess.run([compiler, f"-std={standard}", "-pedantic", "-Wall", "-Wextra",
                          "-Werror", "-I", str(include), str(source), str(lib), "-o",
                          str(program)], capture_output=True, text=True)
    if run.returncode != 0:
        return [f"kdll.h as {standard}: {run.stderr.strip()}"]
    dump = subprocess.run([objdump, "-p", str(program)], capture_output=True, text=True,
                          check=True).stdout
    names, inside = set(), False
    for line in dump.splitlines():
        fields = line.split()
        if line.strip().startswith("DLL Name:"):
            inside = fields[-1].lower() == "kdll.dll"
        elif inside and line.startswith("\t") and len(fields) == 3 and fields[1].isdigit():
            names.add(fields[2])
    if names != EXPORTS:
        return [f"a {standard} program imports {sorted(names)} from kdll.dll"]
    return []


def check(zip_path, version, product, built_dll, cc, cxx, objdump, expected, work):
    faults = []
    with zipfile.ZipFile(zip_path) as archive:
        names = [n for n in archive.namelist() if not n.endswith("/")]
        archive.extractall(work)
    tops = {n.split("/", 1)[0] for n in names}
    if len(tops) != 1:
        return [f"the zip has {len(tops)} top folders: {sorted(tops)}"]
    top = work / tops.pop()
    files = sorted(n.split("/", 1)[1] for n in names)
    if files != sorted(expected):
        faults.append(f"files: got {files}, expected {sorted(expected)}")

    if faults:
        return faults
    listed = {}
    for line in (top / "SHA256SUMS.txt").read_text().splitlines():
        digest, _, name = line.partition(" *")
        listed[name] = digest
    for name in files:
        if name == "SHA256SUMS.txt":
            continue
        actual = hashlib.sha256((top / name).read_bytes()).hexdigest()
        if listed.get(name) != actual:
            faults.append(f"SHA256SUMS.txt: {name} listed as {listed.get(name)}, is {actual}")
    if set(listed) != set(files) - {"SHA256SUMS.txt"}:
        faults.append(f"SHA256SUMS.txt lists {sorted(listed)}")

    for name in files:
        if not name.endswith((".dll", ".exe")):
            continue
        fixed, texts = version_strings((top / name).read_bytes())
        want = {"FileVersion": version, "ProductVersion": version, "ProductName": product,
                "OriginalFilename": Path(name).name}
        got = {k: texts.get(k) for k in want}
        if fixed != numeric_version(version) or got != want:
            faults.append(f"{name}: version {fixed} {got}, expected "
                          f"{numeric_version(version)} {want}")

    if (top / "kdll.dll").read_bytes() != Path(built_dll).read_bytes():
        faults.append("kdll.dll in the zip is not the one the build made")
    for note in ("README.txt", "FLASHING.txt"):
        if version not in (top / note).read_text(errors="replace"):
            faults.append(f"{note} does not name version {version}")

    include, lib = top / "include", top / "lib" / "libkdll.dll.a"
    faults += build_host(cc, "c89", "host.c", include, lib, work, objdump)
    faults += build_host(cxx, "c++98", "host.cpp", include, lib, work, objdump)
    return faults


def main(argv):
    zip_path, version, product, built_dll, cc, cxx, objdump = argv[:7]
    expected = argv[7:]
    if not Path(zip_path).exists():
        print(f"FAIL: {zip_path} not found: scripts/package.sh makes it")
        print("0 passed, 1 failed")
        return 1
    with tempfile.TemporaryDirectory() as work:
        faults = check(zip_path, version, product, built_dll, cc, cxx, objdump, expected,
                       Path(work))
    for fault in faults:
        print("FAIL: " + fault)
    if faults:
        print("0 passed, 1 failed")
        return 1
    print(f"{Path(zip_path).name}: {len(expected)} files, sums and versions right; "
          f"kdll.h builds as C89 and C++ against the import library")
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 9:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1:]))
