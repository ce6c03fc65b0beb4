#!/usr/bin/env python3
"""Checks the export tables (names and ordinals) of the stand-in DLLs and Quillon in the x86_64 and
i686 builds, and that a program linked against the ordinal import libraries imports by ordinal."""
import argparse
import os
import struct
import sys


class PE:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError(f"{path}: not an MZ file")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path}: no PE signature")
        self.machine, nsections = struct.unpack_from("<HH", d, pe + 4)
        opt_size = struct.unpack_from("<H", d, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from("<H", d, opt)[0]
        self.pe32plus = magic == 0x20B
        dirs = opt + (112 if self.pe32plus else 96)
        self.dirs = [struct.unpack_from("<II", d, dirs + 8 * i) for i in range(16)]
        self.sections = []
        sec = opt + opt_size
        for i in range(nsections):
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", d, sec + 40 * i + 8)
            self.sections.append((va, max(vsize, rawsize), rawptr))

    def off(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"rva {rva:#x} outside every section")

    def cstr(self, rva):
        o = self.off(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("ascii")

    def exports(self):
        """{ordinal: name or None}"""
        rva, size = self.dirs[0]
        if not rva:
            return {}
        o = self.off(rva)
        base, nfuncs, nnames, funcs, names, ords = struct.unpack_from("<IIIIII", self.data, o + 16)
        result = {}
        for i in range(nfuncs):
            if struct.unpack_from("<I", self.data, self.off(funcs) + 4 * i)[0]:
                result[base + i] = None
        for i in range(nnames):
            name = self.cstr(struct.unpack_from("<I", self.data, self.off(names) + 4 * i)[0])
            index = struct.unpack_from("<H", self.data, self.off(ords) + 2 * i)[0]
            result[base + index] = name
        return result

    def imports(self):
        """{dll name (lower case): [ordinal int or name str]}"""
        rva, size = self.dirs[1]
        result = {}
        o = self.off(rva)
        width, flag = (8, 1 << 63) if self.pe32plus else (4, 1 << 31)
        while True:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, o)
            if not name:
                break
            entries = []
            t = self.off(lookup or first)
            while True:
                v = struct.unpack_from("<Q" if width == 8 else "<I", self.data, t)[0]
                if not v:
                    break
                entries.append(v & 0xFFFF if v & flag else self.cstr((v & 0x7FFFFFFF) + 2))
                t += width
            result[self.cstr(name).lower()] = entries
            o += 20
        return result


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
        pe = PE(path)
    except ValueError as e:
        problems.append(f"{arch}: {e}")
        return
    if pe.machine != MACHINE[arch]:
        problems.append(f"{arch}: {dll} is built for machine {pe.machine:#x}")
    exports = pe.exports()
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
            imports = PE(a.program).imports()
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
