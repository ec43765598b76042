#!/usr/bin/env python3
"""Checks Windows program files as they are shipped, without running them.

    pe_check.py [--machine i386|amd64] [--version A.B.C.D] [--stripped]
                [--languages 0411,0409] EXE...

For each file: the machine type, the Windows GUI subsystem (no console),
imports only from DLLs that every Windows installation has (a MinGW runtime
DLL would mean the static link failed), and with --version the version
resource: the fixed numbers and the Japanese (041103a4) and English
(040904e4) string blocks' FileVersion and ProductVersion. --stripped also
requires that no symbol table is left. --languages requires every resource
that exists in one of the languages to exist in each of them: every string
of the string tables, every menu with the same items and commands, every
dialog with the same controls (id, class and style; sizes may differ), and
English texts that code page 1252 can show. Prints one summary per file;
exits with 0 when every check passes, 1 when one fails, 2 when a file cannot
be read as a program file.
"""
import argparse
import struct
import sys

MACHINES = {"i386": 0x14C, "amd64": 0x8664}
RT_MENU, RT_DIALOG, RT_STRING = 4, 5, 6
TYPE_NAMES = {RT_MENU: "menu", RT_DIALOG: "dialog", RT_STRING: "string table"}
LANG_ENGLISH_US = 0x409
# Version information: the string blocks every program carries, each with
# its (language, code page) pair in the translation list.
VERSION_BLOCKS = (("041103a4", 0x411, 932), ("040904e4", 0x409, 1252))
SUBSYSTEM_GUI = 2
SUBSYSTEM_NAMES = {2: "Windows GUI", 3: "console"}
RT_VERSION = 16
# DLLs of Windows itself; nothing else may be imported.
SYSTEM_DLLS = {
    "advapi32.dll", "bcrypt.dll", "comctl32.dll", "comdlg32.dll", "crypt32.dll",
    "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll", "mswsock.dll",
    "ntdll.dll", "ole32.dll", "oleaut32.dll", "rpcrt4.dll", "secur32.dll",
    "shell32.dll", "shlwapi.dll", "user32.dll", "uxtheme.dll", "version.dll",
    "wininet.dll", "winmm.dll", "ws2_32.dll", "wsock32.dll",
}


class BadImage(Exception):
    pass


