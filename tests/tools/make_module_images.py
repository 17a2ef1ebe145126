#!/usr/bin/env python3
"""Writes small module images that no compiler here makes: an ARM64 COM
server, a .NET-style image (a CLR header), and images with import and
delay-import tables. They are never loaded by the tests, only read.

It also finishes a DLL linked against a delay-import library: the GNU
linker builds the delay-import descriptors but leaves the directory entry
that names them empty, which every other linker fills in.

It also writes 16-bit NE files with a version resource (the seeds of the
malformed-file corpus and of the NE reader's fuzz corpus).

usage: make_module_images.py OUT_DIR
       make_module_images.py --delay-directory DLL_FILE IMPORTED_DLL_NAME
       make_module_images.py --sixteen-bit OUT_DIR
"""
import os
import struct
import sys

SECTION_START = 0x200
SECTION_RVA = 0x1000
IMAGE_BASE = 0x10000000


def module(machine=0x14C, pe64=False, dll=True, exports=(), imports=(), delay=(), clr=False):
    head = bytearray(SECTION_START)
    head[0:2] = b"MZ"
    struct.pack_into("<I", head, 0x3C, 0x40)
    head[0x40:0x44] = b"PE\0\0"
    opt_size = 0xF0 if pe64 else 0xE0
    struct.pack_into("<HH12xHH", head, 0x44, machine, 1, opt_size, 0x2102 if dll else 0x0102)
    opt = 0x58
    struct.pack_into("<H", head, opt, 0x20B if pe64 else 0x10B)
    struct.pack_into("<I", head, opt + (24 if pe64 else 28), IMAGE_BASE)
    struct.pack_into("<I", head, opt + 60, SECTION_START)
    struct.pack_into("<I", head, opt + (108 if pe64 else 92), 16)
    dirs = opt + (112 if pe64 else 96)
    data = bytearray()

    def rva(at):
        return SECTION_RVA + at

    def name(text):
        at = len(data)
        data.extend(text.encode("ascii") + b"\0")
        return rva(at)

    def pad():
        while len(data) % 4:
            data.append(0)

    def directory(index, at, size):
        struct.pack_into("<II", head, dirs + index * 8, at, size)

    if exports:
        # Names, then the functions and the name ordinals a loader (and
        # pefile) needs to resolve a name: each name's function is the table.
        table = len(data)
        count = len(exports)
        functions = table + 40 + 4 * count
        ordinals = functions + 4 * count
        data.extend(bytes(40 + 10 * count))
        struct.pack_into("<III", data, table + 20, count, count, rva(functions))
        struct.pack_into("<II", data, table + 32, rva(table + 40), rva(ordinals))
        for i, export in enumerate(exports):
            struct.pack_into("<I", data, table + 40 + 4 * i, name(export))
            struct.pack_into("<I", data, functions + 4 * i, rva(table))
            struct.pack_into("<H", data, ordinals + 2 * i, i)
        directory(0, rva(table), 40)
    for index, size, names in ((1, 20, imports), (13, 32, delay)):
        if not names:
            continue
        pad()
        table = len(data)
        data.extend(bytes(size * (len(names) + 1)))
        for i, dll in enumerate(names):
            at = name(dll)
            if index == 1:
                struct.pack_into("<II", data, table + i * 20 + 12, at, rva(table))
            else:
                struct.pack_into("<II", data, table + i * 32, 1, at)
        directory(index, rva(table), size * (len(names) + 1))
    if clr:
        pad()
        at = len(data)
        data.extend(struct.pack("<I", 72) + bytes(68))
        directory(14, rva(at), 72)
    data.extend(bytes(max(0, 16 - len(data))))
    section = opt + opt_size
    head[section:section + 8] = b".data\0\0\0"
    struct.pack_into("<IIII", head, section + 8, len(data), SECTION_RVA, len(data), SECTION_START)
    return bytes(head + data)


COM = ("DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer")
IMAGES = {
    "arm64_server.dll": module(machine=0xAA64, pe64=True, exports=COM, imports=("KERNEL32.dll",)),
    "dotnet_assembly.dll": module(imports=("mscoree.dll",), clr=True),
    "imports_x86.dll": module(exports=COM + ("DllInstall",), imports=("KERNEL32.dll", "ole32.dll"),
                              delay=("oleaut32.dll",)),
    "imports_x64.exe": module(machine=0x8664, pe64=True, dll=False, imports=("KERNEL32.dll",),
                              delay=("user32.dll", "shell32.dll")),
}

def entry16(key, value=b"", children=()):
    """One entry of a 16-bit version block: the two lengths, the key in
    single bytes, the value and the children at 4-byte boundaries."""
    body = bytearray(4) + key.encode("latin-1") + b"\0"
    body.extend(bytes(-len(body) % 4))
    body.extend(value)
    for child in children:
        body.extend(bytes(-len(body) % 4))
        body.extend(child)
    struct.pack_into("<HH", body, 0, len(body), len(value))
    return bytes(body)


