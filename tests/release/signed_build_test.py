#!/usr/bin/env python3
"""The signed release build: a code-signing certificate of a test CA made with openssl signs a
release build (QUILLON_SIGN_CERT / QUILLON_SIGN_KEY), and osslsigncode checks the result.
Linux-side: it builds, it runs nothing under Wine.

  signed_build_test.py SOURCE_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = None

OPENSSL_CONFIG = """
[req]
distinguished_name = dn
[dn]
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[codesign]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
authorityKeyIdentifier = keyid
"""


def run(*args, check=True):
    return subprocess.run(args, check=check, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True)


def make_ca(folder, name):
    """A self-signed CA in folder/name.pem with its key in folder/name.key."""
    config = os.path.join(folder, "openssl.cnf")
    with open(config, "w") as f:
        f.write(OPENSSL_CONFIG)
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30",
        "-keyout", os.path.join(folder, name + ".key"), "-out", os.path.join(folder, name + ".pem"),
        "-subj", "/CN=Quillon %s" % name, "-config", config, "-extensions", "ca")


def make_signer(folder, ca):
    """A code-signing certificate issued by ca: (certificate, key) paths."""
    config = os.path.join(folder, "openssl.cnf")
    key, csr, cert = (os.path.join(folder, "signer" + ext) for ext in (".key", ".csr", ".pem"))
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
        "-subj", "/CN=Quillon Test Signer", "-config", config)
    run("openssl", "x509", "-req", "-in", csr, "-CA", os.path.join(folder, ca + ".pem"),
        "-CAkey", os.path.join(folder, ca + ".key"), "-CAcreateserial", "-days", "30",
        "-out", cert, "-extfile", config, "-extensions", "codesign")
    return cert, key


def configure(build, *options):
    return run("cmake", "-S", SOURCE_DIR, "-B", build,
               "-DCMAKE_TOOLCHAIN_FILE=%s/cmake/mingw-i686.cmake" % SOURCE_DIR,
               "-DCMAKE_BUILD_TYPE=Release", "-DQUILLON_BUILD_TESTS=OFF", *options, check=False)


def verify(exe, ca_file):
    return run("osslsigncode", "verify", "-CAfile", ca_file, "-in", exe, check=False)


class SignedBuildTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="quillon-signed.")
        make_ca(cls.work, "TestCA")
        make_ca(cls.work, "OtherCA")
        cls.ca = os.path.join(cls.work, "TestCA.pem")
        cls.other_ca = os.path.join(cls.work, "OtherCA.pem")
        cert, key = make_signer(cls.work, "TestCA")
        build = os.path.join(cls.work, "build")
        configured = configure(build, "-DQUILLON_SIGN_CERT=" + cert, "-DQUILLON_SIGN_KEY=" + key)
        assert configured.returncode == 0, configured.stdout
        run("cmake", "--build", build, "-j", "2")
        cls.signed = os.path.join(build, "QuillonSetup.exe")
        cls.unsigned = os.path.join(build, "unsigned", "QuillonSetup.exe")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_the_signed_installer_verifies_against_the_test_ca(self):
        result = verify(self.signed, self.ca)
        self.assertEqual(0, result.returncode, result.stdout)
        self.assertIn("Signature verification: ok", result.stdout)
        self.assertIn("Message digest algorithm  : SHA256", result.stdout)
        self.assertIn("Subject: /CN=Quillon Test Signer", result.stdout)

    def test_the_signature_adds_nothing_but_itself_to_the_unsigned_build(self):
        self.assertNotEqual(0, verify(self.unsigned, self.ca).returncode)
        stripped = os.path.join(self.work, "stripped.exe")
        run("osslsigncode", "remove-signature", "-in", self.signed, "-out", stripped)
        with open(stripped, "rb") as a, open(self.unsigned, "rb") as b:
            self.assertTrue(a.read() == b.read(), "the signed installer differs in its code")

    def test_a_tampered_copy_fails(self):
        with open(self.signed, "rb") as f:
            data = bytearray(f.read())
        # One byte of the code section (which starts at 0x400 in the file) changed.
        data[0x1000] ^= 0xFF
        tampered = os.path.join(self.work, "tampered.exe")
        with open(tampered, "wb") as f:
            f.write(data)
        result = verify(tampered, self.ca)
        self.assertNotEqual(0, result.returncode, result.stdout)
        self.assertIn("MISMATCH", result.stdout)

    def test_a_ca_that_did_not_issue_the_certificate_does_not_vouch_for_it(self):
        result = verify(self.signed, self.other_ca)
        self.assertNotEqual(0, result.returncode, result.stdout)

    def test_a_certificate_without_its_key_is_refused_at_configuration(self):
        result = configure(os.path.join(self.work, "nokey"),
                           "-DQUILLON_SIGN_CERT=" + os.path.join(self.work, "signer.pem"))
        self.assertNotEqual(0, result.returncode)
        self.assertIn("QUILLON_SIGN_KEY is not", result.stdout)


if __name__ == "__main__":
    SOURCE_DIR = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
