"""Reads the screenshots back: binary PPM, as ImageMagick's import writes it."""

import subprocess


def load_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise ValueError("%s is not an 8-bit binary PPM" % path)
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:pos + 1 + width * height * 3]
    return width, height, pixels


def save_png(ppm_path):
    """A PNG beside the PPM, for people to look at."""
    png = ppm_path[:-4] + ".png"
    subprocess.run(["convert", ppm_path, png], check=True)
    return png


def region(image, left, top, width, height):
    """The pixels of a rectangle as (r, g, b) rows."""
    w, _, pixels = image
    rows = []
    for y in range(top, top + height):
        start = (y * w + left) * 3
        row = pixels[start:start + width * 3]
        rows.append([tuple(row[i:i + 3]) for i in range(0, len(row), 3)])
    return rows


def is_black(p):
    return p[0] < 16 and p[1] < 16 and p[2] < 16


def is_gold(p):
    r, g, b = p
    return r > 60 and r >= g > b and r - b > 40


def summarise(rows):
    """Counts of black and gold pixels and the box around everything that is not black."""
    black = gold = 0
    left, top, right, bottom = None, None, -1, -1
    for y, row in enumerate(rows):
        for x, p in enumerate(row):
            if is_black(p):
                black += 1
                continue
            if is_gold(p):
                gold += 1
            left = x if left is None else min(left, x)
            top = y if top is None else min(top, y)
            right, bottom = max(right, x), max(bottom, y)
    return {"black": black, "gold": gold, "total": sum(len(r) for r in rows),
            "bbox": None if left is None else (left, top, right - left + 1, bottom - top + 1)}
