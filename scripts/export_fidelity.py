#!/usr/bin/env python3
"""How faithful an export is: for Wine's own COM DLLs, what `calvorn -q -e`
writes against what a real registration (regsvr32) changes, key by key and
value by value, in a throwaway Wine prefix.

    scripts/export_fidelity.py BUILD32 BUILD64 [--prefix DIR] [--sample N]

BUILD32 holds calvorn.exe, its 32-bit host and dump_registry.exe; BUILD64
holds calvorn64.exe and its 64-bit host. Each DLL is unregistered first, so
that its registration makes a difference; the difference (values added or
changed, keys added) is set against the exports of all the DLLs of a
bitness. Values of the export that the machine already held with the same
data count as equal too. Prints one line per DLL and per bitness, the
totals, then every difference."""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

TIMEOUT = 60


def run(env, *args):
    try:
        done = subprocess.run(["wine", *args], env=env, capture_output=True, timeout=TIMEOUT)
        return done.returncode, done.stdout
    except subprocess.TimeoutExpired:
        return None, b""


def dump(env, tools, bits):
    """key -> {value name -> (type, normalised data)}; names in lower case."""
    _, out = run(env, os.path.join(tools, "dump_registry.exe"), str(bits))
    # The 32-bit view's own keys are read where the registry keeps them
    # (Wow6432Node) and put where a 32-bit process sees them; they win over
    # the shared ones read through the view.
    keys, own = {}, {}
    for line in out.decode("utf-8", "replace").splitlines():
        parts = line.rstrip("\r").split("\t")
        key = parts[0].lower()
        target = keys
        for shared in ("hkey_classes_root", "hkey_local_machine\\software"):
            if key == shared + "\\wow6432node" or key.startswith(shared + "\\wow6432node\\"):
                if bits != 32:
                    target = None
                    break
                key = shared + key[len(shared) + len("\\wow6432node"):]
                target = own
        if target is None:
            continue
        values = target.setdefault(key, {})
        if len(parts) == 4:
            values[parts[1].lower()] = normalised(int(parts[2]), bytes.fromhex(parts[3]))
    for key, values in own.items():
        keys.setdefault(key, {}).update(values)
    return keys


def text_of(data):
    if len(data) % 2:
        return None
    text = data.decode("utf-16-le", "replace")
    return text[:-1] if text.endswith("\0") else text


def normalised(kind, data):
    if kind in (1, 2) and text_of(data) is not None:
        return kind, text_of(data)
    if kind == 7 and text_of(data) is not None:
        return kind, [s for s in text_of(data).split("\0") if s]
    if kind == 4 and len(data) == 4 or kind == 11 and len(data) == 8:
        return kind, int.from_bytes(data, "little")
    return kind, data.hex()


TYPES = {"REG_NONE": 0, "REG_SZ": 1, "REG_EXPAND_SZ": 2, "REG_BINARY": 3, "REG_DWORD": 4,
         "REG_DWORD_BIG_ENDIAN": 5, "REG_LINK": 6, "REG_MULTI_SZ": 7, "REG_QWORD": 11}


def where(key):
    """The export's key as the registry shows it: HKLM\\Software\\Classes is HKCR."""
    lower = key.lower()
    machine_classes = "hkey_local_machine\\software\\classes"
    if lower == machine_classes or lower.startswith(machine_classes + "\\"):
        return "hkey_classes_root" + lower[len(machine_classes):]
    return lower


def exported(env, program, dll):
    code, out = run(env, program, "-q", "-e", dll, "-format", "json", "-out", "-")
    keys = {}
    for line in out.decode("utf-8", "replace").splitlines():
        if not line.startswith("{"):
            continue
        for key in json.loads(line)["keys"]:
            values = keys.setdefault(where(key["key"]), {})
            for value in key["values"]:
                kind = TYPES.get(value["type"], value["type"])
                data = value["data"] if "data" in value else value["hex"]
                values[value["name"].lower()] = (kind, data)
    return code, keys


