#!/usr/bin/env python3
"""Writes the HTTPS tests' certificates into OUTPUT_FOLDER:
  TrustedCA.der        the CA the tests add to the prefix's LocalMachine\\Root store
  Loopback.pem/.key    for 127.0.0.1, issued by TrustedCA
  Stranger.pem/.key    for 127.0.0.1, issued by UntrustedCA (which nothing trusts)
  OtherHost.pem/.key   for other.example only, issued by TrustedCA
and a stamp file last.

usage: make_tls_certificates.py OUTPUT_FOLDER
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import test_pki  # noqa: E402


# The loopback address as an IP address entry (as Windows matches it) and as a name entry
# (as Wine's certificate checks match it).
LOOPBACK_NAMES = "IP:127.0.0.1, DNS:127.0.0.1"


def main(out):
    os.makedirs(out, exist_ok=True)
    test_pki.make_ca(out, "TrustedCA")
    test_pki.make_ca(out, "UntrustedCA")
    test_pki.issue(out, "TrustedCA", "Loopback", "server", LOOPBACK_NAMES)
    test_pki.issue(out, "UntrustedCA", "Stranger", "server", LOOPBACK_NAMES)
    test_pki.issue(out, "TrustedCA", "OtherHost", "server", "DNS:other.example")
    with open(os.path.join(out, "stamp"), "w") as f:
        f.write("ok\n")


if __name__ == "__main__":
    main(sys.argv[1])
