#!/usr/bin/env python3
"""Checks Windows program files as they are shipped, without running them.

    pe_check.py [--machine i386|amd64] [--version A.B.C.D] [--stripped] EXE...

For each file: the machine type, the Windows GUI subsystem (no console),
imports only from DLLs that every Windows installation has (a MinGW runtime
DLL would mean the static link failed), and with --version the version
resource: the fixed numbers and the Japanese (041103a4) string block's
FileVersion and ProductVersion. --stripped also requires that no symbol
table is left. Prints one summary per file; exits with 0 when every check
passes, 1 when one fails, 2 when a file cannot be read as a program file.
"""
import argparse
import struct
import sys

MACHINES = {"i386": 0x14C, "amd64": 0x8664}
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


def check(path, machine, version, stripped):
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
            block = "VS_VERSION_INFO/StringFileInfo/041103a4/"
            found = {
                "file version": file_version, "product version": product_version,
                "FileVersion text": values.get(block + "FileVersion"),
                "ProductVersion text": values.get(block + "ProductVersion"),
            }
            for what, value in found.items():
                if value != version:
                    problems.append("%s %s, not %s" % (what, value, version))
            # Japanese, code page 932: the language the strings are given in.
            if values.get("VS_VERSION_INFO/VarFileInfo/Translation") != struct.pack("<HH", 0x411, 932):
                problems.append("version resource not marked Japanese (0x0411, code page 932)")
            summary += ", version %s" % file_version
    return summary, problems


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--machine", choices=sorted(MACHINES), default="i386")
    parser.add_argument("--version", help="the version every file must carry")
    parser.add_argument("--stripped", action="store_true", help="require no symbol table")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args(argv)
    status = 0
    for path in args.files:
        try:
            summary, problems = check(path, args.machine, args.version, args.stripped)
        except (OSError, BadImage, ValueError, struct.error) as error:
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
