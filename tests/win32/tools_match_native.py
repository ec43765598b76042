#!/usr/bin/env python3
"""The 32-bit lzhx.exe and tidewell-publish.exe on every shared archive give
what the host build's lzhx and tidewell-publish give.

    tools_match_native.py --bin32 DIR --native DIR --testdata DIR --work DIR
                          [--wine-run RUNNER]

For each archive of the shared test data (lzh/MANIFEST.tsv): the listing and
exit status of `lzhx -l`, the files `lzhx` extracts (names, bytes), the
record `tidewell-publish write --archive` makes (its archive CRC) and what
`tidewell-publish show` prints of it must be the same; the extracted files
packed again by the 32-bit `tidewell-publish pack` must list and extract
like the originals in the host lzhx. The Windows side runs as one batch file
in one Wine session (each program start is slow under emulation).

Exit status 0 when everything matched, 1 otherwise, 77 when there is
nothing to run (no shared data, no host build, no emulation).
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import servers  # noqa: E402

SKIPPED = 77
RECORD_OPTIONS = ["--id", "0123456789abcdef0123456789abcdef", "--version", "1.2.3.4", "--product", "Marrowby",
                  "--program", "marrowby.exe", "--info-url", "http://127.0.0.1/marrowby.qvn"]


def archives(testdata):
    names = []
    with open(os.path.join(testdata, "lzh", "MANIFEST.tsv"), encoding="utf-8") as manifest:
        for line in manifest:
            if line.strip() and not line.startswith("#"):
                name = line.split("\t")[0]
                if name not in names:
                    names.append(name)
    return names


def tree(folder, decode):
    """Relative path -> SHA-256 of every file below folder."""
    found = {}
    for parent, _dirs, files in os.walk(os.fsencode(folder)):
        for name in files:
            path = os.path.join(parent, name)
            with open(path, "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            found[decode(os.path.relpath(path, os.fsencode(folder)))] = digest
    return found


def from_wine(name):
    return name.decode("utf-8", errors="replace")  # Wine stores names in UTF-8


def from_host(name):
    return name.decode("cp932", errors="replace")  # the host tool writes the archive's bytes


def text(data):
    """Tool output with Windows line ends and separators made the host's."""
    return data.replace(b"\r\n", b"\n").replace(b"\\", b"/")


def run_host(argv, cwd=None):
    done = subprocess.run(argv, cwd=cwd, capture_output=True, timeout=120)
    return done.returncode, done.stdout + done.stderr