class Image:
    """The parts of a PE file the checks need."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise BadImage("no MZ header")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise BadImage("no PE signature")
        coff = pe + 4
        (self.machine, sections, _, self.symbol_table, self.symbol_count,
         optional_size, _) = struct.unpack_from("<HHIIIHH", data, coff)
        optional = coff + 20
        magic = self.u16(optional)
        if magic not in (0x10B, 0x20B):
            raise BadImage("unknown optional header 0x%x" % magic)
        self.subsystem = self.u16(optional + 68)
        directories = optional + (96 if magic == 0x10B else 112)
        count = self.u32(directories - 4)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i)
                            for i in range(min(count, 16))]
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            vsize, rva, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((rva, max(vsize, raw_size), raw))

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        if offset + 4 > len(self.data):
            raise BadImage("truncated")
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise BadImage("address 0x%x outside every section" % rva)

    def text(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("latin-1")

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def imports(self):
        rva, _ = self.directory(1)
        names = []
        while rva:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, self.offset(rva))
            if not (lookup or name or thunks):
                break
            names.append(self.text(name))
            rva += 20
        return names

    def version_resource(self):
        """The bytes of the first RT_VERSION resource, or None."""
        base_rva, _ = self.directory(2)
        if not base_rva:
            return None
        base = self.offset(base_rva)
        entry = self.find_entry(base, RT_VERSION)
        for _ in range(2):  # name level, then language level: the first of each
            if entry is None or not entry & 0x80000000:
                return None
            entry = self.first_entry(base + (entry & 0x7FFFFFFF))
        if entry is None or entry & 0x80000000:
            return None
        data_rva, size = struct.unpack_from("<II", self.data, base + entry)
        start = self.offset(data_rva)
        return self.data[start:start + size]

    def resources(self):
        """{type: {name: {language: bytes}}} of every resource; names are
        numbers or texts."""
        base_rva, _ = self.directory(2)
        if not base_rva:
            return {}
        base = self.offset(base_rva)
        tree = {}
        for kind, names in self.subtables(base, base):
            for name, languages in self.subtables(base, names):
                for language, entry in self.entries(languages):
                    if entry & 0x80000000:
                        raise BadImage("resource directory deeper than three levels")
                    data_rva, size = struct.unpack_from("<II", self.data, base + entry)
                    start = self.offset(data_rva)
                    tree.setdefault(kind, {}).setdefault(name, {})[language] = self.data[start:start + size]
        return tree

    def subtables(self, base, table):
        for name, target in self.entries(table):
            if not target & 0x80000000:
                raise BadImage("resource directory entry without its next level")
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                length = self.u16(at)
                name = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            yield name, base + (target & 0x7FFFFFFF)

    def entries(self, table):
        named, numbered = struct.unpack_from("<HH", self.data, table + 12)
        for i in range(named + numbered):
            yield struct.unpack_from("<II", self.data, table + 16 + 8 * i)

    def find_entry(self, table, ident):
        return next((target for name, target in self.entries(table) if name == ident), None)

    def first_entry(self, table):
        return next((target for _, target in self.entries(table)), None)


def version_blocks(blob, offset=0, end=None):
    """Walks a VS_VERSIONINFO tree: yields (key path, value bytes, is text)."""
    end = len(blob) if end is None else end
    while offset + 6 <= end:
        length, value_length, is_text = struct.unpack_from("<HHH", blob, offset)
        if length == 0:
            break
        key_end = offset + 6
        while blob[key_end:key_end + 2] != b"\0\0":
            key_end += 2
            if key_end >= end:
                raise BadImage("version resource key without its end")
        key = blob[offset + 6:key_end].decode("utf-16-le")
        value = (key_end + 2 + 3) & ~3
        value_size = value_length * 2 if is_text else value_length
        yield key, blob[value:value + value_size], is_text
        children = (value + value_size + 3) & ~3
        for path, data, text in version_blocks(blob, children, offset + length):
            yield key + "/" + path, data, text
        offset = (offset + length + 3) & ~3


def version_info(blob):
    """(fixed file version, fixed product version, {key path: text or bytes})."""
    fixed_at = blob.find(struct.pack("<I", 0xFEEF04BD))
    if fixed_at < 0:
        raise BadImage("version resource without fixed information")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", blob, fixed_at + 8)

    def dotted(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    values = {}
    for path, value, is_text in version_blocks(blob):
        values[path] = value.decode("utf-16-le").rstrip("\0") if is_text else value
    return dotted(file_ms, file_ls), dotted(product_ms, product_ls), values



def read_text(blob, at):
    """A NUL-terminated UTF-16 text at `at`: (text, offset after it)."""
    end = at
    while blob[end:end + 2] != b"\0\0":
        end += 2
        if end >= len(blob):
            raise BadImage("resource text without its end")
    return blob[at:end].decode("utf-16-le"), end + 2


def read_name(blob, at):
    """A dialog template's name or number: (value, offset after it)."""
    first = struct.unpack_from("<H", blob, at)[0]
    if first == 0:
        return "", at + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", blob, at + 2)[0], at + 4
    return read_text(blob, at)


def menu_items(blob):
    """The items of a menu template: [(depth, flags, command, text)]."""
    version, header = struct.unpack_from("<HH", blob, 0)
    if version != 0:
        raise BadImage("menu template version %d" % version)
    items = []
    menu_level(blob, 4 + header, 0, items)
    return items


def menu_level(blob, at, depth, items):
    """Reads one level of menu items up to the one marked last (MF_END);
    returns the offset after it."""
    while True:
        flags = struct.unpack_from("<H", blob, at)[0]
        at += 2
        command = None
        if not flags & 0x10:  # MF_POPUP items have no command of their own
            command = struct.unpack_from("<H", blob, at)[0]
            at += 2
        text, at = read_text(blob, at)
        items.append((depth, flags & ~0x80, command, text))
        if flags & 0x10:
            at = menu_level(blob, at, depth + 1, items)
        if flags & 0x80:
            return at


