"""The GL calls that reach the driver, recorded by apitrace under Wine: the program's string
reads on its freshly bound context, the scene setup once, then every frame against the state the
animation rules give it, tick by tick."""

import math
import struct

import gltrace
from expected import EXIT_NOTICE, assert_box, assert_report_box, foreign_report
from sessions import Run

# The frame as the animation state says it must be drawn; the state is modelled here with the
# same single-precision steps and bounds the program uses.

def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


class AnimationModel:
    ANGLE_STEPS = (f32(0.6), 1.0, f32(0.4))  # x, y, z

    def __init__(self):
        self.angles = [0.0, 0.0, 0.0]
        self.z, self.z_step = 0.0, f32(0.005)
        self.scale, self.scale_step = 1.0, f32(0.015)

    def tick(self):
        for i, step in enumerate(self.ANGLE_STEPS):
            total = self.angles[i] + step
            self.angles[i] = f32(total)
            if total > 360.0:
                self.angles[i] = f32(self.angles[i] - 360.0)
        self.z, self.z_step = self._bounce(self.z, self.z_step, -0.5, 0.5)
        self.scale, self.scale_step = self._bounce(self.scale, self.scale_step, 0.25, f32(1.65))

    def state(self):
        return self.angles + [self.z, self.scale]

    @staticmethod
    def _bounce(value, step, low, high):
        total = value + step
        value = f32(total)
        if total > high:
            return high, -step
        if value < low:
            return low, -step
        return value, step


def close(actual, expected, tolerance):
    return len(actual) == len(expected) and all(abs(a - e) <= tolerance
                                                for a, e in zip(actual, expected))


class CallReader:
    """Walks a list of calls, checking each against what must come next."""

    def __init__(self, calls, what):
        self.calls, self.position, self.what = calls, 0, what

    def next(self, name, args=None, what=None):
        what = what or self.what
        call = self.calls[self.position] if self.position < len(self.calls) else None
        assert call is not None and call.name == name, "%s: expected %s, got %r" % (what, name, call)
        self.position += 1
        for arg, text in (args or {}).items():
            assert call.text(arg) == text, "%s: %s argument %s" % (what, name, arg)
        return call

    def numbers(self, name, numbers, tolerance=1e-6, arg=None, what=None):
        call = self.next(name, what=what)
        assert close(call.numbers(arg), numbers, tolerance), \
            "%s: %r, expected %s" % (what or self.what, call, numbers)
        return call

    def rest(self):
        return self.calls[self.position:]


def perspective(fovy, aspect, near, far):
    """The column-major matrix of a perspective projection, as GLU defines it."""
    f = 1.0 / math.tan(math.radians(fovy) / 2)
    return [f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (far + near) / (near - far), -1,
            0, 0, 2 * far * near / (near - far), 0]


WHITE = [1, 1, 1, 1]
LIGHTS = (("GL_LIGHT0", [-5, 5, 5, 1]), ("GL_LIGHT1", [5, 0, 0, 1]))
MATERIAL = (("GL_AMBIENT", [0.1, 0.05, 0.0, 1.0]), ("GL_DIFFUSE", [0.65, 0.55, 0.15, 1.0]),
            ("GL_SPECULAR", [0.85, 0.75, 0.45, 1.0]))
FRAME_CLEAR = "GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT"
ICOSAHEDRON_TRIANGLES, FANS = 20, 12
FAN_CALLS = ["glNormal3fv"] + ["glVertex3fv"] * 3 + ["glNormal3fv", "glVertex3fv"] * 4


