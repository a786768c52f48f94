"""End-to-end cases: the real exe under Wine, on a real Mesa driver behind Wine's opengl32,
driven like a person would drive it. Each case names the screen, the driver it poses and the
registry contents, the steps a person takes, and the exact texts the boxes must show.

usage: cases.py --case NAME --exe PROGRAM --driver DRIVER --witness GLSTRINGS [--prefix DIR]
                [--shots DIR]
"""

import argparse
import difflib
import os
import re
import shutil
import struct
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gltrace  # noqa: E402
import winesession  # noqa: E402

import pefile  # noqa: E402

CAPTION = "OVRIN OpenGL Query"
EXIT_NOTICE = (
    "The previous OpenGL animation was not rendered using the\n"
    "OVRIN OpenGL driver. If you have an OVRIN Pellora installed,\n"
    "the current screen resolution was not supported with\n"
    "hardware double buffering.\n"
    "\nPlease consult the OVRIN Pellora manual for the proper\n"
    "resolutions with 3D OpenGL hardware acceleration.")
# What a board with the maker's driver reports, posed through Mesa's string overrides.
OWN_DRIVER = {"force_gl_vendor": "OVRIN Graphics", "force_gl_renderer": "OVRIN Pellora GLINT MX"}
WINDOW_STYLE_VISIBLE = "16cf0000"  # WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE


class CaseFailure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise CaseFailure(message)


def check_equal(actual, expected, what):
    if actual != expected:
        if isinstance(actual, str) and isinstance(expected, str):
            diff = "\n".join(difflib.unified_diff(expected.splitlines(), actual.splitlines(),
                                                  "expected", "actual", lineterm=""))
            raise CaseFailure("%s differs:\n%s\nactual: %r" % (what, diff, actual))
        raise CaseFailure("%s: expected %r, got %r" % (what, expected, actual))


def check_fields(actual, expected, what):
    """Compares two dicts of named findings and names every one that differs."""
    wrong = ["%s: expected %r, got %r" % (key, expected[key], actual.get(key))
             for key in expected if actual.get(key) != expected[key]]
    check(not wrong, "%s:\n  %s" % (what, "\n  ".join(wrong)))


