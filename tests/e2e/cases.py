"""End-to-end cases: the real exe under Wine, on a real Mesa driver behind Wine's opengl32,
driven like a person would drive it. Each case names the screen, the driver it poses and the
registry contents, the steps a person takes, and the exact texts the boxes must show.

usage: cases.py --case NAME --exe PROGRAM --driver DRIVER --witness GLSTRINGS --prefix DIR
                [--shots DIR]
"""

import argparse
import difflib
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import screens  # noqa: E402
import winesession  # noqa: E402

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

    def drive(self, session, steps, on_pause=None):
        events = session.drive(self.args.driver, self.args.exe, steps, on_pause)
        for event in events:
            print("event:", event)
        errors = events_of(events, "error")
        check(not errors, "the driver failed: %s\nwine said: %s" % (errors, session.stderr[-3000:]))
        return events

    def check_box(self, box, text, icon):
        check_equal(box["caption"], CAPTION, "box caption")
        check_equal(box["text"], text, "box text")
        check_equal(box["buttons"], ["OK"], "box buttons")
        check_equal(box["icon"], icon, "box icon colour")
        check_equal(box["icons"], 1, "icons in the box")
        check(box["topmost"], "the box is not system-modal (topmost)")

    def check_report_box(self, box, text, icon):
        self.check_box(box, text, icon)
        check(not box["main_visible"], "the main window was visible behind the report box")

    def check_window(self, window):
        check_equal(window["title"], CAPTION, "window title")
        check_equal(window["style"], WINDOW_STYLE_VISIBLE, "window style")
        check_equal(window["outer"][2:], [400, 400], "outer window size")

    def check_exit(self, events, code=0):
        check_equal(events_of(events, "exit"), [code], "exit code")

    def shot(self, name, screen):
        path = os.path.join(self.shots, name + ".ppm") if self.shots else None
        if path:
            os.makedirs(self.shots, exist_ok=True)
            screen.screenshot(path)
            screens.save_png(path)
        return path


def run_foreign(case, ending):
    """Mesa as itself: not the maker's driver. The person reads the report, watches the window
    and ends the program with `ending`; the exit notice follows."""
    with case.session() as s:
        s.set_width_value(None, None)
        strings = s.query(case.args.witness)
        events = case.drive(s, ["box", "window", "sleep:1000", ending, "box", "no-box:1500", "exit"])
    report, notice = events_of(events, "box")
    case.check_report_box(report, winesession.expected_header(strings) + foreign_body(strings),
                          "yellow")
    case.check_window(events_of(events, "window")[0])
    case.check_box(notice, EXIT_NOTICE, "red")
    check(events_of(events, "no_box"), "a box appeared after the exit notice")
    case.check_exit(events)


def case_foreign_escape(case):
    run_foreign(case, "escape")


def case_foreign_close(case):
    run_foreign(case, "close")


def case_foreign_escape_twice(case):
    """Two Escapes queued at once post the destroy request twice: still one exit notice."""
    run_foreign(case, "escape:2")


def case_worked_example(case):
    """The maker's driver with a GLINT MX renderer and a registry width of 32, at
    1024 x 768 x 16: VRAM and DRAM lines, the question icon, and no notice at exit."""
    with case.session(env=OWN_DRIVER) as s:
        s.set_width_value("REG_DWORD", 32)
        strings = s.query(case.args.witness)
        events = case.drive(s, ["box", "window", "sleep:1000", "escape", "no-box:3000", "exit"])
    check_equal(strings["renderer"], "OVRIN Pellora GLINT MX", "posed renderer")
    check_equal([strings["xres"], strings["yres"], strings["bits"]], [1024, 768, 16], "screen")
    report = events_of(events, "box")
    check_equal(len(report), 1, "boxes shown")
    case.check_report_box(report[0], winesession.expected_header(strings) +
                          "\nXres: 1024, Yres: 768, Bits: 16\n"
                          "3145728 bytes VRAM used for front plus back buffer.\n"
                          "3145728 bytes DRAM used for depth and other buffers.\n", "blue")
    case.check_window(events_of(events, "window")[0])
    check(events_of(events, "no_box"), "an exit notice appeared for the maker's driver")
    case.check_exit(events)


def case_no_glx(case):
    """A screen without GLX offers no pixel format: the failure box, a window all the same,
    and the exit notice at the end."""
    with case.session(glx=False) as s:
        events = case.drive(s, ["box", "window", "sleep:1000", "escape", "box", "exit"])
    failure, notice = events_of(events, "box")
    case.check_report_box(failure, "ChoosePixelFormat returned 0.", "red")
    case.check_window(events_of(events, "window")[0])
    case.check_box(notice, EXIT_NOTICE, "red")
    case.check_exit(events)


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    for name in ("exe", "driver", "witness", "prefix"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--shots")
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
