#!/usr/bin/env python3
"""check-package.py --zip ZIP --version V --product P [--same FILE=BUILT]...
       --arch NAME TOOLCHAIN... --lld-link LLD_LINK --cmake CMAKE FILE...

Unpacks the package as a user and a host developer get it and checks it: exactly the
files FILE... under one top folder; SHA256SUMS.txt right for every one of them; a version
resource with V and P in every .dll and .exe; each FILE named by --same the one the build
made; every binary stripped but those of developers/symbols/, and of the width of its
folder (x64 in developers/bin/x64 and developers/symbols/x64, x86 elsewhere); the notes
naming the version; rvxflash.exe a GUI program whose manifest asks for administrator
rights, common controls 6 and DPI awareness, and aspiinfo.exe one whose manifest asks
for administrator rights. Then for each width (--arch: x86 or x64 and the CMake toolchain
file of its MinGW compilers and objdump), against the unpacked files alone: kdll.h compiling as
C89 and as C++ into a program that imports the four exports from kdll.dll through
libkdll.dll.a, and through kdll.lib linked by lld-link; kdll.h stopping a compile of the
other width; and the sample host built by its CMakeLists.txt with find_package(kdll)
into a GUI program with its manifest, that imports the four exports and has kdll.dll
beside it."""
import argparse
import hashlib
import re
import struct
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

SIGNATURE = "VS_VERSION_INFO".encode("utf-16-le")

