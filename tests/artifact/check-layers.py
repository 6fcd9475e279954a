#!/usr/bin/env python3
"""check-layers.py SRC: fails when a folder of the library's sources includes a folder above
it. The folders, from the top: each may include itself and the folders below it, never one
above, so that no two of them depend on each other."""
import pathlib
import re
import sys

# Top first.
LAYERS = ["host", "ui", "download", "settings", "cmdtext", "scsi", "trace", "image", "base"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/', re.MULTILINE)


def main():
    src = pathlib.Path(sys.argv[1])
    rank = {name: i for i, name in enumerate(LAYERS)}
    failures = []
    folders = sorted(p.name for p in src.iterdir() if p.is_dir())
    for folder in folders:
        if folder not in rank:
            failures.append(f"{folder}/: a folder the layering does not place; add it to LAYERS")
            continue
        for path in sorted((src / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp", ".c", ".rc"):
                continue
            text = path.read_text(errors="replace")
            for included in INCLUDE.findall(text):
                if included in rank and rank[included] < rank[folder]:
                    failures.append(f"{path.relative_to(src)} includes {included}/, "
                                    f"which is above {folder}/")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(folders)} folders, {len(failures)} includes against the layering")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
