#!/usr/bin/env python3
"""check_signed_dist.py SOURCE_DIR WORK_DIR: make_dist.py with a throwaway
code-signing certificate signs every program of the zip, every program the
MSI installs and the MSI itself, each verifying against that certificate; the
build's own files stay unsigned; the manifests hash the signed packages; and
a wrong password stops the package with nothing written."""
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import zipfile

source, work = sys.argv[1], os.path.abspath(sys.argv[2])
problems = []
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
key, cert, pfx = (os.path.join(work, n) for n in ("key.pem", "cert.pem", "sign.pfx"))
password = "throwaway pass"


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


for command in (
    ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
     "-days", "2", "-subj", "/CN=Calvorn test signer", "-addext", "extendedKeyUsage=codeSigning"],
    ["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
     "-passout", f"pass:{password}"],
):
    result = run(command)
    if result.returncode != 0:
        sys.exit(f"{command[:2]}: {result.stderr}")


def make_dist(out, secret):
    environment = dict(os.environ, SIGN_PFX=pfx, SIGN_PASS=secret)
    environment.pop("SIGN_TIMESTAMP_URL", None)
    return run([sys.executable, os.path.join(source, "packaging", "make_dist.py"), "--out", out],
               cwd=source, env=environment)


def signature_of(path):
    """None when the file's signature verifies against the throwaway one."""
    result = run(["osslsigncode", "verify", "-CAfile", cert, "-in", path])
    if result.returncode == 0 and "Signature verification: ok" in result.stdout:
        return None
    lines = (result.stdout + result.stderr).strip().splitlines()
    return lines[-1] if lines else "no output"


def is_program(name):
    return name.lower().endswith((".exe", ".dll"))


refused = os.path.join(work, "refused")
result = make_dist(refused, "not the password")
if result.returncode == 0:
    problems.append("a wrong password still made a package")
left = [os.path.relpath(p, refused) for p in glob.glob(os.path.join(refused, "**"), recursive=True)
        if os.path.isfile(p)]
if left:
    problems.append(f"a refused signing left files: {left}")

out = os.path.join(work, "dist")
result = make_dist(out, password)
if result.returncode != 0:
    sys.exit(f"make_dist.py failed: {result.stdout}{result.stderr}")
archive = glob.glob(os.path.join(out, "*-portable.zip"))[0]
msi = glob.glob(os.path.join(out, "*.msi"))[0]

checked = 0
unpacked = os.path.join(work, "zip")
with zipfile.ZipFile(archive) as z:
    z.extractall(unpacked)
for path in sorted(glob.glob(os.path.join(unpacked, "*", "*"))):
    if is_program(path):
        checked += 1
        if (problem := signature_of(path)) is not None:
            problems.append(f"zip {os.path.basename(path)}: {problem}")
# The programs inside the MSI and its custom actions, as Windows Installer
# will copy and run them.
installed = os.path.join(work, "msi")
os.makedirs(installed)
run(["msiextract", "-C", installed, msi], check=True)
binaries = os.path.join(work, "binary")
os.makedirs(binaries)
for line in run(["msiinfo", "streams", msi], check=True).stdout.split():
    if line.startswith("Binary."):
        with open(os.path.join(binaries, line), "wb") as f:
            f.write(subprocess.run(["msiinfo", "extract", msi, line], check=True,
                                   capture_output=True).stdout)
inside = [p for p in glob.glob(os.path.join(installed, "**"), recursive=True) if is_program(p)]
inside += [p for p in glob.glob(os.path.join(binaries, "*"))
           if open(p, "rb").read(2) == b"MZ"]
for path in sorted(inside):
    checked += 1
    if (problem := signature_of(path)) is not None:
        problems.append(f"msi {os.path.basename(path)}: {problem}")
if (problem := signature_of(msi)) is not None:
    problems.append(f"{os.path.basename(msi)}: {problem}")

for line in open(os.path.join(source, "packaging", "files.txt"), encoding="utf-8"):
    fields = line.split()
    if len(fields) == 2 and not fields[0].startswith("#") and is_program(fields[1]):
        if signature_of(os.path.join(source, fields[1])) is None:
            problems.append(f"the build's own {fields[1]} was signed")

with open(msi, "rb") as f:
    digest = hashlib.sha256(f.read()).hexdigest().upper()
installer = glob.glob(os.path.join(out, "winget", "*", "*", "*.installer.yaml"))[0]
if digest not in open(installer, encoding="utf-8").read():
    problems.append("the winget manifest does not hash the signed MSI")

for problem in problems:
    print(problem)
print(f"{checked} programs and the MSI verified, {len(problems)} problems")
sys.exit(1 if problems else 0)
