"""Runs Windows programs under Wine on a private X screen (Xvfb, or a real X server where the
desktop must have two monitors), for the end-to-end tests and for tools/run.

One Session is one screen and one wineserver: cases that need another screen (another size,
depth or no GLX) or other registry contents start a Session of their own, because a prefix's
desktop stays bound to the display its wineserver started on.
"""

import fcntl
import json
import os
import queue
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
# The registry keys the sessions set, named as a .reg file names them.
DRIVER_KEY = r"HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\BRISKO"
RELAY_KEY = r"HKEY_CURRENT_USER\Software\Wine\Debug"
X11_DRIVER_KEY = r"HKEY_CURRENT_USER\Software\Wine\X11 Driver"
# With +pid,+timestamp: "seconds:pid:tid:Call module.function(args) ret=caller" and
# "seconds:pid:tid:Ret  module.function() retval=result ret=caller".
RELAY_LINE = re.compile(r"^\s*(\d+\.\d+):([0-9a-f]+):([0-9a-f]+):(Call|Ret) +([\w.]+)\((.*)\)"
                        r"(?: retval=([0-9a-f]+))? ret=([0-9a-f]+)$")
# One argument: a number, for a string pointer followed by the string as Wine quotes it.
RELAY_ARG = re.compile(r'([0-9a-f]+)(?: L?"((?:[^"\\]|\\.)*)"(?:\.\.\.)?)?(?:,|$)')
RELAY_DEBUG = "+pid,+timestamp,+relay"
WIDTH_VALUE = "ICDInterface.LBWidth"
# The Wine prefix of the checkout: both Windows presets' tests and the tools boot it once and
# take turns on it (a session locks it).
PREFIX = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                      "build", "wine-prefix")


