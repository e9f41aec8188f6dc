#!/usr/bin/env python3
"""Draws the example project's icon (a white "E" on a teal tile) in 16, 32 and 48 pixels,
32-bit with transparency, and writes it as an .ico file: what a vendor's icon editor makes.

    example_icon.py OUT.ico
"""
import struct
import sys

TEAL = (0x1F, 0x8A, 0x8A, 0xFF)
DARK = (0x10, 0x50, 0x50, 0xFF)
WHITE = (0xFF, 0xFF, 0xFF, 0xFF)
CLEAR = (0, 0, 0, 0)


def draw(size):
    """Rows of (r, g, b, a), top row first."""
    def inside(x, y, x0, y0, x1, y1):
        return x0 * size <= x < x1 * size and y0 * size <= y < y1 * size

    rows = []
    corner = max(1, size // 8)
    for y in range(size):
        row = []
        for x in range(size):
            near_x = min(x, size - 1 - x)
            near_y = min(y, size - 1 - y)
            if near_x + near_y < corner:
                row.append(CLEAR)
            elif near_x == 0 or near_y == 0:
                row.append(DARK)
            elif (inside(x, y, 0.28, 0.2, 0.42, 0.8) or inside(x, y, 0.28, 0.2, 0.74, 0.33) or
                  inside(x, y, 0.28, 0.44, 0.66, 0.56) or inside(x, y, 0.28, 0.67, 0.74, 0.8)):
                row.append(WHITE)
            else:
                row.append(TEAL)
        rows.append(row)
    return rows


def bitmap(size):
    """BITMAPINFOHEADER, the pixels bottom-up in BGRA, then an AND mask that hides nothing
    (the alpha channel decides)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(draw(size)) for (r, g, b, a) in row)
    mask = bytes(((size + 31) // 32 * 4) * size)
    return header + pixels + mask


def main():
    sizes = (16, 32, 48)
    images = [bitmap(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
