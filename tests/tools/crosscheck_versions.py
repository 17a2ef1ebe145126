#!/usr/bin/python3
"""Cross-checks our version reader against pefile on every file of a folder.

usage: crosscheck_versions.py BUILD_DIR [FOLDER]

Runs BUILD_DIR/dump_versions.exe under Wine (through scripts/wine-run.sh) and
pefile_versions.py on the same folder, then compares the sixteen fields of
every file. Prints the agreement rate per file and per field, and every
disagreement."""

import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
FIELDS = ["CompanyName", "FileDescription", "InternalName", "LegalCopyright",
          "LegalTrademarks", "OriginalFileName", "ProductName", "ProductVersion",
          "Comments", "StrucVerEx", "FileVerEx", "ProdVerEx", "FileFlagsEx",
          "FileOSEx", "FileTypeEx", "FileSubTypeEx"]


def table(output):
    rows = {}
    for line in output.decode("utf-8", "replace").splitlines():
        parts = line.split("\t")
        if len(parts) == 17:
            rows[parts[0]] = parts[1:]
    return rows


def main():
    try:
        import pefile  # noqa: F401  (used by pefile_versions.py)
    except ImportError:
        print("pefile is not installed (make deps): skipped")
        return 77
    build = os.path.abspath(sys.argv[1])
    folder = sys.argv[2] if len(sys.argv) > 2 else "/usr/lib/i386-linux-gnu/wine/i386-windows"
    if not os.path.isdir(folder):
        print("no folder %s: skipped" % folder)
        return 77
    windows_folder = "Z:" + os.path.abspath(folder).replace("/", "\\")
    ours = table(subprocess.run(
        [os.path.join(ROOT, "scripts", "wine-run.sh"), os.path.join(build, "dump_versions.exe"),
         windows_folder], check=True, stdout=subprocess.PIPE).stdout)
    theirs = table(subprocess.run(
        ["/usr/bin/python3", os.path.join(HERE, "pefile_versions.py"), folder],
        check=True, stdout=subprocess.PIPE).stdout)

    names = sorted(set(ours) | set(theirs))
    files_agree = 0
    versioned = 0
    field_agree = [0] * len(FIELDS)
    for name in names:
        a = ours.get(name)
        b = theirs.get(name)
        if a is None or b is None:
            print("MISSING %s: ours=%s pefile=%s" % (name, a is not None, b is not None))
            continue
        versioned += 1 if any(b) or any(a) else 0
        same = True
        for i, field in enumerate(FIELDS):
            if a[i] == b[i]:
                field_agree[i] += 1
            else:
                same = False
                print("DIFF %s %s: ours=%r pefile=%r" % (name, field, a[i], b[i]))
        files_agree += same
    total = len(names)
    print("files: %d (%d with version fields), all sixteen fields agree on %d = %.2f%%"
          % (total, versioned, files_agree, 100.0 * files_agree / max(total, 1)))
    cells = sum(field_agree)
    print("fields: %d of %d agree = %.3f%%" % (cells, total * len(FIELDS),
                                               100.0 * cells / max(total * len(FIELDS), 1)))
    for i, field in enumerate(FIELDS):
        if field_agree[i] != total:
            print("  %s: %d of %d" % (field, field_agree[i], total))
    return 0 if files_agree == total else 1


if __name__ == "__main__":
    sys.exit(main())
