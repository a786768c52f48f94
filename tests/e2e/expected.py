"""What the program must show and ask for: the exact texts of its boxes, its window, and the
values it hands the platform."""

import re

CAPTION = "OVRIN OpenGL Query"
EXIT_NOTICE = (
    "The previous OpenGL animation was not rendered using the\n"
    "OVRIN OpenGL driver. If you have an OVRIN Pellora installed,\n"
    "the current screen resolution was not supported with\n"
    "hardware double buffering.\n"
    "\nPlease consult the OVRIN Pellora manual for the proper\n"
    "resolutions with 3D OpenGL hardware acceleration.")
# What a board with the maker's driver reports, posed through Mesa's string overrides.
OWN_DRIVER = (("force_gl_vendor", "OVRIN Graphics"),
              ("force_gl_renderer", "OVRIN Pellora GLINT MX"))
WINDOW_STYLE_VISIBLE = "16cf0000"  # WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE
CS_HREDRAW_VREDRAW, COLOR_WINDOW_BRUSH = 3, 6
BOX_FOREIGN, BOX_OWN, BOX_FAILURE = 0x1030, 0x1020, 0x1010
IDI_APPICON, IDC_ARROW = 101, 0x7F00
# The driver starts the program without a show command of its own (no STARTF_USESHOWWINDOW): the
# program must then ask for the default one, which Windows takes from how it was started.
SW_SHOWDEFAULT = 10
HORZRES, VERTRES, BITSPIXEL = 8, 10, 12
GL_VENDOR, GL_RENDERER, GL_VERSION, GL_EXTENSIONS = 0x1F00, 0x1F01, 0x1F02, 0x1F03
KEY_READ, HKEY_LOCAL_MACHINE = 0x20019, 0x80000002
DRIVER_KEY = r"System\CurrentControlSet\Services\BRISKO"
WIDTH_VALUE = "ICDInterface.LBWidth"
TIMER_ID, TIMER_PERIOD_MS = 42, 1
RESOLUTION_LINE = re.compile(r"\nXres: (\d+), Yres: (\d+), Bits: (\d+)\n")


def header(strings):
    """The report's first part: the four strings, cut where a 1,024-byte formatting buffer
    (terminator included) cuts it."""
    parts = [strings.get(name) or "" for name in ("vendor", "renderer", "version", "extensions")]
    return ("Current OpenGL Driver:\n\n%s\n%s\n%s\n%s\n" % tuple(parts))[:1023]


def resolution(metrics):
    return "\nXres: %d, Yres: %d, Bits: %d\n" % (metrics["xres"], metrics["yres"], metrics["bits"])


