"""The winget manifest set for the MSI and the Scoop manifest for the zip.

Both name the package's files by their download address: the base URL given
to make_dist.py (`{version}` in it becomes the version) followed by the
file's name. The hashes are those of the files as written, signed or not,
so the manifests are written last.
"""
import hashlib
import json
import os

PACKAGE_IDENTIFIER = "Calvorn.Calvorn"
PUBLISHER = "The Calvorn developers"
SHORT_DESCRIPTION = "COM component registration and reports"
LICENSE = "MIT"
WINGET_MANIFEST_VERSION = "1.6.0"
# A reserved name that never resolves: a build without --base-url cannot
# be mistaken for a published one.
DEFAULT_BASE_URL = "https://example.invalid/calvorn/{version}/"
DEFAULT_HOMEPAGE = "https://example.invalid/calvorn/"


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def download_url(base_url, version, name):
    base = base_url.replace("{version}", version)
    return base + ("" if base.endswith("/") else "/") + name


def yaml_document(schema, fields):
    """A YAML document of scalar fields and lists of flat mappings. Strings
    are written as JSON strings, which YAML reads unchanged."""
    lines = [f"# yaml-language-server: $schema=https://aka.ms/{schema}.schema.json", ""]
    for key, value in fields.items():
        if isinstance(value, list):
            lines.append(f"{key}:")
            for item in value:
                prefix = "- "
                for item_key, item_value in item.items():
                    lines.append(f"{prefix}{item_key}: {json.dumps(item_value)}")
                    prefix = "  "
        else:
            lines.append(f"{key}: {json.dumps(value)}")
    return "\n".join(lines) + "\n"


def write_text(path, text):
    with open(path + ".part", "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    os.replace(path + ".part", path)


def write_winget(folder, version, msi, product_code, upgrade_code, base_url, homepage):
    """The three files of a multi-file manifest, in the folder layout of the
    winget package repository."""
    target = os.path.join(folder, PACKAGE_IDENTIFIER, version)
    os.makedirs(target, exist_ok=True)
    common = {"PackageIdentifier": PACKAGE_IDENTIFIER, "PackageVersion": version}
    product = "{" + product_code + "}"
    documents = {
        f"{PACKAGE_IDENTIFIER}.yaml": ("winget-manifest.version.1.6.0", {
            **common,
            "DefaultLocale": "en-US",
            "ManifestType": "version",
            "ManifestVersion": WINGET_MANIFEST_VERSION,
        }),
        f"{PACKAGE_IDENTIFIER}.installer.yaml": ("winget-manifest.installer.1.6.0", {
            **common,
            "InstallerType": "msi",
            "Scope": "machine",
            # The MSI installs into both Program Files folders.
            "UpgradeBehavior": "install",
            "ProductCode": product,
            "AppsAndFeaturesEntries": [{"ProductCode": product,
                                        "UpgradeCode": "{" + upgrade_code + "}"}],
            "Installers": [{
                "Architecture": "x64",
                "InstallerUrl": download_url(base_url, version, os.path.basename(msi)),
                "InstallerSha256": sha256_of(msi).upper(),
            }],
            "ManifestType": "installer",
            "ManifestVersion": WINGET_MANIFEST_VERSION,
        }),
        f"{PACKAGE_IDENTIFIER}.locale.en-US.yaml": ("winget-manifest.defaultLocale.1.6.0", {
            **common,
            "PackageLocale": "en-US",
            "Publisher": PUBLISHER,
            "PackageName": "Calvorn",
            "PackageUrl": homepage,
            "License": LICENSE,
            "ShortDescription": SHORT_DESCRIPTION,
            "Moniker": "calvorn",
            "ManifestType": "defaultLocale",
            "ManifestVersion": WINGET_MANIFEST_VERSION,
        }),
    }
    written = []
    for name, (schema, fields) in documents.items():
        write_text(os.path.join(target, name), yaml_document(schema, fields))
        written.append(os.path.join(target, name))
    return written


def write_scoop(folder, version, zip_path, zip_folder, base_url, homepage):
    """A Scoop app manifest for the portable zip. The 64-bit program is only
    offered where it runs."""
    os.makedirs(folder, exist_ok=True)
    manifest = {
        "version": version,
        "description": SHORT_DESCRIPTION,
        "homepage": homepage,
        "license": LICENSE,
        "url": download_url(base_url, version, os.path.basename(zip_path)),
        "hash": sha256_of(zip_path),
        "extract_dir": zip_folder,
        "architecture": {
            "64bit": {"bin": ["calvorn.exe", "calvorn64.exe"]},
            "32bit": {"bin": ["calvorn.exe"]},
        },
        "shortcuts": [["calvorn.exe", "Calvorn"]],
    }
    path = os.path.join(folder, "calvorn.json")
    write_text(path, json.dumps(manifest, indent=4) + "\n")
    return path