def compare(before, after, export):
    changed = {(k, n): v for k, vs in after.items() for n, v in vs.items()
               if before.get(k, {}).get(n) != v}
    added_keys = set(after) - set(before)
    result = {"equal": 0, "changed": len(changed), "differ": [], "missing": [], "extra": []}
    for (k, n), v in sorted(changed.items()):
        got = export.get(k, {}).get(n)
        if got == v:
            result["equal"] += 1
        elif got is None:
            result["missing"].append(f"{k} [{n}] = {v}")
        else:
            result["differ"].append(f"{k} [{n}]: registration {v}, export {got}")
    for k in sorted(added_keys - set(export)):
        result["missing"].append(f"{k} (key)")
    for k, vs in sorted(export.items()):
        if k not in after:
            result["extra"].append(f"{k} (key)")
        for n, v in sorted(vs.items()):
            if (k, n) in changed:
                continue
            if after.get(k, {}).get(n) == v:
                result["equal"] += 1
            else:
                result["extra"].append(f"{k} [{n}] = {v}")
    return result


def com_dlls(folder, sample):
    names = sorted(n for n in os.listdir(folder) if n.lower().endswith(".dll"))
    dlls = []
    for name in names:
        with open(os.path.join(folder, name), "rb") as f:
            if b"DllRegisterServer\0" in f.read():
                dlls.append(name)
    if sample and len(dlls) > sample:
        step = len(dlls) / sample
        dlls = [dlls[int(i * step)] for i in range(sample)]
    return dlls


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build32")
    parser.add_argument("build64")
    parser.add_argument("--prefix", help="a prefix to use up (default: a new one)")
    parser.add_argument("--sample", type=int, default=0, help="DLLs per bitness (0: all)")
    args = parser.parse_args()
    tools = tempfile.mkdtemp(prefix="calvorn-fidelity-tools-")
    for build, parts in ((args.build32, ["calvorn.exe", "calvorn-reghost32.exe",
                                         "calvorn-typelib32.exe", "dump_registry.exe"]),
                         (args.build64, ["calvorn64.exe", "calvorn-reghost64.exe",
                                         "calvorn-typelib64.exe"])):
        for part in parts:
            if os.path.exists(os.path.join(build, part)):
                shutil.copy(os.path.join(build, part), tools)
    env = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    env["WINEPREFIX"] = args.prefix or tempfile.mkdtemp(prefix="calvorn-fidelity-prefix-")
    if not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg")):
        subprocess.run(["wineboot", "-i"], env=env, capture_output=True)
    windows = os.path.join(env["WINEPREFIX"], "drive_c", "windows")
    totals = {"dlls": 0, "equal": 0, "differ": 0, "missing": 0, "extra": 0, "failed": 0}
    details = []
    for bits, folder, program, regsvr in (
            (32, "syswow64", "calvorn.exe", "C:\\windows\\syswow64\\regsvr32.exe"),
            (64, "system32", "calvorn64.exe", "C:\\windows\\system32\\regsvr32.exe")):
        # The program reads the system folder as the native one.
        dlls = [f"C:\\windows\\{folder}\\{name}"
                for name in com_dlls(os.path.join(windows, folder), args.sample)]
        # Reading the whole registry costs most: once before all the
        # registrations of a bitness and once after them.
        for dll in dlls:
            run(env, regsvr, "/u", "/s", dll)
        before = dump(env, tools, bits)
        export = {}
        for dll in dlls:
            code, keys = exported(env, os.path.join(tools, program), dll)
            registered, _ = run(env, regsvr, "/s", dll)
            totals["dlls"] += 1
            name = dll.rsplit("\\", 1)[1]
            if code not in (0, 14) or registered != 0:
                totals["failed"] += 1
                print(f"{bits} {name}: export exit {code}, regsvr32 exit {registered}", flush=True)
                continue
            print(f"{bits} {name}: {sum(len(v) for v in keys.values())} values exported",
                  flush=True)
            for key, values in keys.items():
                export.setdefault(key, {}).update(values)
        after = dump(env, tools, bits)
        r = compare(before, after, export)
        for kind in ("differ", "missing", "extra"):
            totals[kind] += len(r[kind])
            details += [f"{bits} {kind}: {line}" for line in r[kind]]
        totals["equal"] += r["equal"]
        print(f"{bits}-bit: {r['equal']} equal, {len(r['differ'])} differ, "
              f"{len(r['missing'])} missing, {len(r['extra'])} extra; the registrations "
              f"changed {r['changed']} values", flush=True)
    print("totals: " + ", ".join(f"{v} {k}" for k, v in totals.items()))
    for line in details:
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
