#!/usr/bin/env python3
"""Builds the release zip and checks what it holds.

  check_package.py --build-dir DIR --exe32 EXE --exe64 EXE --exe64-again EXE
                   --changelog FILE --licence FILE --version VERSION [--cmake CMAKE] [--self-test]

Runs `cmake --build DIR --target package`, then checks that DIR/OvrinGLQuery-VERSION-win32.zip
holds, in one folder of the same name, exactly the 32-bit exe (the very file the build made),
x64/ with the 64-bit exe (the same bytes as --exe64 and as --exe64-again, another build of it),
readme.txt, changes.txt, license.txt and SHA256SUMS, and that SHA256SUMS lists each of the
other five once with its hash. The three texts are for Notepad on Windows NT 4.0 and later:
CRLF line ends only, ASCII only, no line over 76 columns; the release notes are --changelog's
text and the licence --licence's, line ends apart; the readme names this version first.
With --self-test it also spoils copies of that zip in the ways a packaging mistake would, and
fails unless the check rejects each copy for its fault.
"""

import argparse
import hashlib
import io
import os
import re
import subprocess
import sys
import zipfile

import pefile

PACKAGE = None  # OvrinGLQuery-<version>-win32, set from --version
EXE32 = "OvrinGLQuery.exe"
EXE64 = "x64/OvrinGLQuery.exe"
README = "readme.txt"
CHANGES = "changes.txt"
LICENCE = "license.txt"
SUMS = "SHA256SUMS"
# What the zip holds besides SHA256SUMS, which covers each of them.
CONTENTS = (EXE32, EXE64, README, CHANGES, LICENCE)
TEXT_COLUMNS = 76


def machine_of(data):
    """i386, amd64, ...: pefile's name of the image's machine, IMAGE_FILE_MACHINE_I386 and so on,
    as the checks on the exe name it."""
    try:
        machine = pefile.PE(data=data, fast_load=True).FILE_HEADER.Machine
    except pefile.PEFormatError:
        return "not a PE image"
    return pefile.MACHINE_TYPE.get(machine, "machine 0x%04x" % machine).split("MACHINE_")[-1].lower()


def read_sums(text, failures):
    listed = {}
    for number, line in enumerate(text.splitlines(), 1):
        found = re.fullmatch(r"([0-9a-f]{64})  (\S.*)", line)
        if not found:
            failures.append("%s: line %d is not '<sha256>  <path>': %r" % (SUMS, number, line))
            continue
        digest, name = found.groups()
        if name in listed:
            failures.append("%s: %s is listed twice" % (SUMS, name))
        listed[name] = digest
    return listed


def check_text(name, text, failures):
    """CRLF only, ASCII only, lines of TEXT_COLUMNS at most: the first offending line of each."""
    *lines, rest = text.split(b"\n")
    if rest:
        failures.append("%s: does not end in CRLF" % name)
    faults = {}
    for number, line in enumerate(lines, 1):
        if not line.endswith(b"\r"):
            faults.setdefault("lf", "%s: line %d ends in a bare LF, not CRLF" % (name, number))
        line = line.removesuffix(b"\r")
        stray = re.search(rb"[^\x00-\x7f]", line)
        if stray:
            faults.setdefault("ascii", "%s: line %d has byte 0x%02x at column %d, not ASCII"
                              % (name, number, line[stray.start()], stray.start() + 1))
        width = len(line)
        if width > TEXT_COLUMNS:
            faults.setdefault("width", "%s: line %d is %d columns, over %d"
                              % (name, number, width, TEXT_COLUMNS))
    failures.extend(faults.values())


def check(data, expected, texts, version):
    """[failures] for the zip's bytes; `expected` maps EXE32 and EXE64 to the files each must
    equal, `texts` CHANGES and LICENCE to the files whose text each must be."""
    failures = []
    try:
        archive = zipfile.ZipFile(io.BytesIO(data))
    except zipfile.BadZipFile as e:
        return ["zip: unreadable: %s" % e]
    files = {}
    for info in archive.infolist():
        if info.is_dir():
            continue
        if not info.filename.startswith(PACKAGE + "/"):
            failures.append("zip: %s lies outside the folder %s/" % (info.filename, PACKAGE))
            continue
        files[info.filename[len(PACKAGE) + 1:]] = archive.read(info)

    wanted = set(CONTENTS) | {SUMS}
    for name in sorted(wanted - files.keys()):
        failures.append("zip: %s is missing" % name)
    for name in sorted(files.keys() - wanted):
        failures.append("zip: %s does not belong in the package" % name)

    machines = {EXE32: "i386", EXE64: "amd64"}
    for name, paths in expected.items():
        if name not in files:
            continue
        if name in machines and machine_of(files[name]) != machines[name]:
            failures.append("%s: %s, expected %s" % (name, machine_of(files[name]), machines[name]))
        for path in paths:
            with open(path, "rb") as f:
                if files[name] != f.read():
                    failures.append("%s: differs from %s" % (name, path))

    for name in (README, CHANGES, LICENCE):
        if name in files:
            check_text(name, files[name], failures)
    for name, path in texts.items():
        with open(path, "rb") as f:
            if name in files and files[name].replace(b"\r\n", b"\n") != f.read():
                failures.append("%s: text differs from %s" % (name, path))
    title = "OVRIN OpenGL Query %s" % version
    first = files.get(README, b"").split(b"\n")[0].rstrip(b"\r")
    if README in files and first != title.encode():
        failures.append("%s: first line %r, expected %r"
                        % (README, first.decode("latin-1"), title))

    if SUMS in files:
        listed = read_sums(files[SUMS].decode("utf-8", errors="replace"), failures)
        for name in sorted(set(files) - {SUMS} - listed.keys()):
            failures.append("%s: does not cover %s" % (SUMS, name))
        for name, digest in sorted(listed.items()):
            if name not in files or name == SUMS:
                failures.append("%s: lists %s, which is not in the package" % (SUMS, name))
            elif hashlib.sha256(files[name]).hexdigest() != digest:
                failures.append("%s: wrong hash for %s" % (SUMS, name))
    return failures


