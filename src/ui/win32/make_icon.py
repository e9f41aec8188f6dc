#!/usr/bin/env python3
"""Draws the updater's icon: a 32x32, 16-colour icon (a page with a green arrow bringing it
up to date, on a blue tile) and writes it as an .ico file.

    make_icon.py OUT.ico
"""
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREEN, NAVY, SILVER, GRAY, LIME, BLUE, WHITE = 0, 2, 4, 7, 8, 10, 12, 15
SIZE = 32
TRANSPARENT = None


def draw():
    pixels = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    def fill(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                pixels[y][x] = colour

    # A blue tile with a navy rim and rounded corners.
    fill(1, 1, 30, 30, NAVY)
    fill(2, 2, 29, 29, BLUE)
    for x, y in [(1, 1), (30, 1), (1, 30), (30, 30)]:
        pixels[y][x] = TRANSPARENT
    # A page with a folded corner and text lines.
    fill(6, 5, 21, 26, BLACK)
    fill(7, 6, 20, 25, WHITE)
    # The folded corner: cut away above the diagonal, the fold in silver below it.
    for y in range(5, 11):
        for x in range(16, 22):
            if x - 16 > y - 5:
                pixels[y][x] = BLUE
            elif x - 16 == y - 5 or y == 10 or x == 16:
                pixels[y][x] = BLACK
            else:
                pixels[y][x] = SILVER
    for y in (9, 12, 15, 18, 21):
        fill(9, y, 15 if y == 9 else 18, y, GRAY)
    # A green arrow pointing up, in the lower right corner.
    for row in range(7):
        fill(24 - row, 14 + row, 24 + row, 14 + row, DARK_GREEN)
    for row in range(5):
        fill(24 - row, 15 + row, 24 + row, 15 + row, LIME)
    fill(21, 21, 27, 28, DARK_GREEN)
    fill(22, 21, 26, 27, LIME)
    return pixels


def ico(pixels):
    # Bitmap rows are stored bottom-up; 4 bits per pixel; then a 1-bit AND mask (1 = transparent).
    xor_rows, and_rows = [], []
    for row in reversed(pixels):
        nibbles = [0 if p is None else p for p in row]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        mask = 0
        for p in row:
            mask = (mask << 1) | (1 if p is None else 0)
        and_rows.append(mask.to_bytes(4, "big"))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 22)
    return directory + image


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(ico(draw()))
