"""A small reader of PE images (DLLs and programs of either architecture): the header fields,
sections, export directory and import directory that the build's checks look at."""
import struct

IMAGE_SCN_MEM_EXECUTE = 0x20000000


class PeImage:
    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError(f"{path}: not an MZ image")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path}: no PE signature")
        self.machine, nsections = struct.unpack_from("<HH", data, pe + 4)
        opt_size = struct.unpack_from("<H", data, pe + 20)[0]
        opt = pe + 24
        self.pe32plus = struct.unpack_from("<H", data, opt)[0] == 0x20B
        self.image_base = struct.unpack_from("<Q" if self.pe32plus else "<I", data,
                                             opt + (24 if self.pe32plus else 28))[0]
        dirs = opt + (112 if self.pe32plus else 96)
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(2)]
        self.sections = []  # (name, rva, size, file offset, flags)
        table = opt + opt_size
        for i in range(nsections):
            name, vsize, va, rsize, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
            flags = struct.unpack_from("<I", data, table + 40 * i + 36)[0]
            self.sections.append((name.rstrip(b"\0").decode(), va, max(vsize, rsize), raw, flags))

    def section_of(self, rva):
        for s in self.sections:
            if s[1] <= rva < s[1] + s[2]:
                return s
        raise ValueError("RVA 0x%x lies in no section" % rva)

    def is_code(self, rva):
        return bool(self.section_of(rva)[4] & IMAGE_SCN_MEM_EXECUTE)

    def offset(self, rva):
        s = self.section_of(rva)
        return s[3] + rva - s[1]

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def u16(self, rva):
        return struct.unpack_from("<H", self.data, self.offset(rva))[0]

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def exports(self):
        """(dll name, ordinal base, entries): entries maps each exported ordinal to
        (name or None, target RVA, forwarded)."""
        rva, size = self.directories[0]
        if not rva:
            return None, 0, {}
        (_, _, _, _, name, base, nfuncs, nnames, funcs, names, ordinals) = struct.unpack_from(
            "<IIHHIIIIIII", self.data, self.offset(rva))
        entries = {}
        for i in range(nfuncs):
            target = self.u32(funcs + 4 * i)
            if target:
                entries[base + i] = (None, target, rva <= target < rva + size)
        for i in range(nnames):
            ordinal = base + self.u16(ordinals + 2 * i)
            _, target, forwarded = entries[ordinal]
            entries[ordinal] = (self.text(self.u32(names + 4 * i)), target, forwarded)
        return self.text(name), base, entries

    def imports(self):
        """{dll name in lower case: [ordinal as int, or name as str]}"""
        rva = self.directories[1][0]
        found = {}
        width, flag = (8, 1 << 63) if self.pe32plus else (4, 1 << 31)
        while rva:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, self.offset(rva))
            if not name:
                break
            entries = []
            at = lookup or thunks
            while True:
                value = struct.unpack_from("<Q" if width == 8 else "<I", self.data, self.offset(at))[0]
                if not value:
                    break
                entries.append(value & 0xFFFF if value & flag else self.text((value & 0x7FFFFFFF) + 2))
                at += width
            found[self.text(name).lower()] = entries
            rva += 20
        return found
