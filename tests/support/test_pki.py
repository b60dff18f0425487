"""Test certificates made with openssl: CAs of the tests' own, and certificates they issue
(code signing, TLS servers). Nothing here is trusted anywhere until a test says so."""
import os
import subprocess

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
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
authorityKeyIdentifier = keyid
subjectKeyIdentifier = hash
subjectAltName = ${ENV::QUILLON_TLS_NAMES}
"""


def openssl(*args, env=None):
    subprocess.run(("openssl",) + args, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE, env=env)


def config_path(folder):
    path = os.path.join(folder, "openssl.cnf")
    if not os.path.exists(path):
        with open(path, "w") as f:
            f.write(OPENSSL_CONFIG)
    return path


def make_ca(folder, name):
    """A self-signed CA: (folder/name.pem, folder/name.key); also folder/name.der."""
    cert, key = os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "365", "-keyout", key,
            "-out", cert, "-subj", "/CN=Quillon %s" % name, "-config", config_path(folder),
            "-extensions", "ca", env=dict(os.environ, QUILLON_TLS_NAMES="DNS:unused"))
    openssl("x509", "-in", cert, "-outform", "DER", "-out", os.path.join(folder, name + ".der"))
    return cert, key


def issue(folder, ca, name, kind, names="DNS:unused"):
    """A certificate of kind ("codesign" or "server", for the subjectAltName names) issued by
    the CA made by make_ca(folder, ca): (folder/name.pem, folder/name.key)."""
    key, csr, cert = (os.path.join(folder, name + ext) for ext in (".key", ".csr", ".pem"))
    env = dict(os.environ, QUILLON_TLS_NAMES=names)
    config = config_path(folder)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
            "-subj", "/CN=Quillon %s" % name, "-config", config, env=env)
    openssl("x509", "-req", "-in", csr, "-CA", os.path.join(folder, ca + ".pem"),
            "-CAkey", os.path.join(folder, ca + ".key"), "-set_serial",
            str(int.from_bytes(os.urandom(8), "big")), "-days", "365", "-out", cert,
            "-extfile", config, "-extensions", kind, env=env)
    os.unlink(csr)
    return cert, key
