"""What the program asks of the platform, seen through Wine's relay trace of its own calls and a
stand-in opengl32: the arguments it hands over, the order of its create, paint and destroy
steps, every handle given back, and each step of making the context failing in turn."""

import dataclasses
import struct

import pytest

import relay
from expected import (BITSPIXEL, BOX_FAILURE, BOX_FOREIGN, COLOR_WINDOW_BRUSH,
                      CS_HREDRAW_VREDRAW, DESCRIPTOR_FIELDS, GL_EXTENSIONS, GL_RENDERER,
                      GL_VENDOR, GL_VERSION, HORZRES, IDC_ARROW, IDI_APPICON, ORDER_CALLS,
                      REGISTRY_CALLS, REQUESTED_FORMAT, RESOLUTION_LINE, SW_SHOWDEFAULT,
                      TIMER_ID, TIMER_PERIOD_MS, VERTRES, assert_order, assert_shown,
                      assert_window, box_styles, foreign_body, foreign_report, registry_asked)
from screens import Screen, client_area, summarise
from sessions import Run, image_range, wait_for

TRACED = Run(relay=ORDER_CALLS + REGISTRY_CALLS)


def test_context_and_dc_balance(wine, tmp_path):
    """Every device context given back (paired by its value), every binding undone, the timer
    killed and the context deleted, each step in its order; what the program's own code asks of
    the platform (class icon and cursor, the driver strings, the metrics the report shows, the
    timer, each box's style, no registry read for a foreign driver). Commands other than quit
    change nothing: the window stays as it was, its picture changing, the timer the only one.
    Only a command's low 16 bits count: 0x10002 quits like Escape's command 2."""
    paints = 6  # each change of the picture is a paint that binds the context and unbinds it
    shown = wine.run(TRACED, ["box", "window", "command:1", "command:3", "command:0x30005",
                              "command:0", "changes:%d" % paints, "window", "command:0x10002",
                              "box", "exit"], tmp_path)
    assert_shown(shown, foreign_report(wine.strings(Run())), "yellow")
    before, after = shown.of("window")
    assert_window(before)
    assert after == before, "the window after the other commands, against before them"
    own = shown.calls(own=True)
    # Two device contexts, one context made and deleted, one timer, each binding undone: the
    # context made is bound at the start, at every paint while it lives, and before its deletion.
    drawn = assert_order(own, paints)
    made = [c.result for c in relay.of(own, "opengl32.wglCreateContext")]
    bound = [c.args[1] for c in relay.of(own, "opengl32.wglMakeCurrent")]
    assert bound == [made[0], 0] * (1 + drawn + 1), "the context made, bound, then unbound"
    # The screen metrics asked must be the ones the report shows.
    x, y, bits = [int(n) for n in RESOLUTION_LINE.search(shown.boxes[0]["text"]).groups()]
    window = relay.of(own, "user32.SetTimer")[0].args[0]
    assert {
        "icon": [c.args for c in relay.of(own, "user32.LoadIconA")],
        "cursor": [c.args for c in relay.of(own, "user32.LoadCursorA")],
        "driver strings": [c.args[0] for c in relay.of(own, "opengl32.glGetString")],
        "screen metrics (index, answer)": [c.args[1:] + [c.result]
                                           for c in relay.of(own, "gdi32.GetDeviceCaps")],
        "window shown (same window, command)": [[c.args[0] == window, c.args[1]]
                                                for c in relay.of(own, "user32.ShowWindow")],
        "timer set (id, period, callback)": [c.args[1:] for c in relay.of(own, "user32.SetTimer")],
        "timer killed (same window, id)": [[c.args[0] == window, c.args[1]]
                                           for c in relay.of(own, "user32.KillTimer")],
        "box styles": box_styles(own), "registry": registry_asked(own),
        "handles": relay.unpaired_handles(own)} == {
        "icon": [[image_range(wine.exe)[0], IDI_APPICON]], "cursor": [[0, IDC_ARROW]],
        "driver strings": [GL_VENDOR, GL_RENDERER, GL_VERSION, GL_EXTENSIONS],
        "screen metrics (index, answer)": [[HORZRES, x], [VERTRES, y], [BITSPIXEL, bits]],
        "window shown (same window, command)": [[True, SW_SHOWDEFAULT]],
        "timer set (id, period, callback)": [[TIMER_ID, TIMER_PERIOD_MS, 0]],
        "timer killed (same window, id)": [[True, TIMER_ID]],
        "box styles": ["%#x" % BOX_FOREIGN, "%#x" % BOX_FAILURE], "registry": [], "handles": []}


