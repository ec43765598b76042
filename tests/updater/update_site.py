#!/usr/bin/env python3
"""Puts an update archive on the test web server, then runs a command.

    update_site.py --www DIR -- COMMAND...

Writes DIR/update/marrowby-0.24.lzh, packed by the installed archiver (jlha,
-lh5-) from a few generated files, and the same files unpacked under
DIR/update/files for comparison. Without jlha nothing is packed (the tests
that need the archive skip). The command then replaces this process.
"""

import argparse
import os
import shutil
import subprocess
import sys

ARCHIVE = "marrowby-0.24.lzh"


def payload(size, seed):
    """Deterministic bytes that do not compress to nothing."""
    out = bytearray(size)
    x = seed
    for i in range(size):
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out[i] = (x >> 16) & 0xFF if i % 3 else 0x41 + i % 26
    return bytes(out)


def build(www):
    folder = os.path.join(www, "update")
    files = os.path.join(folder, "files")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(files, "doc"))
    contents = {
        "marrowby.exe": payload(300000, 7),
        "readme.txt": b"Marrowby 0.24\r\n" * 40,
        os.path.join("doc", "history.txt"): b"0.24: faster downloads\r\n" * 20,
    }
    for name, data in contents.items():
        with open(os.path.join(files, name), "wb") as f:
            f.write(data)
    jlha = shutil.which("jlha")
    if not jlha:
        sys.stderr.write("update_site.py: jlha not found, no archive packed\n")
        return
    subprocess.run([jlha, "aq", os.path.join("..", ARCHIVE)] + sorted(contents), cwd=files,
                   check=True, stdout=subprocess.DEVNULL)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--www", required=True)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    build(args.www)
    sys.stdout.flush()
    os.execvp(command[0], command)  # the command takes this process's place


if __name__ == "__main__":
    sys.exit(main())