def dialog_template(blob):
    """(style, title, [(id, class, style, text)]) of a dialog template, plain
    or extended."""
    extended = struct.unpack_from("<HH", blob, 0) == (1, 0xFFFF)
    if extended:
        _, _, style, count = struct.unpack_from("<III H", blob, 4)
        at = 26
    else:
        style, _, count = struct.unpack_from("<IIH", blob, 0)
        at = 18
    _, at = read_name(blob, at)  # menu
    _, at = read_name(blob, at)  # class
    title, at = read_text(blob, at)
    if style & 0x40:  # DS_SETFONT: point size (and weight, italic, charset), face
        at += 6 if extended else 2
        _, at = read_text(blob, at)
    controls = []
    for _ in range(count):
        at = (at + 3) & ~3
        if extended:
            _, _, item_style = struct.unpack_from("<III", blob, at)
            ident = struct.unpack_from("<i", blob, at + 20)[0]
            at += 24
        else:
            item_style = struct.unpack_from("<I", blob, at)[0]
            ident = struct.unpack_from("<h", blob, at + 16)[0]
            at += 18
        kind, at = read_name(blob, at)
        text, at = read_name(blob, at)
        extra = struct.unpack_from("<H", blob, at)[0]
        at += 2 + extra
        controls.append((ident, kind, item_style, text if isinstance(text, str) else ""))
    return style, title, controls


