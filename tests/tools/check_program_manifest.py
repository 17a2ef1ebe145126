#!/usr/bin/env python3
"""check_program_manifest.py PROGRAM...: the manifest each program carries
(resource 1 of type 24) is well-formed and says what Windows must know: the
common controls 6, the Windows versions it was made for (7 to 11), long
paths, per-monitor DPI awareness, and that it runs with the rights it was
started with."""
import sys
import xml.etree.ElementTree as ElementTree

import pefile

RT_MANIFEST = 24
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"


def manifest_of(path):
    image = pefile.PE(path, fast_load=True)
    image.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    for kind in getattr(image, "DIRECTORY_ENTRY_RESOURCE", None).entries:
        if kind.id != RT_MANIFEST:
            continue
        for name in kind.directory.entries:
            if name.id == 1:
                data = name.directory.entries[0].data.struct
                return image.get_data(data.OffsetToData, data.Size)
    return None


def problems_of(path):
    text = manifest_of(path)
    if text is None:
        return ["no manifest (resource 1 of type 24)"]
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        return [f"not well-formed: {error}"]
    problems = []
    controls = [e for e in root.iter(f"{ASM_V1}assemblyIdentity")
                if e.get("name") == "Microsoft.Windows.Common-Controls"]
    if not controls or controls[0].get("version") != "6.0.0.0":
        problems.append("no dependency on the common controls 6")
    declared = {e.get("Id", "").lower() for e in root.iter(f"{COMPATIBILITY}supportedOS")}
    for guid, name in SUPPORTED_OS.items():
        if guid not in declared:
            problems.append(f"no supportedOS entry for {name}")
    expected = {
        f"{SETTINGS_2016}longPathAware": "true",
        f"{SETTINGS_2005}dpiAware": "true/pm",
        f"{SETTINGS_2016}dpiAwareness": "PerMonitorV2, PerMonitor",
    }
    for tag, value in expected.items():
        found = [(e.text or "").strip() for e in root.iter(tag)]
        if found != [value]:
            problems.append(f"{tag.split('}')[1]}: {found}, expected [{value!r}]")
    levels = [e.get("level") for e in root.iter(f"{ASM_V3}requestedExecutionLevel")]
    if levels != ["asInvoker"]:
        problems.append(f"requestedExecutionLevel {levels}, expected asInvoker")
    return problems


failed = False
for program in sys.argv[1:]:
    for problem in problems_of(program):
        print(f"{program}: {problem}")
        failed = True
print(f"{len(sys.argv) - 1} programs checked")
sys.exit(1 if failed else 0)
