#!/usr/bin/env python3
"""Checks that the exe as shipped is stripped and fits its size budget.

  check_size.py EXE --limit BYTES

Exit status 0 with the size and the room left when both hold; 1 with one "FAIL" line per
failed check otherwise.
"""

import argparse
import os
import sys

import pefile


def symbol_count(data):
    """How many COFF symbols the image carries; none once stripped (a strip may still leave a
    string table behind, for long section names)."""
    try:
        return pefile.PE(data=data, fast_load=True).FILE_HEADER.NumberOfSymbols
    except pefile.PEFormatError as e:
        raise ValueError(str(e))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("exe")
    parser.add_argument("--limit", type=int, required=True)
    args = parser.parse_args(argv)
    with open(args.exe, "rb") as f:
        data = f.read()
    name = os.path.basename(args.exe)
    failures = []
    try:
        count = symbol_count(data)
    except ValueError as e:
        failures.append("file: not a PE image: %s" % e)
    else:
        if count:
            failures.append("strip: %d symbols, the shipped exe carries none" % count)
    if len(data) > args.limit:
        failures.append("size: %d bytes, %d over the limit of %d"
                        % (len(data), len(data) - args.limit, args.limit))
    if failures:
        print("%s: %d check%s failed" % (name, len(failures), "" if len(failures) == 1 else "s"))
        for failure in failures:
            print("FAIL " + failure)
        return 1
    print("%s: OK: %d bytes, stripped, %d bytes below the limit of %d"
          % (name, len(data), args.limit - len(data), args.limit))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
