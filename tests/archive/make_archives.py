#!/usr/bin/env python3
"""Writes the zip archives the extractor's tests open, into OUTPUT_FOLDER.

Entry names are given as raw bytes (code page 949 for Korean, no UTF-8 flag; archives of
UTF-8 names set the flag by patching); a file holds content_of(name) unless it is one of
the large ones. Broken archives are made by patching the bytes of sound ones.
Archives for refused names are called refused-<hex of the name>.zip and listed in
refused.txt, one "<reason> <hex of the name>" a line.

usage: make_archives.py OUTPUT_FOLDER
"""
import os
import struct
import sys
import zipfile
import zlib

# Local header field offsets and central header field offsets (PKWARE APPNOTE 4.3.7/12).
UTF8_FLAG = 0x800
LOCAL = {"flag": 6, "method": 8, "crc": 14, "csize": 18, "usize": 22, "name": 30}
CENTRAL = {"flag": 8, "method": 10, "crc": 16, "csize": 20, "usize": 24, "nlen": 28, "name": 46}
FIELD_SIZE = {"flag": 2, "method": 2, "crc": 4, "csize": 4, "usize": 4, "nlen": 2}

OLD = (2001, 2, 3, 4, 5, 6)
NEWER = (2019, 12, 31, 23, 59, 58)
MIDDLE = (2010, 5, 6, 7, 8, 10)

# Names refused through extraction, with the reason their "unzip실패" line gives.
LEAVING_NAMES = [
    b"../evil.txt", b"..\\evil.txt", b"a/../../evil.txt", b"/evil.txt", b"\\evil.txt",
    b"//server/share/evil.txt", b"C:/evil.txt", b"C:evil.txt", b"host.txt:evil", b"../",
]
NOT_PLAIN_NAMES = [
    b"CON", b"nul.txt", b"docs/COM1.log", b"Lpt9.tar.gz", b"AUX .txt", b"a<b.txt", b"a>b.txt",
    b'a"b.txt', b"a|b.txt", b"a?.txt", b"a*.txt", b"tab\tname.txt", b"line\nbreak.txt",
    b"dot.", b"blank ", b"dir./x.txt", b"a//b.txt", b"a\0b.txt", b"\xff\xfe.txt", b"",
]


def content_of(name):
    return (b"content of " + name + b"\r\n") * 3000


