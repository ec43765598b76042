#!/usr/bin/env python3
"""Packs built Windows programs into the release zip and the update kit.

    release_package.py --bin DIR --publish TIDEWELL-PUBLISH [--out DIR]
                       [--update-url URL] [--notes FILE] [--stripped]
                       [--sign-key PRIVATE-KEY --public-key PUBLIC-KEY]

From DIR's marrowby.exe and tidewell.exe it writes, into --out (dist/):

  marrowby-VERSION-win32.zip    the programs, marrowby.qvn, the Japanese
                                (Shift-JIS) and English (UTF-8) READMEs
                                and the licence, all with CR LF
  marrowby-VERSION-update/      the update kit: marrowby.qvn (the update
                                record) and marrowby-VERSION.lzh (the
                                archive), to be copied to the update URL

The programs are checked first (scripts/pe_check.py); when a check fails
nothing is written and the exit status is 1. Usage errors and failing tools
give 2. The update URL comes from --update-url, else MW_UPDATE_URL, else a
placeholder that cannot be reached. With --sign-key the record is signed
with that key (and the archive's SHA-256), then checked against
--public-key, the key built into tidewell.exe.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

import pe_check

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROGRAMS = ("marrowby.exe", "tidewell.exe")
# Tidewell offers only updates whose identifier equals the installed one's:
# this value must stay the same in every release.
PRODUCT_ID = "f87d5ca89d0543a9bd486414ebb6f904"
PLACEHOLDER_URL = "http://updates.example.invalid/marrowby/"
# Tidewell names the information file after the last part of its URL when
# it has none yet, so the installed file and the published one share it.
RECORD_NAME = "marrowby.qvn"


class Failure(Exception):
    def __init__(self, status, message):
        super().__init__(message)
        self.status = status


def read_version():
    with open(os.path.join(ROOT, "VERSION"), encoding="ascii") as f:
        return f.readline().strip()


def run(command, cwd=None):
    result = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        raise Failure(2, "%s failed (%d):\n%s" % (" ".join(command), result.returncode, result.stdout))
    return result.stdout


def check_programs(bin_dir, version, stripped):
    paths = [os.path.join(bin_dir, name) for name in PROGRAMS]
    arguments = ["--machine", "i386", "--version", version, "--languages", "0411,0409"]
    arguments += ["--stripped"] if stripped else []
    status = pe_check.main(arguments + paths)
    if status:
        raise Failure(1 if status == 1 else 2, "the programs failed their checks")


def readme_text(source, version, info_url, encoding):
    """A README with its fields filled in, CR LF line ends, in `encoding`."""
    with open(source, encoding="utf-8") as f:
        text = f.read()
    text = text.replace("@VERSION@", version).replace("@INFO_URL@", info_url)
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode(encoding)


def write_update_kit(stage, kit, publish, version, base_url, notes, sign_key):
    """Packs the staged programs and writes the record; returns the record path."""
    archive_name = "marrowby-%s.lzh" % version
    archive = os.path.join(kit, archive_name)
    record = os.path.join(kit, RECORD_NAME)
    run([publish, "pack", archive] + list(PROGRAMS), cwd=stage)
    notes_file = os.path.join(stage, "notes.txt")
    with open(notes, encoding="utf-8") as f, open(notes_file, "w", encoding="utf-8") as out:
        out.write(f.read().replace("@VERSION@", version))
    run([publish, "write", record, "--id", PRODUCT_ID, "--version", version, "--product", "Marrowby",
         "--program", "marrowby.exe", "--info-url", base_url + RECORD_NAME,
         "--archive-url", base_url + archive_name, "--archive", archive,
         "--notes", notes_file, "--start-program"] + (["--sign", sign_key] if sign_key else []))
    return record


def write_zip(path, stage, record, version, info_url):
    """The zip, written beside its name and renamed when complete."""
    docs = os.path.join(ROOT, "docs")
    texts = {
        "README-ja.txt": readme_text(os.path.join(docs, "readme-ja.txt"), version, info_url, "cp932"),
        # UTF-8 with a byte-order mark: it quotes the Japanese menu names,
        # and Notepad of every language reads it so.
        "README-en.txt": readme_text(os.path.join(docs, "readme-en.txt"), version, info_url, "utf-8-sig"),
        "LICENSE.txt": readme_text(os.path.join(ROOT, "LICENSE"), version, info_url, "ascii"),
    }
    partial = path + ".part"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name in PROGRAMS:
            z.write(os.path.join(stage, name), name)
        z.write(record, RECORD_NAME)
        for name, data in texts.items():
            z.writestr(name, data)
    os.replace(partial, path)


def package(args):
    version = read_version()
    base_url = args.update_url or os.environ.get("MW_UPDATE_URL") or PLACEHOLDER_URL
    if not base_url.endswith("/"):
        base_url += "/"
    check_programs(args.bin, version, args.stripped)

    os.makedirs(args.out, exist_ok=True)
    kit = os.path.join(args.out, "marrowby-%s-update" % version)
    zip_path = os.path.join(args.out, "marrowby-%s-win32.zip" % version)
    with tempfile.TemporaryDirectory(dir=args.out, prefix=".stage-") as stage:
        for name in PROGRAMS:
            shutil.copy2(os.path.join(args.bin, name), stage)
        new_kit = os.path.join(stage, "kit")
        os.mkdir(new_kit)
        record = write_update_kit(stage, new_kit, args.publish, version, base_url, args.notes, args.sign_key)
        if args.sign_key:  # the shipped updater must take what was signed
            run([args.publish, "show", record, "--key", args.public_key, "--archive",
                 os.path.join(new_kit, "marrowby-%s.lzh" % version)])
        write_zip(zip_path, stage, record, version, base_url + RECORD_NAME)
        shutil.rmtree(kit, ignore_errors=True)
        shutil.move(new_kit, kit)

    print(run([args.publish, "show", os.path.join(kit, RECORD_NAME)] +
              (["--key", args.public_key] if args.sign_key else [])), end="")
    for path in [os.path.join(args.bin, name) for name in PROGRAMS] + [zip_path] + sorted(
            os.path.join(kit, name) for name in os.listdir(kit)):
        print("%10d  %s" % (os.path.getsize(path), os.path.relpath(path)))
    if base_url == PLACEHOLDER_URL:
        print("note: no update URL given (--update-url or MW_UPDATE_URL): the kit points to " + base_url)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True, help="folder holding marrowby.exe and tidewell.exe")
    parser.add_argument("--publish", required=True, help="the tidewell-publish program to run here")
    parser.add_argument("--out", default=os.path.join(ROOT, "dist"))
    parser.add_argument("--update-url", help="the web folder the update kit is copied to")
    parser.add_argument("--notes", default=os.path.join(ROOT, "docs", "update-notes.txt"),
                        help="UTF-8 text shown by Tidewell before updating (@VERSION@ is filled in)")
    parser.add_argument("--stripped", action="store_true", help="require stripped programs")
    parser.add_argument("--sign-key", help="the publisher's private key file: sign the update record")
    parser.add_argument("--public-key", help="its public key file, built into tidewell.exe")
    args = parser.parse_args(argv)
    if bool(args.sign_key) != bool(args.public_key):
        parser.error("--sign-key and --public-key go together")
    for name in ("bin", "publish", "out", "notes", "sign_key", "public_key"):  # the packer runs in another folder
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    try:
        package(args)
    except Failure as failure:
        print("release: %s" % failure, file=sys.stderr)
        return failure.status
    except (OSError, UnicodeError) as error:
        print("release: %s" % error, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
