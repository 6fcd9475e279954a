#!/usr/bin/env python3
"""check-package.py ZIP VERSION PRODUCT LLD_LINK CMAKE X86_TOOLCHAIN X64_TOOLCHAIN
                    SAME FILE...

Unpacks the package as a user and a host developer get it and checks it: exactly the
files FILE... under one top folder; SHA256SUMS.txt right for every one of them; a version
resource with VERSION and PRODUCT in every .dll and .exe; the files that SAME names
(FILE=BUILT,...) the ones the build made; every binary stripped but those of
developers/symbols/, and x64 in the x64 folders, x86 elsewhere; the notes naming the
version; rvxflash.exe a GUI program whose manifest asks for administrator rights, common
controls 6 and DPI awareness, aspiinfo.exe one whose manifest asks for administrator
rights. Then for each width, with the compilers of its toolchain file and against the
unpacked files alone: include/kdll.h compiling as C89 and as C++ into a program that
imports the four exports through libkdll.dll.a, and as C89 into one that lld-link links
with kdll.lib; kdll.h stopping a compile of the other width; the sample host built by
its CMakeLists.txt with find_package(kdll) into a GUI program with its manifest that
imports the four exports, kdll.dll beside it."""
import hashlib
import re
import struct
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

SIGNATURE = "VS_VERSION_INFO".encode("utf-16-le")

# A host as kdll.h describes it: every export, the parameter block of nine words (the
# handles of 8 bytes in the 64-bit build). ENTRY: lld-link's, without any C runtime.
HOST_PROGRAM = r"""
#include "kdll.h"
typedef char params_are_nine_words[sizeof(KdllParams) == (sizeof(void*) == 4 ? 36 : 56) ? 1 : -1];
#ifndef ENTRY
#define ENTRY main
#endif
int ENTRY(void)
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

# What the programs' manifests must ask Windows for, and their subsystems (GUI, console).
ADMINISTRATOR = {"administrator rights": 'level="requireAdministrator"'}
MANIFEST_PARTS = dict(ADMINISTRATOR, **{
    "common controls 6": 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
    "DPI awareness": ">true</dpiAware>"})
PROGRAMS = {"rvxflash.exe": (2, MANIFEST_PARTS), "aspiinfo.exe": (3, ADMINISTRATOR)}
MACHINES = {"x86": 0x14C, "x64": 0x8664}
LLD_LINK = {"x86": ["/machine:x86", "/safeseh:no"], "x64": ["/machine:x64"]}


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


def pe_machine_and_symbols(data):
    """The PE machine type, and whether the file has COFF symbols (is not stripped)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    machine, symbols = struct.unpack_from("<H10xI", data, pe + 4)
    return machine, symbols != 0


