#!/usr/bin/env python3
"""Builds the exe once more from scratch and fails unless it has the bytes of the reference.

  reproducible.py --source DIR --toolchain FILE --build-type TYPE --target NAME --exe RELPATH
                  --reference EXE [--cmake CMAKE] [--generator GEN] [--make-program PROG] [--keep]

The rebuild gets its own copy of the source tree and build dir, at paths of other lengths than
the reference's (the exe the build under test made), and runs at another time, in another time
zone and locale, so that a path, a time stamp or the build machine's settings that reach the exe
show up as a difference. The copy holds the files git sees in the tree (tracked and not
ignored), or, outside a git checkout, everything but the top-level build/ and .git/.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pefile

REBUILD = ("build-number-two", {"TZ": "Pacific/Kiritimati", "LC_ALL": "C.UTF-8"})


def source_files(source):
    try:
        listing = subprocess.run(
            ["git", "-C", source, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
            check=True, capture_output=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return None
    return [name for name in listing.decode().split("\0")
            if name and os.path.isfile(os.path.join(source, name))]


def copy_source(source, target):
    files = source_files(source)
    if files is None:
        shutil.copytree(source, target, ignore=lambda folder, names: (
            [n for n in names if n in ("build", ".git")] if os.path.samefile(folder, source) else []))
        return
    for name in files:
        os.makedirs(os.path.dirname(os.path.join(target, name)), exist_ok=True)
        shutil.copy2(os.path.join(source, name), os.path.join(target, name))


def build(args, root, name, settings):
    source = os.path.join(root, name, "src")
    binary = os.path.join(root, name, "out")
    copy_source(args.source, source)
    env = dict(os.environ, **settings)
    configure = [args.cmake, "-S", source, "-B", binary, "-G", args.generator,
                 "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(source, "cmake", args.toolchain),
                 "-DCMAKE_BUILD_TYPE=" + args.build_type,
                 "-DBUILD_TESTING=OFF"]
    if args.make_program:
        configure.append("-DCMAKE_MAKE_PROGRAM=" + args.make_program)
    started = time.monotonic()
    for command in (configure, [args.cmake, "--build", binary, "--target", args.target]):
        result = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                text=True)
        if result.returncode:
            sys.stdout.write(result.stdout)
            raise RuntimeError("build %s: %s failed (%d)" % (name, " ".join(command), result.returncode))
    path = os.path.join(binary, args.exe)
    print("build %s: %s in %.1f s (%s)" % (name, path, time.monotonic() - started,
                                          ", ".join("%s=%s" % kv for kv in settings.items())))
    with open(path, "rb") as f:
        return f.read()


def section_of(data, offset):
    """Where in a PE file an offset lies, for the failure message."""
    try:
        image = pefile.PE(data=data, fast_load=True)
    except pefile.PEFormatError:
        return "no section"
    if offset < image.OPTIONAL_HEADER.SizeOfHeaders:
        return "headers"
    for section in image.sections:
        if section.PointerToRawData <= offset < section.PointerToRawData + section.SizeOfRawData:
            return "section %s" % section.Name.rstrip(b"\0").decode("latin-1")
    return "no section"


def compare(first, second):
    if first == second:
        return []
    if len(first) != len(second):
        return ["sizes differ: %d and %d bytes" % (len(first), len(second))]
    offsets = [i for i in range(len(first)) if first[i] != second[i]]
    places = sorted({section_of(first, i) for i in offsets})
    return ["%d bytes differ, the first at offset 0x%x; in %s"
            % (len(offsets), offsets[0], ", ".join(places))]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--toolchain", required=True, help="file name in the tree's cmake/")
    parser.add_argument("--build-type", required=True)
    parser.add_argument("--target", required=True)
    parser.add_argument("--exe", required=True, help="the target's file, relative to the build dir")
    parser.add_argument("--reference", required=True, help="the exe the rebuild must equal")
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("--generator", default="Ninja")
    parser.add_argument("--make-program")
    parser.add_argument("--keep", action="store_true", help="keep the rebuild's tree even if equal")
    args = parser.parse_args(argv)

    root = tempfile.mkdtemp(prefix="ovrin-repro-")
    try:
        with open(args.reference, "rb") as f:
            reference = f.read()
        rebuilt = build(args, root, *REBUILD)
        failures = compare(reference, rebuilt)
    except (OSError, RuntimeError) as e:
        failures = [str(e)]
    if failures:
        for failure in failures:
            print("FAIL the rebuild against %s: %s" % (args.reference, failure))
        print("the rebuild's tree kept in " + root)
        return 1
    print("OK: the rebuild gave the same %d bytes as %s" % (len(rebuilt), args.reference))
    if args.keep:
        print("the rebuild's tree kept in " + root)
    else:
        shutil.rmtree(root)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
