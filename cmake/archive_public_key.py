#!/usr/bin/env python3
"""The vendor's archive-signing key for the build.

  archive_public_key.py read PUBLIC.pem
      prints X and Y of a P-256 public key in PEM (as `openssl ec -pubout` writes it) as
      64 bytes of C hex ("0x12, 0x34, ..."); exits 1 with a reason when the file is
      missing, no PEM public key, or no P-256 key.
  archive_public_key.py generate DIR
      makes DIR/vendor.key with DIR/vendor.pub.pem and DIR/second.key with
      DIR/second.pub.pem (two P-256 pairs: the key in use and the one rolled to) unless
      they are there.
"""
import os
import subprocess
import sys

# The DER SubjectPublicKeyInfo of an uncompressed P-256 point, up to the point itself:
# id-ecPublicKey with the prime256v1 curve, then the BIT STRING and the 0x04 prefix.
P256_SPKI_PREFIX = bytes.fromhex(
    "3059301306072a8648ce3d020106082a8648ce3d030107034200" "04")


def fail(message):
    sys.stderr.write(message + "\n")
    sys.exit(1)


def read(path):
    if not os.path.isfile(path):
        fail("archive public key %s: no such file" % path)
    with open(path, "rb") as f:
        text = f.read()
    if b"-----BEGIN PUBLIC KEY-----" not in text:
        fail("archive public key %s: not a PEM public key (-----BEGIN PUBLIC KEY-----)" % path)
    result = subprocess.run(
        ["openssl", "ec", "-pubin", "-in", path, "-inform", "PEM", "-pubout", "-outform", "DER",
         "-conv_form", "uncompressed"], capture_output=True)
    if result.returncode != 0:
        fail("archive public key %s: not an EC public key" % path)
    der = result.stdout
    if len(der) != len(P256_SPKI_PREFIX) + 64 or not der.startswith(P256_SPKI_PREFIX):
        fail("archive public key %s: not an EC P-256 (prime256v1) public key" % path)
    print(", ".join("0x%02x" % b for b in der[len(P256_SPKI_PREFIX):]))


def generate(folder):
    for name in ("vendor", "second"):
        key = os.path.join(folder, name + ".key")
        public = os.path.join(folder, name + ".pub.pem")
        if os.path.isfile(key) and os.path.isfile(public):
            continue
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout",
                        "-out", key], check=True, capture_output=True)
        subprocess.run(["openssl", "ec", "-in", key, "-pubout", "-out", public], check=True,
                       capture_output=True)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("read", "generate"):
        fail(__doc__)
    {"read": read, "generate": generate}[sys.argv[1]](sys.argv[2])


if __name__ == "__main__":
    main()