def pe_subsystem_and_manifest(data):
    """The PE subsystem and the text of manifest resource 1 (type 24), or None."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    subsystem = struct.unpack_from("<H", data, optional + 68)[0]
    # The data directories follow the Windows fields, which PE32+ makes 16 bytes longer.
    directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    table = optional + optional_size

    def file_offset(rva):
        for i in range(sections):
            size, address, _, raw = struct.unpack_from("<IIII", data, table + i * 40 + 8)
            if address <= rva < address + size:
                return rva - address + raw
        raise ValueError(f"RVA {rva:#x} lies in no section")

    if resource_rva == 0:
        return subsystem, None
    root = file_offset(resource_rva)

    def entry(directory, wanted):
        """The offset (from the root) that entry id wanted of a directory points to."""
        named, ids = struct.unpack_from("<HH", data, root + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, root + directory + 16 + i * 8)
            if wanted is None or name == wanted:
                return target & 0x7FFFFFFF
        return None

    offset = 0
    for wanted in (24, 1, None):  # type RT_MANIFEST, id 1, any language
        offset = entry(offset, wanted)
        if offset is None:
            return subsystem, None
    rva, size = struct.unpack_from("<II", data, root + offset)
    start = file_offset(rva)
    return subsystem, data[start:start + size].decode("utf-8", errors="replace")


def check_program(name, data, wanted=2, parts=MANIFEST_PARTS):
    """A program of subsystem wanted whose manifest asks for parts."""
    subsystem, manifest = pe_subsystem_and_manifest(data)
    faults = []
    if subsystem != wanted:
        faults.append(f"{name}: subsystem {subsystem}, expected {wanted}")
    if manifest is None:
        return faults + [f"{name}: no manifest (resource 1 of type 24)"]
    text = " ".join(manifest.split())
    for what, part in parts.items():
        if part not in text:
            faults.append(f"{name}: the manifest does not ask for {what} ({part})")
    return faults


def numeric_version(version):
    parts = [int(p) for p in version.split(".")] + [0, 0, 0]
    return ".".join(str(p) for p in parts[:4])


def imports_of_kdll(objdump, program):
    dump = subprocess.run([objdump, "-p", str(program)], capture_output=True, text=True,
                          check=True).stdout
    names, inside = set(), False
    for line in dump.splitlines():
        fields = line.split()
        if line.strip().startswith("DLL Name:"):
            inside = fields[-1].lower() == "kdll.dll"
        elif inside and line.startswith("\t") and len(fields) == 3 and fields[1].isdigit():
            names.add(fields[2])
    return names


def link_host(commands, what, objdump, program):
    """Runs the commands that make program; the faults: what failed, or a program that
    does not import exactly the four exports from kdll.dll."""
    for command in commands:
        run = subprocess.run(command, capture_output=True, text=True)
        if run.returncode != 0:
            return [f"{what}: {(run.stderr or run.stdout).strip()[-2000:]}"]
    names = imports_of_kdll(objdump, program)
    if names != EXPORTS:
        return [f"{what}: the program imports {sorted(names)} from kdll.dll"]
    return []


def build_hosts(arch, toolchain, lld_link, cmake, top, work):
    """Builds hosts of the width arch with the tools of its toolchain file against the
    package alone; returns the faults found."""
    cc, cxx, objdump = [re.search(rf"set\({name} (\S+)\)", Path(toolchain).read_text())[1]
                        for name in ("CMAKE_C_COMPILER", "CMAKE_CXX_COMPILER", "KDLL_OBJDUMP")]
    developers = top / "developers"
    lib = developers / "lib" / arch
    source = work / f"host-{arch}.c"
    source.write_text(HOST_PROGRAM)
    flags = ["-pedantic", "-Wall", "-Wextra", "-Werror", "-I", str(developers / "include"),
             str(source)] + (["-DKDLL_X64"] if arch == "x64" else [])
    faults = []
    for compiler, standard in ((cc, "c89"), (cxx, "c++98")):
        program = work / f"host-{arch}-{standard}.exe"
        faults += link_host([[compiler, f"-std={standard}"] + flags +
                             [str(lib / "libkdll.dll.a"), "-o", str(program)]],
                            f"{arch}: kdll.h as {standard}", objdump, program)
    obj, program = work / f"host-{arch}.o", work / f"host-{arch}-lld.exe"
    faults += link_host([[cc, "-std=c89", "-O2", "-c", "-DENTRY=HostEntry", "-o", str(obj)] +
                         flags,
                         [lld_link, "/entry:HostEntry", "/subsystem:console", "/nodefaultlib",
                          str(obj), str(lib / "kdll.lib"), f"/out:{program}"] + LLD_LINK[arch]],
                        f"{arch}: kdll.lib with lld-link", objdump, program)
    other = [f for f in flags if f != "-DKDLL_X64"] + ([] if arch == "x64" else ["-DKDLL_X64"])
    run = subprocess.run([cc, "-fsyntax-only"] + other, capture_output=True, text=True)
    if run.returncode == 0 or '#error "kdll.h:' not in run.stderr:
        faults.append(f"{arch}: kdll.h let a compile of the other width pass")

    build = work / f"sample-{arch}"
    program = build / "FlashHost.exe"
    faults += link_host([[cmake, "-S", str(developers / "sample"), "-B", str(build), "-G",
                          "Ninja", f"-DCMAKE_TOOLCHAIN_FILE={toolchain}",
                          f"-DCMAKE_PREFIX_PATH={developers}",
                          "-DCMAKE_C_FLAGS=-pedantic -Wall -Wextra -Werror"],
                         [cmake, "--build", str(build)]],
                        f"{arch}: the sample with find_package(kdll)", objdump, program)
    if program.exists():
        faults += check_program(f"{arch}: the sample", program.read_bytes())
        beside, shipped = build / "kdll.dll", developers / "bin" / arch / "kdll.dll"
        if not beside.exists() or beside.read_bytes() != shipped.read_bytes():
            faults.append(f"{arch}: the sample has not kdll.dll of bin/{arch} beside it")
    return faults


def check(zip_path, version, product, lld_link, cmake, toolchains, same, expected, work):
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
        data = (top / name).read_bytes()
        fixed, texts = version_strings(data)
        want = {"FileVersion": version, "ProductVersion": version, "ProductName": product,
                "OriginalFilename": Path(name).name}
        got = {k: texts.get(k) for k in want}
        if fixed != numeric_version(version) or got != want:
            faults.append(f"{name}: version {fixed} {got}, expected "
                          f"{numeric_version(version)} {want}")
        machine, symbols = pe_machine_and_symbols(data)
        if machine != MACHINES["x64" if "/x64/" in name else "x86"]:
            faults.append(f"{name}: machine {machine:#x}, not of its folder's width")
        if symbols != name.startswith("developers/symbols/"):
            faults.append(f"{name}: {'has' if symbols else 'lacks'} its symbols")

    for name, (subsystem, parts) in PROGRAMS.items():
        faults += check_program(name, (top / name).read_bytes(), subsystem, parts)
    for name, built in (pair.split("=", 1) for pair in same.split(",")):
        if (top / name).read_bytes() != Path(built).read_bytes():
            faults.append(f"{name} in the zip is not {built}, the one the build made")
    for note in ("developers/README.txt", "FLASHING.txt"):
        if version not in (top / note).read_text(errors="replace"):
            faults.append(f"{note} does not name version {version}")

    for arch, toolchain in zip(("x86", "x64"), toolchains):
        faults += build_hosts(arch, toolchain, lld_link, cmake, top, work)
    return faults


def main(argv):
    zip_path, version, product, lld_link, cmake, x86, x64, same = argv[:8]
    expected = argv[8:]
    if not Path(zip_path).exists():
        print(f"FAIL: {zip_path} not found: scripts/package.sh makes it")
        print("0 passed, 1 failed")
        return 1
    with tempfile.TemporaryDirectory() as work:
        faults = check(zip_path, version, product, lld_link, cmake, (x86, x64), same, expected,
                       Path(work))
    for fault in faults:
        print("FAIL: " + fault)
    if faults:
        print("0 passed, 1 failed")
        return 1
    print(f"{Path(zip_path).name}: {len(expected)} files, sums, versions, widths and symbols "
          f"right; the programs' manifests; for x86 and x64: kdll.h as C89 and C++ with "
          f"libkdll.dll.a, kdll.lib with lld-link, the other width stopped, the sample with "
          f"find_package(kdll)")
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 10:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1:]))
