#!/usr/bin/env python3
"""Reference pictures of the screen tests: kept in the repository as PNG (small, viewable),
read by the tests as 24-bit BMP (what the UI driver writes). Only the standard library.

usage: reference_image.py to-bmp PNG BMP    (the build, for the tests)
       reference_image.py to-png BMP PNG    (once, to keep a picture a test took)
"""
import struct
import sys
import zlib


def read_bmp(path):
    """Width, height and rows of (r, g, b) pixels, top row first, of a 24-bit BMP."""
    data = open(path, "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24 or compression != 0:
        raise ValueError(f"{path}: not an uncompressed 24-bit BMP")
    top_down = height < 0
    height = abs(height)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height):
        start = offset + (y if top_down else height - 1 - y) * stride
        row = data[start:start + width * 3]
        rows.append(bytes(row[i + c] for i in range(0, width * 3, 3) for c in (2, 1, 0)))
    return width, height, rows


def write_bmp(path, width, height, rows):
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        pixels += bytes(row[i + c] for i in range(0, width * 3, 3) for c in (2, 1, 0))
        pixels += b"\0" * (stride - width * 3)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    with open(path, "wb") as f:
        f.write(file_header + header + pixels)


def chunk(kind, body):
    return (struct.pack(">I", len(body)) + kind + body +
            struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))


def write_png(path, width, height, rows):
    raw = b"".join(b"\0" + row for row in rows)  # filter type 0 on every row
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def read_png(path):
    """Width, height and rows of an 8-bit RGB PNG without interlacing."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG")
    pos, idat = 8, b""
    while pos < len(data):
        length, = struct.unpack_from(">I", data, pos)
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if (depth, colour, interlace) != (8, 2, 0):
                raise ValueError(f"{path}: not an 8-bit RGB PNG without interlacing")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride, rows, previous = width * 3, [], bytes(width * 3)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - 3] if i >= 3 else 0
            up, up_left = previous[i], previous[i - 3] if i >= 3 else 0
            line[i] = (line[i] + (0, left, up, (left + up) // 2, paeth(left, up, up_left))[kind]) & 0xFF
        rows.append(bytes(line))
        previous = line
    return width, height, rows


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("to-bmp", "to-png"):
        sys.exit(__doc__)
    command, source, target = sys.argv[1:]
    if command == "to-bmp":
        write_bmp(target, *read_png(source))
    else:
        write_png(target, *read_bmp(source))


if __name__ == "__main__":
    main()