def version_block16(strings):
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x10000, 0x30001, 0x20000, 0x30001, 0x20000, 0x3F,
                        0, 0x10001, 2, 0, 0, 0)
    table = entry16("040904E4", b"", [entry16(k, v.encode("latin-1") + b"\0")
                                      for k, v in strings])
    return entry16("VS_VERSION_INFO", fixed,
                   [entry16("StringFileInfo", b"", [table]),
                    entry16("VarFileInfo", b"", [entry16("Translation", struct.pack("<HH", 0x409, 1252))])])


def ne_module(block, shift=4):
    """An MZ stub, an NE header, a resource table with one RT_VERSION entry,
    the resident-name table, and the block at the next unit."""
    unit = 1 << shift
    head = bytearray(0x40)
    head[0:2] = b"MZ"
    struct.pack_into("<I", head, 0x3C, 0x40)
    ne = bytearray(0x40)
    ne[0:2] = b"NE"
    table = struct.pack("<H", shift) + struct.pack("<HHI", 0x8010, 1, 0)
    data_at = (0x80 + len(table) + 12 + 2 + 8 + unit - 1) // unit * unit
    table += struct.pack("<HHHHHH", data_at // unit, (len(block) + unit - 1) // unit, 0x30, 0x8001,
                         0, 0) + b"\0\0"
    struct.pack_into("<HH", ne, 0x24, 0x40, 0x40 + len(table))
    names = b"\x07VERSION\0\0\0"[:8]
    struct.pack_into("<H", ne, 0x26, 0x40 + len(table))
    out = head + ne + table + names
    out.extend(bytes(data_at - len(out)))
    out.extend(block)
    out.extend(bytes(-len(out) % unit))
    return bytes(out)


SIXTEEN_BIT = {
    "ne_version.dll": ne_module(version_block16([("CompanyName", "Old Soft"),
                                                 ("FileDescription", "A 16-bit library"),
                                                 ("ProductName", "Old"),
                                                 ("OriginalFilename", "OLD.DLL")])),
    "ne_version_wide_units.exe": ne_module(version_block16([("ProductName", "Wide units")]), 9),
}


def rva_to_offset(sections, rva):
    for virtual, raw_size, raw in sections:
        if virtual <= rva < virtual + raw_size:
            return rva - virtual + raw
    return None


def set_delay_directory(path, imported):
    """Copies the descriptor of `imported` into a new section, followed by
    the empty descriptor that ends the table, and points the directory at it."""
    data = bytearray(open(path, "rb").read())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, opt_size = struct.unpack_from("<H12xH", data, pe + 6)
    opt = pe + 24
    pe64 = struct.unpack_from("<H", data, opt)[0] == 0x20B
    section_align, file_align = struct.unpack_from("<II", data, opt + 32)
    size_of_headers = struct.unpack_from("<I", data, opt + 60)[0]
    dirs = opt + (112 if pe64 else 96)
    table = opt + opt_size
    sections = []
    end_rva = 0
    for i in range(count):
        vsize, virtual, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        sections.append((virtual, raw_size, raw))
        end_rva = max(end_rva, virtual + max(vsize, raw_size))
    name_at = data.find(imported.encode("ascii") + b"\0")
    name_rva = next(v + name_at - r for v, n, r in sections if r <= name_at < r + n)
    descriptor = None
    for virtual, raw_size, raw in sections:
        for at in range(raw, raw + raw_size - 32, 4):
            if struct.unpack_from("<II", data, at) == (1, name_rva):
                descriptor = bytes(data[at:at + 32])
    if descriptor is None or table + 40 * (count + 1) > size_of_headers:
        sys.exit("no delay-import descriptor for %s, or no room for a section" % imported)
    align = lambda value, to: (value + to - 1) // to * to
    new_rva = align(end_rva, section_align)
    new_raw = align(len(data), file_align)
    body = descriptor + bytes(32)
    header = table + 40 * count
    data[header:header + 40] = struct.pack("<8sIIIIIIHHI", b".didat", len(body), new_rva,
                                           align(len(body), file_align), new_raw, 0, 0, 0, 0,
                                           0x40000040)
    struct.pack_into("<H", data, pe + 6, count + 1)
    struct.pack_into("<I", data, opt + 56, align(new_rva + len(body), section_align))
    struct.pack_into("<II", data, dirs + 13 * 8, new_rva, 32)
    data.extend(bytes(new_raw - len(data)))
    data.extend(body + bytes(align(len(body), file_align) - len(body)))
    open(path, "wb").write(data)


if __name__ == "__main__":
    if sys.argv[1] == "--delay-directory":
        set_delay_directory(sys.argv[2], sys.argv[3])
        sys.exit(0)
    images = IMAGES
    if sys.argv[1] == "--sixteen-bit":
        images = SIXTEEN_BIT
        sys.argv.pop(1)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for file_name, content in images.items():
        with open(os.path.join(out, file_name), "wb") as f:
            f.write(content)
