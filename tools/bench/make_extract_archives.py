#!/usr/bin/env python3
"""Writes the extraction benchmark's archives into OUTPUT_FOLDER (reproducibly):
  big.zip   one 64 MiB file of mixed data: random, text, runs and counters in 64 KiB blocks
  many.zip  5,000 small text files (200 bytes to 8 KiB) in 50 folders
Both deflated at zlib's default level. Existing archives are kept.

usage: make_extract_archives.py OUTPUT_FOLDER
"""
import os
import random
import struct
import sys
import zipfile

WORDS = ("widget install folder archive entry shortcut desktop progress 설치 폴더 "
         "압축 파일 바탕화면 the of and to in is for on with").split()


def text(rng, size):
    out = bytearray()
    while len(out) < size:
        out += " ".join(rng.choices(WORDS, k=12)).encode("cp949") + b"\r\n"
    return bytes(out[:size])


def mixed_block(rng, kind, size):
    if kind == 0:
        return rng.randbytes(size)
    if kind == 1:
        return text(rng, size)
    if kind == 2:
        return bytes([rng.randrange(256)]) * size
    start = rng.randrange(1 << 20)
    return b"".join(struct.pack("<I", start + i) for i in range(size // 4))


def main(out):
    os.makedirs(out, exist_ok=True)
    rng = random.Random(20240307)
    date = (2024, 3, 7, 9, 5, 2)
    big = os.path.join(out, "big.zip")
    if not os.path.exists(big):
        block = 64 * 1024
        data = b"".join(mixed_block(rng, rng.randrange(4), block) for _ in range(64 * 1024 * 1024 // block))
        with zipfile.ZipFile(big + ".part", "w", zipfile.ZIP_DEFLATED) as archive:
            archive.writestr(zipfile.ZipInfo("big.bin", date), data, zipfile.ZIP_DEFLATED)
        os.replace(big + ".part", big)
    many = os.path.join(out, "many.zip")
    if not os.path.exists(many):
        with zipfile.ZipFile(many + ".part", "w", zipfile.ZIP_DEFLATED) as archive:
            for i in range(5000):
                info = zipfile.ZipInfo("d%02d/f%04d.txt" % (i % 50, i), date)
                archive.writestr(info, text(rng, rng.randrange(200, 8192)), zipfile.ZIP_DEFLATED)
        os.replace(many + ".part", many)


if __name__ == "__main__":
    main(sys.argv[1])