def paints_seen(live, exe, at_least):
    """Waits until the program has painted `at_least` times since it started (the relay trace
    of the run follows EndPaint)."""
    def painted():
        with open(live.stderr_path, errors="replace") as f:
            own = relay.traced_calls(f.read(), live.events[0]["started"], image_range(exe))
        return len(relay.of(own, "user32.EndPaint"))
    wait_for(lambda: painted() >= at_least, 120, "%d paints of the program" % at_least)


def test_no_context_window(wine, tmp_path):
    """Without a pixel format the window opens, its client area neither erased (the class's
    colour) nor drawn: black over many paints (a client area not on screen would show the
    screen's background). One device context, no GL call, no metrics or registry read, nothing
    held, both boxes of the failure style, and the steps in their order."""
    shots = {}

    def on_pause(name, live):
        # The first picture after some paints, the later one after as many again.
        paints_seen(live, wine.exe, 5 * (len(shots) + 1))
        shots[name] = live.screen.screenshot("%s/%s.png" % (tmp_path, name))

    setting = dataclasses.replace(TRACED, screen=Screen(glx=False, background="#2060a0"))
    shown = wine.run(setting, ["box", "window", "pause:first", "pause:later", "escape", "box",
                               "exit"], tmp_path, on_pause)
    own = shown.calls(own=True)
    # The create sequence's device context the only one, no GL call, no screen metrics and no
    # registry call: all in the order; and no paint draws.
    assert_order(own, 10, failing="ChoosePixelFormat")
    assert [box_styles(own), relay.unpaired_handles(own)] == [["%#x" % BOX_FAILURE] * 2, []]
    assert_shown(shown, "ChoosePixelFormat returned 0.", "red")
    assert_window(shown.window)
    pictures = {name: summarise(client_area(image, shown.window)) for name, image in shots.items()}
    # Anything else than black was drawn, erased or not shown.
    assert {name: [p["gold"], p["black"]] for name, p in pictures.items()} == {
        name: [0, pictures[name]["total"]] for name in ("first", "later")}


def stand_in_log(lines, failing, paints):
    """The stand-in's log in order, and what it must be: the pixel format chosen, set to the one
    chosen, the class read in between; the context made, then bound and unbound at the start,
    at each of the `paints` while it lives and before its deletion (a failed binding is not
    undone). The steps stop at the one that fails; format and context are the stand-in's."""
    actual = [(w[0], int(w[1]), int(w[2])) if w[0] in ("create", "current", "delete") else
              (w[1], int(w[2])) if w[0] == "descriptor" else tuple(w[:1]) for w in lines]
    made = {w[0]: w[1] for w in actual[::-1] if w[0] in ("choose", "create")}
    steps = ["wglChoosePixelFormat", "wglSetPixelFormat", "wglCreateContext", "wglMakeCurrent"]
    reached = steps.index(failing) + 1 if failing in steps else 5
    expected = [("choose", made.get("choose") if reached > 1 else 0), ("class",),
                ("set", made.get("choose")), ("create", made.get("create"), 1)][:reached + 1]
    if failing == "wglCreateContext":
        expected[-1] = ("create", 0, 0)
    if reached >= 4:
        bound = failing == "nothing"
        expected += ([("current", made["create"], bound)] + [("current", 0, 1)] * bound) * (
            paints + 2) + [("delete", made["create"], 1)]
    return actual, expected


