#!/usr/bin/env python3
"""The release checks and packaging, run on the win32 preset's programs.

The shipped 32-bit programs cannot run here: they are checked as program
files, then packed as scripts/release packs them, and the package is read
back with tools that are not the packager (zipfile, Shift-JIS decoding, the
record's bytes, our extractor lzhx).
"""
import argparse
import binascii
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import unittest
import zipfile

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SOURCE, "scripts"))
import pe_check  # noqa: E402

ARGS = None
PROGRAMS = ("marrowby.exe", "tidewell.exe")


def work_dir(name):
    path = os.path.join(ARGS.work, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def program(name):
    return os.path.join(ARGS.win32_bin, name)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def patched_copy(folder, name, old, new):
    """A copy of the win32 program with `old` bytes (found once) replaced."""
    data = read(program(name))
    assert data.count(old) == 1, old
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(data.replace(old, new))
    return path


def with_subsystem(folder, name, subsystem):
    data = bytearray(read(program(name)))
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    struct.pack_into("<H", data, pe + 24 + 68, subsystem)
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(bytes(data))
    return path


def pe_status(*arguments):
    with open(os.devnull, "w") as quiet:
        stdout = sys.stdout
        sys.stdout = quiet
        try:
            return pe_check.main(list(arguments))
        finally:
            sys.stdout = stdout


def package(out, bin_dir=None, *extra):
    command = [sys.executable, os.path.join(SOURCE, "scripts", "release_package.py"),
               "--bin", bin_dir or ARGS.win32_bin, "--publish", ARGS.publish, "--out", out] + list(extra)
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


class ProgramChecks(unittest.TestCase):
    def test_the_win32_programs_pass(self):
        self.assertEqual(0, pe_status("--machine", "i386", "--version", ARGS.version, "--languages", "0411,0409",
                                      program("marrowby.exe"), program("tidewell.exe")))
        marrowby = pe_check.Image(read(program("marrowby.exe")))
        tidewell = pe_check.Image(read(program("tidewell.exe")))
        # The import tables are really read: each program's own network DLL.
        self.assertIn("ws2_32.dll", [n.lower() for n in marrowby.imports()])
        self.assertIn("wininet.dll", [n.lower() for n in tidewell.imports()])

    def test_each_fault_fails_the_check(self):
        folder = os.path.join(ARGS.work, "faulty")
        shutil.rmtree(folder, ignore_errors=True)
        marrowby = program("marrowby.exe")
        self.assertEqual(1, pe_status("--machine", "amd64", marrowby))
        self.assertEqual(1, pe_status("--version", "9.9.9.9", marrowby))
        self.assertEqual(1, pe_status(with_subsystem(os.path.join(folder, "console"), "marrowby.exe", 3)))
        self.assertEqual(1, pe_status(patched_copy(os.path.join(folder, "dll"), "tidewell.exe",
                                                   b"WININET.DLL\0", b"libgcc_s.dl\0")))
        truncated = os.path.join(folder, "truncated.exe")
        with open(truncated, "wb") as f:
            f.write(read(marrowby)[:300])
        self.assertEqual(2, pe_status(truncated))


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.out = work_dir("dist")
        cls.run_result = package(cls.out, None, "--update-url", "http://127.0.0.1:9/site/marrowby")
        cls.base = "http://127.0.0.1:9/site/marrowby/"
        cls.kit = os.path.join(cls.out, "marrowby-%s-update" % ARGS.version)
        cls.archive_name = "marrowby-%s.lzh" % ARGS.version

    def setUp(self):
        self.assertEqual(0, self.run_result.returncode, self.run_result.stdout)

    def zip_entries(self):
        with zipfile.ZipFile(os.path.join(self.out, "marrowby-%s-win32.zip" % ARGS.version)) as z:
            return {name: z.read(name) for name in z.namelist()}

    def test_the_zip_holds_the_programs_record_readmes_and_licence(self):
        entries = self.zip_entries()
        self.assertEqual({"marrowby.exe", "tidewell.exe", "marrowby.qvn", "README-ja.txt",
                          "README-en.txt", "LICENSE.txt"}, set(entries))
        for name in PROGRAMS:
            self.assertEqual(read(program(name)), entries[name], name)
        # The installed record is the published one, as after an update.
        self.assertEqual(read(os.path.join(self.kit, "marrowby.qvn")), entries["marrowby.qvn"])

    def test_the_readmes_open_in_notepad(self):
        entries = self.zip_entries()
        japanese = entries["README-ja.txt"].decode("cp932")
        english = entries["README-en.txt"]
        self.assertTrue(english.startswith(b"\xef\xbb\xbf"))
        english = english[3:].decode("utf-8")
        for text in (japanese, english, entries["LICENSE.txt"].decode("ascii")):
            self.assertEqual(text.count("\n"), text.count("\r\n"))
            self.assertNotIn("@VERSION@", text)
            self.assertNotIn("@INFO_URL@", text)
        for text in (japanese, english):
            self.assertIn("Marrowby " + ARGS.version, text)
            self.assertIn(self.base + "marrowby.qvn", text)
        self.assertIn("更新のしくみ", japanese)

    def test_the_record_names_the_version_archive_and_crc(self):
        record_path = os.path.join(self.kit, "marrowby.qvn")
        archive = read(os.path.join(self.kit, self.archive_name))
        self.assertEqual({"marrowby.qvn", self.archive_name}, set(os.listdir(self.kit)))
        crc = binascii.crc_hqx(archive, 0xFFFF)  # CRC-16/CCITT-FALSE, as Tidewell checks
        record = read(record_path)
        parts = [int(p) for p in ARGS.version.split(".")]
        packed = parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3]
        self.assertEqual(b"TDWL", record[:4])
        self.assertEqual((2, 0x48, packed), struct.unpack_from("<HxxII", record, 4))
        self.assertEqual(crc, struct.unpack_from("<H", record, 364)[0])

        shown = subprocess.run([ARGS.publish, "--show", record_path], stdout=subprocess.PIPE, text=True)
        self.assertEqual(0, shown.returncode, shown.stdout)
        for line in ("version: %s (0x%08X)" % (ARGS.version, packed),
                     "flags: 0x00000048: check the archive CRC, start the program after the update",
                     'program to start: "marrowby.exe"',
                     'update-information URL: "%smarrowby.qvn"' % self.base,
                     "archive CRC-16: 0x%04X (checked)" % crc,
                     'archive URL: "%s%s"' % (self.base, self.archive_name)):
            self.assertIn(line + "\n", shown.stdout)
        self.assertIn("\n  | Marrowby %s " % ARGS.version, shown.stdout)  # the notes, filled in

    def test_the_archive_unpacks_to_exactly_the_programs(self):
        into = work_dir("unpacked")
        done = subprocess.run([ARGS.lzhx, os.path.join(self.kit, self.archive_name), into],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.assertEqual(0, done.returncode, done.stdout)
        self.assertEqual(sorted(PROGRAMS), sorted(os.listdir(into)))
        for name in PROGRAMS:
            self.assertEqual(read(program(name)), read(os.path.join(into, name)), name)


class SignedPackage(unittest.TestCase):
    def test_the_signed_record_verifies_with_the_key_and_binds_the_archive(self):
        keys = os.path.join(SOURCE, "tests", "updater")
        private, public = os.path.join(keys, "test-publisher.key"), os.path.join(keys, "test-publisher.pub")
        out = work_dir("dist-signed")
        result = package(out, None, "--sign-key", private, "--public-key", public)
        self.assertEqual(0, result.returncode, result.stdout)
        self.assertIn("verifies with key fd5978055f744038: yes", result.stdout)
        kit = os.path.join(out, "marrowby-%s-update" % ARGS.version)
        record = read(os.path.join(kit, "marrowby.qvn"))
        archive = read(os.path.join(kit, "marrowby-%s.lzh" % ARGS.version))
        # The block ends the record: magic, version 1, size 168, the archive's SHA-256.
        block = record[-168:]
        self.assertEqual((b"TWSG", 1, 168), struct.unpack_from("<4sHH", block))
        self.assertEqual(hashlib.sha256(archive).digest(), block[8:40])
        with zipfile.ZipFile(os.path.join(out, "marrowby-%s-win32.zip" % ARGS.version)) as z:
            self.assertEqual(record, z.read("marrowby.qvn"))
        # A key that is not the signer's, and a private key without its public half: refused.
        other = work_dir("other-key")
        subprocess.run([ARGS.publish, "keygen", os.path.join(other, "o.key"), os.path.join(other, "o.pub")],
                       check=True, stdout=subprocess.DEVNULL)
        out = work_dir("dist-mismatched")
        result = package(out, None, "--sign-key", private, "--public-key", os.path.join(other, "o.pub"))
        self.assertNotEqual(0, result.returncode, result.stdout)
        self.assertFalse(os.path.exists(os.path.join(out, "marrowby-%s-win32.zip" % ARGS.version)))
        self.assertNotEqual(0, package(work_dir("dist-half"), None, "--sign-key", private).returncode)


class Refusals(unittest.TestCase):
    def assert_nothing_written(self, out, result, status):
        self.assertEqual(status, result.returncode, result.stdout)
        self.assertEqual([], [n for n in os.listdir(out) if not n.startswith(".")] if os.path.isdir(out) else [])

    def test_a_program_that_fails_its_check_stops_the_release(self):
        bad_bin = os.path.join(ARGS.work, "console-bin")
        shutil.rmtree(bad_bin, ignore_errors=True)
        with_subsystem(bad_bin, "marrowby.exe", 3)
        shutil.copy(program("tidewell.exe"), bad_bin)
        out = work_dir("refused-program")
        result = package(out, bad_bin)
        self.assert_nothing_written(out, result, 1)
        self.assertIn("console program, not Windows GUI", result.stdout)

    def test_an_update_url_too_long_for_the_record_stops_the_release(self):
        out = work_dir("refused-url")
        result = package(out, None, "--update-url", "http://127.0.0.1/" + "x" * 120)
        self.assert_nothing_written(out, result, 2)
        self.assertEqual([], os.listdir(out))  # no stage left behind either


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--win32-bin", required=True)
    parser.add_argument("--publish", required=True)
    parser.add_argument("--lzhx", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--version", required=True)
    ARGS, rest = parser.parse_known_args()
    if not all(os.path.isfile(program(name)) for name in PROGRAMS):
        print("skipped: the win32 preset's programs are not built in " + ARGS.win32_bin)
        return 77
    os.makedirs(ARGS.work, exist_ok=True)
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
