#!/usr/bin/env python3
"""Checks the built OvrinGLQuery.exe file itself: what Windows sees before any code runs.

  check_exe.py EXE --machine {i386,amd64} [--objdump TOOL]

Verifies the machine type, the GUI subsystem, that every imported DLL (ordinary and
delay-loaded) is one the program is meant to depend on, the version block, the Escape
accelerator table and the 16-colour application icon. The PE file is read by this script's
own parser; with --objdump the import list and the machine are also read by binutils and
the two readings must agree, so a parser mistake cannot hide a stray DLL.

Exit status 0 with a one-line summary when everything holds; 1 with one "FAIL <check>:"
line per failed check otherwise; 2 on bad usage.
"""

import argparse
import os
import re
import struct
import subprocess
import sys

MACHINES = {"i386": 0x014C, "amd64": 0x8664}
OBJDUMP_FORMATS = {"pei-i386": "i386", "pei-x86-64": "amd64"}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2

# Everything the program calls lives in these, plus the C runtime that mingw links against.
# Anything else means a library or a runtime option has pulled in a dependency that a
# plain Windows installation may not have.
ALLOWED_DLLS = ("kernel32", "user32", "gdi32", "opengl32", "glu32", "advapi32", "msvcrt")

RT_ICON = 3
RT_ACCELERATOR = 9
RT_GROUP_ICON = 14
RT_VERSION = 16
IDI_APPICON = 101
IDA_MAIN = 103
IDCMD_QUIT = 2
VS_VERSION_INFO = 1

FVIRTKEY = 0x01
FNOINVERT = 0x02
ACCEL_END_OF_TABLE = 0x80
VK_ESCAPE = 0x1B

VS_FIXEDFILEINFO_SIGNATURE = 0xFEEF04BD
VS_FFI_FILEFLAGSMASK = 0x3F
VOS_NT_WINDOWS32 = 0x00040004
VFT_APP = 1
VFT2_UNKNOWN = 0
VERSION = (2, 0, 0, 3)
VERSION_TEXT = "2, 0, 0, 3"
STRING_TABLE = "040904b0"
TRANSLATION = [(0x0409, 1200)]
EXACT_STRINGS = {
    "Comments": "Query OpenGL driver vendor when using double buffering",
    "ProductName": "OVRIN OpenGL Query",
    "FileVersion": VERSION_TEXT,
    "ProductVersion": VERSION_TEXT,
}
# Explorer's properties page shows these; an empty one looks like a half-finished build.
NON_EMPTY_STRINGS = ("CompanyName", "FileDescription", "InternalName", "LegalCopyright",
                     "OriginalFilename")

ICON_SIZE = 32
ICON_BITS = 4
ICON_COLOURS = 1 << ICON_BITS


class FormatError(Exception):
    """The file is not laid out the way a PE image has to be."""


def unpack(fmt, data, offset):
    size = struct.calcsize(fmt)
    if offset < 0 or offset + size > len(data):
        raise FormatError("%d bytes wanted at offset 0x%x, only 0x%x in the block"
                          % (size, offset, len(data)))
    return struct.unpack_from(fmt, data, offset)


class PeImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise FormatError("no MZ header")
        (pe_offset,) = unpack("<I", data, 0x3C)
        if data[pe_offset:pe_offset + 4] != b"PE\0\0":
            raise FormatError("no PE signature at 0x%x" % pe_offset)
        coff = pe_offset + 4
        (self.machine, sections, _, _, _, optional_size, _) = unpack("<HHIIIHH", data, coff)
        optional = coff + 20
        (self.magic,) = unpack("<H", data, optional)
        if self.magic == 0x10B:
            (self.image_base,) = unpack("<I", data, optional + 28)
            directories = optional + 96
        elif self.magic == 0x20B:
            (self.image_base,) = unpack("<Q", data, optional + 24)
            directories = optional + 112
        else:
            raise FormatError("unknown optional header magic 0x%x" % self.magic)
        (self.subsystem,) = unpack("<H", data, optional + 68)
        (count,) = unpack("<I", data, directories - 4)
        self.directories = [unpack("<II", data, directories + 8 * i) for i in range(min(count, 16))]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            (vsize, vaddr, raw_size, raw_ptr) = unpack("<IIII", data, table + 40 * i + 8)
            self.sections.append((vaddr, max(vsize, raw_size), raw_ptr, raw_size))

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def offset_of(self, rva):
        for vaddr, vsize, raw_ptr, raw_size in self.sections:
            if vaddr <= rva < vaddr + vsize:
                if rva - vaddr >= raw_size:
                    raise FormatError("RVA 0x%x lies in a section's uninitialised tail" % rva)
                return raw_ptr + rva - vaddr
        raise FormatError("RVA 0x%x is in no section" % rva)

    def read(self, rva, size):
        start = self.offset_of(rva)
        if start + size > len(self.data):
            raise FormatError("0x%x bytes at RVA 0x%x run past the end of the file" % (size, rva))
        return self.data[start:start + size]

    def c_string(self, rva):
        start = self.offset_of(rva)
        end = self.data.find(b"\0", start)
        if end < 0:
            raise FormatError("unterminated string at RVA 0x%x" % rva)
        return self.data[start:end].decode("latin-1")