def big_data(size):
    """size bytes of numbered lines."""
    lines = b"".join(b"line %08d of a large entry\r\n" % i for i in range(size // 32 + 1))
    return lines[:size]


def write_zeros(archive, name, size):
    """An entry of size zero bytes, deflated, written a MiB at a time."""
    info = zipfile.ZipInfo(name, OLD)
    info.compress_type = zipfile.ZIP_DEFLATED
    block = bytes(1 << 20)
    with archive.open(info, "w", force_zip64=size > zipfile.ZIP64_LIMIT) as entry:
        for _ in range(size // len(block)):
            entry.write(block)


def placeholder(name):
    """Same length, only bytes zipfile writes unchanged; the real name is patched in."""
    return "".join(chr(b) if 0x20 < b < 0x7F and b != 0x5C else "x" for b in name)


class Archive:
    """A written archive whose headers can be patched; entries by index."""

    def __init__(self, path, entries):
        """entries: (name bytes, date_time, compress_type[, data])."""
        self.path = path
        with zipfile.ZipFile(path, "w") as archive:
            for entry in entries:
                name, date_time, method = entry[:3]
                data = entry[3] if len(entry) > 3 else (b"" if name.endswith(b"/") else content_of(name))
                info = zipfile.ZipInfo(placeholder(name), date_time)
                info.compress_type = method
                archive.writestr(info, data)
        with zipfile.ZipFile(path) as archive:
            self.local = [info.header_offset for info in archive.infolist()]
        self.data = bytearray(open(path, "rb").read())
        cd_offset = struct.unpack_from("<I", self.data, len(self.data) - 22 + 16)[0]
        self.central = []
        at = cd_offset
        for _ in entries:
            self.central.append(at)
            nlen, xlen, clen = struct.unpack_from("<HHH", self.data, at + 28)
            assert nlen == len(entries[len(self.central) - 1][0]), "zipfile changed a name"
            at += 46 + nlen + xlen + clen
        for index, entry in enumerate(entries):
            self.patch_bytes(index, "name", entry[0])
        self.save()

    def patch_bytes(self, index, field, value):
        for start, offsets in ((self.local[index], LOCAL), (self.central[index], CENTRAL)):
            if field in offsets:
                at = start + offsets[field]
                self.data[at:at + len(value)] = value

    def patch(self, index, field, change, central_only=False):
        """Replaces a header field with change(old value), in both headers."""
        for start, offsets in ((self.local[index], LOCAL), (self.central[index], CENTRAL)):
            if field not in offsets or (central_only and offsets is LOCAL):
                continue
            at = start + offsets[field]
            fmt = "<H" if FIELD_SIZE[field] == 2 else "<I"
            struct.pack_into(fmt, self.data, at, change(struct.unpack_from(fmt, self.data, at)[0]))

    def save(self):
        open(self.path, "wb").write(self.data)


def main(out):
    os.makedirs(out, exist_ok=True)
    D, S = zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED
    path = lambda name: os.path.join(out, name)

    Archive(path("basic.zip"), [(b"docs/", OLD, S), (b"docs/a.txt", OLD, D),
                                (b"top.txt", NEWER, S), (b"a/b/c.txt", MIDDLE, D)])
    Archive(path("only-folder.zip"), [(b"empty/", OLD, S)])
    Archive(path("korean.zip"), [("한글폴더/설명서.txt".encode("cp949"), OLD, D),
                                 ("바탕.ini".encode("cp949"), OLD, S)])
    Archive(path("deep.zip"), [(b"/".join(b"l%02d" % i for i in range(1, 13)) + b"/deep.txt", OLD, D)])
    Archive(path("second-lzma.zip"), [(b"first.txt", OLD, D), (b"second.txt", OLD, zipfile.ZIP_LZMA)])
    Archive(path("bzip2.zip"), [(b"packed.txt", OLD, zipfile.ZIP_BZIP2)])
    Archive(path("long-name.zip"), [(b"n" * 1096 + b".txt", OLD, D)])
    Archive(path("long-path.zip"), [(b"p" * 236 + b".txt", OLD, D)])
    # No entries. The reader doesn't see an end record at the very start of a file, so a
    # stub comes first, as in a self-extracting archive.
    stub = b"MZ" + b"\0" * 62
    open(path("empty.zip"), "wb").write(stub + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0, 0, 0, len(stub), 0))
    open(path("not-a-zip.zip"), "wb").write(b"This is a text file, not a zip archive.\r\n" * 20)
    basic = open(path("basic.zip"), "rb").read()
    open(path("truncated.zip"), "wb").write(basic[:len(basic) // 2])

    # The flag says encrypted; the data is plain, so only the flag can stop it.
    a = Archive(path("encrypted.zip"), [(b"secret.txt", OLD, D)])
    a.patch(0, "flag", lambda v: v | 1)
    a.save()
    # Data that inflates (or is stored), with a CRC that doesn't match it.
    a = Archive(path("crc.zip"), [(b"first.txt", OLD, D), (b"crc.txt", OLD, D)])
    a.patch(1, "crc", lambda v: v ^ 0x00010000)
    a.save()
    a = Archive(path("stored-crc.zip"), [(b"stored-crc.txt", OLD, S)])
    a.patch(0, "crc", lambda v: v ^ 0x00010000)
    a.save()
    # Declared longer than the data, and shorter than it, deflated and stored.
    for prefix, method in (("", D), ("stored-", S)):
        for archive, name, change in (("size-longer", "short", 100), ("size-shorter", "long", -10)):
            a = Archive(path(prefix + archive + ".zip"), [((prefix + name + ".txt").encode(), OLD, method)])
            a.patch(0, "usize", lambda v: v + change)
            a.save()
    # The compressed data is declared shorter than it is: the stream is cut.
    a = Archive(path("cut-data.zip"), [(b"cut.txt", OLD, D)])
    a.patch(0, "csize", lambda v: v // 2)
    a.save()
    # Behind a stub, as in a self-extracting archive (the directory's offsets count from the
    # archive's start): stored and deflated data, empty files of both kinds, and data
    # larger than one read of the compressed bytes.
    a = Archive(path("prefixed.zip"), [(b"stored.txt", OLD, S), (b"deflated.txt", OLD, D),
                                       (b"empty-stored.txt", OLD, S, b""),
                                       (b"empty-deflated.txt", OLD, D, b""),
                                       (b"large.bin", OLD, D, big_data(3 << 20)),
                                       (b"large-stored.bin", OLD, S, big_data(1 << 20))])
    a.data[0:0] = b"MZ" + b"\0" * 4094
    a.save()
    # The entry's local header is damaged: its data can't be opened.
    a = Archive(path("bad-local-header.zip"), [(b"local.txt", OLD, D)])
    a.data[a.local[0]:a.local[0] + 4] = b"XXXX"
    a.save()
    # The second entry's name runs past the end of the file: its information can't be read.
    a = Archive(path("bad-info.zip"), [(b"first.txt", OLD, D), (b"second.txt", OLD, D)])
    a.patch(1, "nlen", lambda v: 0xFFFF, central_only=True)
    a.save()
    # The second central header is damaged: the walk can't go on past the first entry.
    a = Archive(path("broken-directory.zip"),
                [(b"first.txt", OLD, D), (b"second.txt", OLD, D), (b"third.txt", OLD, D)])
    a.data[a.central[1]:a.central[1] + 4] = b"XXXX"
    a.save()

    # For the two sides of an extraction: a failure found while inflating (a CRC that does
    # not match data larger than the buffers between the sides) and entries whose writing
    # fails before a 64 MiB entry of zeros has been inflated.
    a = Archive(path("crc-big.zip"), [(b"first.txt", OLD, D), (b"crc.bin", OLD, D, big_data(3 << 20)),
                                      (b"after.txt", OLD, D)])
    a.patch(1, "crc", lambda v: v ^ 0x00010000)
    a.save()
    with zipfile.ZipFile(path("zeros.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr(zipfile.ZipInfo("first.txt", OLD), content_of(b"first.txt"), zipfile.ZIP_DEFLATED)
        write_zeros(archive, "zeros.bin", 64 << 20)
        archive.writestr(zipfile.ZipInfo("after.txt", OLD), content_of(b"after.txt"), zipfile.ZIP_DEFLATED)
    # Large in number and in size: 20,000 tiny files in 100 folders; one file of 200 MiB.
    with zipfile.ZipFile(path("tiny-20000.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
        for i in range(20000):
            archive.writestr(zipfile.ZipInfo("t%03d/%05d.txt" % (i % 100, i), OLD), b"%05d\r\n" % i,
                             zipfile.ZIP_DEFLATED)
    with zipfile.ZipFile(path("huge-200mib.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
        write_zeros(archive, "huge.bin", 200 << 20)
    # Past 4 GiB: zip64 sizes (4 MiB deflated).
    with zipfile.ZipFile(path("zeros-4gib.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
        write_zeros(archive, "zeros.bin", (4 << 30) + (1 << 20))

    write_unicode_archives(path)
    write_raw_archives(path)

    index = []
    for reason, names in (("NAME_LEAVES_FOLDER", LEAVING_NAMES), ("NAME_NOT_ALLOWED", NOT_PLAIN_NAMES)):
        for name in names:
            Archive(path("refused-%s.zip" % name.hex()), [(name, OLD, D)])
            index.append("%s %s\n" % (reason, name.hex()))
    open(path("refused.txt"), "w").write("".join(index))

    open(path("stamp"), "w").write("")


def flagged(path, entries):
    """An archive of names given as str (UTF-8, flagged as such) or bytes (no flag)."""
    a = Archive(path, [(name.encode("utf-8") if isinstance(name, str) else name,) + tuple(rest)
                       for name, *rest in entries])
    for index, entry in enumerate(entries):
        if isinstance(entry[0], str):
            a.patch(index, "flag", lambda v: v | UTF8_FLAG)
    a.save()


def unicode_path_field(stored, name, crc_change=0):
    """Info-ZIP's Unicode Path extra field (0x7075, version 1) naming stored as name."""
    utf8 = name.encode("utf-8")
    crc = (zlib.crc32(stored) ^ crc_change) & 0xFFFFFFFF
    return struct.pack("<HHBI", 0x7075, 5 + len(utf8), 1, crc) + utf8


def write_unicode_archives(path):
    D, S = zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED
    # Flagged UTF-8 names, as Python's zipfile, 7-Zip and Info-ZIP store them; the last name
    # is code page 949 without the flag, as the widget's own archives have it.
    flagged(path("unicode.zip"), [
        ("문서/", OLD, S), ("문서/설명서.txt", OLD, D), ("说明.txt", NEWER, S),
        ("日本語/ファイル.txt", MIDDLE, D), ("😀.txt", NEWER, D), ("바탕.ini".encode("cp949"), OLD, S)])
    # Flagged, but no UTF-8: a lone continuation byte; an overlong "/".
    for name, stored in (("bad-byte", b"bad\x80.txt"), ("overlong", b"a\xc0\xafevil.txt")):
        a = Archive(path("invalid-utf8-%s.zip" % name), [(stored, OLD, D)])
        a.patch(0, "flag", lambda v: v | UTF8_FLAG)
        a.save()
    # Names that a best-fit conversion to code page 949 would turn into "..", "\\" or "/";
    # the private-use stand-in of "/" as Wine keeps it.
    flagged(path("best-fit.zip"), [("．．/．．/evil.txt", OLD, D), ("a＼..＼evil.txt", OLD, D),
                                    ("a／..／evil.txt", OLD, D)])
    flagged(path("private-use.zip"), [("a\uf02f..\uf02fevil.txt", OLD, D)])
    # A refused name without any code page 949 form: the log shows "?" for it.
    flagged(path("refused-thai.zip"), [("กข/CON.txt", OLD, D)])
    # Names without the flag that carry a Unicode Path field: the field names the file when
    # its CRC matches the stored name, else the stored name does.
    with zipfile.ZipFile(path("unicode-path.zip"), "w") as archive:
        for stored, field in ((b"world.txt", unicode_path_field(b"world.txt", "世界.txt")),
                              (b"stored.txt", unicode_path_field(b"stored.txt", "他.txt", 1))):
            info = zipfile.ZipInfo(stored.decode("ascii"), OLD)
            info.compress_type = D
            info.extra = field
            archive.writestr(info, content_of(stored))


def raw_zip(path, entries, count=None, zip64=False):
    """An archive written byte by byte. entries: dicts with name (bytes) and data (stored),
    optional usize (declared; zip64 extra fields when it needs them), host (high byte of
    "version made by") and attr (external attributes). count: the end record's entry count
    (default: the true one; a zip64 end record carries the true one when zip64 is set)."""
    out, central = bytearray(), bytearray()
    for e in entries:
        data, name = e.get("data", b""), e["name"]
        usize, crc = e.get("usize", len(data)), zlib.crc32(data)
        extra = b""
        if usize > 0xFFFFFFFF:
            extra = struct.pack("<HHQQ", 1, 16, usize, len(data))
        small = lambda v: min(v, 0xFFFFFFFF)
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, 0x2100, 0x3A63, crc, small(len(data)),
                           small(usize), len(name), len(extra)) + name + extra + data
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, (e.get("host", 0) << 8) | 45, 45, 0, 0,
                               0x2100, 0x3A63, crc, small(len(data)), small(usize), len(name), len(extra),
                               0, 0, 0, e.get("attr", 0), offset) + name + extra
    start = len(out)
    out += central
    n = len(entries)
    if zip64:
        end64 = len(out)
        out += struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, n, n, len(central), start)
        out += struct.pack("<IIQI", 0x07064B50, 0, end64, 1)
    shown = n if count is None else count
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, shown, shown, len(central), start, 0)
    open(path, "wb").write(out)


def write_raw_archives(path):
    # Folders marked only by the MS-DOS attribute (hosts MS-DOS and Windows NTFS, numbered 10
    # by PKWARE's note and 11 by Info-ZIP), an empty
    # folder of the usual kind, a file inside an attribute-only folder; the same attribute
    # from a Unix host marks no folder.
    raw_zip(path("dos-folders.zip"), [
        {"name": b"empty", "attr": 0x10}, {"name": b"stored/"},
        {"name": b"dosdir", "host": 10, "attr": 0x10},
        {"name": b"dosdir/inside.txt", "data": content_of(b"inside.txt"), "attr": 0x20},
        {"name": b"ntfsdir", "host": 11, "attr": 0x10},
        {"name": b"unixname", "host": 3, "attr": 0x10, "data": b"a file"}])
    raw_zip(path("folders-only.zip"), [{"name": b"a/"}, {"name": b"b/c/"}, {"name": b"d", "attr": 0x10}])
    # Declared as 4 GiB + 5 bytes, with 5 bytes of data.
    raw_zip(path("declared-4gib.zip"), [{"name": b"big.txt", "data": b"12345", "usize": (4 << 30) + 5}])
    # 65,540 entries (one folder named again and again, then a file): the 16-bit count
    # saturated with a zip64 end record, saturated without one, and wrapped round to 4.
    many = [{"name": b"d/"}] * 65539 + [{"name": b"last.txt", "data": b"last"}]
    raw_zip(path("many-zip64.zip"), many, count=0xFFFF, zip64=True)
    raw_zip(path("many-saturated.zip"), many, count=0xFFFF)
    raw_zip(path("many-wrapped.zip"), many, count=len(many) & 0xFFFF)
    # The first central header damaged: no entry can be reached.
    a = Archive(path("bad-first-header.zip"), [(b"first.txt", OLD, zipfile.ZIP_DEFLATED)])
    a.data[a.central[0]:a.central[0] + 4] = b"XXXX"
    a.save()


if __name__ == "__main__":
    main(sys.argv[1])
