"""Private X screens for the Wine sessions (Xvfb, or a real X server where the desktop must have
two monitors), their screenshots, and what a picture of the program's window holds."""

import dataclasses
import os
import shutil
import subprocess
import tempfile

from PIL import Image


@dataclasses.dataclass(frozen=True)
class Screen:
    """What a session's screen is: its size and depth, whether it offers GLX, whether the desktop
    has two monitors side by side, and the colour of its background (None: the server's own)."""
    width: int = 1024
    height: int = 768
    depth: int = 16
    glx: bool = True
    two_monitors: bool = False
    background: str = None

    def start(self):
        # Xvfb shows Wine one monitor, whatever screens it has.
        server = TwoMonitors(self.depth) if self.two_monitors else XServer(
            ["Xvfb", "-screen", "0", "%dx%dx%d" % (self.width, self.height, self.depth)] +
            ([] if self.glx else ["-extension", "GLX"]))
        if self.background:
            subprocess.run(["xsetroot", "-display", server.display, "-solid", self.background],
                           check=True)
        return server


class XServer:
    """A private X screen; the server picks a free display number itself and says it once it
    takes connections."""

    def __init__(self, args):
        read_end, write_end = os.pipe()
        # -noreset: the screen keeps what was set on it (the background) when its clients go.
        self.process = subprocess.Popen(
            args + ["-displayfd", str(write_end), "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            number = pipe.readline()
        if not number.endswith(b"\n"):
            raise RuntimeError("%s did not start" % args[0])
        self.display = ":" + number.decode().strip()

    def screenshot(self, path):
        """The whole screen as an RGB image, kept as a PNG at `path` for people to look at."""
        # 8-bit samples from a 16-bit screen, and PNG24 a plain RGB file even of one colour.
        subprocess.run(["import", "-display", self.display, "-window", "root", "-depth", "8",
                        "PNG24:" + path], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        with Image.open(path) as image:
            return image.convert("RGB")

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class TwoMonitors(XServer):
    """Two monitors of 1024 x 768 side by side, as a PC with two boards or a dual-head board
    shows them: a real X server with the dummy video driver, its second output switched on with
    RandR, which Wine reads as a second monitor."""

    def __init__(self, depth):
        self.workdir = tempfile.mkdtemp(prefix="two-monitors-")
        config = os.path.join(self.workdir, "xorg.conf")
        with open(os.path.join(os.path.dirname(__file__), "two-monitors.conf")) as f, \
                open(config, "w") as out:
            out.write(f.read().replace("DEPTH", str(depth)))
        super().__init__(["/usr/lib/xorg/Xorg", "-config", config,
                          "-logfile", os.path.join(self.workdir, "Xorg.log")])
        # The standard 1024 x 768 mode at 60 Hz.
        self.xrandr("--newmode", "1024x768_two", *"65.00 1024 1048 1184 1344 768 771 777 806 "
                    "-hsync -vsync".split())
        self.xrandr("--addmode", "DUMMY1", "1024x768_two")
        self.xrandr("--output", "DUMMY1", "--mode", "1024x768_two", "--right-of", "DUMMY0")
        # Wine reads the outputs as last probed (it was seen to find one monitor until a client
        # asked again): ask, and make sure there are two.
        monitors = self.xrandr("--listmonitors")
        if not monitors.startswith("Monitors: 2\n"):
            self.close()
            raise RuntimeError("the X server shows other monitors than two:\n" + monitors)

    def xrandr(self, *args):
        done = subprocess.run(["xrandr", "-display", self.display] + list(args),
                              capture_output=True, text=True)
        if done.returncode != 0:
            self.close()
            raise RuntimeError("xrandr %s: %s" % (" ".join(args), done.stderr))
        return done.stdout

    def close(self):
        try:
            super().close()
        finally:
            shutil.rmtree(self.workdir, ignore_errors=True)


def client_area(image, window, size=None):
    """The main window's client area (or `size` of it from its origin) cut from a screenshot."""
    left, top = window["client_origin"]
    width, height = size or window["client"]
    return image.crop((left, top, left + width, top + height))


def is_black(p):
    return p[0] < 16 and p[1] < 16 and p[2] < 16


def is_gold(p):
    r, g, b = p
    return r > 60 and r >= g > b and r - b > 40


def summarise(picture):
    """Counts of black and gold pixels and the box (left, top, width, height) around everything
    that is not black."""
    pixels = list(picture.getdata())
    black = sum(map(is_black, pixels))
    gold = sum(map(is_gold, pixels))
    # Lit (255) where any channel reaches the black threshold.
    lit = picture.point(lambda v: 255 if v >= 16 else 0).convert("L").point(lambda v: 255 * (v > 0))
    box = lit.getbbox()
    return {"black": black, "gold": gold, "total": len(pixels),
            "bbox": None if box is None else (box[0], box[1], box[2] - box[0], box[3] - box[1])}


def changed_share(a, b):
    """The share of pixels that differ between two pictures of one size."""
    return sum(p != q for p, q in zip(a.getdata(), b.getdata())) / (a.width * a.height)
