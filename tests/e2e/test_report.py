"""The start-up report and the exit notice: the exact texts, icons and owners of the boxes for
Mesa as itself, for Mesa posing as the maker's driver with every form of the registry's width
value, and for driver strings that test the formatting and the header's cut."""

import pytest

from expected import (BOX_OWN, DRIVER_KEY, HKEY_LOCAL_MACHINE, KEY_READ, ORDER_CALLS,
                      OWN_DRIVER, OWN_UNDETECTED_LINES, REGISTRY_CALLS, WIDTH_VALUE,
                      assert_order, assert_shown, assert_window, box_styles, foreign_report,
                      header, own_report, registry_asked, vram_dram_lines)
from screens import Screen
from sessions import Run


# The 32-bit exe's report is the worked example's and the other modules' (Mesa as itself); the
# rows below re-test, a start of the program each, code both exes share.
SAME_CODE = pytest.mark.x64_only("the report's composition and the endings: the same code")


# The ways a person ends a run: how the report is answered (Escape dismisses it like OK), then
# how the window is ended. Two Escapes queued at once post the destroy request twice.
@SAME_CODE
@pytest.mark.parametrize("answer, ending", [
    pytest.param("box-escape", "escape", id="report escaped, then escape"),
    pytest.param("box", "close", id="report OK, then close"),
    pytest.param("box", "escape:2", id="report OK, then two escapes")])
def test_foreign_driver(wine, tmp_path, answer, ending):
    """Mesa as itself, not the maker's driver: the report read and answered, the picture seen to
    change, the program ended; one exit notice, and no box after it."""
    strings = wine.strings(Run())
    shown = wine.run(Run(), [answer, "window", "changes", ending, "box", "exit"], tmp_path)
    # Escape reaches the window that has the focus, which then owns the notice; closing through
    # the frame destroys the window, which gives up the focus first.
    assert_shown(shown, foreign_report(strings), "yellow", owner=ending != "close")
    assert_window(shown.window)


def test_worked_example(wine, tmp_path):
    """The maker's driver with a GLINT MX renderer and a registry width of 32, at
    1024 x 768 x 16: VRAM and DRAM lines, the question icon, and no notice at exit. The width
    is read from the driver's key, opened for reading only. The desktop has two such monitors
    side by side: the buffers cover the screen that the window's device context describes, so
    the report counts 1024 x 768, not the 2048 x 768 of the whole desktop. The steps come in
    their order: the strings, the width read, the screen metrics, the box."""
    setting = Run(screen=Screen(two_monitors=True), gl=OWN_DRIVER, width="dword:00000020",
                  relay=ORDER_CALLS + REGISTRY_CALLS)
    strings = wine.strings(setting)
    assert strings["renderer"] == "OVRIN Pellora GLINT MX"
    assert {key: strings[key] for key in ("monitors", "desktop", "xres", "yres", "bits")} == {
        "monitors": 2, "desktop": [2048, 768], "xres": 1024, "yres": 768, "bits": 16}
    shown = wine.run(setting, ["box", "window", "changes", "escape", "exit"], tmp_path)
    own = shown.calls(own=True)
    assert_order(own, 1, own=True)
    assert {"box styles": box_styles(own), "registry": registry_asked(own)} == {
        "box styles": ["%#x" % BOX_OWN],
        "registry": [["open", "%#x" % HKEY_LOCAL_MACHINE, DRIVER_KEY, 0, "%#x" % KEY_READ, 0],
                     ["query", WIDTH_VALUE, 0, 0, 0]]}
    assert_shown(shown, own_report(strings, vram_dram_lines(3145728)), "blue")
    assert_window(shown.window)