class Check:
    def __init__(self, args):
        self.args = args
        self.work = os.path.abspath(args.work)
        self.failures = []

    def expect(self, condition, what):
        if not condition:
            self.failures.append(what)

    def windows_batch(self, names):
        """One batch file running every 32-bit step; outputs and exit codes in files."""
        lzhx = servers.windows_path(os.path.join(self.args.bin32, "lzhx.exe"))
        publish = servers.windows_path(os.path.join(self.args.bin32, "tidewell-publish.exe"))
        lines = ["@echo off"]
        for i, name in enumerate(names):
            archive = servers.windows_path(os.path.join(self.args.testdata, "lzh", name))
            out = servers.windows_path(os.path.join(self.work, "win", str(i)))
            steps = [("list", '"%s" -l "%s"' % (lzhx, archive)),
                     ("extract", '"%s" "%s" "%s\\files"' % (lzhx, archive, out)),
                     ("write", '"%s" write "%s\\r.qvn" %s --archive "%s"' % (
                         publish, out, " ".join(RECORD_OPTIONS), archive)),
                     ("show", '"%s" show "%s\\r.qvn"' % (publish, out))]
            for step, command in steps:
                lines.append('%s > "%s\\%s.out" 2>&1' % (command, out, step))
                lines.append('echo %%ERRORLEVEL%% > "%s\\%s.status"' % (out, step))
        lines.append("exit 0")
        path = os.path.join(self.work, "run.bat")
        with open(path, "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))
        return path

    def read(self, i, step):
        base = os.path.join(self.work, "win", str(i), step)
        with open(base + ".out", "rb") as out, open(base + ".status") as status:
            return int(status.read().strip()), out.read()

    def compare(self, i, name):
        native = os.path.join(self.args.native)
        host = os.path.join(self.work, "host", str(i))
        win = os.path.join(self.work, "win", str(i))
        archive = os.path.join(self.args.testdata, "lzh", name)
        lzhx = os.path.join(native, "lzhx")
        publish = os.path.join(native, "tidewell-publish")

        status, out = self.read(i, "list")
        want = run_host([lzhx, "-l", archive])
        self.expect((status, text(out)) == (want[0], text(want[1])), "%s: lzhx -l differs" % name)

        status, out = self.read(i, "extract")
        want = run_host([lzhx, archive, os.path.join(host, "files")])
        self.expect(status == want[0], "%s: lzhx exit status %d, host %d" % (name, status, want[0]))
        got_files = tree(os.path.join(win, "files"), from_wine)
        want_files = tree(os.path.join(host, "files"), from_host)
        self.expect(got_files == want_files, "%s: extracted files differ: %s" % (
            name, sorted(set(got_files.items()) ^ set(want_files.items()))[:4]))

        status, _ = self.read(i, "write")
        want = run_host([publish, "write", os.path.join(host, "r.qvn")] + RECORD_OPTIONS + ["--archive", archive])
        self.expect(status == want[0] == 0, "%s: tidewell-publish write failed: %s" % (name, want[1]))
        with open(os.path.join(win, "r.qvn"), "rb") as got, open(os.path.join(host, "r.qvn"), "rb") as record:
            self.expect(got.read() == record.read(), "%s: the records differ" % name)
        status, out = self.read(i, "show")
        want = run_host([publish, "show", os.path.join(host, "r.qvn")])
        self.expect((status, text(out)) == (want[0], text(want[1])), "%s: show differs" % name)
        return got_files

    def repack(self, i, name, files):
        """The 32-bit packer on the extracted files; the host lzhx reads it back."""
        win = os.path.join(self.work, "win", str(i))
        if not files:
            return
        names = sorted(files)
        packed = os.path.join(win, "packed.lzh")
        with open(os.path.join(win, "pack.stdout"), "wb") as out:
            code = subprocess.run([self.args.wine_run, os.path.join(self.args.bin32, "tidewell-publish.exe"),
                                   "pack", servers.windows_path(packed)] + [n.replace("/", "\\") for n in names],
                                  cwd=os.path.join(win, "files"), stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=subprocess.STDOUT, timeout=300).returncode
        self.expect(code == 0, "%s: tidewell-publish pack exit status %d" % (name, code))
        again = os.path.join(win, "again")
        code, out = run_host([os.path.join(self.args.native, "lzhx"), packed, again])
        self.expect(code == 0, "%s: host lzhx on the packed archive: %s" % (name, out))
        self.expect(tree(again, from_host) == files, "%s: the packed files read back differently" % name)

    def run(self, names):
        shutil.rmtree(self.work, ignore_errors=True)
        for i in range(len(names)):
            os.makedirs(os.path.join(self.work, "win", str(i)))
            os.makedirs(os.path.join(self.work, "host", str(i)))
        batch = self.windows_batch(names)
        with open(os.path.join(self.work, "wine.log"), "wb") as log:
            code = subprocess.run([self.args.wine_run, "cmd", "/c", servers.windows_path(batch)],
                                  cwd=self.work, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                  timeout=1200).returncode
        if code == SKIPPED:
            return SKIPPED
        self.expect(code == 0, "the batch file ended with %d (see %s)" % (code, log.name))
        repacked = 0
        for i, name in enumerate(names):
            try:
                files = self.compare(i, name)
            except OSError as error:
                self.expect(False, "%s: %s" % (name, error))
                continue
            # Only archives whose names the host and Wine both spell alike
            # are packed again (a few, to keep the run short).
            if repacked < 3 and files and all(n.isascii() for n in files):
                self.repack(i, name, files)
                repacked += 1
        for failure in self.failures:
            sys.stderr.write("tools_match_native: FAILED: %s\n" % failure)
        print("tools_match_native: %d archives, %d packed again, %d differences" % (
            len(names), repacked, len(self.failures)))
        return 1 if self.failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin32", required=True)
    parser.add_argument("--native", required=True)
    parser.add_argument("--testdata", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--wine-run", default=os.path.join(ROOT, "cmake", "wine32-run"))
    args = parser.parse_args()
    if not os.path.exists(os.path.join(args.testdata, "lzh", "MANIFEST.tsv")):
        print("tools_match_native: skipped: no shared archives in " + args.testdata)
        return SKIPPED
    for tool in ("lzhx", "tidewell-publish"):
        if not os.path.exists(os.path.join(args.native, tool)):
            print("tools_match_native: skipped: build the native preset first (%s)" % tool)
            return SKIPPED
    return Check(args).run(archives(args.testdata))


if __name__ == "__main__":
    sys.exit(main())
