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


def assert_shown(shown, report, icon, owner=None):
    """What a run showed: the report (or a failure box) exact, with its icon, owned by no window
    (nothing has the focus while the window is made, which is not yet visible); the exit notice
    unless the report was blue, owned by the main window or not as `owner` says; exit code 0."""
    assert_box(shown.boxes[0], report, icon, owned_by_main=False)
    assert not shown.boxes[0]["main_visible"], "the main window was visible behind the report box"
    assert len(shown.boxes) == 1 + (icon != "blue"), "boxes shown"
    for notice in shown.boxes[1:]:
        assert_box(notice, EXIT_NOTICE, "red", owner)
    assert shown.exits == [0]


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


# The calls whose order, arguments and handles the traced runs see; the first and last GL call of
# the setup and of a frame stand for the rest. (Not the window's creation: the program never
# destroys its window, which goes with the process, and would count as held.)
CONTEXT_CALLS = ("user32.GetDC", "user32.ReleaseDC", "user32.SetTimer", "user32.KillTimer",
                 "opengl32.wglCreateContext", "opengl32.wglDeleteContext",
                 "opengl32.wglMakeCurrent")
PAINT_CALLS = ("user32.BeginPaint", "user32.EndPaint")
STEP_CALLS = BOX_CALLS + (
    "user32.LoadIconA", "user32.LoadCursorA", "user32.ShowWindow", "gdi32.GetDeviceCaps",
    "opengl32.glGetString", "user32.RegisterClassA", "gdi32.ChoosePixelFormat",
    "gdi32.SetPixelFormat", "opengl32.glMatrixMode", "opengl32.glFinish", "user32.GetClientRect",
    "user32.UpdateWindow", "user32.LoadAcceleratorsA", "user32.PostMessageA", "user32.GetFocus",
    "user32.PostQuitMessage", "opengl32.glViewport", "opengl32.glCallList", "gdi32.SwapBuffers")
ORDER_CALLS = CONTEXT_CALLS + PAINT_CALLS + STEP_CALLS
MAKING_STEPS = ["ChoosePixelFormat", "SetPixelFormat", "wglCreateContext", "wglMakeCurrent"]
FULL_PAINT = ["BeginPaint", "wglMakeCurrent", "glViewport", "glCallList", "SwapBuffers",
              "wglMakeCurrent", "EndPaint"]
BARE_PAINT = ["BeginPaint", "EndPaint"]


def expected_steps(failing=None, own=False):
    """The program's own calls outside its paints, in order, from the class to the quit: the
    create sequence, the window shown, the destroy sequence. `failing`: the step of making the
    context that fails, whose box goes straight on to giving back the device context; `own`: the
    maker's driver, whose width is read between the strings and the metrics, and no notice."""
    box = ["GetFocus", "MessageBoxA"]
    create = (MAKING_STEPS[:MAKING_STEPS.index(failing) + 1] + box if failing else
              MAKING_STEPS + ["glGetString"] * 4 + ["RegOpenKeyExA", "RegQueryValueExA"] * own +
              ["GetDeviceCaps"] * 3 + box + ["glMatrixMode"] * 2 + ["glFinish", "wglMakeCurrent"])
    # A context that was made is bound, unbound if that worked, and deleted.
    delete = ["GetDC"] + ["wglMakeCurrent"] * (2 - bool(failing)) + ["ReleaseDC",
                                                                     "wglDeleteContext"]
    return (["LoadIconA", "LoadCursorA", "RegisterClassA", "GetDC"] + create +
            ["ReleaseDC", "GetClientRect", "SetTimer", "ShowWindow", "UpdateWindow",
             # Escape and the quit command post the destroy request.
             "LoadAcceleratorsA", "PostMessageA", "KillTimer"] +
            delete * (failing in (None, "wglMakeCurrent")) + box * (not own) + ["PostQuitMessage"])


def assert_order(calls, drawn, failing=None, own=False, stand_in=False):
    """The create, paint and destroy sequences in their order (see expected_steps): while the
    context can be bound a paint binds it, draws, swaps and unbinds; before and after, it draws
    nothing. `drawn`: the paints the run waited for, all while the context lived. Wine does not
    trace the stand-in opengl32's calls. Returns the number of paints before the deletion."""
    hidden = [n for n in FULL_PAINT + expected_steps() if stand_in and n[:2] in ("wg", "gl")]
    outside, paints = [], []
    for name in (c.name.split(".")[1] for c in calls):
        if paints and paints[-1][1][-1] != "EndPaint":
            paints[-1][1].append(name)
        elif name == "BeginPaint":
            paints.append((len(outside), [name]))
        else:
            outside.append(name)
    assert outside == [n for n in expected_steps(failing, own) if n not in hidden]
    # The destroy sequence deletes the context right after the timer, with no message between.
    before = [p for at, p in paints if at <= outside.index("KillTimer")]
    paint = [n for n in (BARE_PAINT if failing else FULL_PAINT) if n not in hidden]
    assert [p for p in before if p != paint] == []
    assert [p for at, p in paints if at > outside.index("KillTimer") and p != BARE_PAINT] == []
    assert len(before) >= drawn, "paints while the context lived"
    return len(before)