# A host as kdll.h describes it: every export, the parameter block of nine words (pointers
# and handles take 8 bytes in the 64-bit build).
HOST_PROGRAM = r"""
#include "kdll.h"
typedef char params_are_nine_words[
    sizeof(KdllParams) == (sizeof(void*) == 4 ? 36 : 56) ? 1 : -1];
static int UseTheExports(void)
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
# With MinGW's runtime, and as the entry point of a program that lld-link links without
# any runtime (there is no Microsoft C runtime here).
MAIN = "int main(void) { return UseTheExports(); }\n"
ENTRY = "int HostEntry(void) { return UseTheExports(); }\n"
EXPORTS = {"KDLL_Create", "KDLL_Open", "KDLL_Close", "KDLL_Destroy"}
MACHINES = {"x86": 0x14C, "x64": 0x8664}
LLD_MACHINES = {"x86": ["/machine:x86", "/safeseh:no"], "x64": ["/machine:x64"]}
# What the programs' manifests must ask Windows for.
ADMINISTRATOR = {"administrator rights": 'level="requireAdministrator"'}
PROGRAMS = {
    "rvxflash.exe": dict(ADMINISTRATOR, **{
        "common controls 6": 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
        "DPI awareness": ">true</dpiAware>"}),
    "aspiinfo.exe": ADMINISTRATOR,
}
SUBSYSTEMS = {"rvxflash.exe": 2, "aspiinfo.exe": 3}  # GUI, console
SAMPLE_PARTS = PROGRAMS["rvxflash.exe"]


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
    """The PE machine type and whether the file has COFF symbols (is not stripped)."""
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


def check_program(name, data, subsystem_wanted, parts):
    """A program whose subsystem is subsystem_wanted and whose manifest asks for parts."""
    subsystem, manifest = pe_subsystem_and_manifest(data)
    faults = []
    if subsystem != subsystem_wanted:
        faults.append(f"{name}: subsystem {subsystem}, expected {subsystem_wanted}")
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


def run(command, what, cwd=None):
    """Runs a command; the faults: what failed, with its output."""
    done = subprocess.run(command, capture_output=True, text=True, cwd=cwd)
    if done.returncode != 0:
        return [f"{what}: {(done.stderr or done.stdout).strip()[-2000:]}"]
    return []


def imports_four(objdump, program, what):
    names = imports_of_kdll(objdump, program)
    if names != EXPORTS:
        return [f"{what}: the program imports {sorted(names)} from kdll.dll"]
    return []


def build_hosts(arch, cc, cxx, objdump, lld_link, developers, work):
    """kdll.h as C89 and C++ linked with libkdll.dll.a, as C89 linked by lld-link with
    kdll.lib, and a compile of the other width stopped by kdll.h."""
    lib = developers / "lib" / arch
    width = ["-DKDLL_X64"] if arch == "x64" else []
    flags = ["-pedantic", "-Wall", "-Wextra", "-Werror", "-I", str(developers / "include")]
    faults = []
    for compiler, standard, suffix in ((cc, "c89", "c"), (cxx, "c++98", "cpp")):
        source = work / f"host-{arch}.{suffix}"
        source.write_text(HOST_PROGRAM + MAIN)
        program = work / f"host-{arch}-{standard}.exe"
        what = f"{arch}: kdll.h as {standard} with libkdll.dll.a"
        failed = run([compiler, f"-std={standard}"] + flags + width +
                     [str(source), str(lib / "libkdll.dll.a"), "-o", str(program)], what)
        faults += failed or imports_four(objdump, program, what)

    source = work / f"entry-{arch}.c"
    source.write_text(HOST_PROGRAM + ENTRY)
    obj, program = work / f"entry-{arch}.o", work / f"entry-{arch}.exe"
    what = f"{arch}: kdll.lib with lld-link"
    failed = run([cc, "-std=c89", "-O2", "-c"] + flags + width + [str(source), "-o", str(obj)],
                 what) or \
        run([lld_link, "/entry:HostEntry", "/subsystem:console", "/nodefaultlib"] +
            LLD_MACHINES[arch] + [str(obj), str(lib / "kdll.lib"), f"/out:{program}"], what)
    faults += failed or imports_four(objdump, program, what)

    # The other width's define: kdll.h must stop the compile and say why.
    wrong = [] if width else ["-DKDLL_X64"]
    stopped = subprocess.run([cc, "-std=c89", "-fsyntax-only"] + flags + wrong + [str(source)],
                             capture_output=True, text=True)
    if stopped.returncode == 0 or "#error \"kdll.h:" not in stopped.stderr:
        faults.append(f"{arch}: kdll.h let a compile {'without' if width else 'with'} KDLL_X64 "
                      f"pass: {stopped.stderr.strip()[:400]}")
    return faults


def build_sample(arch, objdump, toolchain, cmake, developers, work):
    """The sample host as its CMakeLists.txt builds it, found through find_package(kdll)."""
    build = work / f"sample-{arch}"
    what = f"{arch}: the sample with find_package(kdll)"
    faults = run([cmake, "-S", str(developers / "sample"), "-B", str(build), "-G", "Ninja",
                  f"-DCMAKE_TOOLCHAIN_FILE={toolchain}", f"-DCMAKE_PREFIX_PATH={developers}",
                  "-DCMAKE_BUILD_TYPE=Release",
                  "-DCMAKE_C_FLAGS=-pedantic -Wall -Wextra -Werror"], what) or \
        run([cmake, "--build", str(build)], what)
    if faults:
        return faults
    program = (build / "FlashHost.exe").read_bytes()
    faults += imports_four(objdump, build / "FlashHost.exe", what)
    faults += check_program(what, program, 2, SAMPLE_PARTS)
    if pe_machine_and_symbols(program)[0] != MACHINES[arch]:
        faults.append(f"{what}: the program is not {arch}")
    beside = build / "kdll.dll"
    if not beside.exists() or beside.read_bytes() != (developers / "bin" / arch /
                                                        "kdll.dll").read_bytes():
        faults.append(f"{what}: kdll.dll of bin/{arch} is not beside the program")
    return faults


def check_files(top, files, version, product, same):
    faults = []
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
        arch = "x64" if "/x64/" in name else "x86"
        if machine != MACHINES[arch]:
            faults.append(f"{name}: machine {machine:#x}, expected {arch}")
        if symbols != name.startswith("developers/symbols/"):
            faults.append(f"{name}: {'has' if symbols else 'lacks'} its symbol table")

    for name, built in same.items():
        if (top / name).read_bytes() != Path(built).read_bytes():
            faults.append(f"{name} in the zip is not {built}, the one the build made")
    for name, parts in PROGRAMS.items():
        faults += check_program(name, (top / name).read_bytes(), SUBSYSTEMS[name], parts)
    for note in ("developers/README.txt", "FLASHING.txt"):
        if version not in (top / note).read_text(errors="replace"):
            faults.append(f"{note} does not name version {version}")
    return faults


def toolchain_tools(toolchain):
    """The C and C++ compilers and the objdump that a toolchain file of ours names."""
    text = Path(toolchain).read_text()
    return [re.search(rf"set\({name} (\S+)\)", text).group(1)
            for name in ("CMAKE_C_COMPILER", "CMAKE_CXX_COMPILER", "KDLL_OBJDUMP")]


def check(options, work):
    with zipfile.ZipFile(options.zip) as archive:
        names = [n for n in archive.namelist() if not n.endswith("/")]
        archive.extractall(work)
    tops = {n.split("/", 1)[0] for n in names}
    if len(tops) != 1:
        return [f"the zip has {len(tops)} top folders: {sorted(tops)}"]
    top = work / tops.pop()
    files = sorted(n.split("/", 1)[1] for n in names)
    if files != sorted(options.files):
        missing = sorted(set(options.files) - set(files))
        extra = sorted(set(files) - set(options.files))
        return [f"files: missing {missing}, not expected {extra}"]
    same = dict(pair.split("=", 1) for pair in options.same)
    faults = check_files(top, files, options.version, options.product, same)
    developers = top / "developers"
    for arch, toolchain in options.arch:
        cc, cxx, objdump = toolchain_tools(toolchain)
        faults += build_hosts(arch, cc, cxx, objdump, options.lld_link, developers, work)
        faults += build_sample(arch, objdump, toolchain, options.cmake, developers, work)
    return faults


def main(argv):
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--zip", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--product", required=True)
    parser.add_argument("--same", action="append", default=[])
    parser.add_argument("--arch", nargs=2, action="append", default=[])
    parser.add_argument("--lld-link", required=True)
    parser.add_argument("--cmake", required=True)
    parser.add_argument("files", nargs="+")
    options = parser.parse_args(argv)
    if not Path(options.zip).exists():
        print(f"FAIL: {options.zip} not found: scripts/package.sh makes it")
        print("0 passed, 1 failed")
        return 1
    with tempfile.TemporaryDirectory() as work:
        faults = check(options, Path(work))
    for fault in faults:
        print("FAIL: " + fault)
    if faults:
        print("0 passed, 1 failed")
        return 1
    widths = " and ".join(a[0] for a in options.arch)
    print(f"{Path(options.zip).name}: {len(options.files)} files, sums, versions, widths and "
          f"stripping right; the programs' manifests; for {widths}: kdll.h as C89 and C++ "
          f"with libkdll.dll.a, kdll.lib with lld-link, the other width stopped, the sample "
          f"with find_package(kdll)")
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
