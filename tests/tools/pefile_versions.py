#!/usr/bin/python3
"""Prints the sixteen version fields of every file of a folder as pefile sees
them, one tab-separated UTF-8 line per file (file name first), in the format
of dump_versions.exe. The version resource is chosen as the platform chooses
it (language neutral, then the user's, then US English, then the first), and
the string tables are read by their structure, not by a text search."""

import os
import re
import sys

import pefile

KEYS = ["CompanyName", "FileDescription", "InternalName", "LegalCopyright",
        "LegalTrademarks", "OriginalFileName", "ProductName", "ProductVersion",
        "Comments"]
FLAGS = [(0x01, "Debug "), (0x02, "PreRel "), (0x04, "Patched "),
         (0x08, "Private "), (0x10, "Info "), (0x20, "Special ")]
OS = {0x00010001: "DOS-Win16", 0x00010004: "DOS-Win32", 0x00020002: "OS/2-16 PM-16",
      0x00030003: "OS/2-16 PM-32", 0x00040004: "NT-Win32"}
TYPES = {1: "App", 2: "DLL", 3: "Driver", 4: "Font", 5: "VxD", 7: "Lib"}
DRIVERS = ["Unknown", "Printer driver", "Keyboard driver", "Language driver",
           "Display driver", "Mouse driver", "Network driver", "System driver",
           "Installable", "Sound driver", "Comm driver"]
FONTS = {1: "Raster Font", 2: "Vector Font", 3: "TrueType Font"}
LANGUAGE_ORDER = [0x0000, 0x0409, 0x0009]


def joined_surrogates(value):
    # pefile writes a character beyond the first 64K as two escaped halves.
    return re.sub(
        r"\\u(d[89ab][0-9a-f]{2})\\u(d[c-f][0-9a-f]{2})",
        lambda m: chr(0x10000 + ((int(m[1], 16) - 0xD800) << 10) + int(m[2], 16) - 0xDC00),
        value)


def text(value):
    if isinstance(value, bytes):
        value = joined_surrogates(value.decode("utf-8", "replace"))
    return value.split("\0")[0].replace("\t", " ").replace("\r", " ").replace("\n", " ")


def pair(v):
    return "%d.%d" % (v >> 16, v & 0xFFFF)


def chosen_version_entry(pe):
    for type_entry in getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None).entries:
        if type_entry.id != pefile.RESOURCE_TYPE["RT_VERSION"]:
            continue
        for name_entry in type_entry.directory.entries:
            if name_entry.id != 1:
                continue
            languages = [e for e in name_entry.directory.entries if hasattr(e, "data")]
            for lang in LANGUAGE_ORDER:
                for entry in languages:
                    if entry.id == lang:
                        return entry
            return languages[0] if languages else None
    return None


def fields(path):
    empty = [""] * 16
    try:
        pe = pefile.PE(path, fast_load=True)
    except pefile.PEFormatError:
        return empty
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return empty
    entry = chosen_version_entry(pe)
    if entry is None:
        return empty
    for attr in ("FileInfo", "VS_FIXEDFILEINFO", "VS_VERSIONINFO"):
        if hasattr(pe, attr):
            delattr(pe, attr)
    pe.parse_version_information(entry.data.struct)
    out = []
    tables = []
    for info in (pe.FileInfo[0] if getattr(pe, "FileInfo", None) else []):
        for table in getattr(info, "StringTable", []):
            tables.append(table.entries)
    for key in KEYS:
        value = ""
        for entries in tables:
            match = [v for k, v in entries.items() if text(k).lower() == key.lower()]
            if match:
                value = text(match[0])
                break
        out.append(value)
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        return out + [""] * 7
    f = fixed[0]
    out.append(pair(f.StrucVersion))
    out.append(pair(f.FileVersionMS) + "." + pair(f.FileVersionLS))
    out.append(pair(f.ProductVersionMS) + "." + pair(f.ProductVersionLS))
    out.append("".join(word for bit, word in FLAGS if f.FileFlags & bit))
    out.append(OS.get(f.FileOS, "Unknown"))
    out.append(TYPES.get(f.FileType, "Unknown"))
    sub = ""
    if f.FileType == 3 and f.FileSubtype < len(DRIVERS):
        sub = DRIVERS[f.FileSubtype]
    elif f.FileType == 4:
        sub = FONTS.get(f.FileSubtype, "")
    out.append(sub)
    return out


def main():
    folder = sys.argv[1]
    out = sys.stdout.buffer
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if not os.path.isfile(path):
            continue
        out.write(("\t".join([name] + fields(path)) + "\n").encode("utf-8"))


if __name__ == "__main__":
    main()