def foreign_body(metrics):
    x, y, bits = metrics["xres"], metrics["yres"], metrics["bits"]
    front_back = 2 * ((bits + 7) // 8) * y * x
    return ("\nXres: %d, Yres: %d, Bits: %d\n" % (x, y, bits) +
            "Attention! No OVRIN OpenGL driver running! Width of depth buffer was not detected!\n"
            "%d bytes RAM needed for front plus back buffer.\n" % front_back +
            "%d bytes RAM needed if depth buffer has 16 bit width.\n" % (y * x * 2) +
            "%d bytes RAM needed if depth buffer has 32 bit width\n" % (y * x * 4))


def events_of(events, kind):
    return [e[kind] for e in events if kind in e]


class Case:
    def __init__(self, args):
        self.args = args
        self.shots = args.shots

    def session(self, **screen):
        return winesession.Session(self.args.prefix, **screen)

    def keep_dir(self):
        """Where the case keeps its screenshots and traces: --shots, or else a directory of its
        own."""
        if not self.shots:
            self.shots = tempfile.mkdtemp(prefix="e2e-case-")
        os.makedirs(self.shots, exist_ok=True)
        return self.shots

    def drive(self, session, steps, on_pause=None):
        events = session.drive(self.args.driver, self.args.exe, steps, on_pause)
        for event in events:
            print("event:", event)
        # A driver that never ran prints nothing, not even the program's start.
        errors = events_of(events, "error") or ([] if events else ["it printed nothing"])
        check(not errors, "the driver failed: %s\nwine said: %s" % (errors, session.stderr[-3000:]))
        return events

    def check_box(self, box, text, icon, owned_by_main=None):
        """`owned_by_main`: whether the box must belong to the main window, as it does when
        that window had the keyboard focus (None: not checked)."""
        check_equal(box["caption"], CAPTION, "box caption")
        check_equal(box["text"], text, "box text")
        check_equal(box["buttons"], ["OK"], "box buttons")
        check_equal(box["icon"], icon, "box icon colour")
        check_equal(box["icons"], 1, "icons in the box")
        check(box["topmost"], "the box is not system-modal (topmost)")
        if owned_by_main is not None:
            check_equal(box["owned_by_main"], owned_by_main, "box owned by the main window")

    def check_report_box(self, box, text, icon):
        # Nothing has the keyboard focus while the window is being made: the box has no owner.
        self.check_box(box, text, icon, owned_by_main=False)
        check(not box["main_visible"], "the main window was visible behind the report box")

    def check_window(self, window):
        check_equal(window["title"], CAPTION, "window title")
        check_equal(window["style"], WINDOW_STYLE_VISIBLE, "window style")
        check_equal(window["class_style"], CS_HREDRAW_VREDRAW, "window class style")
        check_equal(window["outer"][2:], [400, 400], "outer window size")

    def check_exit(self, events, code=0):
        check_equal(events_of(events, "exit"), [code], "exit code")


# The ways a person ends a run: how the report is answered (Escape dismisses it like OK), then
# how the window is ended. Two Escapes queued at once post the destroy request twice.
FOREIGN_ENDINGS = [("box-escape", "escape"), ("box", "close"), ("box", "escape:2")]


def case_foreign_endings(case):
    """Mesa as itself, not the maker's driver, each ending in turn: the report read and answered,
    the picture seen to change, the program ended; one exit notice, and no box after it."""
    failures = []
    with case.session() as s:
        strings = s.query(case.args.witness)
        for answer, ending in FOREIGN_ENDINGS:
            try:
                events = case.drive(s, [answer, "window", "changes", ending, "box", "exit"])
                report, notice = events_of(events, "box")
                case.check_report_box(report, winesession.expected_header(strings) +
                                      foreign_body(strings), "yellow")
                case.check_window(events_of(events, "window")[0])
                # Escape reaches the window that has the focus, which then owns the notice;
                # closing through the frame destroys the window, which gives up the focus first.
                case.check_box(notice, EXIT_NOTICE, "red", owned_by_main=ending != "close")
                case.check_exit(events)
            except CaseFailure as failure:
                failures.append("%s, then %s: %s" % (answer, ending, failure))
    check(not failures, "\n".join(failures))


def own_body(metrics, lines):
    return "\nXres: %d, Yres: %d, Bits: %d\n" % (metrics["xres"], metrics["yres"],
                                                metrics["bits"]) + "".join(lines)


def vram_dram_lines(depth_bytes):
    return ["3145728 bytes VRAM used for front plus back buffer.\n",
            "%d bytes DRAM used for depth and other buffers.\n" % depth_bytes]


def check_only_report(case, events, strings, lines):
    """A run with the maker's driver shows one box: the report, exact, with the question icon."""
    report = events_of(events, "box")
    check_equal(len(report), 1, "boxes shown")
    case.check_report_box(report[0], winesession.expected_header(strings) + own_body(strings, lines),
                          "blue")


def case_worked_example(case):
    """The maker's driver with a GLINT MX renderer and a registry width of 32, at
    1024 x 768 x 16: VRAM and DRAM lines, the question icon, and no notice at exit. The width
    is read from the driver's key, opened for reading only. The desktop has two such monitors
    side by side: the buffers cover the screen that the window's device context describes, so
    the report counts 1024 x 768, not the 2048 x 768 of the whole desktop."""
    with case.session(two_monitors=True, depth=16,
                      env=dict(OWN_DRIVER, WINEDEBUG=winesession.RELAY_DEBUG)) as s:
        s.set_registry(("REG_DWORD", "32"), BOX_CALLS + REGISTRY_CALLS)
        strings = s.query(case.args.witness)
        events = case.drive(s, ["box", "window", "changes", "escape", "exit"])
    own = program_calls(case, s, events)[1]
    check_fields({"box styles": box_styles(own), "registry": registry_asked(own)},
                 {"box styles": ["%#x" % BOX_OWN],
                  "registry": [["open", "0x80000002", DRIVER_KEY_PATH, 0, "%#x" % KEY_READ, 0],
                               ["query", winesession.WIDTH_VALUE, 0, 0, 0]]},
                 "what the program asked of the platform")
    check_equal(strings["renderer"], "OVRIN Pellora GLINT MX", "posed renderer")
    check_fields(strings, {"monitors": 2, "desktop": [2048, 768], "xres": 1024, "yres": 768,
                           "bits": 16}, "the desktop as the witness sees it")
    check_only_report(case, events, strings, vram_dram_lines(3145728))
    case.check_window(events_of(events, "window")[0])
    case.check_exit(events)


OWN_UNDETECTED_LINES = [
    "Attention! OVRIN OpenGL driver running, but localbuffer width was not detected!\n",
    "3145728 bytes RAM used for front plus back buffer.\n",
    "1572864 bytes RAM used if depth buffer has 16 bit width.\n",
    "3145728 bytes RAM used if depth buffer has 32 bit width.\n"]

# Every form the width value can take in the registry, for a GLINT MX board (whose own default
# is 32 bits) at 1024 x 768: what is stored, and the lines the report must show. A REG_DWORD of
# 32 is the worked example's.
REGISTRY_FORMS = [
    ("REG_DWORD 0", ("REG_DWORD", "0"), OWN_UNDETECTED_LINES),
    ("REG_DWORD 24", ("REG_DWORD", "24"), vram_dram_lines(3 * 786432)),
    ("REG_DWORD -1", ("REG_DWORD", "0xffffffff"), OWN_UNDETECTED_LINES),
    ("REG_DWORD 0x7FFFFFFF", ("REG_DWORD", "0x7fffffff"), vram_dram_lines(268435456 * 786432)),
    # A string reads as its bytes: "16" and its terminator are 0x31 0x36 0x00, so 13873 bits.
    ("REG_SZ 16", ("REG_SZ", "16"), vram_dram_lines(1735 * 786432)),
    ("REG_BINARY 1 byte", ("REG_BINARY", "08"), vram_dram_lines(786432)),
    ("REG_BINARY 2 bytes", ("REG_BINARY", "1800"), vram_dram_lines(3 * 786432)),
    ("REG_BINARY 3 bytes", ("REG_BINARY", "100000"), vram_dram_lines(2 * 786432)),
    ("REG_BINARY 4 bytes", ("REG_BINARY", "28000000"), vram_dram_lines(5 * 786432)),
    # Longer than four bytes: the read fails and the board's default stays.
    ("REG_BINARY 8 bytes", ("REG_BINARY", "1000000000000000"), vram_dram_lines(4 * 786432)),
    ("value missing", ("missing", None), vram_dram_lines(4 * 786432)),
    ("key missing", (None, None), vram_dram_lines(4 * 786432)),
]


def case_registry_forms(case):
    """The maker's driver with each form of the width value: one report each, exact."""
    failures = []
    with case.session(env=OWN_DRIVER) as s:
        strings = s.query(case.args.witness)
        for name, (kind, data), lines in REGISTRY_FORMS:
            s.set_registry((kind, data))
            try:
                events = case.drive(s, ["box", "window", "escape", "exit"])
                check_only_report(case, events, strings, lines)
                case.check_exit(events)
            except CaseFailure as failure:
                failures.append("%s: %s" % (name, failure))
    check(not failures, "\n".join(failures))


def case_strings_verbatim_and_cut(case):
    """Driver strings with format directives show verbatim; the mark at the very end of the
    kept 1,023 bytes is found, one byte further it is cut off and the driver counts as foreign."""
    mark_extension = "GL_X_OVRIN"  # Mesa appends it; Wine adds its WGL names after it
    vendor = "100% %s%n%d %ld vendor"
    env = {"MESA_EXTENSION_MAX_YEAR": "1998", "MESA_EXTENSION_OVERRIDE": mark_extension,
           "force_gl_vendor": vendor, "force_gl_renderer": "R"}
    with case.session(env=env) as s:
        s.set_registry()
        probe = s.query(case.args.witness)
        check_equal(probe["vendor"], vendor, "posed vendor")
        check_equal(probe["extensions"].count(mark_extension), 1, "posed extension in the list")
        # Lengthen the renderer until the mark's last letter is the header's byte 1023.
        short = winesession.expected_header(dict(probe, renderer=""))
        end_of_mark = ("Current OpenGL Driver:\n\n%s\n\n%s\n%s" % (
            probe["vendor"], probe["version"], probe["extensions"])).index(mark_extension) + len(mark_extension)
        check(len(short) < 1023 and end_of_mark < 1023, "the short extension list is too long")
        fill = 1023 - end_of_mark
        outcomes = []
        # With spaces in it the long renderer wraps, and the box (and its icon) stays on screen.
        filler = "Rx " * fill
        for renderer, own in ((filler[:fill], True), (filler[:fill + 1], False)):
            s.env["force_gl_renderer"] = renderer
            strings = s.query(case.args.witness)
            header = winesession.expected_header(strings)
            check_equal(header.endswith("OVRIN"), own, "mark at the end of the kept header")
            events = case.drive(s, ["box", "window", "escape"] + ([] if own else ["box"]) + ["exit"])
            report = events_of(events, "box")[0]
            if own:
                case.check_report_box(report, header + own_body(strings, OWN_UNDETECTED_LINES), "blue")
            else:
                case.check_report_box(report, header + foreign_body(strings), "yellow")
            case.check_exit(events)
            outcomes.append(own)
        check_equal(outcomes, [True, False], "recognition on either side of the cut")


def case_minimise_and_restore(case):
    """Minimised, restored and given a size it never had, the window draws its frames at that size;
    squeezed to no height and widened to yet another size, it draws at that one. The size a frame
    is drawn at is its viewport, from the GL calls that reach the driver."""
    restored, widened = (600, 400), (700, 300)
    trace = os.path.join(case.keep_dir(), "run.trace")
    with case.session(env=gltrace.tracing_env(trace)) as s:
        events = case.drive(s, ["box", "window", "changes", "resize:0:0",
                                "resize:restore:%d:%d" % restored, "changes:2", "resize:300:0",
                                "resize:%d:%d" % widened, "changes:2", "escape", "box", "exit"])
    window = events_of(events, "window")[0]
    client = window["client"]
    frame = [o - c for o, c in zip(window["outer"][2:], client)]
    resized = [e for e in events if "resized" in e]
    sizes = [[w - f for w, f in zip(size, frame)] for size in (restored, widened)]
    check_equal([e.get("client") for e in resized[:2] + resized[3:]], [None] + sizes,
                "client size after minimising, restoring and widening")
    check_equal(resized[2]["outer"][0], 300, "outer width squeezed to 300 x 0")
    check(resized[2]["client"][1] < client[1],
          "squeezed to 300 x 0, the client area is %s" % resized[2]["client"])
    # A client area with no height has nothing to draw in. Squeezed, Wine still leaves one row,
    # and whether a tick draws there before the widening depends on the machine's load: those
    # frames are not counted. A run of frames at one size is one.
    squeezed = [0, 0] + resized[2]["client"]
    drawn = [v for v in ([int(n) for n in c.numbers()]
                         for c in gltrace.read_dump(trace, "glViewport"))
             if v[2] and v[3] and v != squeezed]
    drawn = [v for i, v in enumerate(drawn) if i == 0 or v != drawn[i - 1]]
    check_equal(drawn, [[0, 0] + size for size in [client] + sizes],
                "viewports of the frames drawn at the start, after the restore and after widening")
    check_equal(len(events_of(events, "box")), 2, "boxes shown")
    case.check_exit(events)


CONTEXT_CALLS = ["user32.GetDC", "user32.ReleaseDC", "user32.SetTimer", "user32.KillTimer",
                 "opengl32.wglCreateContext", "opengl32.wglDeleteContext",
                 "opengl32.wglMakeCurrent"]
# The calls whose arguments say what the program asks of the platform.
BOX_CALLS = ["user32.MessageBoxA"]
# Every entry point of advapi32, and those through which kernel32 opens a key or reads a value.
REGISTRY_CALLS = ["advapi32.*", "RegOpenKeyExA", "RegOpenKeyExW", "RegCreateKeyExA",
                  "RegCreateKeyExW", "RegGetValueA", "RegGetValueW"]
ASKING_CALLS = BOX_CALLS + REGISTRY_CALLS + [
    "user32.LoadIconA", "user32.LoadCursorA", "user32.ShowWindow", "gdi32.GetDeviceCaps",
    "opengl32.glGetString"]
BOX_FOREIGN, BOX_OWN, BOX_FAILURE = 0x1030, 0x1020, 0x1010
IDI_APPICON, IDC_ARROW = 101, 0x7F00
# The driver starts the program without a show command of its own (no STARTF_USESHOWWINDOW): the
# program must then ask for the default one, which Windows takes from how it was started.
SW_SHOWDEFAULT = 10
HORZRES, VERTRES, BITSPIXEL = 8, 10, 12
KEY_READ = 0x20019
DRIVER_KEY_PATH = winesession.DRIVER_KEY.split("\\", 1)[1]
TIMER_ID, TIMER_PERIOD_MS = 42, 1
RESOLUTION_LINE = re.compile(r"\nXres: (\d+), Yres: (\d+), Bits: (\d+)\n")


def image_range(exe):
    """[start, end) of the exe's image as loaded at its preferred base."""
    header = pefile.PE(exe, fast_load=True).OPTIONAL_HEADER
    return header.ImageBase, header.ImageBase + header.SizeOfImage


def program_calls(case, session, events):
    """The traced calls of the run's program process, and those of them that the program's own
    code made (Wine's libraries make some of the same calls inside the process)."""
    pid = events_of(events, "started")[0]
    return (winesession.traced_calls(session.stderr, pid),
            winesession.traced_calls(session.stderr, pid, image_range(case.args.exe)))


def of(calls, name):
    return [c for c in calls if c.name == name]


def box_styles(calls):
    return ["%#x" % c.args[3] for c in of(calls, "user32.MessageBoxA")]


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


def asked_at_start(case, own, report_text):
    """What the program's own code asked of the platform in a run with a context, next to what it
    must have asked. The screen metrics must be the ones the report shows."""
    metrics = [int(n) for n in RESOLUTION_LINE.search(report_text).groups()]
    timers = of(own, "user32.SetTimer")
    window = timers[0].args[0] if timers else None
    actual = {
        "icon": [c.args for c in of(own, "user32.LoadIconA")],
        "cursor": [c.args for c in of(own, "user32.LoadCursorA")],
        "driver strings": ["%#x" % c.args[0] for c in of(own, "opengl32.glGetString")],
        "screen metrics (index, answer)": [c.args[1:] + [c.result]
                                           for c in of(own, "gdi32.GetDeviceCaps")],
        "window shown (same window, command)": [[c.args[0] == window, c.args[1]]
                                                for c in of(own, "user32.ShowWindow")],
        "timer set (id, period, callback)": [c.args[1:] for c in timers],
        "timer killed (same window, id)": [[c.args[0] == window, c.args[1]]
                                           for c in of(own, "user32.KillTimer")],
    }
    x, y, bits = metrics
    expected = {
        "icon": [[image_range(case.args.exe)[0], IDI_APPICON]],
        "cursor": [[0, IDC_ARROW]],
        "driver strings": ["0x1f00", "0x1f01", "0x1f02", "0x1f03"],
        "screen metrics (index, answer)": [[HORZRES, x], [VERTRES, y], [BITSPIXEL, bits]],
        "window shown (same window, command)": [[True, SW_SHOWDEFAULT]],
        "timer set (id, period, callback)": [[TIMER_ID, TIMER_PERIOD_MS, 0]],
        "timer killed (same window, id)": [[True, TIMER_ID]],
    }
    return actual, expected


def unpaired_handles(calls):
    """The handles the calls took and never gave back, counted by the call that took them, and
    the calls that gave back nothing (they failed, or named a handle not held)."""
    held, strays = winesession.handles_held(calls)
    names = [c.name for c in held]
    return ["%d x %s" % (names.count(n), n) for n in sorted(set(names))] + [repr(c) for c in strays]


def context_calls(case, session_args, steps, on_pause=None, on_screen=None):
    """Runs the program with its device-context, timer and context calls traced, and the calls
    that show what it asks of the platform (`on_screen` is given the screen before it starts);
    returns the events, the calls of its process and those its own code made."""
    with case.session(env={"WINEDEBUG": winesession.RELAY_DEBUG}, **session_args) as s:
        s.set_registry(relay=CONTEXT_CALLS + ["user32.BeginPaint", "user32.EndPaint"] + ASKING_CALLS)
        if on_screen:
            on_screen(s.screen)
        events = case.drive(s, steps, on_pause)
    case.check_exit(events)
    return (events,) + program_calls(case, s, events)


def case_context_and_dc_balance(case):
    """Every device context is given back, every binding of the context undone, the timer killed
    and the context deleted (no_context_window checks the run without one). Along the way, what the program's own code asks of the platform: its
    class's icon and cursor, the four driver strings in the report's order, the screen metrics
    the report shows, the timer, the style of each box, and no registry read for a driver that
    is not the maker's. Each device context is paired with its giving back by its value.
    Commands other than quit, given first, change nothing: afterwards the window has the title,
    style, place, size and class it had, its picture goes on changing, and the timer set at the
    start is the only one. Only the low 16 bits of a command count, so 0x10002 quits like the
    Escape accelerator's command 2."""
    paints = 6  # each change of the picture is a paint that binds the context and unbinds it
    events, calls, own = context_calls(case, {}, [
        "box", "window", "command:1", "command:3", "command:0x30005", "command:0",
        "changes:%d" % paints, "window", "command:0x10002", "box", "exit"])
    before, after = events_of(events, "window")
    case.check_window(before)
    check_fields(after, before, "the window after the other commands, against before them")
    case.check_box(events_of(events, "box")[1], EXIT_NOTICE, "red")
    names = [c.name for c in calls]
    count = names.count
    check_equal([count("user32.GetDC"), count("user32.ReleaseDC")], [2, 2], "GetDC, ReleaseDC")
    check_equal([count("opengl32.wglCreateContext"), count("opengl32.wglDeleteContext")], [1, 1],
                "contexts created, deleted")
    check_equal([count("user32.SetTimer"), count("user32.KillTimer")], [1, 1], "timer set, killed")
    bound = [c.args[1] for c in of(calls, "opengl32.wglMakeCurrent")]
    check(len(bound) >= 2 * paints, "too few paints traced: %d bindings" % len(bound))
    made = [c for c in bound if c != 0]
    check_equal(bound, [made[0], 0] * (len(bound) // 2), "bind, unbind in pairs")
    check_equal([n for n in names if n in CONTEXT_CALLS][-1], "opengl32.wglDeleteContext",
                "last of the context calls")
    actual, expected = asked_at_start(case, own, events_of(events, "box")[0]["text"])
    actual.update({"box styles": box_styles(own), "registry": registry_asked(own),
                   "handles": unpaired_handles(own)})
    expected.update({"box styles": ["%#x" % BOX_FOREIGN, "%#x" % BOX_FAILURE], "registry": [],
                     "handles": []})
    check_fields(actual, expected, "what the program asked of the platform")


# With the stand-in opengl32 beside a copy of the program, each step of making the context can
# be made to fail: the step, the failure box it must show, and whether a context then exists.
FAILING_STEPS = [
    ("wglChoosePixelFormat", "ChoosePixelFormat returned 0.", False),
    ("wglSetPixelFormat", "SetPixelFormat returned FALSE.", False),
    ("wglCreateContext", "wglCreateContext returned NULL.", False),
    ("wglMakeCurrent", "wglMakeCurrent returned FALSE.", True),
]
FAKE_CONTEXT = 0x5A5A


# The pixel format the program asks for, field by field as PIXELFORMATDESCRIPTOR lays them out.
DESCRIPTOR_FIELDS = (
    "nSize nVersion dwFlags iPixelType cColorBits cRedBits cRedShift cGreenBits cGreenShift "
    "cBlueBits cBlueShift cAlphaBits cAlphaShift cAccumBits cAccumRedBits cAccumGreenBits "
    "cAccumBlueBits cAccumAlphaBits cDepthBits cStencilBits cAuxBuffers iLayerType bReserved "
    "dwLayerMask dwVisibleMask dwDamageMask").split()
REQUESTED_FORMAT = dict({name: 0 for name in DESCRIPTOR_FIELDS}, nSize=40, nVersion=1,
                        dwFlags=0x21, cColorBits=24, cDepthBits=24)
CS_HREDRAW_VREDRAW, COLOR_WINDOW_BRUSH = 3, 6


def run_with_fake_gl(case, session, workdir, failing):
    """One run over the stand-in opengl32; returns the events and the stand-in's log as lists of
    words. A run always chooses a pixel format, so a missing or empty log is a failure."""
    log = os.path.join(workdir, "gl-%s.log" % failing)
    if os.path.exists(log):
        os.remove(log)
    session.env.update({"FAKE_GL_FAIL": failing, "FAKE_GL_LOG": winesession.windows_path(log)})
    events = session.drive(case.args.driver, os.path.join(workdir, os.path.basename(case.args.exe)),
                           ["box", "window", "sleep:1000", "escape", "box", "exit"])
    print("events:", events)
    check(not events_of(events, "error"), "the driver failed: %s" % events_of(events, "error"))
    check(os.path.exists(log), "the stand-in opengl32 wrote no log")
    with open(log) as f:
        lines = [line.split() for line in f]
    check(lines, "the stand-in opengl32's log is empty")
    return events, lines


def asked_for_context(lines, failing):
    """The pixel format as the stand-in saw it inside the program when it was chosen and, unless
    choosing failed, when the chosen format was set, and the window class, next to what they
    must be."""
    descriptors = [l[1:] for l in lines if l[0] == "descriptor"]
    classes = [[int(n) for n in l[1:]] for l in lines if l[0] == "class"]
    check_equal(len(classes), 1, "classes read")
    style, brush, cursor, arrow, icon, app_icon = classes[0]
    actual = {"pixel format steps (format)": [[step, int(n)] for step, n, _ in descriptors],
              "class style": style, "class brush": brush,
              "class cursor is the arrow": cursor == arrow != 0,
              "class icon is the exe's icon 101": icon == app_icon != 0}
    expected = {"pixel format steps (format)": [["choose", 0]] if failing == "wglChoosePixelFormat"
                else [["choose", 1], ["set", 1]],
                "class style": CS_HREDRAW_VREDRAW, "class brush": COLOR_WINDOW_BRUSH,
                "class cursor is the arrow": True, "class icon is the exe's icon 101": True}
    for step, _, descriptor in descriptors:
        raw = b"" if descriptor == "none" else bytes.fromhex(descriptor)
        fields = struct.unpack("<HHI20BIII", raw) if raw else []
        actual.update({"%s: %s" % (step, name): v for name, v in zip(DESCRIPTOR_FIELDS, fields)})
        expected.update({"%s: %s" % (step, name): v for name, v in REQUESTED_FORMAT.items()})
    return actual, expected


def case_context_failures(case):
    """Each step of making the context fails in turn: its own failure box, the window all the
    same, and the exit notice. A context that exists but cannot be bound is tried again at every
    paint and deleted at the end; one that was never made is never deleted. With every step
    working but a driver that gives no strings, the report shows four empty lines. Every run
    asks for the same pixel format, from a window of the same class."""
    workdir = os.path.join(case.keep_dir(), "fake-gl")
    os.makedirs(workdir, exist_ok=True)
    shutil.copy(case.args.exe, workdir)
    shutil.copy(case.args.fake_gl, os.path.join(workdir, "opengl32.dll"))
    failures = []
    with case.session(env={"WINEDLLOVERRIDES": "mscoree,mshtml=;opengl32=n,b",
                           "WINEDEBUG": winesession.RELAY_DEBUG}) as s:
        s.set_registry(relay=BOX_CALLS)
        for failing, text, context_made in FAILING_STEPS + [("nothing", None, True)]:
            try:
                events, lines = run_with_fake_gl(case, s, workdir, failing)
                actual, expected = asked_for_context(lines, failing)
                actual["box styles"] = box_styles(program_calls(case, s, events)[1])
                expected["box styles"] = ["%#x" % (BOX_FAILURE if text else BOX_FOREIGN),
                                          "%#x" % BOX_FAILURE]
                check_fields(actual, expected, "what the program asked of the platform")
                first, notice = events_of(events, "box")
                if text is None:
                    case.check_report_box(first, "Current OpenGL Driver:\n\n\n\n\n\n" + foreign_body(
                        {"xres": 1024, "yres": 768, "bits": 16}), "yellow")
                else:
                    case.check_report_box(first, text, "red")
                case.check_window(events_of(events, "window")[0])
                case.check_box(notice, EXIT_NOTICE, "red")
                case.check_exit(events)
                calls = [(l[0], int(l[1]), int(l[2])) for l in lines
                         if l[0] in ("create", "current", "delete")]
                deletes = [c for c in calls if c[0] == "delete"]
                binds = [c for c in calls if c[0] == "current" and c[1] == FAKE_CONTEXT]
                if context_made:
                    check_equal(deletes, [("delete", FAKE_CONTEXT, 1)], "context deleted once")
                    check_equal(calls[-1][0], "delete", "the context's last call")
                    check(len(binds) >= 3, "the context was bound only %d times" % len(binds))
                    if failing == "wglMakeCurrent":
                        check(all(ok == 0 for _, _, ok in binds), "a binding succeeded")
                else:
                    check_equal(deletes + binds, [], "calls on a context that was never made")
            except CaseFailure as failure:
                failures.append("%s: %s" % (failing, failure))
    check(not failures, "\n".join(failures))


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    for name in ("exe", "driver", "witness"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--prefix", default=winesession.PREFIX)
    parser.add_argument("--shots")
    parser.add_argument("--fake-gl", help="the stand-in opengl32.dll")
    args = parser.parse_args()
    try:
        CASES[args.case](Case(args))
    except CaseFailure as failure:
        print("FAILED:", failure)
        return 1
    print("passed:", args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
