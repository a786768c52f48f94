#!/usr/bin/env python3
"""Builds the release zip and checks what it holds.

  check_package.py --build-dir DIR --exe32 EXE --exe64 EXE --exe64-again EXE --readme FILE
                   --version VERSION [--cmake CMAKE] [--self-test]

Runs `cmake --build DIR --target package`, then checks that DIR/OvrinGLQuery-VERSION-win32.zip
holds, in one folder of the same name, exactly the 32-bit exe (the very file the build made),
x64/ with the 64-bit exe (the same bytes as --exe64 and as --exe64-again, another build of it),
README.md and SHA256SUMS, and that SHA256SUMS lists each of the other three once with its hash.
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
README = "README.md"
SUMS = "SHA256SUMS"


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


def check(data, expected):
    """[failures] for the zip's bytes; `expected` maps EXE32, EXE64, README to the files each
    must equal."""
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

    wanted = {EXE32, EXE64, README, SUMS}
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


def drop_readme_sum(files):
    files[SUMS] = b"".join(line + b"\n" for line in files[SUMS].splitlines()
                           if not line.endswith(README.encode()))


SPOILED = (
    ("an exe changed after its hash was taken", flip_byte,
     ["%s: differs from " % EXE32, "%s: wrong hash for %s" % (SUMS, EXE32)]),
    ("the two exes in each other's place", swap_exes,
     ["%s: amd64, expected i386" % EXE32, "%s: i386, expected amd64" % EXE64]),
    ("no README", lambda files: files.pop(README),
     ["zip: %s is missing" % README, "%s: lists %s, which is not in the package" % (SUMS, README)]),
    ("a stray file", add_stray,
     ["zip: OvrinGLQuery.map does not belong", "%s: does not cover OvrinGLQuery.map" % SUMS]),
    ("a checksum line missing", drop_readme_sum, ["%s: does not cover %s" % (SUMS, README)]),
)


def self_test(data, expected):
    wrong = []
    for what, change, messages in SPOILED:
        failures = check(respelled(data, change), expected)
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
    parser.add_argument("--readme", required=True)
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
    expected = {EXE32: [args.exe32], EXE64: [args.exe64, args.exe64_again], README: [args.readme]}
    failures = check(data, expected)
    if args.self_test and not failures:
        failures = self_test(data, expected)
    if failures:
        for failure in failures:
            print("FAIL " + failure)
        return 1
    print("%s: OK: %s, %s, %s and %s%s" % (os.path.basename(zip_path), EXE32, EXE64, README, SUMS,
                                           "; and each spoiled copy rejected" if args.self_test else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
