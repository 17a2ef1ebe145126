#!/usr/bin/python3
"""Fills a folder with COUNT small DLLs: copies of the version fixtures, each
copy with its own file version, so that no two version resources are alike.

usage: make_small_corpus.py FIXTURE_FOLDER TARGET_FOLDER [COUNT]"""

import os
import struct
import sys

SIGNATURE = struct.pack("<I", 0xFEEF04BD)


def main():
    source, target = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
    templates = []
    for name in sorted(os.listdir(source)):
        with open(os.path.join(source, name), "rb") as f:
            data = f.read()
        if SIGNATURE in data:
            templates.append(bytearray(data))
    os.makedirs(target, exist_ok=True)
    for i in range(count):
        data = bytearray(templates[i % len(templates)])
        at = data.find(SIGNATURE)
        # dwFileVersionLS: build and revision
        struct.pack_into("<HH", data, at + 12, i & 0xFFFF, i // len(templates))
        with open(os.path.join(target, "small_%04d.dll" % i), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