def check_setup(gl):
    """The setup's GL calls, from its first call on; returns how many there are."""
    r = CallReader(gl, "setup")
    r.next("glMatrixMode", {"mode": "GL_PROJECTION"})
    r.next("glLoadIdentity")
    # Wine's glu32 hands gluPerspective to the driver as the matrix it stands for.
    r.numbers("glMultMatrixd", perspective(45.0, 1.0, 1.0, 7.0), 1e-9, what="projection")
    r.numbers("glTranslatef", [0, 0, -4], what="camera offset")
    r.next("glMatrixMode", {"mode": "GL_MODELVIEW"})
    for light, position in LIGHTS:
        for pname, values in (("GL_AMBIENT", WHITE), ("GL_DIFFUSE", WHITE),
                              ("GL_SPECULAR", WHITE), ("GL_POSITION", position)):
            call = r.next("glLightfv", {"light": light, "pname": pname}, "lights")
            assert close(call.numbers("params"), values, 1e-6), "lights: %r" % call
    for cap in ("GL_LIGHTING", "GL_LIGHT0", "GL_LIGHT1"):
        r.next("glEnable", {"cap": cap})
    r.next("glNewList", {"list": "1", "mode": "GL_COMPILE"})
    for i in range(ICOSAHEDRON_TRIANGLES):
        what = "icosahedron triangle %d" % i
        r.next("glBegin", {"mode": "GL_TRIANGLES"}, what)
        for name in ("glNormal3fv", "glVertex3fv", "glVertex3fv", "glVertex3fv", "glEnd"):
            r.next(name, what=what)
    r.next("glEndList")
    for pname, values in MATERIAL:
        call = r.next("glMaterialfv", {"face": "GL_FRONT", "pname": pname}, "material")
        assert close(call.numbers("params"), values, 1e-6), "material: %r" % call
    r.next("glMaterialf", {"face": "GL_FRONT", "pname": "GL_SHININESS", "param": "100"})
    r.next("glEnable", {"cap": "GL_DEPTH_TEST"})
    r.next("glDepthFunc", {"func": "GL_LESS"})
    r.numbers("glClearColor", [0, 0, 0, 0])
    r.next("glFrontFace", {"mode": "GL_CCW"})
    r.next("glCullFace", {"mode": "GL_BACK"})
    r.next("glEnable", {"cap": "GL_CULL_FACE"})
    r.next("glShadeModel", {"mode": "GL_FLAT"})
    r.next("glFinish")
    return r.position


def extension_listings(calls):
    """Finds where Wine answered a GL_EXTENSIONS read by listing the driver's extensions one by
    one, as Wine 10 does: GL_NUM_EXTENSIONS, then glGetStringi for each index from 0 up, none left
    out and nothing in between. Returns the calls with each such listing in place of its calls,
    as the tuple ("extension listing", names)."""
    out, i = [], 0
    while i < len(calls):
        c = calls[i]
        if c.name == "glGetIntegerv" and c.text("pname") == "GL_NUM_EXTENSIONS":
            count = int(c.numbers("params")[0])
            names = []
            for index, item in enumerate(calls[i + 1:i + 1 + count]):
                if (item.name != "glGetStringi" or item.text("name") != "GL_EXTENSIONS" or
                        item.text("index") != str(index)):
                    break
                names.append(item.result.strip('"'))
            if count and len(names) == count:
                out.append(("extension listing", names))
                i += 1 + count
                continue
        out.append(c)
        i += 1
    return out


def check_string_reads(calls, strings):
    """The calls before the setup: the program reads the driver's strings on its freshly bound
    context, vendor first, right before the setup. Wine's own reads come earlier, on a context of
    its own. Wine 8 answers GL_EXTENSIONS from the list it filtered then, so only the first three
    of the program's four reads reach the driver (the relay trace sees all four); Wine 10 answers
    it by reading GL_VERSION again and listing the driver's extensions one by one, which must then
    hold every GL extension the program was shown. 32-bit Wine asks the driver twice for each
    string the program reads: a run of equal reads is one read."""
    calls = extension_listings(calls)
    others = [c.name for c in calls if isinstance(c, gltrace.Call) and not c.name.startswith("glX")
              and c.name != "glGetString"]
    assert others == [], "GL calls before the setup other than string reads"
    bound = max(i for i, c in enumerate(calls)
                if isinstance(c, gltrace.Call) and c.name == "glXMakeCurrent")
    # Wine's own GLX calls (a program has none) may come between the reads.
    reads = [(c.name, c.text("name"), c.result) if isinstance(c, gltrace.Call) else c[0]
             for c in calls[bound + 1:] if not isinstance(c, gltrace.Call) or c.name[:3] != "glX"]
    reads = [r for i, r in enumerate(reads) if i == 0 or r != reads[i - 1]]
    expected = [("glGetString", name, '"%s"' % strings[key]) for name, key in (
        ("GL_VENDOR", "vendor"), ("GL_RENDERER", "renderer"), ("GL_VERSION", "version"))]
    listings = [c[1] for c in calls[bound + 1:] if isinstance(c, tuple)]
    if listings:
        expected.append("extension listing")
        shown = [name for name in strings["extensions"].split() if name.startswith("GL_")]
        assert [name for name in shown if name not in listings[0]] == [], \
            "extensions the program was shown that Wine's listing lacks"
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


