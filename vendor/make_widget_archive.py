#!/usr/bin/env python3
"""Packs the widget archive the vendor server offers: QuillonWidget.exe with a few folders
and files, each with a fixed stored time, and one Korean name stored in code page 949 (as
Korean Windows zip tools store names).

  make_widget_archive.py --exe QuillonWidget.exe --out Quillon_Widget.zip
      [--bulk-files N --bulk-bytes M]     adds N files of M bytes in all (benchmarks)
      [--bad-entry]                       ends with an entry whose name leaves the folder,
                                          which a sound extractor refuses (tests)
      [--version TEXT]                    the version written into version.txt (default 1.0)
      [--stored-time Y,M,D,h,m,s]         the stored time of every entry
      [--bad-crc]                         ends with an entry whose data does not match its
                                          CRC (tests)
      [--long-entry N]                    adds deep/d...d/f...f.txt, whose path in a folder
                                          of N characters is 259 characters long (tests)
"""
import argparse
import random
import zipfile

# Stored (local) time of every entry: 2024-05-01 10:20:30.
STORED_TIME = (2024, 5, 1, 10, 20, 30)

TEXT_FILES = [
    ("config/widget.ini", "[widget]\r\nposition=top-right\r\nrefresh=60\r\n"),
    ("skins/default/skin.txt", "background=#f4f8fc\r\nforeground=#2f6fb5\r\n"),
    ("skins/default/fonts/font.txt", "face=NanumGothic\r\nsize=9\r\n"),
    ("docs/읽어보기.txt", "Quillon 위젯을 설치해 주셔서 감사합니다.\r\n"),
]
FOLDER_ENTRIES = ["config/", "skins/", "skins/default/", "docs/", "cache/"]


class Cp949ZipInfo(zipfile.ZipInfo):
    """An entry whose name is stored in code page 949, without the UTF-8 flag."""

    def _encodeFilenameFlags(self):
        return self.filename.encode("cp949"), self.flag_bits


def entry(name, is_folder=False, stored_time=STORED_TIME):
    info = Cp949ZipInfo(name, stored_time)
    info.compress_type = zipfile.ZIP_STORED if is_folder else zipfile.ZIP_DEFLATED
    info.external_attr = (0o40755 << 16) | 0x10 if is_folder else 0o100644 << 16
    info.create_system = 0
    return info


def bulk_data(rng, size):
    """Mixed data: text-like runs that compress well, and random runs that do not."""
    out = bytearray()
    words = [b"quillon", b"widget", b"\xc0\xa7\xc1\xac", b"skin", b"0123456789", b"\r\n"]
    while len(out) < size:
        if rng.random() < 0.7:
            out += b" ".join(rng.choice(words) for _ in range(64))
        else:
            out += rng.randbytes(1024)
    return bytes(out[:size])


def long_entry_name(folder_length):
    """deep/<folder>/<file>.txt of 259 - folder_length - 1 characters: with the folder and
    its separator, a path of 259 characters, the longest below MAX_PATH."""
    length = 259 - folder_length - 1
    folder = "d" * 100
    return "deep/%s/%s.txt" % (folder, "f" * (length - len("deep/") - len(folder) - len("/.txt")))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--bulk-files", type=int, default=0)
    parser.add_argument("--bulk-bytes", type=int, default=0)
    parser.add_argument("--bad-entry", action="store_true")
    parser.add_argument("--version", default="1.0")
    parser.add_argument("--stored-time", default=",".join(map(str, STORED_TIME)))
    parser.add_argument("--bad-crc", action="store_true")
    parser.add_argument("--long-entry", type=int, default=0)
    args = parser.parse_args()
    stored = tuple(int(part) for part in args.stored_time.split(","))

    with zipfile.ZipFile(args.out, "w") as archive:
        for folder in FOLDER_ENTRIES:
            archive.writestr(entry(folder, True, stored), b"")
        with open(args.exe, "rb") as f:
            archive.writestr(entry("QuillonWidget.exe", False, stored), f.read())
        for name, text in TEXT_FILES:
            archive.writestr(entry(name, False, stored), text.encode("cp949"))
        archive.writestr(entry("version.txt", False, stored), ("version=%s\r\n" % args.version).encode())
        if args.bulk_files:
            rng = random.Random(2024)
            per_file = max(1, args.bulk_bytes // args.bulk_files)
            for i in range(args.bulk_files):
                name = "data/%02d/file%04d.bin" % (i % 40, i)
                archive.writestr(entry(name), bulk_data(rng, per_file))
        if args.long_entry:
            archive.writestr(entry(long_entry_name(args.long_entry), False, stored),
                             b"the longest path a plain extraction holds\r\n")
        if args.bad_entry:
            archive.writestr(entry("../outside.txt"), b"must not be written\r\n")
        if args.bad_crc:
            last = entry("zz_last.txt", False, stored)
            last.compress_type = zipfile.ZIP_STORED
            archive.writestr(last, b"the last entry, stored\r\n")
    if args.bad_crc:
        # One byte of the stored data changed after the CRC was computed.
        with open(args.out, "r+b") as f:
            data = f.read()
            at = data.index(b"the last entry, stored")
            f.seek(at)
            f.write(b"T")


if __name__ == "__main__":
    main()
