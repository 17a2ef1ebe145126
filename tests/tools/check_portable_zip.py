#!/usr/bin/env python3
"""check_portable_zip.py SOURCE_DIR ZIP: the portable zip holds exactly the
files of packaging/files.txt, all in one folder, each the same bytes as the
built or written file."""
import os
import sys
import zipfile

source, archive = sys.argv[1], sys.argv[2]
listed = {}
with open(os.path.join(source, "packaging", "files.txt"), encoding="utf-8") as f:
    for line in f:
        fields = line.split()
        if len(fields) == 2 and not fields[0].startswith("#"):
            listed[os.path.basename(fields[1])] = os.path.join(source, fields[1])

problems = []
with zipfile.ZipFile(archive) as z:
    names = z.namelist()
    folders = {name.split("/")[0] for name in names}
    if len(folders) != 1 or any(name.count("/") != 1 for name in names):
        problems.append(f"not one folder: {sorted(names)}")
    held = {name.split("/")[-1]: name for name in names}
    for name in sorted(set(listed) - set(held)):
        problems.append(f"missing: {name}")
    for name in sorted(set(held) - set(listed)):
        problems.append(f"not listed: {name}")
    for name in sorted(set(held) & set(listed)):
        with open(listed[name], "rb") as f:
            if z.read(held[name]) != f.read():
                problems.append(f"differs from the tree: {name}")
    if z.testzip() is not None:
        problems.append("damaged archive")

for problem in problems:
    print(problem)
print(f"{len(listed)} files listed, {len(held)} in the zip")
sys.exit(1 if problems else 0)
