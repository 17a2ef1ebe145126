#!/usr/bin/env python3
"""Builds the portable zip and the MSI from the files of files.txt.

make_dist.py [--out DIR] [--version A.B.C.D] [--base-url URL] [--homepage URL]
make_dist.py --lay DIR

The version defaults to the one of src/app/version.h; --version exists for
the upgrade test, which needs a package older than the current one. --lay
builds no package: it puts the shipped files into DIR as the portable zip
holds them, both bitnesses side by side (for `make run`).

Beside the packages, DIR/winget/ gets the winget manifest set of the MSI and
DIR/scoop/ the Scoop manifest of the zip, both naming their files under
--base-url. With SIGN_PFX (and SIGN_PASS, SIGN_TIMESTAMP_URL) in the
environment every shipped program, the MSI's custom actions and the MSI are
signed; the build's own files stay unsigned.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import uuid
import zipfile
from xml.sax.saxutils import quoteattr

import signing
import store_manifests

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# Never change it: Windows Installer recognises every version of Calvorn by it.
UPGRADE_CODE = "2A77E9F7-DFCF-4AD4-90B1-8B6ACE7B4FE2"
# The seed for the component codes, which must stay the same for the same
# installed path.
CODE_NAMESPACE = uuid.UUID("12c43a77-0e18-40d6-ad57-1e682205a8ed")
START_MENU_PROGRAM = "calvorn.exe"
SETUP_ACTIONS = "build/win32/calvorn-setup-actions.dll"


def fail(message):
    sys.exit(f"make_dist: {message}")


def read_version():
    text = open(os.path.join(ROOT, "src/app/version.h"), encoding="utf-8").read()
    parts = []
    for field in ("MAJOR", "MINOR", "BUILD", "REVISION"):
        found = re.search(rf"#define\s+CALVORN_VERSION_{field}\s+(\d+)", text)
        if not found:
            fail(f"src/app/version.h has no CALVORN_VERSION_{field}")
        parts.append(found.group(1))
    return ".".join(parts)


def read_files():
    """[(bitness, path relative to the tree)] in list order."""
    entries = []
    with open(os.path.join(HERE, "files.txt"), encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            fields = line.split(None, 1)
            if len(fields) != 2 or fields[0] not in ("32", "64"):
                fail(f"files.txt line {number}: expected '32|64 <path>'")
            entries.append((fields[0], fields[1]))
    names = [os.path.basename(path).lower() for _, path in entries]
    duplicates = sorted({n for n in names if names.count(n) > 1})
    if duplicates:
        fail(f"files.txt names a file twice (the zip holds one folder): {', '.join(duplicates)}")
    missing = [path for _, path in entries if not os.path.isfile(os.path.join(ROOT, path))]
    if missing:
        fail("missing (build first: make build): " + ", ".join(missing))
    return entries


def check_msi_version(version):
    # Windows Installer compares only the first three fields, each limited.
    fields = [int(x) if x.isdigit() else -1 for x in version.split(".")]
    if (len(fields) != 4 or min(fields) < 0 or fields[0] > 255 or fields[1] > 255
            or fields[2] > 65534 or fields[3] > 65535):
        fail(f"version {version} does not fit a Windows Installer product version")


def next_build(version):
    major, minor, build, _ = (int(x) for x in version.split("."))
    return f"{major}.{minor}.{build + 1}"


def identifier(name):
    return "f_" + re.sub(r"[^A-Za-z0-9_.]", "_", name)


def component(bitness, path, base):
    name = os.path.basename(path)
    ident = identifier(name)
    guid = str(uuid.uuid5(CODE_NAMESPACE, f"component {bitness} {name.lower()}")).upper()
    win64 = ' Win64="yes"' if bitness == "64" else ""
    shortcut = ""
    if bitness == "32" and name.lower() == START_MENU_PROGRAM:
        shortcut = (
            f'\n            <Shortcut Id="StartMenuShortcut" Directory="ProgramMenuFolder"'
            f' Name="Calvorn" Description="COM component registration and reports"'
            f' Target="[#{ident}]" WorkingDirectory="INSTALLDIR32" Icon="calvorn.ico"/>')
    # wixl takes only paths relative to the folder it runs in.
    source = quoteattr(os.path.relpath(path, base))
    return (f'          <Component Id="c_{ident[2:]}" Guid="{guid}"{win64}>\n'
            f'            <File Id="{ident}" Name={quoteattr(name)} Source={source}'
            f' KeyPath="yes"/>{shortcut}\n'
            f'          </Component>'), f'      <ComponentRef Id="c_{ident[2:]}"/>'


def write_wxs(entries, version, path, product_code, setup_actions, icon):
    base = os.path.dirname(path)
    if not any(b == "32" and os.path.basename(p).lower() == START_MENU_PROGRAM for b, p in entries):
        fail(f"files.txt must list {START_MENU_PROGRAM} in the 32-bit folder")
    parts = {"32": [], "64": []}
    refs = []
    for bitness, file_path in entries:
        xml, ref = component(bitness, file_path, base)
        parts[bitness].append(xml)
        refs.append(ref)
    fields = {
        "@PRODUCT_CODE@": product_code,
        "@UPGRADE_CODE@": UPGRADE_CODE,
        "@VERSION@": version,
        "@NEXT_BUILD@": next_build(version),
        "@ICON@": os.path.relpath(icon, base),
        "@SETUP_ACTIONS@": os.path.relpath(setup_actions, base),
        # Every program of the package, in case a part writes verbs of its own.
        "@PROGRAM_PATHS@": ";".join(f"[#{identifier(os.path.basename(p))}]"
                                    for _, p in entries if p.lower().endswith(".exe")),
        "@COMPONENTS32@": "\n".join(parts["32"]),
        "@COMPONENTS64@": "\n".join(parts["64"]),
        "@COMPONENT_REFS@": "\n".join(refs),
    }
    text = open(os.path.join(HERE, "calvorn.wxs.in"), encoding="utf-8").read()
    for key, value in fields.items():
        text = text.replace(key, value)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def write_zip(entries, version, path):
    folder = f"calvorn-{version}"
    temporary = path + ".part"
    with zipfile.ZipFile(temporary, "w", zipfile.ZIP_DEFLATED) as z:
        for _, file_path in entries:
            z.write(os.path.join(ROOT, file_path), f"{folder}/{os.path.basename(file_path)}")
    os.replace(temporary, path)


def stage(entries, folder):
    """Copies of the shipped files to be signed and packed: signing never
    touches the build's own files."""
    staged = []
    for bitness, file_path in entries:
        target = os.path.join(folder, bitness, os.path.basename(file_path))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(os.path.join(ROOT, file_path), target)
        staged.append((bitness, target))
    return staged