# Every other form the width value can take in the registry, for a GLINT MX board (whose own
# default is 32 bits) at 1024 x 768: what is stored, and the lines the report must show.
@SAME_CODE
@pytest.mark.parametrize("width, lines", [
    pytest.param("dword:00000000", OWN_UNDETECTED_LINES, id="REG_DWORD 0"),
    pytest.param("dword:00000018", vram_dram_lines(3 * 786432), id="REG_DWORD 24"),
    pytest.param("dword:ffffffff", OWN_UNDETECTED_LINES, id="REG_DWORD -1"),
    pytest.param("dword:7fffffff", vram_dram_lines(268435456 * 786432), id="REG_DWORD 0x7FFFFFFF"),
    # A string reads as its bytes: "16" and its terminator are 0x31 0x36 0x00, so 13873 bits.
    pytest.param('"16"', vram_dram_lines(1735 * 786432), id="REG_SZ 16"),
    pytest.param("hex:08", vram_dram_lines(786432), id="REG_BINARY 1 byte"),
    pytest.param("hex:18,00", vram_dram_lines(3 * 786432), id="REG_BINARY 2 bytes"),
    pytest.param("hex:10,00,00", vram_dram_lines(2 * 786432), id="REG_BINARY 3 bytes"),
    pytest.param("hex:28,00,00,00", vram_dram_lines(5 * 786432), id="REG_BINARY 4 bytes"),
    # Longer than four bytes: the read fails and the board's default stays.
    pytest.param("hex:10,00,00,00,00,00,00,00", vram_dram_lines(4 * 786432),
                 id="REG_BINARY 8 bytes"),
    pytest.param("", vram_dram_lines(4 * 786432), id="value missing"),
    pytest.param(None, vram_dram_lines(4 * 786432), id="key missing"),
])
def test_registry_form(wine, tmp_path, width, lines):
    """The maker's driver with one form of the width value: one box, the report, exact."""
    setting = Run(gl=OWN_DRIVER, width=width)
    strings = wine.strings(setting)
    shown = wine.run(setting, ["box", "window", "escape", "exit"], tmp_path)
    assert_shown(shown, own_report(strings, lines), "blue")


MARK_EXTENSION = "GL_X_OVRIN"  # Mesa appends it; Wine adds its WGL names after it
VERBATIM_VENDOR = "100% %s%n%d %ld vendor"
# A short extension list, the mark's extension at its end, and a vendor full of directives.
CUT_DRIVER = (("MESA_EXTENSION_MAX_YEAR", "1998"), ("MESA_EXTENSION_OVERRIDE", MARK_EXTENSION),
              ("force_gl_vendor", VERBATIM_VENDOR))


@pytest.fixture(scope="module")
def cut_probe(wine_sessions):
    """The strings of the driver posed for the cut, with a one-letter renderer, and how long a
    renderer puts the mark's last letter at the header's byte 1023."""
    probe = wine_sessions.strings(Run(gl=CUT_DRIVER + (("force_gl_renderer", "R"),)))
    assert [probe["vendor"], probe["extensions"].count(MARK_EXTENSION)] == [VERBATIM_VENDOR, 1]
    unposed = header(dict(probe, renderer=""))
    end_of_mark = unposed.index(MARK_EXTENSION) + len(MARK_EXTENSION)
    assert len(unposed) < 1023, "the short extension list is too long"
    return probe, 1023 - end_of_mark


@SAME_CODE
@pytest.mark.parametrize("longer, own", [pytest.param(0, True, id="mark kept"),
                                         pytest.param(1, False, id="mark cut")])
def test_strings_verbatim_and_cut(wine, tmp_path, cut_probe, longer, own):
    """Driver strings with format directives show verbatim; the mark at the very end of the
    kept 1,023 bytes is found, one byte further it is cut off and the driver counts as foreign.
    The driver's other strings are the probe's: only the renderer is posed otherwise."""
    probe, renderer_length = cut_probe
    # With spaces in it the long renderer wraps, and the box (and its icon) stays on screen.
    renderer = ("Rx " * renderer_length)[:renderer_length + longer]
    strings = dict(probe, renderer=renderer)
    steps = ["box", "window", "escape"] + ([] if own else ["box"]) + ["exit"]
    shown = wine.run(Run(gl=CUT_DRIVER + (("force_gl_renderer", renderer),)), steps, tmp_path)
    if own:
        assert_shown(shown, own_report(strings, OWN_UNDETECTED_LINES), "blue")
    else:
        assert_shown(shown, foreign_report(strings), "yellow")
