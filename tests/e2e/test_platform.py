"""What the program asks of the platform, seen through Wine's relay trace of its own calls and a
stand-in opengl32: the arguments it hands over, the order of its create, paint and destroy
steps, every handle given back, and each step of making the context failing in turn."""

import dataclasses
import struct

import pytest

import relay
from expected import (BITSPIXEL, BOX_CALLS, BOX_FAILURE, BOX_FOREIGN, COLOR_WINDOW_BRUSH,
                      CS_HREDRAW_VREDRAW, DESCRIPTOR_FIELDS, GL_EXTENSIONS,
                      GL_RENDERER, GL_VENDOR, GL_VERSION, HORZRES, IDC_ARROW, IDI_APPICON,
                      REGISTRY_CALLS, REQUESTED_FORMAT, RESOLUTION_LINE, SW_SHOWDEFAULT, TIMER_ID,
                      TIMER_PERIOD_MS, VERTRES, assert_shown, assert_window, box_styles,
                      foreign_body, foreign_report, registry_asked)
from screens import Screen, client_area, summarise
from sessions import Run, image_range, wait_for

CONTEXT_CALLS = ("user32.GetDC", "user32.ReleaseDC", "user32.SetTimer", "user32.KillTimer",
                 "opengl32.wglCreateContext", "opengl32.wglDeleteContext",
                 "opengl32.wglMakeCurrent")
PAINT_CALLS = ("user32.BeginPaint", "user32.EndPaint")
ASKING_CALLS = BOX_CALLS + REGISTRY_CALLS + (
    "user32.LoadIconA", "user32.LoadCursorA", "user32.ShowWindow", "gdi32.GetDeviceCaps",
    "opengl32.glGetString")
# The steps whose places in the create, paint and destroy sequences the order checks see: the
# first and last GL call of the scene setup and of each frame stand for the calls between them.
# (The window's creation is not among them: the program never destroys its window, which goes
# with the process, and the handle pairing would count it as held.)
STEP_CALLS = ("user32.RegisterClassA", "gdi32.ChoosePixelFormat",
              "gdi32.SetPixelFormat", "opengl32.glMatrixMode", "opengl32.glFinish",
              "user32.GetClientRect", "user32.UpdateWindow", "user32.LoadAcceleratorsA",
              "user32.PostMessageA", "user32.GetFocus", "user32.PostQuitMessage",
              "opengl32.glViewport", "opengl32.glCallList", "gdi32.SwapBuffers")
TRACED = Run(relay=CONTEXT_CALLS + PAINT_CALLS + ASKING_CALLS + STEP_CALLS)


def names(calls):
    return [c.name.split(".")[1] for c in calls]


def expected_steps(context):
    """The program's own calls outside its paints, in order, from the class to the quit: the
    create sequence (inside the window's creation), the window shown, the destroy sequence."""
    box = ["GetFocus", "MessageBoxA"]
    if context:
        create = (["ChoosePixelFormat", "SetPixelFormat", "wglCreateContext", "wglMakeCurrent"] +
                  ["glGetString"] * 4 + ["GetDeviceCaps"] * 3 + box +
                  ["glMatrixMode"] * 2 + ["glFinish", "wglMakeCurrent"])
        delete = ["GetDC", "wglMakeCurrent", "wglMakeCurrent", "ReleaseDC", "wglDeleteContext"]
    else:
        create, delete = ["ChoosePixelFormat"] + box, []
    return (["LoadIconA", "LoadCursorA", "RegisterClassA", "GetDC"] + create +
            ["ReleaseDC", "GetClientRect", "SetTimer", "ShowWindow", "UpdateWindow",
             # Escape and the quit command post the destroy request.
             "LoadAcceleratorsA", "PostMessageA", "KillTimer"] + delete + box + ["PostQuitMessage"])


FULL_PAINT = ["BeginPaint", "wglMakeCurrent", "glViewport", "glCallList", "SwapBuffers",
              "wglMakeCurrent", "EndPaint"]
BARE_PAINT = ["BeginPaint", "EndPaint"]


def split_paints(own):
    """The program's own calls outside its paints, and each paint's calls with the number of
    outside calls made before it."""
    outside, paints = [], []
    for name in names(own):
        if paints and paints[-1][1][-1] != "EndPaint":
            paints[-1][1].append(name)
        elif name == "BeginPaint":
            paints.append((len(outside), [name]))
        else:
            outside.append(name)
    return outside, paints


