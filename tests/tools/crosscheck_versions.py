#!/usr/bin/python3
"""Cross-checks our version reader against pefile on every file of a folder.

usage: crosscheck_versions.py BUILD_DIR [FOLDER]
       crosscheck_versions.py --inventory BUILD_DIR [FOLDER]

Runs BUILD_DIR/dump_versions.exe under Wine (through scripts/wine-run.sh) and
pefile_versions.py on the same folder, then compares the sixteen fields of
every file. Prints the agreement rate per file and per field, and every
disagreement.

With --inventory it runs the program's own CSV report of the folder
("calvorn -q -f FOLDER -format csv -hash md5,sha1 -out -") and checks every
row against pefile and Python's hashlib: the machine, the link time, the
digests, the CLR header, the version strings an inventory adds, the string
table's language, the fixed information's numbers and self-registration."""

import csv
import datetime
import hashlib
import io
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


WINE_FOLDER = "/usr/lib/i386-linux-gnu/wine/i386-windows"
MACHINES = {0x14C: "x86", 0x8664: "x64", 0xAA64: "arm64"}
FIRST_PE_STAMP = 725846400  # 1993-01-01: no PE image was linked before
DAY = 86400


def link_time(pe, path):
    """The link time as the report gives it, by the same rule: empty for a
    reproducible build, a stamp before 1993, or one after the last write."""
    stamp = pe.FILE_HEADER.TimeDateStamp
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DEBUG"]])
    if any(d.struct.Type == 16 for d in getattr(pe, "DIRECTORY_ENTRY_DEBUG", [])):
        return ""
    if stamp < FIRST_PE_STAMP or stamp > os.stat(path).st_mtime + DAY:
        return ""
    return datetime.datetime.fromtimestamp(stamp, datetime.timezone.utc).strftime(
        "%Y-%m-%dT%H:%M:%SZ")


def string_tables(pe):
    """The string tables in order: (language as "0409 04B0", {key: value})."""
    tables = []
    for info in (pe.FileInfo[0] if getattr(pe, "FileInfo", None) else []):
        for table in getattr(info, "StringTable", []):
            lang = table.LangID.decode() if isinstance(table.LangID, bytes) else table.LangID
            lang = lang.upper()
            tables.append((lang[:4] + " " + lang[4:] if len(lang) == 8 else lang,
                           {pefile_versions.text(k).lower(): pefile_versions.text(v)
                            for k, v in table.entries.items()}))
    return tables


def inventory_expected(path, digests=("sha256", "md5", "sha1")):
    data = open(path, "rb").read()
    row = {name: hashlib.new(name, data).hexdigest() for name in digests}
    try:
        pe = pefile.PE(data=data, fast_load=True)
    except pefile.PEFormatError:
        row.update(machine="16-bit" if data[:2] == b"MZ" else "not-a-module", link_time_utc="")
        return row
    machine = pe.FILE_HEADER.Machine
    row["machine"] = MACHINES.get(machine, "0x%04X" % machine)
    row["link_time_utc"] = link_time(pe, path)
    clr = pe.OPTIONAL_HEADER.DATA_DIRECTORY[14]
    row["dotnet"] = "true" if clr.VirtualAddress and clr.Size else "false"
    pe.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]])
    entry = (pefile_versions.chosen_version_entry(pe)
             if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else None)
    # pefile reads the first version resource by itself; the platform's choice
    # of language is the one to read.
    for attr in ("FileInfo", "VS_FIXEDFILEINFO", "VS_VERSIONINFO"):
        if hasattr(pe, attr):
            delattr(pe, attr)
    if entry is not None:
        pe.parse_version_information(entry.data.struct)
    tables = string_tables(pe)
    for column, key in (("file_version_string", "fileversion"),
                        ("private_build", "privatebuild"), ("special_build", "specialbuild")):
        row[column] = next((t[key] for _, t in tables if key in t), "")
    row["language"] = next((lang for lang, t in tables if any(
        k in t for k in ("companyname", "filedescription", "fileversion", "internalname",
                         "legalcopyright", "originalfilename", "productname",
                         "productversion"))), "")
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    for column, attr in (("file_flags_hex", "FileFlags"), ("file_os_hex", "FileOS"),
                         ("file_type_hex", "FileType"), ("file_subtype_hex", "FileSubtype")):
        row[column] = "%08X" % getattr(fixed[0], attr) if fixed else ""
    exports = [e.name for e in getattr(getattr(pe, "DIRECTORY_ENTRY_EXPORT", None), "symbols", [])]
    registers = b"DllRegisterServer" in exports or any("oleselfregister" in t for _, t in tables)
    row["self_registering"] = "true" if registers else "false"
    return row


def inventory(build, folder):
    windows_folder = "Z:" + os.path.abspath(folder).replace("/", "\\")
    # The 64-bit build's program has a name of its own.
    program = os.path.join(build, "calvorn.exe")
    if not os.path.exists(program):
        program = os.path.join(build, "calvorn64.exe")
    report = subprocess.run(
        [os.path.join(ROOT, "scripts", "wine-run.sh"), program,
         "-q", "-f", windows_folder, "-format", "csv", "-hash", "md5,sha1", "-out", "-"],
        stdout=subprocess.PIPE).stdout.decode("utf-8")
    rows = list(csv.DictReader(io.StringIO(report, newline="")))
    names = sorted(n for n in os.listdir(folder) if os.path.isfile(os.path.join(folder, n))
                   and n.lower().endswith((".dll", ".ocx", ".exe")))
    seen = {row["path"].split("\\")[-1]: row for row in rows}
    failures = 0
    checked = {}
    for name in names:
        ours = seen.get(name)
        if ours is None:
            print("MISSING %s" % name)
            failures += 1
            continue
        for column, value in inventory_expected(os.path.join(folder, name)).items():
            checked[column] = checked.get(column, 0) + 1
            if ours[column] != value:
                print("DIFF %s %s: ours=%r pefile=%r" % (name, column, ours[column], value))
                failures += 1
    print("inventory rows: %d of %d files; cells checked: %s; disagreements: %d"
          % (len(rows), len(names), ", ".join("%s %d" % kv for kv in sorted(checked.items())),
             failures))
    return 0 if failures == 0 and names else 1


def main():
    if sys.argv[1:2] == ["--inventory"]:
        del sys.argv[1]
        try:
            global pefile, pefile_versions
            import pefile
            sys.path.insert(0, HERE)
            import pefile_versions
        except ImportError:
            print("pefile is not installed (make deps): skipped")
            return 77
        return inventory(os.path.abspath(sys.argv[1]),
                         sys.argv[2] if len(sys.argv) > 2 else WINE_FOLDER)
    try:
        import pefile  # noqa: F401  (used by pefile_versions.py)
    except ImportError:
        print("pefile is not installed (make deps): skipped")
        return 77
    build = os.path.abspath(sys.argv[1])
    folder = sys.argv[2] if len(sys.argv) > 2 else WINE_FOLDER
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