def is_program(path):
    return path.lower().endswith((".exe", ".dll"))


def lay_folder(entries, folder):
    """The files of the zip in one folder; a file already up to date stays."""
    os.makedirs(folder, exist_ok=True)
    for _, file_path in entries:
        source = os.path.join(ROOT, file_path)
        if not os.path.isfile(source):
            fail(f"missing (build it first): {file_path}")
        target = os.path.join(folder, os.path.basename(file_path))
        if (os.path.isfile(target) and os.path.getmtime(target) >= os.path.getmtime(source)
                and os.path.getsize(target) == os.path.getsize(source)):
            continue
        # Copied beside and renamed: a program still running keeps its file.
        shutil.copy2(source, target + ".part")
        os.replace(target + ".part", target)


def main():
    parser = argparse.ArgumentParser(description="Builds the portable zip and the MSI.")
    parser.add_argument("--out", default=os.path.join(ROOT, "dist"))
    parser.add_argument("--version", default=None)
    parser.add_argument("--lay", default=None, metavar="DIR")
    parser.add_argument("--base-url", default=store_manifests.DEFAULT_BASE_URL,
                        help="where the packages will be downloaded from; {version} is replaced")
    parser.add_argument("--homepage", default=store_manifests.DEFAULT_HOMEPAGE)
    args = parser.parse_args()
    if args.lay:
        lay_folder(read_files(), args.lay)
        return
    version = args.version or read_version()
    check_msi_version(version)
    entries = read_files()
    if not os.path.isfile(os.path.join(ROOT, SETUP_ACTIONS)):
        fail(f"missing (build first: make build): {SETUP_ACTIONS}")
    if shutil.which("wixl") is None:
        fail("wixl is missing: scripts/install-deps.sh installs it")
    try:
        signer = signing.Signer.from_environment(args.homepage)
    except signing.SigningError as error:
        fail(str(error))
    os.makedirs(args.out, exist_ok=True)

    zip_path = os.path.join(args.out, f"calvorn-{version}-portable.zip")
    msi = os.path.join(args.out, f"calvorn-{version}.msi")
    # A new product code for every build: a rebuild of the same version then
    # replaces the installed one (a major upgrade) instead of being refused
    # as another package of the same product.
    product_code = str(uuid.uuid4()).upper()
    with tempfile.TemporaryDirectory() as work:
        staged = stage(entries, os.path.join(work, "files"))
        setup_actions = os.path.join(work, os.path.basename(SETUP_ACTIONS))
        shutil.copy2(os.path.join(ROOT, SETUP_ACTIONS), setup_actions)
        try:
            if signer:
                for path in [p for _, p in staged if is_program(p)] + [setup_actions]:
                    signer.sign(path)
            write_zip(staged, version, zip_path)
            wxs = os.path.join(work, "calvorn.wxs")
            write_wxs(staged, version, wxs, product_code, setup_actions,
                      os.path.join(ROOT, "res", "calvorn.ico"))
            # wixl writes in place; a failed run must not leave half a package.
            result = subprocess.run(["wixl", "-a", "x64", "-o", os.path.abspath(msi) + ".part", wxs],
                                    cwd=work)
            if result.returncode != 0:
                fail("wixl failed")
            if signer:
                signer.sign(msi + ".part")
        except signing.SigningError as error:
            for leftover in (msi + ".part", zip_path):
                if os.path.exists(leftover):
                    os.remove(leftover)
            fail(str(error))
    os.replace(msi + ".part", msi)
    winget = store_manifests.write_winget(os.path.join(args.out, "winget"), version, msi,
                                          product_code, UPGRADE_CODE, args.base_url,
                                          args.homepage)
    scoop = store_manifests.write_scoop(os.path.join(args.out, "scoop"), version, zip_path,
                                        f"calvorn-{version}", args.base_url, args.homepage)
    for path in [zip_path, msi] + winget + [scoop]:
        print(os.path.relpath(path))


if __name__ == "__main__":
    main()
