#!/usr/bin/env python3
"""Checks the built OvrinGLQuery.exe file itself: what Windows sees before any code runs.

  check_exe.py EXE --machine {i386,amd64} --version MAJOR.MINOR.PATCH.TWEAK --imports LIST...
               --objdump TOOL

Verifies the machine type, the GUI subsystem and its version, that every imported function
(ordinary and delay-loaded) is on the list of those the oldest supported Windows has, the
version block, the Escape accelerator table, the application icon's two 16-colour images and
the application manifest, in a form every Windows that reads manifests accepts. From binutils'
disassembly: that the entry point sets the x87 control word, and in the 32-bit exe that no
instruction is newer than the original Pentium. The PE file is read with pefile; the import list
and the machine are also read by binutils and the two readings must agree, so a misreading cannot
hide a stray DLL.

Exit status 0 with a one-line summary when everything holds; 1 with one "FAIL <check>:"
line per failed check otherwise; 2 on bad usage.
"""

import argparse
import csv
import hashlib
import io
import os
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

import pefile

MACHINES = {"i386": 0x014C, "amd64": 0x8664}
OBJDUMP_FORMATS = {"pei-i386": "i386", "pei-x86-64": "amd64"}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
# The oldest Windows each exe is for: NT 4.0 refuses an image that asks for a newer subsystem,
# and 64-bit Windows begins with 5.2 (XP and Server 2003 x64).
SUBSYSTEM_VERSIONS = {"i386": (4, 0), "amd64": (5, 2)}
# Every listed import must be one this Windows has: the oldest the exe is for.
OLDEST_WINDOWS = "NT 4.0"

# The x87 control word the program computes under (app/ProgramEntry.cpp): extended precision,
# rounding to nearest, every exception masked. Its entry point loads it before any call.
X87_CONTROL_WORD = 0x037F
ENTRY_BYTES = 64

# Instructions newer than the original Pentium, or missing from one of its peers (Pentium MMX,
# AMD K6/K6-2, Cyrix 6x86), by mnemonic as objdump spells it, with the first processor that has
# them; register operands below. Not TZCNT: it is REP BSF, which older processors run as BSF,
# and GCC emits it so on purpose.
NEWER_INSTRUCTIONS = [
    (r"cmov\w+|fcmov\w+|fu?comip?|nop[wl]|endbr(?:32|64)|rdpmc", "Pentium Pro"),
    (r"sysenter|sysexit|fxsave\w*|fxrstor\w*", "Pentium II"),
    (r"syscall|sysret\w*", "AMD K6-2"),
    (r"rdtsc|cpuid", "not on the Cyrix 6x86"),
    (r"f?emms|prefetch\w*|[lsm]fence|clflush\w*|movnti|ldmxcsr|stmxcsr|fisttp\w*",
     "MMX, 3DNow! or SSE"),
    (r"popcnt|lzcnt|movbe|crc32\w*|rdrand|rdseed|rdtscp|xgetbv|xsave\w*|xrstor\w*"
     r"|adcx|adox|andn|bextr|blsi|blsmsk|blsr|bzhi|mulx|pdep|pext|rorx|sarx|shlx|shrx",
     "a later extension"),
]
MEDIA_REGISTER = re.compile(r"%(?:[xyz]?mm\d+|k[0-7]\b)")
PREFIXES = {"lock", "rep", "repz", "repnz", "repe", "repne", "data16", "data32", "addr16",
            "addr32", "cs", "ds", "es", "fs", "gs", "ss", "notrack", "bnd"}

RT_ICON = 3
RT_ACCELERATOR = 9
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24
IDI_APPICON = 101
IDA_MAIN = 103
IDCMD_QUIT = 2
VS_VERSION_INFO = 1
# The manifest Windows reads when it creates the process.
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1

FVIRTKEY = 0x01
FNOINVERT = 0x02
ACCEL_END_OF_TABLE = 0x80
VK_ESCAPE = 0x1B

VS_FIXEDFILEINFO_SIGNATURE = 0xFEEF04BD
VS_FFI_FILEFLAGSMASK = 0x3F
VOS_NT_WINDOWS32 = 0x00040004
VFT_APP = 1
VFT2_UNKNOWN = 0
STRING_TABLE = "040904b0"
TRANSLATION = "0x0409 0x04b0"       # US English, Unicode, as pefile spells one pair
EXACT_STRINGS = {
    "Comments": "Query OpenGL driver vendor when using double buffering",
    "ProductName": "OVRIN OpenGL Query",
}
VERSION_STRINGS = ("FileVersion", "ProductVersion")
# Explorer's properties page shows these; an empty one looks like a half-finished build.
NON_EMPTY_STRINGS = ("CompanyName", "FileDescription", "InternalName", "LegalCopyright",
                     "OriginalFilename")

