#!/usr/bin/env python3
"""Both programs carry every text in Japanese and in English: checked in the
built program files' resource directories, and each kind of gap planted in
a copy must be found.

    resource_languages_test.py --bin DIR --work DIR
"""
import argparse
import os
import shutil
import struct
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "scripts"))
import pe_check  # noqa: E402

JAPANESE, ENGLISH = 0x411, 0x409
LANGUAGES = [JAPANESE, ENGLISH]
ARGS = None


def read(name):
    with open(os.path.join(ARGS.bin, name), "rb") as f:
        return f.read()


def language_entry(data, kind, name, language):
    """File offset of the directory entry of one resource's language."""
    image = pe_check.Image(data)
    base = image.offset(image.directory(2)[0])
    table = base
    for ident in (kind, name, language):
        found = [(at, target) for at, (entry, target) in enumerate(image.entries(table)) if entry == ident]
        if not found:
            raise AssertionError("no resource entry %s" % ident)
        index, target = found[0]
        entry_at = table + 16 + 8 * index
        table = base + (target & 0x7FFFFFFF)
    return entry_at


def problems(data):
    return pe_check.language_problems(pe_check.Image(data), LANGUAGES)


class BothLanguages(unittest.TestCase):
    def test_every_string_menu_and_dialog_exists_in_both(self):
        for program in ("marrowby.exe", "tidewell.exe"):
            data = read(program)
            self.assertEqual([], problems(data), program)
            tree = pe_check.Image(data).resources()
            # Really read: the same string ids, texts that differ.
            strings = {}
            for language in LANGUAGES:
                strings[language] = {}
                for block, variants in tree[pe_check.RT_STRING].items():
                    strings[language].update(pe_check.string_block(block, variants[language]))
            self.assertGreater(len(strings[JAPANESE]), 30, program)
            self.assertEqual(sorted(strings[JAPANESE]), sorted(strings[ENGLISH]), program)
            translated = [i for i in strings[ENGLISH] if strings[ENGLISH][i] != strings[JAPANESE][i]]
            self.assertGreater(len(translated), 25, program)
            for ident in translated:
                self.assertTrue(all(ord(c) < 128 for c in strings[ENGLISH][ident]), ident)
        # The command line the release check uses agrees.
        with open(os.devnull, "w") as quiet:
            stdout, sys.stdout = sys.stdout, quiet
            try:
                status = pe_check.main(["--machine", "amd64", "--languages", "0411,0409",
                                        os.path.join(ARGS.bin, "marrowby.exe"),
                                        os.path.join(ARGS.bin, "tidewell.exe")])
            finally:
                sys.stdout = stdout
        self.assertEqual(0, status)

    def test_each_planted_gap_is_found(self):
        marrowby = read("marrowby.exe")
        tidewell = read("tidewell.exe")

        # A string block that became French: its English strings are gone.
        data = bytearray(marrowby)
        struct.pack_into("<I", data, language_entry(data, pe_check.RT_STRING, 2, ENGLISH), 0x40C)
        found = problems(bytes(data))
        self.assertIn("string table 2 has no 0409 version", found)
        self.assertIn("string 16 has no 0409 text", found)

        # A dialog that exists in Japanese only.
        data = bytearray(tidewell)
        struct.pack_into("<I", data, language_entry(data, pe_check.RT_DIALOG, 105, ENGLISH), 0x40C)
        self.assertIn("dialog 105 has no 0409 version", problems(bytes(data)))

        # An English control with another id than its Japanese twin: the
        # confirmation dialog's notes box, 1006, made 1066.
        data = bytearray(tidewell)
        image = pe_check.Image(bytes(data))
        english = image.resources()[pe_check.RT_DIALOG][105][ENGLISH]
        dialog_at = bytes(data).index(english)
        _, _, controls = pe_check.dialog_template(english)
        self.assertIn(1006, [c[0] for c in controls])
        notes_at = self.plain_control_id_offset(english, 1006)
        struct.pack_into("<H", data, dialog_at + notes_at, 1066)
        self.assertTrue(any("dialog 105 in 0409: other controls" in p for p in problems(bytes(data))),
                        problems(bytes(data)))

        # Japanese text left in the English menu.
        data = marrowby.replace("&Edit".encode("utf-16-le"), "\u7de8\u96c6(&E".encode("utf-16-le"))
        self.assertNotEqual(data, marrowby)
        self.assertTrue(any("not in code page 1252" in p for p in problems(data)), problems(data))

        # A menu that lost a command in English: the pause item points at start.
        start, pause = struct.pack("<H", 40019), struct.pack("<H", 40020)
        english_menu = pe_check.Image(marrowby).resources()[pe_check.RT_MENU][104][ENGLISH]
        menu_at = marrowby.index(english_menu)
        changed = english_menu.replace(pause + "&Pause".encode("utf-16-le"), start + "&Pause".encode("utf-16-le"))
        self.assertNotEqual(changed, english_menu)
        data = marrowby[:menu_at] + changed + marrowby[menu_at + len(changed):]
        self.assertTrue(any("menu 104 in 0409: other items" in p for p in problems(data)), problems(data))

        # The command line reports a gap with status 1.
        folder = os.path.join(ARGS.work, "gap")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        path = os.path.join(folder, "marrowby.exe")
        with open(path, "wb") as f:
            f.write(data)
        with open(os.devnull, "w") as quiet:
            stdout, sys.stdout = sys.stdout, quiet
            try:
                status = pe_check.main(["--machine", "amd64", "--languages", "0411,0409", path])
            finally:
                sys.stdout = stdout
        self.assertEqual(1, status)

    @staticmethod
    def plain_control_id_offset(blob, ident):
        """Offset of a control's id in a plain (not extended) dialog template."""
        style, _, count = struct.unpack_from("<IIH", blob, 0)
        at = 18
        _, at = pe_check.read_name(blob, at)
        _, at = pe_check.read_name(blob, at)
        _, at = pe_check.read_text(blob, at)
        if style & 0x40:
            at += 2
            _, at = pe_check.read_text(blob, at)
        for _ in range(count):
            at = (at + 3) & ~3
            if struct.unpack_from("<h", blob, at + 16)[0] == ident:
                return at + 16
            at += 18
            _, at = pe_check.read_name(blob, at)
            _, at = pe_check.read_name(blob, at)
            at += 2 + struct.unpack_from("<H", blob, at)[0]
        raise AssertionError("no control %d" % ident)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
