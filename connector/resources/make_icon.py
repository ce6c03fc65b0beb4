#!/usr/bin/env python3
"""Writes kestrel.ico: one 32x32 32-bit image, a kestrel-brown disc with a light wing stroke."""
import struct
import sys

SIZE = 32


def pixel(x, y):
    cx = cy = (SIZE - 1) / 2
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    if d2 > (SIZE / 2 - 1) ** 2:
        return (0, 0, 0, 0)
    if abs((y - cy) + 0.5 * (x - cx)) < 2.5 and x > 6:
        return (0xF0, 0xE6, 0xD2, 0xFF)  # b, g, r, a
    return (0x2A, 0x5C, 0xA8, 0xFF)


def main(path):
    rows = []
    for y in range(SIZE - 1, -1, -1):  # bottom-up
        rows.append(b"".join(bytes(pixel(x, y)) for x in range(SIZE)))
    xor = b"".join(rows)
    and_mask = bytes(SIZE * 4)  # 32 px = 4 bytes per row, already DWORD aligned; alpha decides
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    image = header + xor + and_mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(icondir + entry + image)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "kestrel.ico")
