"""Authenticode signatures for the shipped programs and the MSI, made with
osslsigncode from a PKCS#12 file.

The password is taken from the environment (SIGN_PASS) and handed to
osslsigncode in a file only this user can read, never on a command line,
where every user of the machine could see it.
"""
import os
import shutil
import subprocess
import tempfile

SIGNED_NAME = "Calvorn"


class SigningError(Exception):
    pass


class Signer:
    def __init__(self, pfx, password, timestamp_url=None, info_url=None):
        if not os.path.isfile(pfx):
            raise SigningError(f"the certificate file {pfx} does not exist")
        if shutil.which("osslsigncode") is None:
            raise SigningError("osslsigncode is missing: scripts/install-deps.sh installs it")
        self.pfx = pfx
        self.password = password or ""
        self.timestamp_url = timestamp_url
        self.info_url = info_url

    @classmethod
    def from_environment(cls, info_url=None):
        """None when SIGN_PFX is not set: the package is then unsigned."""
        pfx = os.environ.get("SIGN_PFX")
        if not pfx:
            return None
        return cls(pfx, os.environ.get("SIGN_PASS"), os.environ.get("SIGN_TIMESTAMP_URL") or None,
                   info_url)

    def sign(self, path):
        """Signs the file in place; on failure the file is as it was."""
        signed = path + ".signed"
        with tempfile.TemporaryDirectory() as work:
            password_file = os.path.join(work, "pass")
            descriptor = os.open(password_file, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
            with os.fdopen(descriptor, "w", encoding="utf-8") as f:
                f.write(self.password)
            command = ["osslsigncode", "sign", "-pkcs12", self.pfx, "-readpass", password_file,
                       "-h", "sha256", "-n", SIGNED_NAME]
            if self.info_url:
                command += ["-i", self.info_url]
            if self.timestamp_url:
                command += ["-ts", self.timestamp_url]
            command += ["-in", path, "-out", signed]
            result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                    text=True)
        if result.returncode != 0:
            if os.path.exists(signed):
                os.remove(signed)
            detail = result.stdout.strip().splitlines()
            raise SigningError(f"signing {os.path.basename(path)} failed"
                               + (f": {detail[-1]}" if detail else ""))
        os.replace(signed, path)