def imported_dlls(pe):
    names = []
    rva, size = pe.directory(1)
    if rva:
        offset = 0
        while True:
            (lookup, _, _, name, thunks) = unpack("<IIIII", pe.read(rva + offset, 20), 0)
            if (lookup, name, thunks) == (0, 0, 0):
                break
            names.append(pe.c_string(name))
            offset += 20
    # Delay-loaded DLLs are as much a dependency as ordinary ones: only the failure comes later.
    rva, size = pe.directory(13)
    if rva:
        offset = 0
        while True:
            (attributes, name) = unpack("<II", pe.read(rva + offset, 32), 0)
            if name == 0:
                break
            if not attributes & 1:          # old layout: a virtual address, not an RVA
                name -= pe.image_base
            names.append(pe.c_string(name))
            offset += 32
    return names


def resources(pe):
    """{(type, name): [(language, data)]}, with numeric or string types and names."""
    root, size = pe.directory(2)
    found = {}
    if not root:
        return found

    def entries(offset):
        (named, numbered) = unpack("<HH", pe.read(root + offset + 12, 4), 0)
        for i in range(named + numbered):
            (ident, target) = unpack("<II", pe.read(root + offset + 16 + 8 * i, 8), 0)
            if ident & 0x80000000:
                name_at = root + (ident & 0x7FFFFFFF)
                (length,) = unpack("<H", pe.read(name_at, 2), 0)
                ident = pe.read(name_at + 2, 2 * length).decode("utf-16-le")
            yield ident, target

    def subdirectory(target):
        if not target & 0x80000000:
            raise FormatError("resource tree ends too early")
        return target & 0x7FFFFFFF

    for rtype, type_target in entries(0):
        for name, name_target in entries(subdirectory(type_target)):
            for language, leaf in entries(subdirectory(name_target)):
                if leaf & 0x80000000:
                    raise FormatError("resource tree is deeper than type/name/language")
                (data_rva, data_size) = unpack("<II", pe.read(root + leaf, 8), 0)
                found.setdefault((rtype, name), []).append((language, pe.read(data_rva, data_size)))
    return found


def only_resource(table, rtype, name, what, failures):
    versions = table.get((rtype, name), [])
    if not versions:
        present = sorted(str(n) for t, n in table if t == rtype)
        failures.append("%s: no resource %s of type %d (that type has: %s)"
                        % (what, name, rtype, ", ".join(present) or "none"))
        return None
    if len(versions) > 1:
        failures.append("%s: resource %s has %d language versions, expected one"
                        % (what, name, len(versions)))
        return None
    return versions[0][1]


def check_accelerators(table, failures):
    data = only_resource(table, RT_ACCELERATOR, IDA_MAIN, "accelerator", failures)
    if data is None:
        return
    if len(data) % 8:
        failures.append("accelerator: table is %d bytes, not a whole number of 8-byte entries"
                        % len(data))
        return
    items = [unpack("<HHHH", data, i) for i in range(0, len(data), 8)]
    if len(items) != 1:
        failures.append("accelerator: %d entries, expected exactly one" % len(items))
    if not items:
        return
    flags, key, command, _ = items[0]
    if not flags & ACCEL_END_OF_TABLE:
        failures.append("accelerator: first entry lacks the end-of-table flag 0x80 (flags 0x%02x)"
                        % flags)
    if flags & ~ACCEL_END_OF_TABLE != FVIRTKEY | FNOINVERT:
        failures.append("accelerator: flags 0x%02x, expected FVIRTKEY|FNOINVERT (0x03)"
                        % (flags & ~ACCEL_END_OF_TABLE))
    if key != VK_ESCAPE:
        failures.append("accelerator: key 0x%02x, expected VK_ESCAPE (0x1b)" % key)
    if command != IDCMD_QUIT:
        failures.append("accelerator: command %d, expected %d" % (command, IDCMD_QUIT))


