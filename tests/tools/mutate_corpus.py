#!/usr/bin/env python3
"""Makes malformed components from a few good ones: truncations, bit flips and
extreme values in the PE headers, the resource directory, the version block
and the type-library header. Deterministic for a given seed.

usage: mutate_corpus.py SEED_DIR OUT_DIR [COUNT]
"""
import os
import random
import struct
import sys

EXTREMES = [0, 1, 0x7F, 0x80, 0xFF, 0x7FFF, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF]


def regions(data):
    """Named byte ranges worth aiming at, found with a minimal PE walk of our
    own (no parser shared with the program under test)."""
    found = {"file": (0, len(data))}
    found["dos_header"] = (0, min(64, len(data)))
    if len(data) >= 64 and data[:2] == b"MZ":
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if pe + 24 <= len(data) and data[pe:pe + 4] == b"PE\0\0":
            sections, opt_size = struct.unpack_from("<H12xH", data, pe + 6)
            table = pe + 24 + opt_size
            found["pe_headers"] = (pe, min(len(data), table + 40 * sections) - pe)
            for i in range(sections):
                at = table + 40 * i
                if at + 40 > len(data):
                    break
                name = data[at:at + 8].rstrip(b"\0")
                raw_size, raw_ptr = struct.unpack_from("<II", data, at + 16)
                if name == b".rsrc" and raw_ptr < len(data):
                    found["resource_directory"] = (raw_ptr, min(raw_size, 512, len(data) - raw_ptr))
    key = "VS_VERSION_INFO".encode("utf-16-le")
    at = data.find(key)
    if at >= 6:
        length = struct.unpack_from("<H", data, at - 6)[0]
        found["version_block"] = (at - 6, max(8, min(length, len(data) - at + 6)))
    at = data.find(b"MSFT")
    if at >= 0:
        found["typelib_header"] = (at, min(0x200, len(data) - at))
    return found


def mutate(data, rng, target):
    start, size = target[1]
    out = bytearray(data)
    kind = rng.choice(["truncate", "flip", "extreme", "zero"])
    if kind == "truncate":
        cut = rng.randrange(start, start + size + 1) if size else start
        return bytes(out[:cut]), kind
    if kind == "flip":
        for _ in range(rng.randint(1, 8)):
            bit = rng.randrange(size * 8)
            out[start + bit // 8] ^= 1 << (bit % 8)
    elif kind == "extreme":
        for _ in range(rng.randint(1, 3)):
            at = start + rng.randrange(max(1, size - 3)) & ~1
            width = rng.choice([2, 4])
            value = rng.choice(EXTREMES) & ((1 << (8 * width)) - 1)
            if at + width <= len(out):
                out[at:at + width] = value.to_bytes(width, "little")
    else:
        at = start + rng.randrange(size)
        run = rng.randint(1, 32)
        out[at:at + run] = bytes(len(out[at:at + run]))
    return bytes(out), kind


def main():
    seed_dir, out_dir = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 1200
    rng = random.Random(20261207)
    seeds = []
    for name in sorted(os.listdir(seed_dir)):
        with open(os.path.join(seed_dir, name), "rb") as f:
            data = f.read()
        seeds.append((os.path.splitext(name)[0], data, sorted(regions(data).items())))
    os.makedirs(out_dir, exist_ok=True)
    extensions = [".dll", ".dll", ".ocx", ".exe"]
    for i in range(count):
        stem, data, targets = seeds[i % len(seeds)]
        target = rng.choice(targets)
        mutated, kind = mutate(data, rng, target)
        name = "m%04d_%s_%s_%s%s" % (i, stem, target[0], kind, extensions[i % 4])
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(mutated)
    print("%d malformed files in %s" % (count, out_dir))


if __name__ == "__main__":
    main()
