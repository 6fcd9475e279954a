#!/usr/bin/env python3
"""check-linux-packages.py DIST VERSION: checks the tar.gz and .deb of rvxflash for
x86_64 and i686 that scripts/package.sh made into DIST, as a user unpacks or installs
them: the files, a statically linked program of the right architecture (the same in both
packages), the man page, the package's name, version and architecture; the x86_64 program
runs and names itself with the version. Exits 0 when every check passes."""
import gzip
import os
import struct
import subprocess
import sys
import tarfile
import tempfile

# ELF class and machine of each architecture, and the .deb's name for it.
ARCHES = {"x86_64": (2, 62, "amd64"), "i686": (1, 3, "i386")}
PT_INTERP = 3
failures = []


def check(name, got, expected):
    ok = got == expected
    print(f"{'ok  ' if ok else 'FAIL'} {name}: got {got!r}" + ("" if ok else f", expected {expected!r}"))
    if not ok:
        failures.append(name)


def elf_facts(data):
    """(class, machine, has an interpreter): a static program has none."""
    if data[:4] != b"\x7fELF":
        return (None, None, None)
    elf_class = data[4]
    machine = struct.unpack_from("<H", data, 18)[0]
    if elf_class == 2:
        phoff, phentsize, phnum = struct.unpack_from("<Q", data, 32)[0], *struct.unpack_from("<HH", data, 54)
    else:
        phoff, phentsize, phnum = struct.unpack_from("<I", data, 28)[0], *struct.unpack_from("<HH", data, 42)
    types = [struct.unpack_from("<I", data, phoff + i * phentsize)[0] for i in range(phnum)]
    return (elf_class, machine, PT_INTERP in types)


def deb_files(path):
    """The files of a .deb's data part, by name (./usr/...)."""
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run(["dpkg-deb", "-x", path, folder], check=True)
        files = {}
        for base, _, names in os.walk(folder):
            for name in names:
                full = os.path.join(base, name)
                files["./" + os.path.relpath(full, folder)] = open(full, "rb").read()
        return files


def main():
    dist, version = sys.argv[1:3]
    for arch, (elf_class, machine, deb_arch) in ARCHES.items():
        top = f"rvxflash-{version}-linux-{arch}"
        with tarfile.open(os.path.join(dist, f"{top}.tar.gz")) as tar:
            members = {m.name: m for m in tar.getmembers() if m.isfile()}
            check(f"{arch} tar.gz: its files", sorted(members),
                  [f"{top}/bin/rvxflash", f"{top}/share/doc/rvxflash/rvxflash.schema.json",
                   f"{top}/share/man/man1/rvxflash.1.gz"])
            program = tar.extractfile(members[f"{top}/bin/rvxflash"]).read() if members else b""
            manual = tar.extractfile(members[f"{top}/share/man/man1/rvxflash.1.gz"]).read() if members else b""
        check(f"{arch} tar.gz: the program (class, machine, interpreter)", elf_facts(program),
              (elf_class, machine, False))
        page = gzip.decompress(manual).decode() if manual else ""
        check(f"{arch} tar.gz: the man page lists the exit codes and names the schema",
              (".SH EXIT STATUS" in page, "rvxflash.schema.json" in page), (True, True))

        deb = os.path.join(dist, f"rvxflash_{version}_{deb_arch}.deb")
        fields = subprocess.run(["dpkg-deb", "-f", deb, "Package", "Version", "Architecture"],
                                capture_output=True, text=True).stdout.split("\n")
        check(f"{arch} .deb: name, version, architecture", fields[:3],
              ["Package: rvxflash", f"Version: {version}", f"Architecture: {deb_arch}"])
        files = deb_files(deb)
        check(f"{arch} .deb: its files", sorted(files),
              ["./usr/bin/rvxflash", "./usr/share/doc/rvxflash/rvxflash.schema.json",
               "./usr/share/man/man1/rvxflash.1.gz"])
        check(f"{arch} .deb: the program of the tar.gz", files.get("./usr/bin/rvxflash") == program, True)

        if arch == "x86_64" and program:
            with tempfile.TemporaryDirectory() as folder:
                path = os.path.join(folder, "rvxflash")
                open(path, "wb").write(program)
                os.chmod(path, 0o755)
                run = subprocess.run([path, "--version"], capture_output=True, text=True)
                check("x86_64: rvxflash --version", (run.returncode, f"Downloader {version} " in run.stdout),
                      (0, True))

    print(f"linux packages: {len(failures)} check(s) failed" if failures else "linux packages: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
