"""The GL calls that reach the driver, recorded by apitrace under Wine: the program's string
reads on its freshly bound context, the scene setup once, then every frame against the state the
animation rules give it, tick by tick."""

import math
import struct

import pytest

import gltrace
from expected import assert_shown, foreign_report
from sessions import Run

# The frame as the animation state says it must be drawn; the state is modelled here with the
# same single-precision steps and bounds the program uses.

def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


ANGLE_STEPS = (f32(0.6), 1.0, f32(0.4))  # x, y, z


def bounce(value, step, low, high):
    total = value + step
    value = f32(total)
    if total > high:
        return high, -step
    if value < low:
        return low, -step
    return value, step


def animation_states():
    """The animation state tick after tick from the start: the angles about x, y and z, the
    offset along z and the scale."""
    angles, z, z_step, scale, scale_step = [0.0, 0.0, 0.0], 0.0, f32(0.005), 1.0, f32(0.015)
    while True:
        yield angles + [z, scale]
        for i, step in enumerate(ANGLE_STEPS):
            total = angles[i] + step
            angles[i] = f32(f32(total) - 360.0) if total > 360.0 else f32(total)
        z, z_step = bounce(z, z_step, -0.5, 0.5)
        scale, scale_step = bounce(scale, scale_step, 0.25, f32(1.65))


def expected_call(name, tolerance=1e-6, **args):
    """A call that must come: its name, and each named argument exactly, or a list of numbers
    within `tolerance` (`every`: the numbers of all its arguments in order)."""
    return name, args, tolerance


def check_calls(calls, expected, what):
    """Each call against the one that must come in its place; returns how many those are."""
    for index, (name, args, tolerance) in enumerate(expected):
        call = calls[index] if index < len(calls) else None
        assert call is not None and call.name == name, \
            "%s, call %d: expected %s, got %r" % (what, index, name, call)
        for arg, value in args.items():
            numbers = isinstance(value, list)
            actual = call.numbers(None if arg == "every" else arg) if numbers else call.args[arg]
            assert actual == (pytest.approx(value, abs=tolerance) if numbers else value), \
                "%s, call %d: %r" % (what, index, call)
    return len(expected)


FANS = 12
# The scene setup's calls, glFinish after them. The GL call-sequence tests check each of them with
# its arguments, to the bit; here they are counted, between the string reads and the first frame.
SETUP_CALLS = 5 + 8 + 3 + 1 + 20 * 6 + 1 + 4 + 7 + 1
FAN = ([expected_call("glBegin", mode="GL_TRIANGLE_FAN"), expected_call("glNormal3fv")] +
       [expected_call("glVertex3fv")] * 3 +
       [expected_call("glNormal3fv"), expected_call("glVertex3fv")] * 4 + [expected_call("glEnd")])


def extension_listings(calls):
    """The calls with each place where Wine (10) answered a GL_EXTENSIONS read by listing the
    driver's extensions (GL_NUM_EXTENSIONS, then glGetStringi for each index from 0 up, nothing
    in between) as one call "extension listing" that returned the names."""
    out, i = [], 0
    while i < len(calls):
        c = calls[i]
        if c.name == "glGetIntegerv" and c.args["pname"] == "GL_NUM_EXTENSIONS":
            count = c.args["params"][0]
            names = []
            for index, item in enumerate(calls[i + 1:i + 1 + count]):
                if item[:2] != ("glGetStringi", {"name": "GL_EXTENSIONS", "index": index}):
                    break
                names.append(item.result)
            if count and len(names) == count:
                out.append(gltrace.Call("extension listing", {}, names))
                i += 1 + count
                continue
        out.append(c)
        i += 1
    return out


def check_string_reads(calls, strings):
    """The calls before the setup: the program reads the driver's strings on its freshly bound
    context, vendor first, right before the setup (Wine's own reads come earlier). Wine 8 answers
    GL_EXTENSIONS itself (the relay trace sees the read); Wine 10 lists the driver's extensions,
    every one the program was shown among them. 32-bit Wine asks twice: equal reads are one."""
    # Wine's own GLX calls (a program has none) may come between the reads.
    calls = [c for c in extension_listings(calls) if not c.name.startswith("glX") or
             c.name == "glXMakeCurrent"]
    others = [c.name for c in calls
              if c.name not in ("glGetString", "glXMakeCurrent", "extension listing")]
    assert others == [], "GL calls before the setup other than string reads"
    bound = max(i for i, c in enumerate(calls) if c.name == "glXMakeCurrent")
    reads = [(c.name, c.args.get("name"), c.result) for c in calls[bound + 1:]]
    reads = [r for i, r in enumerate(reads) if i == 0 or r != reads[i - 1]]
    # What a listing holds is compared with what the program was shown; below, its place.
    listings = [read[2] for read in reads if read[0] == "extension listing"]
    shown = [name for name in strings["extensions"].split() if name.startswith("GL_")]
    assert [name for names in listings for name in shown if name not in names] == [], \
        "extensions the program was shown that Wine's listing lacks"
    reads = [read[:2] if read[0] == "extension listing" else read for read in reads]
    expected = [("glGetString", name, strings[key]) for name, key in (
        ("GL_VENDOR", "vendor"), ("GL_RENDERER", "renderer"), ("GL_VERSION", "version"))]
    expected += [("extension listing", None)] * bool(listings)
    assert reads == expected, "the calls between binding the program's context and the setup"


def split_frames(calls):
    """Each frame from its glViewport to the next one's, GL and GLX calls together."""
    frames = []
    for call in calls:
        if call.name == "glViewport":
            frames.append([])
        if frames:
            frames[-1].append(call)
    return frames


