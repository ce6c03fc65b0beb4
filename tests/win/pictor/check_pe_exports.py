#!/usr/bin/env python3
"""Checks Pictor.dll's export and import tables as an MSVC-built parent sees them.

usage: check_pe_exports.py DLL ARCH [--objdump TOOL] [--skip-without-build]
ARCH is x86_64 or i686. With --skip-without-build a missing build folder (the DLL's
grandparent) skips the check (exit 77); a build folder without the DLL fails it.
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from pe_image import PeImage  # noqa: E402

SKIP = 77

EXPECTED = {
    "x86_64": {
        "machine": 0x8664,
        "exports": [
            (1, "??0CPictorDll@@QEAA@XZ", "code"),
            (2, "??4CPictorDll@@QEAAAEAV0@AEBV0@@Z", "code"),
            (3, "?nPictorDll@@3HA", "data"),
            (4, "GetMyDllVerion", "code"),
            (5, "ToggleDesktop", "code"),
            (6, "getJumbIcon", "code"),
        ],
    },
    "i686": {
        "machine": 0x14C,
        "exports": [
            (1, "??0CPictorDll@@QAE@XZ", "code"),
            (2, "??4CPictorDll@@QAEAAV0@ABV0@@Z", "code"),
            (3, "?nPictorDll@@3HA", "data"),
            (4, "GetMyDllVerion", "code"),
            (5, "ToggleDesktop", "code"),
            (6, "getJumbIcon", "code"),
        ],
    },
}

# Caller-pops-nothing vs callee-pops: the x86 member entries use thiscall, whose callee removes
# its stack arguments; the copy assignment has one (4 bytes), the constructor none.
X86_RETURNS = {1: "ret", 2: "ret $0x4"}

def first_return(objdump, dll, address):
    out = subprocess.run([objdump, "-d", "--start-address=0x%x" % address,
                          "--stop-address=0x%x" % (address + 64), dll],
                         check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        m = re.search(r"\t(ret[lq]?\b.*)$", line)
        if m:
            return re.sub(r"\s+", " ", m.group(1).replace("retl", "ret").replace("retq", "ret")).strip()
    return None


def check(dll, arch, objdump):
    want = EXPECTED[arch]
    pe = PeImage(dll)
    problems = []
    if pe.machine != want["machine"]:
        problems.append("machine 0x%x, expected 0x%x" % (pe.machine, want["machine"]))
    name, base, entries = pe.exports()
    count = len(entries)
    table = {n: (ordinal, target, forwarded) for ordinal, (n, target, forwarded) in entries.items() if n}
    if name != "Pictor.dll":
        problems.append("export directory names %r, expected 'Pictor.dll'" % name)
    if base != 1 or count != len(want["exports"]):
        problems.append("ordinal base %d with %d entries, expected base 1 with %d"
                        % (base, count, len(want["exports"])))
    expected_names = {n for _, n, _ in want["exports"]}
    for extra in sorted(set(table) - expected_names):
        problems.append("unexpected export %r" % extra)
    for ordinal, export, kind in want["exports"]:
        if export not in table:
            problems.append("missing export %r" % export)
            continue
        got, target, forwarded = table[export]
        if got != ordinal:
            problems.append("%r at ordinal %d, expected %d" % (export, got, ordinal))
        if forwarded:
            problems.append("%r is forwarded" % export)
            continue
        executable = pe.is_code(target)
        if executable != (kind == "code"):
            problems.append("%r points into %s, expected %s" % (export, pe.section_of(target)[0], kind))
        if arch == "i686" and ordinal in X86_RETURNS and objdump:
            ret = first_return(objdump, dll, pe.image_base + target)
            if ret != X86_RETURNS[ordinal]:
                problems.append("%r returns with %r, expected %r (thiscall)" % (export, ret, X86_RETURNS[ordinal]))

    imports = pe.imports()
    if "msvcrt.dll" not in imports:
        problems.append("the shared C run-time msvcrt.dll is not imported (imports: %s)" % sorted(imports))
    for dll_name in imports:
        if re.match(r"lib(gcc|stdc\+\+|winpthread)", dll_name):
            problems.append("needs the MinGW run-time %s" % dll_name)
    if "SHGetImageList" in imports.get("shell32.dll", []):
        problems.append("SHGetImageList is imported by name; it must be bound by ordinal")
    return problems


def main(argv):
    args = argv[1:]
    skip_without_build = "--skip-without-build" in args
    if skip_without_build:
        args.remove("--skip-without-build")
    objdump = None
    if "--objdump" in args:
        i = args.index("--objdump")
        objdump = args[i + 1]
        del args[i:i + 2]
    if len(args) != 2 or args[1] not in EXPECTED:
        print(__doc__, file=sys.stderr)
        return 2
    dll, arch = args
    build = os.path.dirname(os.path.dirname(os.path.abspath(dll)))
    if not os.path.exists(dll):
        if skip_without_build and not os.path.isdir(build):
            print("skipped: no %s build at %s" % (arch, build))
            return SKIP
        print("FAILED: %s does not exist (build the Pictor target of the %s build)" % (dll, arch))
        return 1
    problems = check(dll, arch, objdump)
    for p in problems:
        print("FAILED: %s: %s" % (dll, p))
    if not problems:
        print("%s: export and import tables as expected for %s" % (dll, arch))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
