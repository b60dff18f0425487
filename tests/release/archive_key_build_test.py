#!/usr/bin/env python3
"""The vendor's release-signing keys in a release build (QUILLON_ARCHIVE_PUBLIC_KEY): two P-256
keys made with openssl are built into the installer; a missing file, an RSA key and a key of
another curve stop the configuration; without a key the configuration stops unless
QUILLON_ALLOW_UNSIGNED_ARCHIVES is on, and then it warns; a lowest version that is no
version stops it.
Linux-side: it builds, it runs nothing under Wine.

  archive_key_build_test.py SOURCE_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = None
# The release installer's size budget.
SIZE_LIMIT = 327680


def run(*args, check=True):
    return subprocess.run(args, check=check, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def configure(build, *options):
    return run("cmake", "-S", SOURCE_DIR, "-B", build,
               "-DCMAKE_TOOLCHAIN_FILE=%s/cmake/mingw-i686.cmake" % SOURCE_DIR,
               "-DCMAKE_BUILD_TYPE=Release", "-DQUILLON_BUILD_TESTS=OFF", *options, check=False)


def public_key(work, name, *genkey):
    """A public key in PEM made by openssl from the private key genkey makes."""
    private = os.path.join(work, name + ".key")
    public = os.path.join(work, name + ".pub.pem")
    run(*genkey, "-out", private)
    run("openssl", "pkey", "-in", private, "-pubout", "-out", public)
    return public


class ArchiveKeyBuildTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="quillon-archive-key.")
        cls.p256 = public_key(cls.work, "p256", "openssl", "ecparam", "-name", "prime256v1",
                              "-genkey", "-noout")
        cls.rolled = public_key(cls.work, "rolled", "openssl", "ecparam", "-name", "prime256v1",
                                "-genkey", "-noout")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def refused(self, key):
        result = configure(os.path.join(self.work, "refused"), "-DQUILLON_ARCHIVE_PUBLIC_KEY=" + key)
        self.assertNotEqual(0, result.returncode)
        return result.stdout.decode(errors="replace")

    def test_both_keys_go_into_the_installer_within_the_size_budget(self):
        build = os.path.join(self.work, "build")
        configured = configure(build, "-DQUILLON_ARCHIVE_PUBLIC_KEY=%s;%s" % (self.p256, self.rolled),
                               "-DQUILLON_MIN_ARCHIVE_VERSION=1.4.2")
        self.assertEqual(0, configured.returncode, configured.stdout)
        self.assertNotIn(b"will not verify", configured.stdout)
        run("cmake", "--build", build, "-j", "2")
        with open(os.path.join(build, "QuillonSetup.exe"), "rb") as f:
            exe = f.read()
        for key in (self.p256, self.rolled):
            der = run("openssl", "pkey", "-pubin", "-in", key, "-outform", "DER").stdout
            self.assertIn(der[-64:], exe, "X and Y of %s are not in the installer" % key)
        self.assertIn(b"1.4.2\0", exe)
        self.assertLessEqual(len(exe), SIZE_LIMIT)
        print("release installer with two keys: %d bytes" % len(exe))

    def test_a_missing_file_stops_the_configuration(self):
        self.assertIn("no such file", self.refused(os.path.join(self.work, "missing.pem")))

    def test_an_rsa_key_or_another_curve_stops_the_configuration(self):
        rsa = public_key(self.work, "rsa", "openssl", "genpkey", "-algorithm", "RSA")
        p384 = public_key(self.work, "p384", "openssl", "ecparam", "-name", "secp384r1",
                          "-genkey", "-noout")
        for key in (rsa, p384):
            self.assertIn("not an EC P-256", self.refused(key))

    def test_a_file_that_is_no_pem_stops_the_configuration(self):
        der = os.path.join(self.work, "p256.der")
        run("openssl", "pkey", "-pubin", "-in", self.p256, "-outform", "DER", "-out", der)
        self.assertIn("not a PEM public key", self.refused(der))

    def test_without_a_key_the_configuration_stops_unless_allowed_and_then_warns(self):
        result = configure(os.path.join(self.work, "nokey"))
        self.assertNotEqual(0, result.returncode, result.stdout)
        self.assertIn(b"QUILLON_ALLOW_UNSIGNED_ARCHIVES", result.stdout)
        result = configure(os.path.join(self.work, "nokey-allowed"), "-DQUILLON_ALLOW_UNSIGNED_ARCHIVES=ON")
        self.assertEqual(0, result.returncode, result.stdout)
        self.assertIn(b"will not verify", result.stdout.replace(b"\n", b" "))

    def test_a_lowest_version_that_is_no_version_stops_the_configuration(self):
        for version in ("1.x", "1.2.3.4.5", ""):
            result = configure(os.path.join(self.work, "version"), "-DQUILLON_ARCHIVE_PUBLIC_KEY=" + self.p256,
                               "-DQUILLON_MIN_ARCHIVE_VERSION=" + version)
            self.assertNotEqual(0, result.returncode, version)
            self.assertIn(b"QUILLON_MIN_ARCHIVE_VERSION", result.stdout)


if __name__ == "__main__":
    SOURCE_DIR = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
