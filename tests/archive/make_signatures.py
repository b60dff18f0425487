#!/usr/bin/env python3
"""Keys, data and signatures for the signature check's tests, made with openssl.

  make_signatures.py OUT_DIR

Writes key.xy (X and Y of the signing key, 64 bytes), data.bin (3 MiB and a bit: more than
one hash block) with good.sig, other_key.sig (another key's), other_file.sig (the key's
signature of other.bin), empty.bin with empty.sig, short_r.sig and short_s.sig (signatures
of data.bin whose r or s is below 2^248, so DER stores it in fewer than 32 bytes), and a
stamp.
"""
import os
import subprocess
import sys


def run(*command):
    return subprocess.run(command, check=True, capture_output=True).stdout


def make_key(path):
    run("openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", path)


def sign(key, path):
    return run("openssl", "dgst", "-sha256", "-sign", key, path)


def integer_lengths(der):
    """Lengths of r and s in a DER ECDSA-Sig-Value, leading zero bytes left out."""
    lengths, at = [], 2
    for _ in range(2):
        size = der[at + 1]
        value = der[at + 2:at + 2 + size]
        lengths.append(len(value.lstrip(b"\0")))
        at += 2 + size
    return lengths


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    key, other = os.path.join(out, "signing.key"), os.path.join(out, "other.key")
    make_key(key)
    make_key(other)
    der = run("openssl", "ec", "-in", key, "-pubout", "-outform", "DER")
    with open(os.path.join(out, "key.xy"), "wb") as f:
        f.write(der[-64:])

    data = os.path.join(out, "data.bin")
    with open(data, "wb") as f:
        f.write(bytes((i * 31 + i // 4096) % 256 for i in range(3 * 1024 * 1024 + 1234)))
    with open(os.path.join(out, "other.bin"), "wb") as f:
        f.write(b"another file\r\n" * 100)
    open(os.path.join(out, "empty.bin"), "wb").close()

    signatures = {
        "good.sig": sign(key, data),
        "other_key.sig": sign(other, data),
        "other_file.sig": sign(key, os.path.join(out, "other.bin")),
        "empty.sig": sign(key, os.path.join(out, "empty.bin")),
    }
    # About one signature in 128 has a short r or s; look for both.
    for _ in range(20000):
        if "short_r.sig" in signatures and "short_s.sig" in signatures:
            break
        candidate = sign(key, data)
        r, s = integer_lengths(candidate)
        if r < 32:
            signatures.setdefault("short_r.sig", candidate)
        if s < 32:
            signatures.setdefault("short_s.sig", candidate)
    else:
        sys.exit("no signature with a short r and s was found")
    for name, signature in signatures.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(signature)
    open(os.path.join(out, "stamp"), "w").close()


if __name__ == "__main__":
    main()
