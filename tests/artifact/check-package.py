#!/usr/bin/env python3
"""check-package.py ZIP VERSION PRODUCT BUILT_DLL CC CXX RC OBJDUMP FILE...

Unpacks the package as a host developer gets it and checks it: exactly the files FILE...
under one top folder; SHA256SUMS.txt right for every one of them; a version resource in
every .dll and .exe with VERSION and PRODUCT; kdll.dll the one the build made; the notes
naming the version; rvxflash.exe a GUI program whose manifest asks for administrator
rights, common controls 6 and DPI awareness; include/kdll.h compiling as C89 and as C++,
and a program built against it and lib/libkdll.dll.a importing the four exports from
kdll.dll; the sample host (sample/) compiling as C89 with its resources into such a
program, against the unpacked files alone."""
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

# What the program's manifest must ask Windows for.
MANIFEST_PARTS = {
    "administrator rights": 'level="requireAdministrator"',
    "common controls 6": 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
    "DPI awareness": ">true</dpiAware>",
}
PROGRAM = "rvxflash.exe"
SUBSYSTEM_GUI = 2


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


def check_program(name, data):
    """The end user's program: a GUI program whose manifest asks for what it needs."""
    subsystem, manifest = pe_subsystem_and_manifest(data)
    faults = []
    if subsystem != SUBSYSTEM_GUI:
        faults.append(f"{name}: subsystem {subsystem}, expected {SUBSYSTEM_GUI} (GUI)")
    if manifest is None:
        return faults + [f"{name}: no manifest (resource 1 of type 24)"]
    text = " ".join(manifest.split())
    for what, part in MANIFEST_PARTS.items():
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


def link_host(command, what, objdump, program):
    """Runs the compiler's command that makes program; the faults: what failed, or a
    program that does not import exactly the four exports from kdll.dll."""
    run = subprocess.run(command + ["-o", str(program)], capture_output=True, text=True)
    if run.returncode != 0:
        return [f"{what}: {run.stderr.strip()}"]
    names = imports_of_kdll(objdump, program)
    if names != EXPORTS:
        return [f"{what}: the program imports {sorted(names)} from kdll.dll"]
    return []


def build_host(compiler, standard, source_name, include, lib, work, objdump):
    """Compiles the host program with the package's header and links it against the
    import library; returns the faults found."""
    source = work / source_name
    source.write_text(HOST_PROGRAM)
    return link_host([compiler, f"-std={standard}", "-pedantic", "-Wall", "-Wextra", "-Werror",
                      "-I", str(include), str(source), str(lib)], f"kdll.h as {standard}",
                     objdump, work / (source_name + ".exe"))


def build_sample(compiler, rc, top, work, objdump):
    """Builds the sample host as its opening comment says, with nothing but the package;
    returns the faults found."""
    sample = top / "sample"
    resources = work / "sample-res.o"
    program = work / "sample.exe"
    run = subprocess.run([rc, str(sample / "FlashHost.rc"), "-O", "coff", "-o", str(resources)],
                         capture_output=True, text=True, cwd=sample)
    if run.returncode != 0:
        return [f"sample/FlashHost.rc: {run.stderr.strip()}"]
    faults = link_host([compiler, "-std=c89", "-pedantic", "-Wall", "-Wextra", "-Werror",
                        "-mwindows", "-I", str(top / "include"), "-I", str(sample),
                        str(sample / "FlashHost.c"), str(sample / "DriveByAddress.c"),
                        str(resources),
                        str(top / "lib" / "libkdll.dll.a"), "-lcomctl32"],
                       "sample/FlashHost.c as C89", objdump, program)
    if faults:
        return faults
    return check_program("the sample built from the package", program.read_bytes())


def check(zip_path, version, product, built_dll, cc, cxx, rc, objdump, expected, work):
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

    faults += check_program(PROGRAM, (top / PROGRAM).read_bytes())
    if (top / "kdll.dll").read_bytes() != Path(built_dll).read_bytes():
        faults.append("kdll.dll in the zip is not the one the build made")
    for note in ("README.txt", "FLASHING.txt"):
        if version not in (top / note).read_text(errors="replace"):
            faults.append(f"{note} does not name version {version}")

    include, lib = top / "include", top / "lib" / "libkdll.dll.a"
    faults += build_host(cc, "c89", "host.c", include, lib, work, objdump)
    faults += build_host(cxx, "c++98", "host.cpp", include, lib, work, objdump)
    faults += build_sample(cc, rc, top, work, objdump)
    return faults


def main(argv):
    zip_path, version, product, built_dll, cc, cxx, rc, objdump = argv[:8]
    expected = argv[8:]
    if not Path(zip_path).exists():
        print(f"FAIL: {zip_path} not found: scripts/package.sh makes it")
        print("0 passed, 1 failed")
        return 1
    with tempfile.TemporaryDirectory() as work:
        faults = check(zip_path, version, product, built_dll, cc, cxx, rc, objdump, expected,
                       Path(work))
    for fault in faults:
        print("FAIL: " + fault)
    if faults:
        print("0 passed, 1 failed")
        return 1
    print(f"{Path(zip_path).name}: {len(expected)} files, sums and versions right; "
          f"{PROGRAM} a GUI program with its manifest; kdll.h builds as C89 and C++ and the "
          f"sample as C89 against the import library")
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 10:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1:]))