# The icon's images, larger first: each 16 colours, 4 bits per pixel. The 32 x 32 image is the
# one the program has always shown; its bytes stay as they are (their SHA-256 here), and the
# 16 x 16 one, drawn for the title bar and the taskbar, is checked once the 32 x 32 one holds.
ICON_SIZES = (32, 16)
ICON_BITS = 4
ICON_COLOURS = 1 << ICON_BITS
ICON_32_SHA256 = "b840588ae7d2c0e04999d1daa00832511fe7dd9cde6518ae1b0c0bdbfdefaa08"

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
# The elements below <assembly> that stand in the asm.v1 namespace (Microsoft's "Application
# manifests" page); trustInfo, compatibility, application and the settings came later, and Windows
# XP and Server 2003 refuse a manifest that has them in asm.v1.
V1_ELEMENTS = {"assemblyIdentity", "noInherit", "dependency", "dependentAssembly", "file"}
NAMESPACES = {
    "v1": ASM_V1,
    "v3": "urn:schemas-microsoft-com:asm.v3",
    "compat": "urn:schemas-microsoft-com:compatibility.v1",
    "ws2005": "http://schemas.microsoft.com/SMI/2005/WindowsSettings",
}
EXECUTION_LEVEL = "v3:trustInfo/v3:security/v3:requestedPrivileges/v3:requestedExecutionLevel"
DPI_AWARE = "v3:application/v3:windowsSettings/ws2005:dpiAware"
SUPPORTED_OS = "compat:compatibility/compat:application/compat:supportedOS"
# Each system that finds itself in the list gives the program its own current behaviour
# instead of the compatibility shims it applies to programs written before it.
SYSTEMS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10/11",
}


def resources(pe):
    """{(type, name): [(language, data)]}, with numeric or string types and names."""
    found = {}

    def ident(entry):
        return entry.id if entry.name is None else str(entry.name)

    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in rtype.directory.entries:
            for language in name.directory.entries:
                leaf = language.data.struct
                found.setdefault((ident(rtype), ident(name)), []).append(
                    (language.id, pe.get_data(leaf.OffsetToData, leaf.Size)))
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


def check_accelerators(pe, table, failures, version):
    data = only_resource(table, RT_ACCELERATOR, IDA_MAIN, "accelerator", failures)
    if data is None:
        return
    if len(data) % 8:
        failures.append("accelerator: table is %d bytes, not a whole number of 8-byte entries"
                        % len(data))
        return
    items = list(struct.iter_unpack("<HHHH", data))
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


def check_icon(pe, table, failures, version):
    group = only_resource(table, RT_GROUP_ICON, IDI_APPICON, "icon", failures)
    if group is None:
        return
    (reserved, kind, count) = struct.unpack_from("<HHH", group, 0)
    if (reserved, kind) != (0, 1):
        failures.append("icon: group header (%d, %d), expected (0, 1)" % (reserved, kind))
        return
    entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(count)]
    for size in ICON_SIZES:
        image = icon_image(table, entries, size, failures)
        if image is None:
            return
        if size == ICON_SIZES[0] and hashlib.sha256(image).hexdigest() != ICON_32_SHA256:
            failures.append("icon: the 32x32 image's bytes have changed (SHA-256 %s, expected %s)"
                            % (hashlib.sha256(image).hexdigest(), ICON_32_SHA256))


