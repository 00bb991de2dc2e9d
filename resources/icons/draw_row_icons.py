#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the filter list's row icons: a 32x16 strip of two 16x16 discs in a 16-colour BMP.

Image 0 (any filter): a cyan disc outlined in grey. Image 1 (the filter in the light path): a
yellow disc outlined in black. Magenta (255, 0, 255) fills the background and is drawn
transparent by the program.

    python3 draw_row_icons.py row-icons.bmp
"""
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, GREY, YELLOW, MAGENTA, CYAN = 0, 8, 11, 13, 14
SIZE = 16
RADIUS = 6.5  # outer edge of the outline
OUTLINE = 1.2  # outline thickness


def disc(fill, outline):
    """One icon as rows of palette indices, top row first."""
    centre = (SIZE - 1) / 2.0
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            d = ((x - centre) ** 2 + (y - centre) ** 2) ** 0.5
            if d <= RADIUS - OUTLINE:
                row.append(fill)
            elif d <= RADIUS:
                row.append(outline)
            else:
                row.append(MAGENTA)
        rows.append(row)
    return rows


def bmp(images):
    width = SIZE * len(images)
    height = SIZE
    stride = ((width * 4 + 31) // 32) * 4  # 4 bits per pixel, rows padded to 4 bytes
    pixels = bytearray()
    for y in reversed(range(height)):  # BMP rows run bottom-up
        row = [c for image in images for c in image[y]]
        packed = bytearray((row[i] << 4) | row[i + 1] for i in range(0, width, 2))
        pixels += packed + bytes(stride - len(packed))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    return header + info + palette + bytes(pixels)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "row-icons.bmp"
    with open(out, "wb") as f:
        f.write(bmp([disc(CYAN, GREY), disc(YELLOW, BLACK)]))