def check_frame(index, frame, client, model):
    """One frame's calls, against the animation state it must show."""
    what = "frame %d" % index
    swaps = [i for i, c in enumerate(frame) if c.name.startswith("glXSwap")]
    assert len(swaps) == 1, "%s: buffer swaps" % what
    assert frame[swaps[0] - 1].name == "glCallList" and not gl_only(frame[swaps[0]:]), \
        "%s: the swap ends the frame, after the icosahedron's list" % what
    r = CallReader(gl_only(frame), what)
    r.numbers("glViewport", [0, 0] + list(client))
    r.next("glClear", {"mask": FRAME_CLEAR})
    r.next("glLoadIdentity")
    ax, ay, az = model.angles
    for angle, axis in ((az, [0, 0, 1]), (ay, [0, 1, 0]), (ax, [1, 0, 0])):
        r.numbers("glRotatef", [angle] + axis, 1e-4)
    r.numbers("glTranslatef", [0, 0, model.z])
    for k in range(FANS):
        fan = "%s, fan %d" % (what, k)
        r.next("glBegin", {"mode": "GL_TRIANGLE_FAN"}, fan)
        body = [r.next(name, what=fan) for name in FAN_CALLS]
        r.next("glEnd", what=fan)
        vertices = [c.numbers("v") for c in body if c.name == "glVertex3fv"]
        # The apex lies on its vertex's ray at `scale` from the centre; the fan closes on d0.
        assert abs(math.dist(vertices[0], [0, 0, 0]) - model.scale) < 1e-5, \
            "%s: apex %s at the scale %.6f" % (fan, vertices[0], model.scale)
        assert vertices[-1] == vertices[1], fan + ": the closing vertex"
    r.next("glCallList", {"list": "1"})
    assert not r.rest(), "%s: calls after the icosahedron's list: %r" % (what, r.rest()[:3])


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


def match_model(index, state, model):
    """Advances the model tick by tick until it shows the frame's state; returns the ticks."""
    for ticks in range(MAX_TICKS_BETWEEN_FRAMES + 1):
        if all(abs(a - e) <= t for a, e, t in zip(state, model.state(), STATE_TOLERANCE)):
            return ticks
        model.tick()
    raise AssertionError("frame %d shows %s, which the animation does not reach within %d "
                            "ticks of the frame before" % (index, state, MAX_TICKS_BETWEEN_FRAMES))



def test_frames_against_the_animation(wine, keep):
    """The GL calls that reach the driver: the setup once, then per frame the viewport, the
    clear, the turned and moved model-view matrix of the animation state, the twelve fans, the
    icosahedron's list and one buffer swap."""
    # The witness runs untraced, so that the trace holds the program's calls alone.
    strings = wine.strings(Run())
    run = wine.run(Run(apitrace=True), ["box", "window", "changes:%d" % ANIMATION_CHANGES,
                                        "escape", "box", "exit"], keep)
    report, notice = run.boxes
    assert_report_box(report, foreign_report(strings), "yellow")
    assert_box(notice, EXIT_NOTICE, "red")
    assert run.exits == [0]
    client = run.window["client"]

    calls = gltrace.read_dump(run.trace, every_call=True)
    setup_start = next(i for i, c in enumerate(calls) if c.name == "glMatrixMode")
    check_string_reads(calls[:setup_start], strings)
    gl = gl_only(calls[setup_start:])
    used = check_setup(gl)
    assert gl[used].name == "glViewport", "the call after the setup"
    assert sum(c.name == "glNewList" for c in gl) == 1, "display lists compiled"

    frames = split_frames(calls[calls.index(gl[used]):])
    assert len(frames) >= ANIMATION_CHANGES, "a frame for every change on screen"
    # The first frame is painted when the window is shown, before the first tick; every later
    # frame follows at least one tick.
    model, total, idle = AnimationModel(), 0, []
    for index, frame in enumerate(frames):
        ticks = match_model(index, frame_state(frame), model)
        if index and ticks == 0:
            idle.append(index)
        if index == 0:
            assert ticks == 0, "ticks before the first frame"
        total += ticks
        check_frame(index, frame, client, model)
    assert not idle, "frames that show the same state as the frame before"
    assert total > FULL_TURN_TICKS, "the animation ran past the first full turn"
    print("%d frames over %d ticks checked after a setup of %d calls" % (len(frames), total, used))