def icon_image(table, entries, size, failures):
    """The group's size x size, 16-colour, 4-bpp image, or None after failures."""
    before = len(failures)
    wanted = [e for e in entries if e[:3] == (size, size, ICON_COLOURS) and e[5] == ICON_BITS]
    if not wanted:
        failures.append("icon: no %dx%d, 16-colour, 4-bpp image among %s" % (
            size, size, ", ".join("%dx%d/%d colours/%d bpp" % (e[0], e[1], e[2], e[5])
                                  for e in entries) or "no entries"))
        return None
    _, _, _, _, _, _, declared_size, ident = wanted[0]
    image = only_resource(table, RT_ICON, ident, "icon", failures)
    if image is None:
        return None
    if len(image) != declared_size:
        failures.append("icon: image %d is %d bytes, the group says %d"
                        % (ident, len(image), declared_size))
    (header_size, width, height, planes, bits, compression, _, _, _, used, _) = \
        struct.unpack_from("<IiiHHIIiiII", image, 0)
    # An icon image's height covers the colour image and the transparency mask stacked.
    got = (header_size, width, height, planes, bits, compression)
    expected = (40, size, 2 * size, 1, ICON_BITS, 0)
    if got != expected:
        failures.append("icon: image %d header (size, width, height, planes, bpp, compression)"
                        " = %s, expected %s" % (ident, got, expected))
        return None
    if used not in (0, ICON_COLOURS):
        failures.append("icon: image %d uses %d palette entries, expected 16" % (ident, used))
    row_bytes = ((size * ICON_BITS + 31) // 32) * 4
    mask_bytes = ((size + 31) // 32) * 4
    needed = 40 + 4 * ICON_COLOURS + size * (row_bytes + mask_bytes)
    if len(image) < needed:
        failures.append("icon: image %d is %d bytes, a %dx%d 4-bpp icon needs %d"
                        % (ident, len(image), size, size, needed))
    return image if len(failures) == before else None


def check_version(pe, table, failures, version):
    if only_resource(table, RT_VERSION, VS_VERSION_INFO, "version", failures) is None:
        return
    blocks = getattr(pe, "VS_VERSIONINFO", [])
    if len(blocks) != 1 or blocks[0].Key != b"VS_VERSION_INFO":
        failures.append("version: the block is not one VS_VERSION_INFO node")
        return
    if blocks[0].ValueLength != 52 or not getattr(pe, "VS_FIXEDFILEINFO", None):
        failures.append("version: fixed file info is %d bytes, expected 52"
                        % blocks[0].ValueLength)
        return
    fixed = pe.VS_FIXEDFILEINFO[0]

    def quad(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    fields = [
        ("signature", fixed.Signature, VS_FIXEDFILEINFO_SIGNATURE, "0x%08x"),
        ("FileVersion", quad(fixed.FileVersionMS, fixed.FileVersionLS), version, "%s"),
        ("ProductVersion", quad(fixed.ProductVersionMS, fixed.ProductVersionLS), version, "%s"),
        ("FileFlagsMask", fixed.FileFlagsMask, VS_FFI_FILEFLAGSMASK, "0x%x"),
        ("FileFlags", fixed.FileFlags, 0, "0x%x"),
        ("FileOS", fixed.FileOS, VOS_NT_WINDOWS32, "0x%08x"),
        ("FileType", fixed.FileType, VFT_APP, "%d"),
        ("FileSubtype", fixed.FileSubtype, VFT2_UNKNOWN, "%d"),
    ]
    for name, got, expected, form in fields:
        if got != expected:
            failures.append("version: fixed %s is %s, expected %s"
                            % (name, form % (got,), form % (expected,)))

    # pefile makes no FileInfo of a block that ends after its fixed part.
    infos = {info.Key: info for info in (getattr(pe, "FileInfo", None) or [[]])[0]}
    tables = getattr(infos.get(b"StringFileInfo"), "StringTable", [])
    # Windows looks string tables up by their key without regard to case.
    keys = [t.LangID.decode("latin-1") for t in tables]
    if [k.lower() for k in keys] != [STRING_TABLE]:
        failures.append("version: string tables %s, expected exactly [%r]" % (keys, STRING_TABLE))
    strings = {}
    for key, strings_table in zip(keys, tables):
        if key.lower() == STRING_TABLE:
            strings = {k.decode(): v.decode() for k, v in strings_table.entries.items()}
    if tables:
        text = ", ".join(map(str, version))
        expected_strings = dict(EXACT_STRINGS, **{name: text for name in VERSION_STRINGS})
        for name, expected in expected_strings.items():
            if strings.get(name) != expected:
                failures.append("version: string %s is %r, expected %r"
                                % (name, strings.get(name), expected))
        for name in NON_EMPTY_STRINGS:
            if not strings.get(name):
                failures.append("version: string %s is missing or empty" % name)

    # pefile keeps only the last language/code-page pair of a Var; its length counts them all.
    translations = [(var.ValueLength // 4, var.entry[b"Translation"])
                    for var in getattr(infos.get(b"VarFileInfo"), "Var", [])
                    if b"Translation" in getattr(var, "entry", {})]
    if translations != [(1, TRANSLATION)]:
        failures.append("version: Translation (pairs, last pair) %s, expected [(1, %r)]"
                        % (translations, TRANSLATION))


def check_manifest(pe, table, failures, version):
    names = sorted(n for t, n in table if t == RT_MANIFEST)
    if names != [CREATEPROCESS_MANIFEST_RESOURCE_ID]:
        failures.append("manifest: RT_MANIFEST resources %s, expected exactly [%d]"
                        % (names, CREATEPROCESS_MANIFEST_RESOURCE_ID))
    if CREATEPROCESS_MANIFEST_RESOURCE_ID not in names:
        return
    data = only_resource(table, RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID, "manifest",
                         failures)
    if data is None:
        return
    try:
        root = ElementTree.fromstring(data)
    except ElementTree.ParseError as e:
        failures.append("manifest: not well-formed XML: %s" % e)
        return
    if root.tag != "{%s}assembly" % ASM_V1:
        failures.append("manifest: root element %s, expected {%s}assembly" % (root.tag, ASM_V1))
        return

    def attributes(path, *names):
        """The given attributes of every element at path, as tuples."""
        return [tuple(e.get(n) for n in names) for e in root.findall(path, NAMESPACES)]

    expected_version = ".".join(map(str, version))
    identity = attributes("v1:assemblyIdentity", "type", "name", "version")
    if [v for _, _, v in identity] != [expected_version]:
        failures.append("manifest: assemblyIdentity versions %s, expected [%r]"
                        % ([v for _, _, v in identity], expected_version))
    for kind, name, _ in identity:
        if kind != "win32":
            failures.append("manifest: assemblyIdentity type %r, expected 'win32'" % kind)
        if not name:
            failures.append("manifest: assemblyIdentity has no name")
    check_manifest_namespaces(data, failures)
    # System-wide awareness only: per-monitor awareness would make the program handle
    # WM_DPICHANGED, which it does not.
    dpi_aware = [e.text for e in root.findall(DPI_AWARE, NAMESPACES)]
    if dpi_aware != ["true"]:
        failures.append("manifest: dpiAware %s, expected ['true']" % dpi_aware)
    per_monitor = [e.text for e in root.iter() if e.tag.endswith("}dpiAwareness")]
    if per_monitor:
        failures.append("manifest: dpiAwareness %s, expected none" % per_monitor)
    level = attributes(EXECUTION_LEVEL, "level", "uiAccess")
    if level != [("asInvoker", "false")]:
        failures.append("manifest: requestedExecutionLevel (level, uiAccess) %s,"
                        " expected [('asInvoker', 'false')]" % level)
    systems = [i.lower() for i, in attributes(SUPPORTED_OS, "Id")]
    for guid, system in SYSTEMS.items():
        if systems.count(guid) != 1:
            failures.append("manifest: supportedOS Windows %s %s listed %d times, expected once"
                            % (system, guid, systems.count(guid)))
    for guid in sorted(set(systems) - SYSTEMS.keys()):
        failures.append("manifest: supportedOS %s is none of the expected systems" % guid)


def check_manifest_namespaces(data, failures):
    """Windows XP and Server 2003 read the manifest and refuse to start the program on an element
    of a newer schema in the asm.v1 namespace; XP SP2 and Server 2003 without SP1 restart on one
    that declares a namespace already declared around it. Read from the parser's namespace
    events, as the element tree keeps no xmlns attributes."""
    # Per open element: the namespaces declared on it or around it, and whether it or an
    # element around it already stands outside a namespace of its own (reported once, outermost).
    in_scope = [set()]
    inside_outsider = [False]
    declared = []
    outside = []
    for event, item in ElementTree.iterparse(io.BytesIO(data), events=("start-ns", "start", "end")):
        if event == "start-ns":
            declared.append(item[1])
        elif event == "start":
            namespace, _, name = item.tag.lstrip("{").rpartition("}")
            again = [uri for i, uri in enumerate(declared)
                     if uri in in_scope[-1] or uri in declared[:i]]
            if again:
                failures.append("manifest: %s declares %s again, already declared around it"
                                % (name, ", ".join(again)))
            misplaced = len(in_scope) > 1 and (
                namespace == ASM_V1 and name not in V1_ELEMENTS or not namespace)
            if misplaced and not inside_outsider[-1]:
                outside.append("%s (%s)" % (name, namespace or "no namespace"))
            in_scope.append(in_scope[-1] | set(declared))
            inside_outsider.append(inside_outsider[-1] or misplaced)
            declared = []
        else:
            in_scope.pop()
            inside_outsider.pop()
    if outside:
        failures.append("manifest: elements without a namespace of their own: %s; in asm.v1 only %s"
                        % (", ".join(outside), ", ".join(sorted(V1_ELEMENTS))))


def allowed_imports(paths):
    """{(dll stem, function): oldest Windows that has it} from the lists (the one kept in the
    repository, and for the rejection test one more)."""
    allowed = {}
    for path in paths:
        with open(path, newline="") as f:
            rows = [r for r in csv.reader(f) if r and not r[0].startswith("#")]
        allowed.update(((dll_stem(dll), function), oldest) for dll, function, oldest, _ in rows[1:])
    return allowed


def check_imports(pe, allowed, failures):
    """The imported DLLs and functions, as (DLL, function) pairs; each must be on the list."""
    imports = [(entry.dll.decode("latin-1"),
                imp.name.decode("latin-1") if imp.name else "#%d" % imp.ordinal)
               for directory in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT")
               for entry in getattr(pe, directory, []) for imp in entry.imports]
    dlls = sorted({stem for stem, _ in allowed})
    stray = sorted({d for d, _ in imports if dll_stem(d) not in dlls})
    if stray:
        failures.append("imports: %s not among the allowed DLLs (%s)"
                        % (", ".join(stray), ", ".join(dlls)))
    for dll, function in imports:
        oldest = allowed.get((dll_stem(dll), function))
        if dll not in stray and oldest != OLDEST_WINDOWS:
            failures.append("imports: %s!%s is %s" % (dll, function, "from Windows %s by the list,"
                            " expected %s" % (oldest, OLDEST_WINDOWS) if oldest else
                            "not in the list of what Windows %s has" % OLDEST_WINDOWS))
    return imports


def disassembly(tool, path, *options):
    """[(address, mnemonic, operands)] as binutils decodes the code, prefixes left out."""
    output = subprocess.run([tool, "-d", "--no-show-raw-insn", *options, path], check=True,
                            capture_output=True, text=True).stdout
    code = []
    for address, text in re.findall(r"^\s*([0-9a-f]+):\s+(.+)$", output, re.MULTILINE):
        words = text.split()
        while len(words) > 1 and words[0] in PREFIXES:
            words.pop(0)
        code.append((int(address, 16), words[0], " ".join(words[1:])))
    return code


def check_instructions(code, failures):
    found = {}
    for address, mnemonic, operands in code:
        for pattern, since in NEWER_INSTRUCTIONS:
            if re.fullmatch(pattern, mnemonic):
                found.setdefault((mnemonic, since), []).append(address)
        if MEDIA_REGISTER.search(operands):
            found.setdefault((mnemonic + " on MMX/SSE registers", "Pentium MMX or later"),
                             []).append(address)
    for (what, since), addresses in sorted(found.items()):
        failures.append("instructions: %s x%d (%s) at %s%s" % (
            what, len(addresses), since, ", ".join("0x%x" % a for a in addresses[:3]),
            ", ..." if len(addresses) > 3 else ""))


def check_entry(pe, tool, path, failures):
    """The entry point's first instructions, up to its first call or jump, load the x87 control
    word from a constant."""
    base = pe.OPTIONAL_HEADER.ImageBase
    entry = base + pe.OPTIONAL_HEADER.AddressOfEntryPoint
    code = disassembly(tool, path, "--start-address=0x%x" % entry,
                       "--stop-address=0x%x" % (entry + ENTRY_BYTES))
    for _, mnemonic, operands in code:
        if mnemonic == "fldcw":
            # An absolute address (i386), or the one objdump works out after '#' (amd64).
            place = (re.search(r"#\s*(?:0x)?([0-9a-f]+)", operands)
                     or re.match(r"0x([0-9a-f]+)(?:\s|$)", operands))
            if not place:
                failures.append("entry: loads the x87 control word from %s, not from a constant"
                                % operands)
                return
            word = pe.get_word_at_rva(int(place.group(1), 16) - base)
            if word != X87_CONTROL_WORD:
                failures.append("entry: loads x87 control word 0x%04x, expected 0x%04x"
                                % (word, X87_CONTROL_WORD))
            return
        if mnemonic.startswith(("call", "j", "ret")):
            break
    failures.append("entry: loads no x87 control word before its first call or jump")


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


def check(path, machine, version, objdump, allowed):
    """([failures], summary of what was found)."""
    failures = []
    try:
        pe = pefile.PE(path, fast_load=True)
        pe.parse_data_directories(directories=[
            pefile.DIRECTORY_ENTRY[d] for d in ("IMAGE_DIRECTORY_ENTRY_IMPORT",
                                                "IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT",
                                                "IMAGE_DIRECTORY_ENTRY_RESOURCE")])
    except pefile.PEFormatError as e:
        return ["file: not a PE image: %s" % e.value], ""

    names = {v: k for k, v in MACHINES.items()}
    found_machine = names.get(pe.FILE_HEADER.Machine, "0x%04x" % pe.FILE_HEADER.Machine)
    if pe.FILE_HEADER.Machine != MACHINES[machine]:
        failures.append("machine: %s, expected %s" % (found_machine, machine))
    subsystem = pe.OPTIONAL_HEADER.Subsystem
    if subsystem != IMAGE_SUBSYSTEM_WINDOWS_GUI:
        failures.append("subsystem: %d, expected %d (Windows GUI)"
                        % (subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI))
    # What depends on the machine follows the file's own, so a wrong one fails once, above.
    if found_machine in MACHINES:
        machine = found_machine
    subsystem_version = (pe.OPTIONAL_HEADER.MajorSubsystemVersion,
                         pe.OPTIONAL_HEADER.MinorSubsystemVersion)
    if subsystem_version != SUBSYSTEM_VERSIONS[machine]:
        failures.append("subsystem version: %d.%d, expected %d.%d" % (
            subsystem_version + SUBSYSTEM_VERSIONS[machine]))

    # Delay-loaded DLLs are as much a dependency as ordinary ones: only the failure comes later.
    imports = check_imports(pe, allowed, failures)
    dlls = sorted({dll for dll, _ in imports})

    try:
        their_machine, their_dlls = objdump_view(objdump, path)
        check_entry(pe, objdump, path, failures)
        if machine == "i386":
            check_instructions(disassembly(objdump, path), failures)
    except (OSError, subprocess.CalledProcessError) as e:
        failures.append("objdump: could not run %s: %s" % (objdump, e))
    else:
        if their_machine != found_machine:
            failures.append("objdump: reads machine %s, pefile %s"
                            % (their_machine, found_machine))
        ours = sorted(dll_stem(d) for d in dlls)
        theirs = sorted(dll_stem(d) for d in their_dlls)
        if ours != theirs:
            failures.append("objdump: lists DLLs %s, pefile %s" % (theirs, ours))

    try:
        table = resources(pe)
    except pefile.PEFormatError as e:
        failures.append("resources: unreadable resource tree: %s" % e.value)
    else:
        for what, part in (("version", check_version), ("accelerator", check_accelerators),
                           ("icon", check_icon), ("manifest", check_manifest)):
            try:
                part(pe, table, failures, version)
            except struct.error as e:
                failures.append("%s: malformed resource: %s" % (what, e))

    summary = ("%s, Windows GUI %d.%d, %d imports from %s, all in Windows %s; entry sets x87 "
               "control word 0x%04x%s; version %s; Escape accelerator; 32x32 and 16x16 16-colour "
               "icon; manifest: dpiAware, asInvoker, Vista to 10/11"
               % (found_machine, subsystem_version[0], subsystem_version[1], len(imports),
                  ", ".join(sorted(dll_stem(d) for d in dlls)), OLDEST_WINDOWS, X87_CONTROL_WORD,
                  "; no instruction newer than the Pentium" if machine == "i386" else "",
                  ".".join(map(str, version))))
    return failures, summary


def version_numbers(text):
    if not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", text):
        raise argparse.ArgumentTypeError("%r is not MAJOR.MINOR.PATCH.TWEAK" % text)
    return tuple(int(n) for n in text.split("."))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("exe")
    parser.add_argument("--machine", required=True, choices=sorted(MACHINES))
    parser.add_argument("--version", required=True, type=version_numbers,
                        help="the project version, as the exe must carry it")
    parser.add_argument("--objdump", required=True,
                        help="binutils objdump for the exe's target: disassembles, cross-checks")
    parser.add_argument("--imports", required=True, action="append",
                        help="the list of DLL functions the exe may import (imports.csv); again"
                             " for another list to read as well")
    args = parser.parse_args(argv)
    try:
        failures, summary = check(args.exe, args.machine, args.version, args.objdump,
                                  allowed_imports(args.imports))
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