def respelled(data, change):
    """A copy of the zip with `change` applied to its {name: bytes} contents."""
    with zipfile.ZipFile(io.BytesIO(data)) as archive:
        files = {i.filename[len(PACKAGE) + 1:]: archive.read(i)
                 for i in archive.infolist() if not i.is_dir()}
    change(files)
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as archive:
        for name, content in files.items():
            archive.writestr(PACKAGE + "/" + name, content)
    return out.getvalue()


def flip_byte(files):
    exe = bytearray(files[EXE32])
    exe[len(exe) // 2] ^= 0xFF
    files[EXE32] = bytes(exe)


def swap_exes(files):
    files[EXE32], files[EXE64] = files[EXE64], files[EXE32]


def add_stray(files):
    files["OvrinGLQuery.map"] = b"left over\n"


def lf_line(files):
    files[README] = files[README].replace(b"\r\n", b"\n", 1)


def non_ascii(files):
    files[CHANGES] = "\u00d7".encode() + files[CHANGES]


def long_line(files):
    files[README] = files[README].replace(b"\r\n", b" " * TEXT_COLUMNS + b"\r\n", 1)


def drop_readme_sum(files):
    files[SUMS] = b"".join(line + b"\n" for line in files[SUMS].splitlines()
                           if not line.endswith(README.encode()))


SPOILED = (
    ("an exe changed after its hash was taken", flip_byte,
     ["%s: differs from " % EXE32, "%s: wrong hash for %s" % (SUMS, EXE32)]),
    ("the two exes in each other's place", swap_exes,
     ["%s: amd64, expected i386" % EXE32, "%s: i386, expected amd64" % EXE64]),
    ("no licence", lambda files: files.pop(LICENCE),
     ["zip: %s is missing" % LICENCE,
      "%s: lists %s, which is not in the package" % (SUMS, LICENCE)]),
    ("an LF line in the readme", lf_line, ["%s: line 1 ends in a bare LF, not CRLF" % README]),
    ("a multiplication sign in the release notes", non_ascii,
     ["%s: line 1 has byte 0xc3 at column 1, not ASCII" % CHANGES,
      "%s: text differs from " % CHANGES]),
    ("a long line in the readme", long_line, ["%s: line 1 is " % README]),
    ("a stray file", add_stray,
     ["zip: OvrinGLQuery.map does not belong", "%s: does not cover OvrinGLQuery.map" % SUMS]),
    ("a checksum line missing", drop_readme_sum, ["%s: does not cover %s" % (SUMS, README)]),
)


def self_test(data, *others):
    wrong = []
    for what, change, messages in SPOILED:
        failures = check(respelled(data, change), *others)
        for message in messages:
            if not any(f.startswith(message) for f in failures):
                wrong.append("self-test: with %s, no failure starting %r (got %s)"
                             % (what, message, failures))
    return wrong


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--exe32", required=True)
    parser.add_argument("--exe64", required=True)
    parser.add_argument("--exe64-again", required=True,
                        help="another build's 64-bit exe (the windows-x64 preset's)")
    parser.add_argument("--changelog", required=True, help="CHANGELOG.md: the release notes")
    parser.add_argument("--licence", required=True, help="LICENSE")
    parser.add_argument("--version", required=True, help="the project version, e.g. 2.0.0.3")
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("--self-test", action="store_true")
    args = parser.parse_args(argv)

    global PACKAGE
    PACKAGE = "OvrinGLQuery-%s-win32" % args.version
    zip_path = os.path.join(args.build_dir, PACKAGE + ".zip")
    if os.path.exists(zip_path):
        os.remove(zip_path)
    result = subprocess.run([args.cmake, "--build", args.build_dir, "--target", "package"],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode:
        sys.stdout.write(result.stdout)
        print("FAIL build: the package target failed (%d)" % result.returncode)
        return 1
    if not os.path.exists(zip_path):
        sys.stdout.write(result.stdout)
        print("FAIL zip: the package target made no %s" % zip_path)
        return 1
    with open(zip_path, "rb") as f:
        data = f.read()
    expected = {EXE32: [args.exe32], EXE64: [args.exe64, args.exe64_again]}
    texts = {CHANGES: args.changelog, LICENCE: args.licence}
    failures = check(data, expected, texts, args.version)
    if args.self_test and not failures:
        failures = self_test(data, expected, texts, args.version)
    if failures:
        for failure in failures:
            print("FAIL " + failure)
        return 1
    print("%s: OK: %s and %s%s" % (os.path.basename(zip_path),
                                   ", ".join(CONTENTS), SUMS,
                                   "; and each spoiled copy rejected" if args.self_test else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
