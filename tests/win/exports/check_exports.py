#!/usr/bin/env python3
"""Checks the export tables (names and ordinals) of the stand-in DLLs and Quillon in the x86_64 and
i686 builds, and that a program linked against the ordinal import libraries imports by ordinal."""
import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from pe_image import PeImage  # noqa: E402


EXPECTED = {
    "LogbookMain.dll": {"names": {"_LogbookMainRef", "_LogbookMainRelease", "_LogbookMainMessageW"}},
    "Tarragon.dll": {"ordinals": {2: "TarragonAttach", 3: "TarragonSend"}},
    "Quillon.dll": {"ordinals": {1: "VirtualChannelEntry", 2: "fnHookKeyDllSethook", 3: "fnGetInputHwnd"}},
    # The class's exported members, by the words of their mangled names.
    "DllKestrelMain.dll": {"members": ["SessionLinkDataC1", "SessionLinkDataD1", "11GetDataSizeEv", "7GetDataEPcm",
                                       "7SetDataEPc", "12DeclaredSizeEPKcm"]},
}
MACHINE = {"x86_64": 0x8664, "i686": 0x14C}


def check_dll(folder, arch, dll, want, problems):
    path = os.path.join(folder, dll)
    if not os.path.isfile(path):
        problems.append(f"{arch}: {path} is missing (build the {arch} tree first)")
        return
    try:
        pe = PeImage(path)
    except ValueError as e:
        problems.append(f"{arch}: {e}")
        return
    if pe.machine != MACHINE[arch]:
        problems.append(f"{arch}: {dll} is built for machine {pe.machine:#x}")
    exports = {ordinal: name for ordinal, (name, _, _) in pe.exports()[2].items()}
    names = {n for n in exports.values() if n}
    if "names" in want and names != want["names"]:
        problems.append(f"{arch}: {dll} exports {sorted(names)}, expected {sorted(want['names'])}")
    if "ordinals" in want and exports != want["ordinals"]:
        problems.append(f"{arch}: {dll} exports {exports}, expected {want['ordinals']}")
    for member in want.get("members", []):
        if not any(member in n for n in names):
            problems.append(f"{arch}: {dll} exports no member matching {member}: {sorted(names)}")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--win64", required=True, help="bin folder of the x86_64 build")
    p.add_argument("--win32", required=True, help="bin folder of the i686 build")
    p.add_argument("--program", help="an x86_64 program linked against the ordinal import libraries")
    a = p.parse_args()
    problems = []
    for arch, folder in (("x86_64", a.win64), ("i686", a.win32)):
        for dll, want in EXPECTED.items():
            check_dll(folder, arch, dll, want, problems)
    if a.program:
        try:
            imports = PeImage(a.program).imports()
        except (OSError, ValueError) as e:
            problems.append(f"cannot read {a.program}: {e}")
            imports = {}
        for dll, ordinals in (("tarragon.dll", [2, 3]), ("quillon.dll", [2, 3])):
            got = imports.get(dll)
            if got is None or sorted(got) != ordinals:
                problems.append(f"{os.path.basename(a.program)} imports {got} from {dll}, expected ordinals {ordinals}")
    for line in problems:
        print("exports: " + line, file=sys.stderr)
    if not problems:
        print("exports: all as expected")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