def check_icon(table, failures):
    group = only_resource(table, RT_GROUP_ICON, IDI_APPICON, "icon", failures)
    if group is None:
        return
    (reserved, kind, count) = unpack("<HHH", group, 0)
    if (reserved, kind) != (0, 1):
        failures.append("icon: group header (%d, %d), expected (0, 1)" % (reserved, kind))
        return
    entries = [unpack("<BBBBHHIH", group, 6 + 14 * i) for i in range(count)]
    wanted = [e for e in entries
              if e[:3] == (ICON_SIZE, ICON_SIZE, ICON_COLOURS) and e[5] == ICON_BITS]
    if not wanted:
        failures.append("icon: no %dx%d, 16-colour, 4-bpp image among %s" % (
            ICON_SIZE, ICON_SIZE, ", ".join("%dx%d/%d colours/%d bpp" % (e[0], e[1], e[2], e[5])
                                            for e in entries) or "no entries"))
        return
    _, _, _, _, _, _, declared_size, ident = wanted[0]
    image = only_resource(table, RT_ICON, ident, "icon", failures)
    if image is None:
        return
    if len(image) != declared_size:
        failures.append("icon: image %d is %d bytes, the group says %d"
                        % (ident, len(image), declared_size))
    (header_size, width, height, planes, bits, compression, _, _, _, used, _) = \
        unpack("<IiiHHIIiiII", image, 0)
    # An icon image's height covers the colour image and the transparency mask stacked.
    got = (header_size, width, height, planes, bits, compression)
    expected = (40, ICON_SIZE, 2 * ICON_SIZE, 1, ICON_BITS, 0)
    if got != expected:
        failures.append("icon: image %d header (size, width, height, planes, bpp, compression)"
                        " = %s, expected %s" % (ident, got, expected))
        return
    if used not in (0, ICON_COLOURS):
        failures.append("icon: image %d uses %d palette entries, expected 16" % (ident, used))
    row_bytes = ((ICON_SIZE * ICON_BITS + 31) // 32) * 4
    mask_bytes = ((ICON_SIZE + 31) // 32) * 4
    needed = 40 + 4 * ICON_COLOURS + ICON_SIZE * (row_bytes + mask_bytes)
    if len(image) < needed:
        failures.append("icon: image %d is %d bytes, a 32x32 4-bpp icon needs %d"
                        % (ident, len(image), needed))


def version_nodes(data, offset, end):
    """The version block's tree: [(key, value type, value bytes, children)]."""
    nodes = []
    while offset + 6 <= end:
        (length, value_length, value_type) = unpack("<HHH", data, offset)
        if length < 6 or offset + length > end:
            raise FormatError("version node of length %d at 0x%x overruns its parent"
                              % (length, offset))
        node_end = offset + length
        key_end = offset + 6
        while True:
            if key_end + 2 > node_end:
                raise FormatError("unterminated key in version node at 0x%x" % offset)
            if data[key_end:key_end + 2] == b"\0\0":
                break
            key_end += 2
        key = data[offset + 6:key_end].decode("utf-16-le")
        value_start = (key_end + 2 + 3) & ~3
        # Tools disagree on whether a text value's length counts characters or bytes, so a
        # text value runs to the end of its node: only blocks without a value have children.
        if value_type == 1 and value_length:
            value = data[value_start:node_end]
            children_start = node_end
        else:
            value = data[value_start:value_start + value_length]
            children_start = (value_start + value_length + 3) & ~3
        nodes.append((key, value_type, value, version_nodes(data, children_start, node_end)))
        offset = (node_end + 3) & ~3
    return nodes


def text_of(value):
    text = value.decode("utf-16-le", errors="replace")
    return text.split("\0", 1)[0]


def check_version(table, failures):
    data = only_resource(table, RT_VERSION, VS_VERSION_INFO, "version", failures)
    if data is None:
        return
    tree = version_nodes(data, 0, len(data))
    if len(tree) != 1 or tree[0][0] != "VS_VERSION_INFO":
        failures.append("version: the block is not one VS_VERSION_INFO node")
        return
    _, _, fixed, children = tree[0]
    if len(fixed) != 52:
        failures.append("version: fixed file info is %d bytes, expected 52" % len(fixed))
        return
    (signature, _, file_ms, file_ls, product_ms, product_ls, flags_mask, flags,
     file_os, file_type, file_subtype, _, _) = struct.unpack("<13I", fixed)

    def quad(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    fields = [
        ("signature", signature, VS_FIXEDFILEINFO_SIGNATURE, "0x%08x"),
        ("FileVersion", quad(file_ms, file_ls), VERSION, "%s"),
        ("ProductVersion", quad(product_ms, product_ls), VERSION, "%s"),
        ("FileFlagsMask", flags_mask, VS_FFI_FILEFLAGSMASK, "0x%x"),
        ("FileFlags", flags, 0, "0x%x"),
        ("FileOS", file_os, VOS_NT_WINDOWS32, "0x%08x"),
        ("FileType", file_type, VFT_APP, "%d"),
        ("FileSubtype", file_subtype, VFT2_UNKNOWN, "%d"),
    ]
    for name, got, expected, form in fields:
        if got != expected:
            failures.append("version: fixed %s is %s, expected %s"
                            % (name, form % (got,), form % (expected,)))

    blocks = {key: kids for key, _, _, kids in children}
    tables = blocks.get("StringFileInfo", [])
    # Windows looks string tables up by their key without regard to case.
    if [t[0].lower() for t in tables] != [STRING_TABLE]:
        failures.append("version: string tables %s, expected exactly [%r]"
                        % ([t[0] for t in tables], STRING_TABLE))
    strings = {}
    for key, _, _, kids in tables:
        if key.lower() == STRING_TABLE:
            strings = {name: text_of(value) for name, _, value, _ in kids}
    if tables:
        for name, expected in EXACT_STRINGS.items():
            if strings.get(name) != expected:
                failures.append("version: string %s is %r, expected %r"
                                % (name, strings.get(name), expected))
        for name in NON_EMPTY_STRINGS:
            if not strings.get(name):
                failures.append("version: string %s is missing or empty" % name)

    translations = None
    for key, _, value, _ in blocks.get("VarFileInfo", []):
        if key == "Translation":
            translations = [unpack("<HH", value, i) for i in range(0, len(value) - 3, 4)]
    if translations != TRANSLATION:
        failures.append("version: Translation is %s, expected [(0x409, 1200)]"
                        % ("missing" if translations is None else
                           [("0x%x" % lang, page) for lang, page in translations]))


def objdump_view(tool, path):
    """(machine name or None, [DLL names]) as binutils reads the file."""
    output = subprocess.run([tool, "-p", path], check=True, capture_output=True,
                            text=True).stdout
    machine = None
    found = re.search(r"file format (\S+)", output)
    if found:
        machine = OBJDUMP_FORMATS.get(found.group(1), found.group(1))
    return machine, re.findall(r"^\s*DLL Name:\s*(\S+)\s*$", output, re.MULTILINE)


def dll_stem(name):
    name = name.lower()
    return name[:-4] if name.endswith(".dll") else name


def check(path, machine, objdump):
    """([failures], summary of what was found)."""
    failures = []
    with open(path, "rb") as f:
        data = f.read()
    try:
        pe = PeImage(data)
    except FormatError as e:
        return ["file: not a PE image: %s" % e], ""

    names = {v: k for k, v in MACHINES.items()}
    found_machine = names.get(pe.machine, "0x%04x" % pe.machine)
    if pe.machine != MACHINES[machine]:
        failures.append("machine: %s, expected %s" % (found_machine, machine))
    if pe.subsystem != IMAGE_SUBSYSTEM_WINDOWS_GUI:
        failures.append("subsystem: %d, expected %d (Windows GUI)"
                        % (pe.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI))

    dlls = []
    try:
        dlls = imported_dlls(pe)
    except FormatError as e:
        failures.append("imports: unreadable import table: %s" % e)
    stray = [d for d in dlls if dll_stem(d) not in ALLOWED_DLLS]
    if stray:
        failures.append("imports: %s not among the allowed DLLs (%s)"
                        % (", ".join(stray), ", ".join(ALLOWED_DLLS)))

    if objdump:
        try:
            their_machine, their_dlls = objdump_view(objdump, path)
        except (OSError, subprocess.CalledProcessError) as e:
            failures.append("objdump: could not run %s: %s" % (objdump, e))
        else:
            if their_machine != found_machine:
                failures.append("objdump: reads machine %s, this parser %s"
                                % (their_machine, found_machine))
            ours = sorted(dll_stem(d) for d in dlls)
            theirs = sorted(dll_stem(d) for d in their_dlls)
            if ours != theirs:
                failures.append("objdump: lists DLLs %s, this parser %s" % (theirs, ours))

    try:
        table = resources(pe)
    except FormatError as e:
        failures.append("resources: unreadable resource tree: %s" % e)
    else:
        for what, part in (("version", check_version), ("accelerator", check_accelerators),
                           ("icon", check_icon)):
            try:
                part(table, failures)
            except FormatError as e:
                failures.append("%s: malformed resource: %s" % (what, e))

    summary = ("%s, Windows GUI, imports %s; version %s; Escape accelerator; "
               "32x32 16-colour icon" % (found_machine, ", ".join(sorted(dll_stem(d) for d in dlls)),
                                          ".".join(map(str, VERSION))))
    return failures, summary


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("exe")
    parser.add_argument("--machine", required=True, choices=sorted(MACHINES))
    parser.add_argument("--objdump", help="binutils objdump for the exe's target, to cross-check")
    args = parser.parse_args(argv)
    try:
        failures, summary = check(args.exe, args.machine, args.objdump)
    except OSError as e:
        failures, summary = ["file: %s" % e], ""
    name = os.path.basename(args.exe)
    if failures:
        print("%s: %d check%s failed" % (name, len(failures), "" if len(failures) == 1 else "s"))
        for failure in failures:
            print("FAIL " + failure)
        return 1
    print("%s: OK: %s" % (name, summary))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
