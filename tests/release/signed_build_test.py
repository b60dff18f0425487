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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import test_pki  # noqa: E402

SOURCE_DIR = None


def run(*args, check=True):
    return subprocess.run(args, check=check, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True)


def configure(build, *options):
    return run("cmake", "-S", SOURCE_DIR, "-B", build,
               "-DCMAKE_TOOLCHAIN_FILE=%s/cmake/mingw-i686.cmake" % SOURCE_DIR,
               "-DCMAKE_BUILD_TYPE=Release", "-DQUILLON_BUILD_TESTS=OFF",
               "-DQUILLON_ALLOW_UNSIGNED_ARCHIVES=ON", *options, check=False)


def verify(exe, ca_file):
    return run("osslsigncode", "verify", "-CAfile", ca_file, "-in", exe, check=False)


class SignedBuildTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="quillon-signed.")
        cls.ca, _ = test_pki.make_ca(cls.work, "TestCA")
        cls.other_ca, _ = test_pki.make_ca(cls.work, "OtherCA")
        cert, key = test_pki.issue(cls.work, "TestCA", "Signer", "codesign")
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
        self.assertIn("Subject: /CN=Quillon Signer", result.stdout)

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
                           "-DQUILLON_SIGN_CERT=" + os.path.join(self.work, "Signer.pem"))
        self.assertNotEqual(0, result.returncode)
        self.assertIn("QUILLON_SIGN_KEY is not", result.stdout)


if __name__ == "__main__":
    SOURCE_DIR = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
