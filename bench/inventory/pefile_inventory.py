#!/usr/bin/python3
"""The inventory's columns of every component of a folder as pefile and
hashlib give them (the cross-check's reading), one CSV line per file: what
the folder report's default columns cost in Python.

usage: pefile_inventory.py FOLDER"""

import csv
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "tools"))

import crosscheck_versions  # noqa: E402
import pefile  # noqa: E402
import pefile_versions  # noqa: E402

crosscheck_versions.pefile = pefile
crosscheck_versions.pefile_versions = pefile_versions


def main():
    folder = sys.argv[1]
    out = csv.writer(sys.stdout)
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path) and name.lower().endswith((".dll", ".ocx", ".exe")):
            row = crosscheck_versions.inventory_expected(path, ("sha256",))
            versions = pefile_versions.fields(path)
            out.writerow([path] + versions + [row[k] for k in sorted(row)])


if __name__ == "__main__":
    main()
