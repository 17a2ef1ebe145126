#!/usr/bin/env python3
"""sizes.py SOURCE_DIR OUT.md [--check]: the size of every shipped file (the list of
packaging/files.txt) against its goal, and of the portable zip they make,
printed one line a file and written as a Markdown table for the README.

A file without a goal here is reported as such, so that a new shipped file
cannot go unmeasured. With --check the exit code is 1 unless every file is
built and within its goal.
"""
import io
import os
import sys
import zipfile

KB = 1024
MB = 1024 * 1024
# What each file may weigh. The programs are what a user downloads and what
# Windows maps at every start; the hosts start for every registration and
# every type library read, so they stay far smaller.
GOALS = {
    "calvorn.exe": 1.5 * MB,
    "calvorn64.exe": 1.5 * MB,
    "calvorn-reghost32.exe": 32 * KB,
    "calvorn-reghost64.exe": 32 * KB,
    "calvorn-typelib32.exe": 400 * KB,
    "calvorn-typelib64.exe": 400 * KB,
    "README.md": 160 * KB,
    "README.html": 160 * KB,
    # The guide carries its pictures within it.
    "guide.html": 1 * MB,
    "LICENSE": 4 * KB,
    "portable zip": 2 * MB,
}


def shipped(source):
    with open(os.path.join(source, "packaging", "files.txt"), encoding="utf-8") as f:
        for line in f:
            fields = line.split(None, 1)
            if len(fields) == 2 and fields[0] in ("32", "64"):
                yield os.path.join(source, fields[1].strip())


def human(size):
    return f"{size / MB:.2f} MB" if size >= MB else f"{size / KB:.1f} KB"


def main():
    source, out = sys.argv[1], sys.argv[2]
    check = "--check" in sys.argv[3:]
    rows = []
    buffer = io.BytesIO()
    complete = True
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for path in shipped(source):
            name = os.path.basename(path)
            if not os.path.isfile(path):
                rows.append((name, None, GOALS.get(name)))
                complete = False
                continue
            rows.append((name, os.path.getsize(path), GOALS.get(name)))
            z.write(path, name)
    rows.append(("portable zip", len(buffer.getvalue()) if complete else None,
                 GOALS["portable zip"]))

    print(f"{'file':30} {'bytes':>10} {'goal':>10} {'ratio':>7}  verdict")
    failed = False
    table = ["| File | Size | Goal | |", "| --- | ---: | ---: | --- |"]
    for name, size, goal in rows:
        if size is None:
            verdict = "NOT BUILT" if name != "portable zip" else "INCOMPLETE"
        elif goal is None:
            verdict = "NO GOAL"
        else:
            verdict = "MET" if size <= goal else "NOT MET"
        failed = failed or verdict != "MET"
        ratio = f"{size / goal:7.2f}" if size and goal else f"{'-':>7}"
        print(f"{name:30} {size if size is not None else '-':>10} "
              f"{int(goal) if goal else '-':>10} {ratio}  {verdict}")
        table.append(f"| {name} | {human(size) if size is not None else '-'} | "
                     f"{human(goal) if goal else '-'} | {verdict.lower()} |")
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    with open(out + ".part", "w", encoding="utf-8") as f:
        f.write("\n".join(table) + "\n")
    os.replace(out + ".part", out)
    print(f"  (the table for the README: {os.path.relpath(out)})")
    return 1 if check and failed else 0


if __name__ == "__main__":
    sys.exit(main())
