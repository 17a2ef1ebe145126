#!/usr/bin/env python3
"""Makes malformed components from a few good ones: truncations, bit flips and
extreme values in the PE headers, the resource directory, the version block
and the type-library header, and in the NE header and resource table of
16-bit files. Then the damage known to have hurt: 16-bit version entries
shorter than their fixed information or outside the file, resource tables
that do not end, and 32-bit blocks whose type word passes for a letter or
whose fixed information lacks its signature. Deterministic for a given seed.

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
        elif pe + 64 <= len(data) and data[pe:pe + 2] == b"NE":
            found["ne_header"] = (pe, 64)
            start, end = struct.unpack_from("<HH", data, pe + 0x24)
            if start < end and pe + end <= len(data):
                found["ne_resource_table"] = (pe + start, end - start)
    for key, header in (("VS_VERSION_INFO".encode("utf-16-le"), 6), (b"VS_VERSION_INFO\0", 4)):
        at = data.find(key)
        if at >= header:
            length = struct.unpack_from("<H", data, at - header)[0]
            found["version_block"] = (at - header, max(8, min(length, len(data) - at + header)))
            break
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


def ne_version_entry(data, table):
    """The offset of the RT_VERSION type entry and of its first name entry."""
    start, size = table
    at = start + 2
    while at + 8 <= start + size:
        kind, count = struct.unpack_from("<HH", data, at)
        if kind == 0:
            return None
        if kind == 0x8010:
            return at, at + 8
        at += 8 + 12 * count
    return None


def known_damage(data, found):
    """(what, bytes) for each damage of the kinds that once ended a report."""
    def patched(*fields):
        out = bytearray(data)
        for at, fmt, value in fields:
            struct.pack_into(fmt, out, at, value)
        return bytes(out)

    if "ne_resource_table" in found:
        entry = ne_version_entry(data, found["ne_resource_table"])
        table = found["ne_resource_table"][0]
        if entry:
            kind, name = entry
            yield "ne_entry_shorter_than_fixed_info", patched((name + 2, "<H", 1))
            yield "ne_entry_empty", patched((name + 2, "<H", 0))
            yield "ne_entry_past_end", patched((name, "<H", 0xFFFF))
            yield "ne_shift_40", patched((table, "<H", 40))
            yield "ne_names_past_table", patched((kind, "<H", 0x8006), (kind + 2, "<H", 0x7FFF))
        pe = found["ne_header"][0]
        yield "ne_table_past_end", patched((pe + 0x26, "<H", 0xFFFF))
    block = found.get("version_block", (0,))[0]
    if data[block + 6:block + 8] == b"V\0":  # the 32-bit layout
        yield "type_byte_80", patched((block + 4, "<B", 0x80))
        yield "type_byte_ff", patched((block + 4, "<B", 0xFF))
        signature = data.find(struct.pack("<I", 0xFEEF04BD), block)
        if signature >= 0:
            yield "no_fixed_info_signature", patched((signature, "<I", 0))


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
    for stem, data, targets in seeds:
        for what, damaged in known_damage(data, dict(targets)):
            count += 1
            with open(os.path.join(out_dir, "k_%s_%s.dll" % (stem, what)), "wb") as f:
                f.write(damaged)
    print("%d malformed files in %s" % (count, out_dir))


if __name__ == "__main__":
    main()
