#!/usr/bin/env python3
"""The certificates of a test run, made with openssl at its start:

  ca          "Marrowby Test Root CA": trusted, but only inside the private
              Wine prefix (tests/support/trust_test_root.cpp puts it there)
  other-ca    "Marrowby Untrusted Test CA": never trusted anywhere
  localhost   for the name localhost, issued by ca
  untrusted   for localhost, issued by other-ca
  expired     for localhost, issued by ca, valid only in January 2020
  wrongname   for wrong.invalid, issued by ca

Every key is an EC P-256 key, so making them all takes a moment. Each
certificate is NAME.pem with its key NAME.key in the folder; the trusted
authority is also ca.der, the form the Windows helper reads.
"""

import os
import subprocess
import sys

DAYS = 30
TRUSTED_CA = "Marrowby Test Root CA"
UNTRUSTED_CA = "Marrowby Untrusted Test CA"

# The extensions of a server certificate, for `openssl ca`.
CA_CONFIG = """[ca]
default_ca = test
[test]
database = %(db)s/index.txt
new_certs_dir = %(db)s
serial = %(db)s/serial
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
x509_extensions = server
[any]
commonName = supplied
[server]
subjectAltName = DNS:%(name)s
extendedKeyUsage = serverAuth
basicConstraints = critical,CA:false
keyUsage = critical,digitalSignature
"""


def openssl(*args):
    subprocess.run(["openssl"] + list(args), check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def make_ca(folder, name, subject):
    openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
            "-keyout", os.path.join(folder, name + ".key"), "-out", os.path.join(folder, name + ".pem"),
            "-days", str(DAYS), "-subj", "/CN=" + subject,
            "-addext", "basicConstraints=critical,CA:true",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")


def make_server(folder, name, host, ca, start=None, end=None):
    """A certificate for host issued by ca; start and end (YYYYMMDDhhmmssZ)
    fix its validity, otherwise it runs from now for DAYS days."""
    key = os.path.join(folder, name + ".key")
    request = os.path.join(folder, name + ".csr")
    openssl("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout", key,
            "-out", request, "-subj", "/CN=" + host)
    db = os.path.join(folder, "db-" + name)
    os.makedirs(db, exist_ok=True)
    with open(os.path.join(db, "index.txt"), "w"):
        pass
    with open(os.path.join(db, "serial"), "w") as f:
        f.write("%X\n" % (0x1000 + len(os.listdir(folder))))
    config = os.path.join(db, "ca.cnf")
    with open(config, "w") as f:
        f.write(CA_CONFIG % {"db": db, "name": host})
    validity = ["-startdate", start, "-enddate", end] if start else ["-days", str(DAYS)]
    openssl("ca", "-batch", "-notext", "-config", config, "-cert", os.path.join(folder, ca + ".pem"),
            "-keyfile", os.path.join(folder, ca + ".key"), "-in", request,
            "-out", os.path.join(folder, name + ".pem"), *validity)


def make_all(folder):
    """Makes every certificate anew in folder; returns folder."""
    os.makedirs(folder, exist_ok=True)
    make_ca(folder, "ca", TRUSTED_CA)
    openssl("x509", "-in", os.path.join(folder, "ca.pem"), "-outform", "der",
            "-out", os.path.join(folder, "ca.der"))
    make_ca(folder, "other-ca", UNTRUSTED_CA)
    make_server(folder, "localhost", "localhost", "ca")
    make_server(folder, "untrusted", "localhost", "other-ca")
    make_server(folder, "expired", "localhost", "ca", "20200101000000Z", "20200201000000Z")
    make_server(folder, "wrongname", "wrong.invalid", "ca")
    return folder


if __name__ == "__main__":
    make_all(sys.argv[1] if len(sys.argv) > 1 else "certs")