def string_block(number, blob):
    """{string id: text} of one string table block (16 ids; empty ones left
    out)."""
    texts, at = {}, 0
    for index in range(16):
        length = struct.unpack_from("<H", blob, at)[0]
        if length:
            texts[(number - 1) * 16 + index] = blob[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        at += 2 + 2 * length
    return texts


def language_texts(kind, name, blob):
    """{what: text} of one resource, for the texts and ids of that resource."""
    if kind == RT_STRING:
        return {"string %d" % ident: text for ident, text in string_block(name, blob).items()}
    if kind == RT_MENU:
        return {"menu %s item %d (%s)" % (name, i, command): text
                for i, (_, _, command, text) in enumerate(menu_items(blob))}
    _, title, controls = dialog_template(blob)
    texts = {"dialog %s caption" % name: title}
    texts.update({"dialog %s control %d" % (name, i): text for i, (_, _, _, text) in enumerate(controls)})
    return texts


def compare_structure(kind, name, first, other, language):
    """Problems where a menu or dialog of `language` is not built like the
    first language's."""
    where = "%s %s in %04x" % (TYPE_NAMES[kind], name, language)
    if kind == RT_MENU:
        shape = [(depth, flags, command) for depth, flags, command, _ in menu_items(first)]
        theirs = [(depth, flags, command) for depth, flags, command, _ in menu_items(other)]
        return [] if shape == theirs else ["%s: other items or commands: %s, not %s" % (where, theirs, shape)]
    style, _, controls = dialog_template(first)
    other_style, _, other_controls = dialog_template(other)
    problems = []
    if style != other_style:
        problems.append("%s: style 0x%x, not 0x%x" % (where, other_style, style))
    ours = [control[:3] for control in controls]
    theirs = [control[:3] for control in other_controls]
    if ours != theirs:
        missing = [c for c in ours if c not in theirs]
        extra = [c for c in theirs if c not in ours]
        problems.append("%s: other controls (missing %s, extra %s)" % (where, missing, extra))
    return problems


def language_problems(image, languages):
    """Every gap between the languages' resources of one program file."""
    problems = []
    tree = image.resources()
    for kind in sorted(TYPE_NAMES):
        present = {language: 0 for language in languages}
        for name, variants in sorted(tree.get(kind, {}).items(), key=str):
            have = [language for language in languages if language in variants]
            for language in have:
                present[language] += 1
            if not have:
                continue
            first = variants[have[0]]
            texts = {language: language_texts(kind, name, variants[language]) for language in have}
            for language in languages:
                if language not in variants:
                    problems.append("%s %s has no %04x version" % (TYPE_NAMES[kind], name, language))
                    if kind == RT_STRING:
                        problems += ["%s has no %04x text" % (what, language) for what in sorted(texts[have[0]])]
            for language in have[1:]:
                if kind == RT_STRING:
                    for what in sorted(set(texts[have[0]]) ^ set(texts[language])):
                        missing = have[0] if what in texts[language] else language
                        problems.append("%s has no %04x text" % (what, missing))
                else:
                    problems += compare_structure(kind, name, first, variants[language], language)
                    for what, text in texts[have[0]].items():
                        if text and not texts[language].get(what, ""):
                            problems.append("%s has no %04x text" % (what, language))
            if LANG_ENGLISH_US in have:
                for what, text in texts[LANG_ENGLISH_US].items():
                    try:
                        text.encode("cp1252")
                    except UnicodeEncodeError:
                        problems.append("%s: English text %r is not in code page 1252" % (what, text))
        if kind in (RT_STRING, RT_DIALOG):
            for language, count in present.items():
                if not count:
                    problems.append("no %s in %04x" % (TYPE_NAMES[kind], language))
    return problems


def check(path, machine, version, stripped, languages=()):
    """Returns (summary, list of problems)."""
    with open(path, "rb") as f:
        image = Image(f.read())
    problems = []
    machine_name = {v: k for k, v in MACHINES.items()}.get(image.machine, "0x%x" % image.machine)
    if image.machine != MACHINES[machine]:
        problems.append("machine %s, not %s" % (machine_name, machine))
    subsystem = SUBSYSTEM_NAMES.get(image.subsystem, "subsystem %d" % image.subsystem)
    if image.subsystem != SUBSYSTEM_GUI:
        problems.append("%s program, not Windows GUI" % subsystem)
    imports = image.imports()
    foreign = [name for name in imports if name.lower() not in SYSTEM_DLLS]
    if foreign:
        problems.append("imports from non-system DLLs: " + ", ".join(foreign))
    if stripped and (image.symbol_table or image.symbol_count):
        problems.append("not stripped (%d symbols)" % image.symbol_count)
    summary = "%s: %s, %s, %d bytes, imports %s" % (
        path, machine_name, subsystem, len(image.data), " ".join(sorted(imports, key=str.lower)))
    if version:
        blob = image.version_resource()
        if blob is None:
            problems.append("no version resource")
        else:
            file_version, product_version, values = version_info(blob)
            found = {"file version": file_version, "product version": product_version}
            for block, _, _ in VERSION_BLOCKS:
                for key in ("FileVersion", "ProductVersion"):
                    found["%s %s text" % (block, key)] = values.get(
                        "VS_VERSION_INFO/StringFileInfo/%s/%s" % (block, key))
            for what, value in found.items():
                if value != version:
                    problems.append("%s %s, not %s" % (what, value, version))
            # Each block's language and code page, Japanese first.
            translation = b"".join(struct.pack("<HH", language, page) for _, language, page in VERSION_BLOCKS)
            if values.get("VS_VERSION_INFO/VarFileInfo/Translation") != translation:
                problems.append("version resource not marked Japanese (0x0411, 932) and English (0x0409, 1252)")
            summary += ", version %s" % file_version
    if languages:
        problems += language_problems(image, languages)
        summary += ", resources in " + " ".join("%04x" % language for language in languages)
    return summary, problems


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--machine", choices=sorted(MACHINES), default="i386")
    parser.add_argument("--version", help="the version every file must carry")
    parser.add_argument("--stripped", action="store_true", help="require no symbol table")
    parser.add_argument("--languages", type=lambda text: [int(part, 16) for part in text.split(",")],
                        default=[], help="languages (hexadecimal ids) whose resources must match")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args(argv)
    status = 0
    for path in args.files:
        try:
            summary, problems = check(path, args.machine, args.version, args.stripped, args.languages)
        except (OSError, BadImage, ValueError, struct.error, UnicodeDecodeError) as error:
            print("%s: cannot be read as a program file: %s" % (path, error))
            status = 2
            continue
        print(summary)
        for problem in problems:
            print("%s: FAILED: %s" % (path, problem))
        if problems and status == 0:
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
