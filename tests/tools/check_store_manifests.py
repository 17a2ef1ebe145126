#!/usr/bin/env python3
"""check_store_manifests.py SCHEMAS PACKAGE_DIR VERSION: the winget manifest
set and the Scoop manifest that make_dist.py wrote validate against their
published schemas, and say what the packages beside them are: the MSI's
SHA-256 and product code (read from the MSI with msiinfo), the zip's hash,
its folder and both programs in it."""
import hashlib
import json
import os
import subprocess
import sys
import zipfile

import jsonschema
import yaml

schemas, package, version = sys.argv[1], sys.argv[2], sys.argv[3]
problems = []


def load_schema(*parts):
    with open(os.path.join(schemas, *parts), encoding="utf-8") as f:
        return json.load(f)


def validate(document, schema, name):
    validator = jsonschema.Draft7Validator(schema)
    for error in sorted(validator.iter_errors(document), key=str):
        problems.append(f"{name}: {'/'.join(map(str, error.path))}: {error.message}")


def sha256_of(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


msi = os.path.join(package, f"calvorn-{version}.msi")
winget = os.path.join(package, "winget", "Calvorn.Calvorn", version)
documents = {}
for kind, name in (("version", "Calvorn.Calvorn.yaml"),
                   ("installer", "Calvorn.Calvorn.installer.yaml"),
                   ("defaultLocale", "Calvorn.Calvorn.locale.en-US.yaml")):
    with open(os.path.join(winget, name), encoding="utf-8") as f:
        document = yaml.safe_load(f)
    validate(document, load_schema("winget-1.6.0", f"manifest.{kind}.1.6.0.json"), name)
    if document.get("ManifestType") != kind or document.get("PackageVersion") != version:
        problems.append(f"{name}: not the {kind} manifest of version {version}")
    documents[kind] = document

installer = documents["installer"]
properties = dict(line.split("\t", 1) for line in subprocess.run(
    ["msiinfo", "export", msi, "Property"], check=True, capture_output=True,
    text=True).stdout.splitlines() if "\t" in line)
if installer.get("ProductCode") != properties.get("ProductCode"):
    problems.append(f"ProductCode {installer.get('ProductCode')} is not the MSI's "
                    f"{properties.get('ProductCode')}")
entries = installer.get("Installers", [])
if len(entries) != 1 or entries[0].get("InstallerSha256", "").lower() != sha256_of(msi):
    problems.append("InstallerSha256 is not the MSI's")
if not entries or not entries[0].get("InstallerUrl", "").endswith(os.path.basename(msi)):
    problems.append("InstallerUrl does not name the MSI")
template = subprocess.run(["msiinfo", "suminfo", msi], check=True, capture_output=True,
                          text=True).stdout
architecture = "x64" if "Template: x64" in template else "x86"
if entries and entries[0].get("Architecture") != architecture:
    problems.append(f"Architecture {entries[0].get('Architecture')}, the MSI is {architecture}")

with open(os.path.join(package, "scoop", "calvorn.json"), encoding="utf-8") as f:
    scoop = json.load(f)
validate(scoop, load_schema("scoop", "schema.json"), "calvorn.json")
# One Scoop manifest for the folder: that of the package built last into it,
# which need not be VERSION.
archive = os.path.join(package, f"calvorn-{scoop.get('version')}-portable.zip")
if not os.path.isfile(archive) or scoop.get("hash") != sha256_of(archive):
    problems.append(f"calvorn.json: not the hash of {os.path.basename(archive)}")
if not scoop.get("url", "").endswith(os.path.basename(archive)):
    problems.append("calvorn.json: url does not name the zip")
with zipfile.ZipFile(archive) as z:
    held = set(z.namelist())
bins = scoop.get("architecture", {}).get("64bit", {}).get("bin", [])
for program in ("calvorn.exe", "calvorn64.exe"):
    if program not in bins:
        problems.append(f"calvorn.json: no bin entry for {program}")
for program in bins + scoop.get("architecture", {}).get("32bit", {}).get("bin", []):
    if f"{scoop.get('extract_dir')}/{program}" not in held:
        problems.append(f"calvorn.json: {program} is not in the zip's folder")

for problem in problems:
    print(problem)
print(f"winget: 3 manifests, scoop: 1 manifest, {len(problems)} problems")
sys.exit(1 if problems else 0)
