#!/usr/bin/env python3
"""Draws the installer's pictures reproducibly: the application icon (16 to 256 pixels, one
image drawn for each size a screen of 100 to 200 % asks for) and the 600 x 52 banner of the
install screen at 100 % (24-bit BMP). The left part of the banner stays light, because the
screen writes its title over it in black. At other scales the installer draws the banner
itself from the same description (screens/BannerPicture.cpp follows banner_pixel).

usage: make_images.py OUTPUT_FOLDER
"""
import math
import os
import struct
import sys
import zlib

BANNER_W, BANNER_H = 600, 52


def mix(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def rounded_box(px, py, x, y, w, h, r):
    """True when pixel (px, py) lies inside the rounded rectangle."""
    if not (x <= px < x + w and y <= py < y + h):
        return False
    cx = min(max(px, x + r), x + w - 1 - r)
    cy = min(max(py, y + r), y + h - 1 - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r


# Widget tiles on the right of the banner: x, y, size, colour.
TILES = [
    (430, 10, 32, (0x2f, 0x6f, 0xb5)),
    (468, 18, 26, (0xf2, 0x9a, 0x38)),
    (500, 6, 40, (0x1f, 0x8f, 0x8a)),
    (546, 16, 28, (0x5a, 0x4f, 0xa8)),
    (578, 24, 18, (0xe0, 0x5d, 0x5d)),
]


def banner_pixel(x, y):
    left, right = (0xf4, 0xf8, 0xfc), (0x9f, 0xc8, 0xea)
    t = max(0.0, (x - 180) / (BANNER_W - 180))
    colour = mix(left, right, t * t)
    # A soft wave across the lower edge.
    wave = 44 + 4 * math.sin(x / 37.0)
    if y > wave:
        colour = mix(colour, (0x2f, 0x6f, 0xb5), 0.35)
    for tx, ty, size, tile in TILES:
        if rounded_box(x, y, tx, ty, size, size, size // 5):
            inner = rounded_box(x, y, tx + 3, ty + 3, size - 6, size // 3, size // 8)
            colour = mix(tile, (0xff, 0xff, 0xff), 0.3) if inner else tile
    return colour


def write_banner(path):
    row_bytes = (BANNER_W * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(BANNER_H - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        for x in range(BANNER_W):
            r, g, b = banner_pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        pixels += row
    header = struct.pack("<IiiHHIIiiII", 40, BANNER_W, BANNER_H, 1, 24, 0, len(pixels),
                         2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0,
                              14 + len(header))
    with open(path, "wb") as f:
        f.write(file_header + header + pixels)


def icon_pixel(x, y, size):
    s = size / 32.0
    if not rounded_box(x, y, int(2 * s), int(2 * s), size - int(4 * s), size - int(4 * s),
                       int(6 * s)):
        return (0, 0, 0, 0)
    colour = mix((0x2f, 0x6f, 0xb5), (0x1f, 0x8f, 0x8a), y / size)
    # A white "Q": a ring with a short tail.
    cx, cy = size / 2.0 - 0.5, size / 2.0 - 1
    d = math.hypot(x - cx, y - cy)
    ring = 7.5 * s <= d <= 10.5 * s
    tail = abs((x - cx) - (y - cy)) <= 1.6 * s and 4 * s <= (x - cx) <= 11 * s
    if ring or tail:
        colour = (0xff, 0xff, 0xff)
    return colour + (0xff,)


# Icon sizes: 16, 20, 24 (small icons at 100, 125, 150 %), 32, 40, 48, 64 (large icons up to
# 200 %), 256 (Explorer's largest view). Every image is PNG-compressed, which Windows reads
# at any size from Vista on (the installer needs Windows 7): 7.7 KB for all eight, where the
# bitmaps below 64 pixels alone took 22 KB and a 256-pixel bitmap would take 270 KB.
ICON_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)


def png_chunk(kind, body):
    return (struct.pack(">I", len(body)) + kind + body +
            struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))


def icon_png(size):
    """The icon image as an RGBA PNG; each row filtered with Sub (its runs of one colour)."""
    raw = bytearray()
    for y in range(size):
        row = b"".join(bytes(icon_pixel(x, y, size)) for x in range(size))
        raw += b"\1" + bytes((row[i] - (row[i - 4] if i >= 4 else 0)) & 0xFF for i in range(len(row)))
    return (b"\x89PNG\r\n\x1a\n" +
            png_chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


def write_icon(path):
    images = [icon_png(size) for size in ICON_SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(ICON_SIZES, images):
        side = size if size < 256 else 0  # 0 stands for 256
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_banner(os.path.join(out, "banner.bmp"))
    write_icon(os.path.join(out, "QuillonSetup.ico"))


if __name__ == "__main__":
    main()