def wine_env(prefix, display, extra=None):
    env = dict(os.environ)
    for name in list(env):
        # Settings of the caller's own GL or Wine must not leak into a case.
        if name.startswith(("force_gl_", "MESA_", "WINE")) or name in ("LD_PRELOAD", "TRACE_FILE"):
            del env[name]
    env.update({
        "WINEPREFIX": prefix,
        "WINEARCH": "win64",
        "WINELOADER": WINE64,
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        "DISPLAY": display,
    })
    env.update(extra or {})
    return env


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class XServer:
    """A private X screen; the server picks a free display number itself and says it once it
    takes connections."""

    def _start(self, args):
        read_end, write_end = os.pipe()
        # -noreset: the screen keeps what a case set on it (a root colour) when its clients go.
        self.process = subprocess.Popen(
            args + ["-displayfd", str(write_end), "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("%s did not start" % args[0])
                number += chunk
        self.display = ":" + number.decode().strip()

    def screenshot(self, path):
        """Saves the whole screen; .ppm files are easy to read back in the tests."""
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class Xvfb(XServer):
    """One monitor: Xvfb shows Wine a single one, whatever screens it has."""

    def __init__(self, width=1024, height=768, depth=16, glx=True):
        args = ["Xvfb", "-screen", "0", "%dx%dx%d" % (width, height, depth)]
        if not glx:
            args += ["-extension", "GLX"]
        self._start(args)


class TwoMonitors(XServer):
    """Two monitors of 1024 x 768 side by side, as a PC with two boards or a dual-head board
    shows them: a real X server with the dummy video driver, its second output switched on with
    RandR, which Wine reads as a second monitor."""

    WIDTH, HEIGHT = 1024, 768
    # The standard 1024 x 768 mode at 60 Hz.
    MODELINE = "65.00 1024 1048 1184 1344 768 771 777 806 -hsync -vsync"
    CONFIG = """Section "ServerFlags"
    Option "AutoAddDevices" "false"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 65536
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    DefaultDepth %(depth)d
    SubSection "Display"
        Depth %(depth)d
        Virtual %(width)d %(height)d
    EndSubSection
EndSection
"""

    def __init__(self, depth=24):
        self.workdir = tempfile.mkdtemp(prefix="two-monitors-")
        config = os.path.join(self.workdir, "xorg.conf")
        with open(config, "w") as f:
            f.write(self.CONFIG % {"depth": depth, "width": 2 * self.WIDTH, "height": self.HEIGHT})
        self._start(["/usr/lib/xorg/Xorg", "-config", config,
                     "-logfile", os.path.join(self.workdir, "Xorg.log")])
        mode = "%dx%d_two" % (self.WIDTH, self.HEIGHT)
        self.xrandr("--newmode", mode, *self.MODELINE.split())
        self.xrandr("--addmode", "DUMMY1", mode)
        self.xrandr("--output", "DUMMY1", "--mode", mode, "--right-of", "DUMMY0")
        # Wine reads the outputs as the server last probed them, and after the change it was
        # seen to find one monitor until a client asked for the monitors again: ask, and make
        # sure there are two.
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


def end_wineserver(prefix):
    """Ends the prefix's wineserver, and with it every Wine process of the prefix."""
    subprocess.run([WINESERVER, "-k"], env=wine_env(prefix, ""), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)


def ensure_prefix(prefix, log=None):
    """Boots the Wine prefix once; later cases reuse it. A lock keeps parallel tests from
    booting it twice."""
    os.makedirs(os.path.dirname(prefix), exist_ok=True)
    with open(prefix + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(os.path.join(prefix, ".booted")):
            return
        shutil.rmtree(prefix, ignore_errors=True)
        screen = Xvfb()
        try:
            env = wine_env(prefix, screen.display)
            started = time.time()
            subprocess.run([WINE64, "wineboot", "-i"], env=env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=1800)
            end_wineserver(prefix)
            if log:
                log("booted the Wine prefix in %.0f s" % (time.time() - started))
        finally:
            screen.close()
        open(os.path.join(prefix, ".booted"), "w").close()


def import_registry(env, lines):
    """Imports the lines of a .reg file (after its header) with one regedit run."""
    with tempfile.NamedTemporaryFile("w", suffix=".reg", newline="\r\n") as f:
        f.write("\n".join(["REGEDIT4", ""] + lines + [""]))
        f.flush()
        subprocess.run([WINE64, "regedit", "/S", windows_path(f.name)], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)


def prefix_for_desktop(display):
    """The prefix, booted, for a run on the user's own desktop, where a window manager runs:
    Wine manages the windows there again (the test sessions leave them unmanaged)."""
    ensure_prefix(PREFIX, log)
    import_registry(wine_env(PREFIX, display), ["[%s]" % X11_DRIVER_KEY, '"Managed"=-'])
    return PREFIX


class Session:
    """One screen with one wineserver on the shared prefix."""

    def __init__(self, prefix, width=1024, height=768, depth=16, glx=True, env=None,
                 two_monitors=False):
        ensure_prefix(prefix)
        self.prefix = prefix
        self.lock = open(prefix + ".lock", "w")
        # One session at a time per prefix: the wineserver and the registry are shared.
        fcntl.flock(self.lock, fcntl.LOCK_EX)
        # A case that was killed (by its timeout) never closed its session: its wineserver would
        # still hold the prefix, with the desktop on that case's screen.
        end_wineserver(prefix)
        self.screen = TwoMonitors(depth) if two_monitors else Xvfb(width, height, depth, glx)
        self.env = wine_env(prefix, self.screen.display, env)
        # One wineserver and one set of Wine's own processes (services, explorer) for the whole
        # session, started apart from the runs: otherwise each run starts them anew, and a run's
        # output pipes stay open until that wineserver has lingered out.
        subprocess.run([WINESERVER, "-p"], env=self.env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        # No window manager runs on these screens: Wine then waits 2 s at every box that goes
        # away for one to acknowledge it, unless it leaves the windows unmanaged.
        import_registry(self.env, ["[%s]" % X11_DRIVER_KEY, '"Managed"="N"'])

    def wine(self, *args, check=True, timeout=600):
        return subprocess.run([WINE64] + list(args), env=self.env, check=check,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=timeout, text=True, errors="replace")

    def set_registry(self, width=(None, None), relay=()):
        """Sets the driver's key and the relay trace's list with one regedit import. `width`:
        (None, None) removes the key; ("missing", None) keeps the key without the value;
        otherwise a value type (REG_DWORD, REG_SZ, REG_BINARY) with its data as reg.exe takes it.
        `relay`: the functions (module.function) Wine's relay trace logs in every process, for a
        session whose env carries WINEDEBUG=RELAY_DEBUG; none removes the list."""
        kind, data = width
        lines = ["[-%s]" % DRIVER_KEY] + (["[%s]" % DRIVER_KEY] if kind else [])
        value = {"REG_DWORD": lambda: "dword:%08x" % int(data, 0), "REG_SZ": lambda: '"%s"' % data,
                 "REG_BINARY": lambda: "hex:" + ",".join(re.findall("..", data))}
        if kind in value:
            lines.append('"%s"=%s' % (WIDTH_VALUE, value[kind]()))
        lines += ["", "[%s]" % RELAY_KEY,
                  '"RelayInclude"=' + ('"%s"' % ";".join(relay) if relay else "-")]
        import_registry(self.env, lines)

    def query(self, witness):
        """The driver's strings and the screen metrics, as the witness program sees them."""
        result = self.wine(windows_path(witness), timeout=900)
        for line in result.stdout.splitlines():
            if line.startswith("{"):
                found = json.loads(line)
                if not found["format"] or "vendor" not in found:
                    raise RuntimeError("the witness got no context (pixel format %d): %s" %
                                       (found["format"], result.stderr[-2000:]))
                return found
        raise RuntimeError("the witness printed nothing: " + result.stderr[-2000:])

    def drive(self, driver, program, steps, on_pause=None, timeout=900, on_event=None):
        """Runs the driver over the program; returns the list of its JSON events. `on_pause`
        is called for each pause (with its name and the screen), `on_event` for each event as
        it arrives."""
        # Wine's and Mesa's messages go to a file: a trace can be far larger than a pipe holds,
        # and a full pipe would stop the program.
        stderr_file = tempfile.TemporaryFile(mode="w+", errors="replace")
        process = subprocess.Popen([WINE64, windows_path(driver), windows_path(program)] + steps,
                                   env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=stderr_file, text=True, errors="replace")
        # A thread of its own reads the lines (None at their end), so that the deadline holds
        # while the driver is silent too.
        lines = queue.Queue()

        def read_lines():
            for line in process.stdout:
                lines.put(line)
            lines.put(None)

        threading.Thread(target=read_lines, daemon=True).start()
        events = []
        deadline = time.monotonic() + timeout
        try:
            while True:
                try:
                    line = lines.get(timeout=max(0.0, deadline - time.monotonic()))
                except queue.Empty:
                    events.append({"error": "the run did not end within %d s" % timeout})
                    break
                if line is None:
                    process.wait(timeout=max(1.0, deadline - time.monotonic()))
                    break
                line = line.strip()
                if not line.startswith("{"):
                    continue
                event = json.loads(line)
                events.append(event)
                if on_event:
                    on_event(event)
                if "pause" in event:
                    if on_pause:
                        on_pause(event["pause"], self.screen)
                    process.stdin.write("go\n")
                    process.stdin.flush()
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
        stderr_file.seek(0)
        self.stderr = stderr_file.read()
        stderr_file.close()
        return events

    def close(self):
        try:
            end_wineserver(self.prefix)
        finally:
            self.screen.close()
            self.lock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class RelayCall:
    """One traced call: when (ms), what, its arguments (numbers, and the strings Wine showed for
    string pointers), what it returned and the address it returned to."""

    def __init__(self, ms, name, args, texts, caller):
        self.ms, self.name, self.args, self.texts, self.caller = ms, name, args, texts, caller
        self.result = None

    def __repr__(self):
        return "%s(%s) = %s" % (self.name, ", ".join(
            repr(t) if t is not None else "%#x" % a for a, t in zip(self.args, self.texts)),
            self.result if self.result is None else "%#x" % self.result)


def unquote(text):
    """A string as Wine's trace quotes it: backslash escapes for \\, quotes and control
    characters."""
    return re.sub(r"\\(x[0-9a-f]{2}|.)", lambda m: {"n": "\n", "r": "\r", "t": "\t"}.get(
        m.group(1), chr(int(m.group(1)[1:], 16)) if m.group(1)[0] == "x" else m.group(1)), text)


def traced_calls(stderr, pid, image=None):
    """The traced calls of one Windows process in order, with their results; with `image`
    ([start, end) of a module's image), only the calls made from inside that module."""
    calls, open_calls = [], {}
    for line in stderr.splitlines():
        m = RELAY_LINE.match(line)
        if not m or int(m.group(2), 16) != pid:
            continue
        stack = open_calls.setdefault(m.group(3), [])
        name, caller = m.group(5), int(m.group(8), 16)
        if m.group(4) == "Call":
            found = list(RELAY_ARG.finditer(m.group(6)))
            call = RelayCall(float(m.group(1)) * 1000.0, name, [int(a.group(1), 16) for a in found],
                             [a.group(2) if a.group(2) is None else unquote(a.group(2))
                              for a in found], caller)
            stack.append(call)
            if image is None or image[0] <= caller < image[1]:
                calls.append(call)
        else:
            for i in range(len(stack) - 1, -1, -1):
                if stack[i].name == name and stack[i].caller == caller:
                    stack.pop(i).result = int(m.group(7), 16)
                    break
    return calls


# The calls that take a handle and those that give one back: the kind of handle, and the
# arguments that name it (None: the call's result). A paint is named by its window and paint
# structure, a timer by its window and id.
HANDLE_TAKES = {
    "user32.GetDC": ("dc", None), "user32.GetDCEx": ("dc", None), "user32.GetWindowDC": ("dc", None),
    "user32.BeginPaint": ("paint", (0, 1)),
    "gdi32.CreateCompatibleDC": ("made dc", None), "gdi32.CreateDCA": ("made dc", None),
    "gdi32.CreateSolidBrush": ("object", None), "gdi32.CreateBrushIndirect": ("object", None),
    "gdi32.CreatePen": ("object", None), "gdi32.CreateFontIndirectA": ("object", None),
    "gdi32.CreateCompatibleBitmap": ("object", None), "gdi32.CreateRectRgn": ("object", None),
    "user32.CreateWindowExA": ("window", None), "user32.SetTimer": ("timer", (0, 1)),
    "opengl32.wglCreateContext": ("context", None)}
HANDLE_GIVES = {
    "user32.ReleaseDC": ("dc", (1,)), "gdi32.DeleteObject": ("object", (0,)),
    "gdi32.DeleteDC": ("made dc", (0,)), "user32.EndPaint": ("paint", (0, 1)),
    "user32.DestroyWindow": ("window", (0,)), "user32.KillTimer": ("timer", (0, 1)),
    "opengl32.wglDeleteContext": ("context", (0,))}


def handles_held(calls):
    """Pairs each handle a call took with the call that gave it back, by the handle's value and
    the calls' results: a take that failed holds nothing, and a give that failed, or that names no
    handle held, gives nothing back. Returns the takes never given back and those gives."""
    held, strays = {}, []
    for call in calls:
        table = HANDLE_TAKES if call.name in HANDLE_TAKES else HANDLE_GIVES
        if call.name not in table:
            continue
        kind, where = table[call.name]
        key = (kind,) + (tuple(call.args[i] for i in where) if where else (call.result,))
        if table is HANDLE_TAKES:
            if call.result:
                held.setdefault(key, []).append(call)
        elif call.result and held.get(key):
            held[key].pop()
        else:
            strays.append(call)
    return [call for taken in held.values() for call in taken], strays


def read_file(path, mode="r"):
    """A file's contents, or None when it cannot be read (a process that has just ended)."""
    try:
        with open(path, mode) as f:
            return f.read()
    except OSError:
        return None


def pids_in_prefix(prefix, matches):
    """Processes of this Wine prefix (other prefixes may be busy at the same time) whose command
    line satisfies `matches`."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        environ = read_file("/proc/%s/environ" % pid, "rb")
        cmdline = read_file("/proc/%s/cmdline" % pid, "rb")
        if environ is None or cmdline is None:
            continue
        if ("WINEPREFIX=" + prefix).encode() in environ.split(b"\0"):
            if matches([a.decode(errors="replace") for a in cmdline.split(b"\0") if a]):
                found.append(int(pid))
    return found


def expected_header(strings):
    """The report's first part as the program must show it: the four strings, cut where a
    1,024-byte formatting buffer (terminator included) cuts it."""
    parts = [strings.get(name) or "" for name in ("vendor", "renderer", "version", "extensions")]
    return ("Current OpenGL Driver:\n\n%s\n%s\n%s\n%s\n" % tuple(parts))[:1023]


def log(message):
    print(message, file=sys.stderr, flush=True)
