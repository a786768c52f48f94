#!/usr/bin/env python3
"""Writes the report fuzzer's seed inputs into corpus/ (the layout is in ReportFuzz.cpp).

  make_corpus.py [DIR]

The seeds are committed; run this again only when the layout or the cases change.
"""

import os
import struct
import sys

NULL_VENDOR, NULL_RENDERER, NULL_VERSION, NULL_EXTENSIONS = 1, 2, 4, 8
REGISTRY_ANSWERS = 16


def seed(strings, registry=None, metrics=(1024, 768, 16), null=0):
    flags = null | (REGISTRY_ANSWERS if registry is not None else 0)
    fixed = struct.pack("<Biiii", flags, registry or 0, *metrics)
    return fixed + b"\0".join(s.encode("latin-1") for s in strings)


EXTENSIONS = " ".join("GL_EXT_extension_number_%03d" % i for i in range(60))

SEEDS = {
    "maker-permedia": seed(["OVRIN", "OVRIN PERMEDIA", "1.1.0", "GL_EXT_bgra"], registry=16),
    "maker-glint-300sx": seed(["OVRIN", "GLINT 300SX", "1.1.0", ""], registry=32,
                              metrics=(800, 600, 24)),
    "maker-glint-500tx": seed(["OVRIN", "GLINT 500TX", "1.1.0", ""], metrics=(640, 480, 8)),
    "maker-glint-mx": seed(["OVRIN", "OVRIN GLINT MX", "1.1.0", "GL_EXT_abgr"], registry=32),
    "maker-no-chip-negative-width": seed(["OVRIN", "unknown board", "1.1", ""], registry=-8),
    "maker-mark-in-extensions": seed(["Board Co.", "Board", "1.1", "GL_EXT_x OVRIN"],
                                     registry=24, metrics=(1280, 1024, 32)),
    "foreign": seed(["Mesa/X.org", "llvmpipe (LLVM 15.0.6, 256 bits)",
                     "4.5 (Compatibility Profile) Mesa 22.3.6", "GL_ARB_multitexture %s %d %ld"],
                    metrics=(800, 600, 24)),
    "foreign-null-strings": seed(["", "", "", ""], null=NULL_RENDERER | NULL_EXTENSIONS,
                                 metrics=(-2147483648, 2147483647, -1)),
    # Far past the 1,024-byte cut, with the mark and a chip only after it.
    "long-extensions": seed(["OVRIN", "GLINT MX", "1.1.0", EXTENSIONS + " OVRIN PERMEDIA"],
                            registry=32),
}


def main(argv):
    where = argv[0] if argv else os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(where, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(where, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
