#!/usr/bin/env python3
"""Puts update archives where the tests find them, then runs a command.

    update_site.py [--www DIR [--bin DIR]] [--apply DIR] -- COMMAND...

Writes DIR/update/marrowby-0.24.lzh, packed by the installed archiver (jlha,
-lh5-) from a few generated files, and the same files unpacked under
DIR/update/files for comparison. With --bin (the built programs) also
DIR/update/e2e/marrowby-1.0.0.1.lzh (and its files), packed -lh7-: a large file first,
then marrowby.exe and tidewell.exe with bytes appended (so that they differ
from installed copies and still run) and a file in a subdirectory.
--apply DIR: level0.lzh to level2.lzh of DIR/files (subdirectories, an
empty file, Japanese names stored in Shift-JIS), lh7.lzh of the same files
packed -lh7- and big.lzh of DIR/big/big.bin (20 MB), for MW_APPLY_DIR_WIN.
Without jlha nothing is packed (the tests that need the archives skip). The
command then replaces this process.
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


def large_payload(size, seed):
    block = payload(1 << 20, seed)
    return (block * (size // len(block) + 1))[:size]


def write_and_pack(jlha, archive, files, contents, names, level=2, method=""):
    shutil.rmtree(files, ignore_errors=True)
    for name, data in contents.items():
        os.makedirs(os.path.dirname(os.path.join(files, name)), exist_ok=True)
        with open(os.path.join(files, name), "wb") as f:
            f.write(data)
    for lzh in archive if isinstance(archive, list) else [archive]:
        if os.path.exists(lzh):
            os.remove(lzh)  # jlha would add to it
        # jlha stores names in Shift-JIS only when it can read them from a
        # Japanese locale; elsewhere non-ASCII names become '?'.
        # method: "o6" or "o7" for -lh6- or -lh7-; the default is -lh5-.
        subprocess.run([jlha, "a%d%sq" % (level, method), os.path.abspath(lzh)] + names, cwd=files, check=True,
                       stdout=subprocess.DEVNULL, env=dict(os.environ, LC_ALL="ja_JP.UTF-8"))
        level -= 1  # a list of archives: levels 2, 1, 0


def build_e2e(jlha, www, bin_dir):
    folder = os.path.join(www, "update", "e2e")
    contents = {"data/big.bin": large_payload(20000000, 11),
                "doc/history.txt": b"1.0.0.1: the update arrives whole\r\n" * 30}
    for program in ("marrowby.exe", "tidewell.exe"):
        with open(os.path.join(bin_dir, program), "rb") as f:
            contents[program] = f.read() + b"\0Marrowby 1.0.0.1\0"
    # The whole update comes packed -lh7-, with its 64 KB dictionary.
    write_and_pack(jlha, os.path.join(folder, "marrowby-1.0.0.1.lzh"), os.path.join(folder, "files"), contents,
                   list(contents), method="o7")


def build_apply(jlha, folder):
    contents = {"readme.txt": b"Tidewell apply test\r\n" * 50, "empty.bin": b"",
                "sub/note.txt": b"a note in a subdirectory\r\n", "sub/deep/data.bin": payload(100000, 3),
                # Second bytes 0x5C and a-z: neither a separator nor a letter.
                "\u30bd\u30d5\u30c8/\u8868\u793a\u30c6\u30b9\u30c8.txt": b"Shift-JIS names\r\n"}
    names = ["readme.txt", "empty.bin", "sub", "\u30bd\u30d5\u30c8"]
    write_and_pack(jlha, [os.path.join(folder, "level%d.lzh" % n) for n in (2, 1, 0)],
                   os.path.join(folder, "files"), contents, names)
    write_and_pack(jlha, os.path.join(folder, "lh7.lzh"), os.path.join(folder, "files"), contents, names,
                   method="o7")
    if not os.path.exists(os.path.join(folder, "big.lzh")):  # slow to pack: kept
        write_and_pack(jlha, os.path.join(folder, "big.part"), os.path.join(folder, "big"),
                       {"big.bin": large_payload(20000000, 5)}, ["big.bin"])
        os.rename(os.path.join(folder, "big.part"), os.path.join(folder, "big.lzh"))


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
    parser.add_argument("--www")
    parser.add_argument("--bin")
    parser.add_argument("--apply")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    jlha = shutil.which("jlha")
    if args.www:
        build(args.www)
    if jlha and args.www and args.bin:
        build_e2e(jlha, args.www, args.bin)
    if jlha and args.apply:
        build_apply(jlha, args.apply)
        os.environ["MW_APPLY_DIR_WIN"] = "Z:" + os.path.abspath(args.apply).replace("/", "\\")
    sys.stdout.flush()
    os.execvp(command[0], command)  # the command takes this process's place


if __name__ == "__main__":
    sys.exit(main())
