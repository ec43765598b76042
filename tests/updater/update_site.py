#!/usr/bin/env python3
"""Puts update archives where the tests find them, then runs a command.

    update_site.py [--www DIR] [--bin DIR] [--apply DIR] -- COMMAND...

--www: writes DIR/update/marrowby-0.24.lzh, packed by the installed archiver
(jlha, -lh5-) from a few generated files, and the same files unpacked under
DIR/update/files for comparison. With --bin (the build's programs) also
DIR/update/e2e/marrowby-1.0.0.1.lzh for the whole update: marrowby.exe and
tidewell.exe as built, each with a few bytes appended so that they differ
from an installed copy, a file in a subdirectory and a large file; the same
files unpacked under DIR/update/e2e/files.

--apply: archives for the extraction tests in DIR: level0.lzh, level1.lzh
and level2.lzh from DIR/files (a subdirectory with a subdirectory, an empty
file, text and binary data) and big.lzh holding one 20 MB entry
(DIR/big/big.bin). The command sees MW_APPLY_DIR_WIN, DIR as a Windows path.

Without jlha nothing is packed (the tests that need the archives skip). The
command then replaces this process.
"""

import argparse
import os
import shutil
import subprocess
import sys

ARCHIVE = "marrowby-0.24.lzh"
E2E_ARCHIVE = "marrowby-1.0.0.1.lzh"
# Appended to the programs in the update; an executable runs the same with
# bytes after its last section.
NEW_BUILD_MARK = b"\0Marrowby 1.0.0.1 build\0"


def payload(size, seed):
    """Deterministic bytes that do not compress to nothing."""
    out = bytearray(size)
    x = seed
    for i in range(size):
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out[i] = (x >> 16) & 0xFF if i % 3 else 0x41 + i % 26
    return bytes(out)


def large_payload(size, seed):
    """A large payload built from a 1 MB block quickly."""
    block = payload(1 << 20, seed)
    return (block * (size // len(block) + 1))[:size]


def write_files(folder, contents):
    shutil.rmtree(folder, ignore_errors=True)
    for name, data in contents.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def pack(jlha, archive, files_dir, names, level=2):
    """Packs names (relative to files_dir; a folder brings its contents)."""
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run([jlha, "a%dq" % level, os.path.abspath(archive)] + names, cwd=files_dir,
                   check=True, stdout=subprocess.DEVNULL)


def build_site(jlha, www):
    folder = os.path.join(www, "update")
    files = os.path.join(folder, "files")
    shutil.rmtree(folder, ignore_errors=True)
    write_files(files, {
        "marrowby.exe": payload(300000, 7),
        "readme.txt": b"Marrowby 0.24\r\n" * 40,
        os.path.join("doc", "history.txt"): b"0.24: faster downloads\r\n" * 20,
    })
    pack(jlha, os.path.join(folder, ARCHIVE), files, ["marrowby.exe", "readme.txt", "doc/history.txt"])


def build_e2e(jlha, www, bin_dir):
    folder = os.path.join(www, "update", "e2e")
    files = os.path.join(folder, "files")
    contents = {"doc/history.txt": b"1.0.0.1: the update arrives whole\r\n" * 30,
                "data/big.bin": large_payload(20 * 1000 * 1000, 11)}
    for program in ("marrowby.exe", "tidewell.exe"):
        with open(os.path.join(bin_dir, program), "rb") as f:
            contents[program] = f.read() + NEW_BUILD_MARK
    write_files(files, contents)
    # The large entry first: its progress line stays long enough to be seen.
    pack(jlha, os.path.join(folder, E2E_ARCHIVE), files,
         ["data/big.bin", "marrowby.exe", "tidewell.exe", "doc/history.txt"])


def build_apply(jlha, folder):
    files = os.path.join(folder, "files")
    write_files(files, {
        "readme.txt": b"Tidewell apply test\r\n" * 50,
        "empty.bin": b"",
        "sub/note.txt": b"a note in a subdirectory\r\n",
        "sub/deep/data.bin": payload(100000, 3),
    })
    for level in (0, 1, 2):
        pack(jlha, os.path.join(folder, "level%d.lzh" % level), files,
             ["readme.txt", "empty.bin", "sub"], level)
    big = os.path.join(folder, "big")
    archive = os.path.join(folder, "big.lzh")
    if not os.path.exists(archive):  # 20 MB take the archiver a while: kept
        write_files(big, {"big.bin": large_payload(20 * 1000 * 1000, 5)})
        pack(jlha, archive + ".part", big, ["big.bin"])
        os.rename(archive + ".part", archive)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--www")
    parser.add_argument("--bin")
    parser.add_argument("--apply")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    jlha = shutil.which("jlha")
    if not jlha:
        sys.stderr.write("update_site.py: jlha not found, no archive packed\n")
    elif args.www:
        build_site(jlha, args.www)
        if args.bin:
            build_e2e(jlha, args.www, args.bin)
    if jlha and args.apply:
        build_apply(jlha, args.apply)
        os.environ["MW_APPLY_DIR_WIN"] = windows_path(args.apply)
    sys.stdout.flush()
    os.execvp(command[0], command)  # the command takes this process's place


if __name__ == "__main__":
    sys.exit(main())