def assert_order(own, context, drawn=0):
    """The create, paint and destroy sequences in their order: a paint before the context is
    deleted binds it, draws, swaps and unbinds before EndPaint; one after draws nothing."""
    outside, paints = split_paints(own)
    assert outside == expected_steps(context)
    deleted = outside.index("wglDeleteContext") if context else 0
    assert [p for at, p in paints if at <= deleted and p != FULL_PAINT] == []
    assert [p for at, p in paints if at > deleted and p != BARE_PAINT] == []
    assert sum(at <= deleted for at, _ in paints) >= drawn


def test_context_and_dc_balance(wine, tmp_path):
    """Every device context is given back, every binding of the context undone, the timer killed
    and the context deleted, each step in its order. Along the way, what the program's own code
    asks of the platform: its class's icon and cursor, the four driver strings in the report's
    order, the screen metrics the report shows, the timer, the style of each box, and no registry
    read for a driver that is not the maker's. Each device context is paired with its giving back
    by its value. Commands other than quit, given first, change nothing: afterwards the window
    has the title, style, place, size and class it had, its picture goes on changing, and the
    timer set at the start is the only one. Only the low 16 bits of a command count, so 0x10002
    quits like the Escape accelerator's command 2."""
    paints = 6  # each change of the picture is a paint that binds the context and unbinds it
    run = wine.run(TRACED, ["box", "window", "command:1", "command:3", "command:0x30005",
                            "command:0", "changes:%d" % paints, "window", "command:0x10002",
                            "box", "exit"], tmp_path)
    assert_shown(run, foreign_report(wine.strings(Run())), "yellow")
    before, after = run.of("window")
    assert_window(before)
    assert after == before, "the window after the other commands, against before them"
    own = run.calls(own=True)
    # Two device contexts, one context made and deleted, one timer set and killed, each binding
    # undone before the paint ends, and nothing bound after the deletion: all in the order.
    assert_order(own, context=True, drawn=paints)
    bound = [c.args[1] for c in relay.of(own, "opengl32.wglMakeCurrent")]
    assert bound == [bound[0], 0] * (len(bound) // 2), "the one context bound, then unbound"
    # The screen metrics asked must be the ones the report shows.
    x, y, bits = [int(n) for n in RESOLUTION_LINE.search(run.boxes[0]["text"]).groups()]
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
        return names(own).count("EndPaint")
    wait_for(lambda: painted() >= at_least, 120, "%d paints of the program" % at_least)


def test_no_context_window(wine, tmp_path):
    """Without a pixel format there is nothing to draw with: the window opens, its client area
    is neither erased (which would show the class's window colour) nor drawn, so it stays black
    over many paints, and the program ends normally. The screen's background has a colour the
    program never draws: a client area that is not on screen shows it. The device context of the
    create sequence is the only one, no GL call is made, the screen metrics are not asked,
    nothing is left held, the registry is not read, both boxes have the failure style, and the
    create, paint and destroy steps come in their order."""
    shots = {}

    def on_pause(name, live):
        # The first picture after some paints, the later one after as many again.
        paints_seen(live, wine.exe, 5 * (len(shots) + 1))
        shots[name] = live.screen.screenshot("%s/%s.png" % (tmp_path, name))

    setting = dataclasses.replace(TRACED, screen=Screen(glx=False, background="#2060a0"))
    run = wine.run(setting, ["box", "window", "pause:first", "pause:later", "escape", "box",
                             "exit"], tmp_path, on_pause)
    own = run.calls(own=True)
    # The create sequence's device context the only one, no GL call, no screen metrics and no
    # registry call: all in the order.
    assert_order(own, context=False)
    assert [box_styles(own), relay.unpaired_handles(own)] == [["%#x" % BOX_FAILURE] * 2, []]
    assert_shown(run, "ChoosePixelFormat returned 0.", "red")
    assert_window(run.window)
    for name, image in shots.items():
        summary = summarise(client_area(image, run.window))
        # Anything else than black was drawn, erased or not shown.
        assert [name, summary["gold"], summary["black"]] == [name, 0, summary["total"]]


# The stand-in's context handle and the pixel format it chooses (not 1, so that a program that
# set format 1 whatever was chosen would be seen).
STAND_IN_CONTEXT, STAND_IN_FORMAT = 0x5A5A, 3


def asked_for_context(lines, failing):
    """The pixel format as the stand-in saw it inside the program when it was chosen and, unless
    choosing failed, when the chosen format was set, and the window class, next to what they
    must be."""
    descriptors = [line[1:] for line in lines if line[0] == "descriptor"]
    classes = [[int(n) for n in line[1:]] for line in lines if line[0] == "class"]
    assert len(classes) == 1, "classes read"
    style, brush, cursor, arrow, icon, app_icon = classes[0]
    actual = {"pixel format steps (format set)": [[step] + ([int(n)] if step == "set" else [])
                                                  for step, n, _ in descriptors],
              "class style": style, "class brush": brush,
              "class cursor is the arrow": cursor == arrow != 0,
              "class icon is the exe's icon 101": icon == app_icon != 0}
    expected = {"pixel format steps (format set)": [["choose"]] if failing == "wglChoosePixelFormat"
                else [["choose"], ["set", STAND_IN_FORMAT]],
                "class style": CS_HREDRAW_VREDRAW, "class brush": COLOR_WINDOW_BRUSH,
                "class cursor is the arrow": True, "class icon is the exe's icon 101": True}
    for step, _, descriptor in descriptors:
        raw = b"" if descriptor == "none" else bytes.fromhex(descriptor)
        fields = struct.unpack("<HHI20BIII", raw) if raw else []
        actual.update({"%s: %s" % (step, name): v for name, v in zip(DESCRIPTOR_FIELDS, fields)})
        expected.update({"%s: %s" % (step, name): v for name, v in REQUESTED_FORMAT.items()})
    return actual, expected


# With the stand-in opengl32 beside a copy of the program, each step of making the context is
# made to fail in turn: the step, the box it must show first (with nothing failing, the report
# of a driver that gives no strings), and whether a context then exists.
FAILING_STEPS = [
    ("wglChoosePixelFormat", "ChoosePixelFormat returned 0.", False),
    ("wglSetPixelFormat", "SetPixelFormat returned FALSE.", False),
    ("wglCreateContext", "wglCreateContext returned NULL.", False),
    ("wglMakeCurrent", "wglMakeCurrent returned FALSE.", True),
    ("nothing", "Current OpenGL Driver:\n\n\n\n\n\n" +
     foreign_body({"xres": 1024, "yres": 768, "bits": 16}), True),
]


@pytest.mark.parametrize("failing, text, context_made", FAILING_STEPS,
                         ids=[row[0] for row in FAILING_STEPS])
def test_context_failure(wine, tmp_path, failing, text, context_made):
    """One step of making the context fails: its own failure box, the window all the same, and
    the exit notice. A context that exists but cannot be bound is tried again at every paint and
    deleted at the end; one that was never made is never deleted. With every step working but a
    driver that gives no strings, the report shows four empty lines. Every run asks for the same
    pixel format, from a window of the same class."""
    setting = Run(stand_in=failing, relay=BOX_CALLS + PAINT_CALLS)
    run = wine.run(setting, ["box", "window", "pause:painted", "escape", "box", "exit"], tmp_path,
                   lambda name, live: paints_seen(live, wine.exe, 3))
    with open(run.stand_in_log) as log:
        lines = [line.split() for line in log]
    assert lines, "the stand-in opengl32's log is empty"
    actual, expected = asked_for_context(lines, failing)
    actual["box styles"] = box_styles(run.calls(own=True))
    failed = failing != "nothing"
    expected["box styles"] = ["%#x" % (BOX_FAILURE if failed else BOX_FOREIGN), "%#x" % BOX_FAILURE]
    assert actual == expected
    assert_shown(run, text, "red" if failed else "yellow")
    assert_window(run.window)
    calls = [(word, int(context)) for word, context, *_ in lines
             if word in ("create", "current", "delete")]
    deletes = [c for c in calls if c[0] == "delete"]
    binds = [c for c in calls if c == ("current", STAND_IN_CONTEXT)]
    if context_made:
        assert deletes == [("delete", STAND_IN_CONTEXT)], "context deleted once"
        assert calls[-1][0] == "delete", "the context's last call"
        assert len(binds) >= 3, "the context bound at every paint"
    else:
        assert deletes + binds == [], "calls on a context that was never made"