def foreign_body(metrics):
    x, y, bits = metrics["xres"], metrics["yres"], metrics["bits"]
    return (resolution(metrics) +
            "Attention! No OVRIN OpenGL driver running! Width of depth buffer was not detected!\n"
            "%d bytes RAM needed for front plus back buffer.\n" % (2 * ((bits + 7) // 8) * y * x) +
            "%d bytes RAM needed if depth buffer has 16 bit width.\n" % (y * x * 2) +
            "%d bytes RAM needed if depth buffer has 32 bit width\n" % (y * x * 4))


def foreign_report(strings):
    return header(strings) + foreign_body(strings)


def own_report(strings, lines):
    return header(strings) + resolution(strings) + "".join(lines)


def vram_dram_lines(depth_bytes):
    """A VRAM/DRAM board's lines at 1024 x 768 x 16, for a depth buffer of that many bytes."""
    return ["3145728 bytes VRAM used for front plus back buffer.\n",
            "%d bytes DRAM used for depth and other buffers.\n" % depth_bytes]


OWN_UNDETECTED_LINES = [
    "Attention! OVRIN OpenGL driver running, but localbuffer width was not detected!\n",
    "3145728 bytes RAM used for front plus back buffer.\n",
    "1572864 bytes RAM used if depth buffer has 16 bit width.\n",
    "3145728 bytes RAM used if depth buffer has 32 bit width.\n"]

# The pixel format the program asks for, field by field as PIXELFORMATDESCRIPTOR lays them out.
DESCRIPTOR_FIELDS = (
    "nSize nVersion dwFlags iPixelType cColorBits cRedBits cRedShift cGreenBits cGreenShift "
    "cBlueBits cBlueShift cAlphaBits cAlphaShift cAccumBits cAccumRedBits cAccumGreenBits "
    "cAccumBlueBits cAccumAlphaBits cDepthBits cStencilBits cAuxBuffers iLayerType bReserved "
    "dwLayerMask dwVisibleMask dwDamageMask").split()
REQUESTED_FORMAT = dict({name: 0 for name in DESCRIPTOR_FIELDS}, nSize=40, nVersion=1,
                        dwFlags=0x21, cColorBits=24, cDepthBits=24)


def assert_box(box, text, icon, owned_by_main=None):
    """A box of the program's: its text exact, the caption, one OK button, one icon of the colour
    named (question: blue, exclamation: yellow, hand: red) and system-modal. `owned_by_main`:
    whether the main window owns it, as it does when that window had the keyboard focus (None:
    not checked)."""
    assert box["text"] == text
    wanted = {"caption": CAPTION, "buttons": ["OK"], "icon": icon, "icons": 1, "topmost": True}
    if owned_by_main is not None:
        wanted["owned_by_main"] = owned_by_main
    assert {key: box.get(key) for key in wanted} == wanted


def assert_shown(run, report, icon, owner=None):
    """What a run showed from start to end: the report (or a failure box) exact, with its icon;
    the exit notice unless the report was the maker's driver's (blue), owned by the main window
    or not as `owner` says (None: not checked); and then the exit code 0. Nothing has the
    keyboard focus while the window is being made, so the report has no owner, and the main
    window is not yet visible behind it."""
    assert_box(run.boxes[0], report, icon, owned_by_main=False)
    assert not run.boxes[0]["main_visible"], "the main window was visible behind the report box"
    assert len(run.boxes) == 1 + (icon != "blue"), "boxes shown"
    for notice in run.boxes[1:]:
        assert_box(notice, EXIT_NOTICE, "red", owner)
    assert run.exits == [0]


def assert_window(window):
    assert [window["title"], window["style"], window["class_style"], window["outer"][2:]] == [
        CAPTION, WINDOW_STYLE_VISIBLE, CS_HREDRAW_VREDRAW, [400, 400]]


# Relay lists: the calls whose arguments say what the program asks of the platform. Every entry
# point of advapi32, and those through which kernel32 opens a key or reads a value.
BOX_CALLS = ("user32.MessageBoxA",)
REGISTRY_CALLS = ("advapi32.*", "RegOpenKeyExA", "RegOpenKeyExW", "RegCreateKeyExA",
                  "RegCreateKeyExW", "RegGetValueA", "RegGetValueW")


def box_styles(calls):
    return ["%#x" % c.args[3] for c in calls if c.name == "user32.MessageBoxA"]


def registry_asked(calls):
    """The registry calls the program made: the root key, path, options and access of each open,
    and the value's name, reserved word and type buffer of each query, with their results; any
    other call as it was traced."""
    asked = []
    for c in calls:
        if c.name == "advapi32.RegOpenKeyExA":
            asked.append(["open", "%#x" % (c.args[0] & 0xFFFFFFFF), c.texts[1], c.args[2],
                          "%#x" % c.args[3], c.result])
        elif c.name == "advapi32.RegQueryValueExA":
            asked.append(["query", c.texts[1], c.args[2], c.args[3], c.result])
        elif c.name.startswith("advapi32.") or c.name.split(".")[1] in REGISTRY_CALLS:
            asked.append(repr(c))
    return asked
