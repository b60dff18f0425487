#!/usr/bin/env python3
"""Release records for the record's tests, published with vendor/publish at build time.

  make_records.py OUT_DIR

Writes first.xy and second.xy (X and Y of two signing keys, 64 bytes each), archive.zip,
good.meta (version 1.4.2 of archive.zip, expiring 2030-01-02T03:04:05Z) with good.sig (the
first key's) and second.sig (the second key's), and for each way a record can break the
exact format a record NAME.meta with the first key's NAME.sig; then a stamp.
"""
import datetime
import importlib.machinery
import importlib.util
import os
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


def load_publish():
    path = os.path.join(HERE, "..", "..", "vendor", "publish")
    loader = importlib.machinery.SourceFileLoader("publish", path)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader("publish", loader))
    loader.exec_module(module)
    return module


def main():
    publish = load_publish()
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    keys = {}
    for name in ("first", "second"):
        keys[name] = os.path.join(out, name + ".key")
        subprocess.run(["openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out",
                        keys[name]], check=True, capture_output=True)
        der = subprocess.run(["openssl", "ec", "-in", keys[name], "-pubout", "-outform", "DER"],
                             check=True, capture_output=True).stdout
        with open(os.path.join(out, name + ".xy"), "wb") as f:
            f.write(der[-64:])
    archive = os.path.join(out, "archive.zip")
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr("a.txt", "a" * 1000)
        z.writestr("dir/b.txt", "b" * 234)
    expires = datetime.datetime(2030, 1, 2, 3, 4, 5)
    good = publish.make_record(archive, "1.4.2", expires)

    def write(name, data):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)

    write("good.meta", good)
    write("good.sig", publish.sign(good, keys["first"]))
    write("second.sig", publish.sign(good, keys["second"]))
    lines = good.decode().splitlines(keepends=True)
    broken = {
        "crlf": good.replace(b"\n", b"\r\n"),
        "no_final_lf": good[:-1],
        "extra_line": good + b"note: x\n",
        "reordered": "".join([lines[1], lines[0]] + lines[2:]).encode(),
        "upper_hex": good.replace(lines[4].encode(), lines[4].upper().replace("SHA256", "sha256").encode()),
        "leading_zero": good.replace(b"length: ", b"length: 0"),
        "five_parts": good.replace(b"version: 1.4.2", b"version: 1.4.2.0.1"),
        "empty_part": good.replace(b"version: 1.4.2", b"version: 1..2"),
        "no_day": good.replace(b"2030-01-02T03:04:05Z", b"2030-02-30T03:04:05Z"),
        "local_time": good.replace(b"2030-01-02T03:04:05Z", b"2030-01-02T03:04:05+09"),
        "format_2": good.replace(b"format: 1", b"format: 2"),
        "no_space": good.replace(b"file: ", b"file:"),
        "control": good.replace(b"file: ", b"file: \t"),
        "empty": b"",
    }
    for name, data in broken.items():
        write(name + ".meta", data)
        write(name + ".sig", publish.sign(data, keys["first"]))
    write("large.meta", good + b"x" * 4096)
    open(os.path.join(out, "stamp"), "w").close()


if __name__ == "__main__":
    main()