def asked_for_context(lines):
    """The pixel format as the stand-in saw it when it was chosen and set, and the window class
    (read once), next to what they must be."""
    (style, brush, cursor, arrow, icon, app_icon), = [
        [int(n) for n in line[1:]] for line in lines if line[0] == "class"]
    actual = {"class style, brush": [style, brush], "class cursor is the arrow, icon the exe's 101":
              [cursor == arrow != 0, icon == app_icon != 0]}
    expected = {"class style, brush": [CS_HREDRAW_VREDRAW, COLOR_WINDOW_BRUSH],
                "class cursor is the arrow, icon the exe's 101": [True, True]}
    for _, step, _, descriptor in (line for line in lines if line[0] == "descriptor"):
        raw = b"" if descriptor == "none" else bytes.fromhex(descriptor)
        fields = struct.unpack("<HHI20BIII", raw) if raw else []
        actual.update({"%s: %s" % (step, name): v for name, v in zip(DESCRIPTOR_FIELDS, fields)})
        expected.update({"%s: %s" % (step, name): v for name, v in REQUESTED_FORMAT.items()})
    return actual, expected


# The 64-bit exe's rows alone: the 32-bit exe's failure handling is the same code, which its
# row of a context that cannot be bound and its run without a pixel format go through.
SAME_CODE = pytest.mark.x64_only("the same failure path as the wglMakeCurrent row")


# With the stand-in opengl32 beside a copy of the program, each step of making the context is
# made to fail in turn: the step the stand-in fails, the program's step that then fails (None:
# none), and the box it must show first (with nothing failing, the report of a driver that gives
# no strings).
@pytest.mark.parametrize("failing, step, text", [
    pytest.param("wglChoosePixelFormat", "ChoosePixelFormat", "ChoosePixelFormat returned 0.",
                 id="wglChoosePixelFormat", marks=SAME_CODE),
    pytest.param("wglSetPixelFormat", "SetPixelFormat", "SetPixelFormat returned FALSE.",
                 id="wglSetPixelFormat", marks=SAME_CODE),
    pytest.param("wglCreateContext", "wglCreateContext", "wglCreateContext returned NULL.",
                 id="wglCreateContext", marks=SAME_CODE),
    pytest.param("wglMakeCurrent", "wglMakeCurrent", "wglMakeCurrent returned FALSE.",
                 id="wglMakeCurrent"),
    pytest.param("nothing", None, "Current OpenGL Driver:\n\n\n\n\n\n" +
                 foreign_body({"xres": 1024, "yres": 768, "bits": 16}), id="nothing",
                 marks=SAME_CODE),
])
def test_context_failure(wine, tmp_path, failing, step, text):
    """One step of making the context fails: its box, then straight on to giving back the device
    context; the window all the same, and the notice. A context that cannot be bound is tried at
    every paint and deleted at the end. A driver that gives no strings shows four empty lines.
    Every run asks for the same pixel format, from a window of the same class."""
    shown = wine.run(dataclasses.replace(TRACED, stand_in=failing),
                     ["box", "window", "pause:painted", "escape", "box", "exit"], tmp_path,
                     lambda name, live: paints_seen(live, wine.exe, 3))
    own = shown.calls(own=True)
    drawn = assert_order(own, 3, failing=step, stand_in=True)
    with open(shown.stand_in_log) as log:
        lines = [line.split() for line in log]
    actual, expected = asked_for_context(lines)
    actual["stand-in's log"], expected["stand-in's log"] = stand_in_log(lines, failing, drawn)
    actual["box styles"] = box_styles(own)
    expected["box styles"] = ["%#x" % (BOX_FAILURE if step else BOX_FOREIGN), "%#x" % BOX_FAILURE]
    assert actual == expected
    assert_shown(shown, text, "red" if step else "yellow")
    assert_window(shown.window)