def gl_only(calls):
    return [c for c in calls if not c.name.startswith("glX")]


def check_frame(index, frame, client, state):
    """One frame's calls, against the animation state it must show."""
    what = "frame %d" % index
    swaps = [i for i, c in enumerate(frame) if c.name.startswith("glXSwap")]
    assert len(swaps) == 1, "%s: buffer swaps" % what
    assert frame[swaps[0] - 1].name == "glCallList" and not gl_only(frame[swaps[0]:]), \
        "%s: the swap ends the frame, after the icosahedron's list" % what
    gl = gl_only(frame)
    ax, ay, az, z, scale = state
    expected = ([expected_call("glViewport", every=[0, 0] + list(client)),
                 expected_call("glClear", mask=("GL_DEPTH_BUFFER_BIT", "GL_COLOR_BUFFER_BIT")),
                 expected_call("glLoadIdentity")] +
                [expected_call("glRotatef", 1e-4, every=[angle] + axis)
                 for angle, axis in ((az, [0, 0, 1]), (ay, [0, 1, 0]), (ax, [1, 0, 0]))] +
                [expected_call("glTranslatef", every=[0, 0, z])] + FAN * FANS +
                [expected_call("glCallList", list=1)])
    assert check_calls(gl, expected, what) == len(gl), "%s: calls after the list" % what
    for k, start in enumerate(i for i, c in enumerate(gl) if c.name == "glBegin"):
        vertices = [c.numbers("v") for c in gl[start:start + len(FAN)] if c.name == "glVertex3fv"]
        # The apex lies on its vertex's ray at `scale` from the centre; the fan closes on d0.
        assert abs(math.dist(vertices[0], [0, 0, 0]) - scale) < 1e-5, \
            "%s, fan %d: apex %s at the scale %.6f" % (what, k, vertices[0], scale)
        assert vertices[-1] == vertices[1], "%s, fan %d: the closing vertex" % (what, k)


def frame_state(frame):
    """The animation state a frame shows: the three angles, the offset along z and the scale
    (the distance of the first fan's apex from the centre)."""
    rotations = [c.numbers("angle")[0] for c in frame if c.name == "glRotatef"]
    offsets = [c.numbers("z")[0] for c in frame if c.name == "glTranslatef"]
    apex = next((c.numbers("v") for c in frame if c.name == "glVertex3fv"), None)
    assert len(rotations) == 3 and len(offsets) == 1 and apex, \
        "a frame with %d rotations, %d translations" % (len(rotations), len(offsets))
    az, ay, ax = rotations
    return [ax, ay, az, offsets[0], math.dist(apex, [0, 0, 0])]


STATE_TOLERANCE = [1e-4, 1e-4, 1e-4, 1e-6, 1e-5]
MAX_TICKS_BETWEEN_FRAMES = 200
FULL_TURN_TICKS = 360   # the first wrap of the angle about y comes after 360 ticks
# Each change on screen is a frame, and every frame after the first follows at least one tick:
# this many changes take the animation past the first wrap.
ANIMATION_CHANGES = FULL_TURN_TICKS + 2


def match_model(index, state, current, states):
    """Advances the animation tick by tick from its `current` state until it shows the frame's
    state; returns the ticks and that state."""
    for ticks in range(MAX_TICKS_BETWEEN_FRAMES + 1):
        if all(abs(a - e) <= t for a, e, t in zip(state, current, STATE_TOLERANCE)):
            return ticks, current
        current = next(states)
    raise AssertionError("frame %d shows %s, which the animation does not reach within %d "
                         "ticks of the frame before" % (index, state, MAX_TICKS_BETWEEN_FRAMES))


def test_frames_against_the_animation(wine, tmp_path):
    """The GL calls that reach the driver: the setup once, then per frame the viewport, the
    clear, the turned and moved model-view matrix of the animation state, the twelve fans, the
    icosahedron's list and one buffer swap."""
    # The witness runs untraced, so that the trace holds the program's calls alone.
    strings = wine.strings(Run())
    shown = wine.run(Run(apitrace=True), ["box", "window", "changes:%d" % ANIMATION_CHANGES,
                                          "escape", "box", "exit"], tmp_path)
    assert_shown(shown, foreign_report(strings), "yellow")
    client = shown.window["client"]

    calls = gltrace.read(shown.trace)
    setup_start = next(i for i, c in enumerate(calls) if c.name == "glMatrixMode")
    check_string_reads(calls[:setup_start], strings)
    gl = gl_only(calls[setup_start:])
    used = next(i for i, c in enumerate(gl) if c.name == "glViewport")
    assert [used, gl[used - 1].name] == [SETUP_CALLS, "glFinish"], "the setup's calls"
    assert sum(c.name == "glNewList" for c in gl) == 1, "display lists compiled"

    frames = split_frames(calls[calls.index(gl[used]):])
    assert len(frames) >= ANIMATION_CHANGES, "a frame for every change on screen"
    states = animation_states()
    current, ticks = next(states), []
    for index, frame in enumerate(frames):
        ticks.append(0)
        ticks[-1], current = match_model(index, frame_state(frame), current, states)
        check_frame(index, frame, client, current)
    # The first frame is painted when the window is shown, before the first tick; every later
    # frame follows at least one tick.
    assert [ticks[0], [i for i, t in enumerate(ticks) if i and not t]] == [0, []], \
        "ticks before the first frame, and frames that show the state of the frame before"
    assert sum(ticks) > FULL_TURN_TICKS, "the animation ran past the first full turn"
    print("%d frames over %d ticks checked after a setup of %d calls" % (len(frames), sum(ticks),
                                                                          used))
