#!/usr/bin/env python3
"""Writes an icon file for a deliberately wrong exe: the application icon's 32 x 32 image with
one pixel changed, and a 16 x 16 image of 256 colours (8 bits per pixel) in place of the
16-colour one.

  make_bad_icon.py APP-ICON OUTPUT
"""

import struct
import sys

SIZE = 16
BITS = 8


def main(source, output):
    with open(source, "rb") as f:
        icon = f.read()
    count = struct.unpack_from("<HHH", icon, 0)[2]
    entries = [struct.unpack_from("<BBBBHHII", icon, 6 + 16 * i) for i in range(count)]
    large = next(e for e in entries if e[0] == 32)
    image32 = bytearray(icon[large[7]:large[7] + large[6]])
    image32[40 + 4 * 16] ^= 0x11    # the first two pixels of the bottom row
    # Header, a grey ramp of 256 palette entries, one byte a pixel, and the mask.
    image16 = (struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, BITS, 0, 0, 0, 0, 0, 0)
               + b"".join(bytes((n, n, n, 0)) for n in range(256))
               + bytes(range(SIZE * SIZE)) + bytes(SIZE * 4))
    images = [(32, 16, 4, bytes(image32)), (SIZE, 0, BITS, image16)]
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for size, colours, bits, image in images:
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(image), offset)
        offset += len(image)
    with open(output, "wb") as f:
        f.write(out + b"".join(image for *_, image in images))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(*sys.argv[1:])
