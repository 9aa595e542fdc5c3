#!/usr/bin/env python3
"""Writes AddinPropertyPage.bmp, the toolbox image of the options page (BITMAP 102):
16 by 16 pixels, 4 bits per pixel, the 16-colour system palette. A red power symbol on the
dialog grey. Run it from any folder; the file is written next to this script."""
import os
import struct

# The 16 system colours as (red, green, blue), in palette order.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# Palette indices in hexadecimal, top row first: 7 grey, 9 red.
PIXELS = [
    "7777777777777777",
    "7777777997777777",
    "7777997997997777",
    "7779977997799777",
    "7799777997779977",
    "7797777997777977",
    "7997777997777997",
    "7977777777777797",
    "7977777777777797",
    "7977777777777797",
    "7997777777777997",
    "7797777777777977",
    "7799777777779977",
    "7779977777799777",
    "7777999999997777",
    "7777777777777777",
]


def bitmap_bytes():
    width = height = 16
    bits_per_pixel = 4
    stride = (width * bits_per_pixel + 31) // 32 * 4
    rows = b""
    for row in reversed(PIXELS):  # a bottom-up DIB stores the last row first
        packed = bytes(int(row[i], 16) << 4 | int(row[i + 1], 16) for i in range(0, width, 2))
        rows += packed.ljust(stride, b"\0")
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits_per_pixel, 0, len(rows), 0, 0,
                       len(PALETTE), 0)
    offset = 14 + len(info) + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return header + info + colours + rows


if __name__ == "__main__":
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "AddinPropertyPage.bmp")
    with open(path, "wb") as out:
        out.write(bitmap_bytes())
