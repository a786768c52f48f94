"""Runs Windows programs under Wine on a private X screen, for the end-to-end tests and the tools:
a `Run` is all a run's outcome depends on besides its steps; a `Session` one screen with one
wineserver on the shared prefix; `Wine` keeps a session while the runs ask for its screen."""

import collections
import contextlib
import dataclasses
import fcntl
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pefile
import psutil

import gltrace
import relay
from expected import DRIVER_KEY, WIDTH_VALUE
from screens import Screen

WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
# The registry keys the sessions set, named as a .reg file names them.
DRIVER_SECTION = "HKEY_LOCAL_MACHINE\\" + DRIVER_KEY
RELAY_SECTION = r"HKEY_CURRENT_USER\Software\Wine\Debug"
X11_DRIVER_SECTION = r"HKEY_CURRENT_USER\Software\Wine\X11 Driver"
# The Wine prefix of the checkout: both Windows presets' tests and the tools boot it once and
# take turns on it (a session locks it).
PREFIX = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                      "build", "wine-prefix")
# Wine's own Marlett (fonts-wine), which caption buttons are drawn from. Debian's Wine 8 looks for
# its fonts under a path it cannot open ("<data dir>\../fonts"): without a copy in the prefix's
# Fonts folder the buttons show Marlett's character codes ("0 1 r") in another font.
MARLETT = "/usr/share/wine/fonts/marlett.ttf"


@dataclasses.dataclass(frozen=True)
class Run:
    """Everything a run's outcome depends on besides the steps taken.
    `gl`: (name, value) pairs of Mesa's settings, the driver the run poses.
    `width`: the registry's width value as a .reg file writes it (dword:00000020, hex:08, "16");
    "": the driver's key without the value; None: no driver key.
    `relay`: the functions Wine's relay trace follows; any turns the trace on.
    `stand_in`: the step the stand-in opengl32 fails ("nothing": none); None: Wine's own."""
    screen: Screen = Screen()
    gl: tuple = ()
    width: str = None
    relay: tuple = ()
    apitrace: bool = False
    stand_in: str = None


def wine_env(prefix, display):
    env = {name: value for name, value in os.environ.items()
           # Settings of the caller's own GL or Wine must not leak into a run.
           if not name.startswith(("force_gl_", "MESA_", "WINE", "FAKE_GL_"))
           and name not in ("LD_PRELOAD", "TRACE_FILE")}
    env.update({"WINEPREFIX": prefix, "WINEARCH": "win64", "WINELOADER": WINE64,
                "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=", "DISPLAY": display})
    return env


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def log(message):
    print(message, file=sys.stderr, flush=True)


def wait_for(condition, timeout, what, interval=0.05):
    """Polls `condition` until it holds; fails naming `what` when `timeout` seconds pass first."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("waited %d s for %s" % (timeout, what))
        time.sleep(interval)


def end_wineserver(prefix):
    """Ends the prefix's wineserver, and with it every Wine process of the prefix."""
    subprocess.run([WINESERVER, "-k"], env=wine_env(prefix, ""), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)


def ensure_prefix(prefix=PREFIX):
    """Boots the Wine prefix once (a lock keeps parallel tests from booting it twice); later
    sessions reuse it."""
    os.makedirs(os.path.dirname(prefix), exist_ok=True)
    with open(prefix + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(os.path.join(prefix, ".booted")):
            shutil.rmtree(prefix, ignore_errors=True)
            screen, started = Screen().start(), time.time()
            try:
                subprocess.run([WINE64, "wineboot", "-i"], env=wine_env(prefix, screen.display),
                               check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               timeout=1800)
                end_wineserver(prefix)
                log("booted the Wine prefix in %.0f s" % (time.time() - started))
            finally:
                screen.close()
            open(os.path.join(prefix, ".booted"), "w").close()
        # Also into a prefix booted before; copy2 keeps the file's time, so Wine's font cache in
        # the prefix stays valid.
        shutil.copy2(MARLETT, os.path.join(prefix, "drive_c", "windows", "Fonts"))
    return prefix


def import_registry(env, lines):
    """Imports the lines of a .reg file (after its header) with one regedit run."""
    with tempfile.NamedTemporaryFile("w", suffix=".reg", newline="\r\n") as f:
        f.write("\n".join(["REGEDIT4", ""] + lines + [""]))
        f.flush()
        subprocess.run([WINE64, "regedit", "/S", windows_path(f.name)], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)


def registry_lines(run):
    """The driver's key and the relay trace's list as `run` has them, as one .reg import."""
    lines = ["[-%s]" % DRIVER_SECTION] + ["[%s]" % DRIVER_SECTION] * (run.width is not None)
    lines += ['"%s"=%s' % (WIDTH_VALUE, run.width)] * bool(run.width)
    return lines + ["", "[%s]" % RELAY_SECTION,
                    '"RelayInclude"=' + ('"%s"' % ";".join(run.relay) if run.relay else "-")]


def image_range(exe):
    """[start, end) of the exe's image as loaded at its preferred base."""
    header = pefile.PE(exe, fast_load=True).OPTIONAL_HEADER
    return header.ImageBase, header.ImageBase + header.SizeOfImage


def pids_in_prefix(prefix, exe_name):
    """Processes of this Wine prefix (other prefixes may be busy at the same time) started from
    a program whose name begins so (the wineserver is wineserver64 on a 64-bit host)."""
    found = []
    for process in psutil.process_iter(["cmdline"]):
        try:
            argv = process.info["cmdline"] or []
            name = os.path.basename(argv[0].replace("\\", "/")).lower() if argv else ""
            if name.startswith(exe_name.lower()) and process.environ().get("WINEPREFIX") == prefix:
                found.append(process.pid)
        except psutil.Error:
            pass  # gone, or not ours to read
    return found


@dataclasses.dataclass
class Outcome:
    """What a run showed: the driver's events in order, Wine's messages (the relay trace among
    them), and the files the run wrote (the GL trace, the stand-in's log)."""
    run: Run
    steps: list
    exe: str
    events: list
    stderr: str
    trace: str
    stand_in_log: str

    def of(self, kind):
        return [e[kind] for e in self.events if kind in e]

    boxes = property(lambda self: self.of("box"))
    window = property(lambda self: self.of("window")[0])
    exits = property(lambda self: self.of("exit"))

    def calls(self, own=False):
        """The traced calls of the program's process; `own`: only those its own code made (Wine's
        libraries make some of the same calls inside the process)."""
        return relay.traced_calls(self.stderr, self.of("started")[0],
                                  image_range(self.exe) if own else None)

    def describe(self):
        return "run %s\nsteps %s\nevents:\n%s\nwine said (the end):\n%s" % (
            self.run, " ".join(self.steps), "\n".join(map(json.dumps, self.events)),
            self.stderr[-3000:])


# A run under way, as a pause sees it: the screen, the events so far, the file Wine writes to.
Live = collections.namedtuple("Live", "screen events stderr_path")


class Session:
    """One screen with one wineserver on the shared prefix."""

    def __init__(self, screen, prefix=PREFIX):
        ensure_prefix(prefix)
        self.prefix, self.screen_kind, self.applied = prefix, screen, None
        self.lock = open(prefix + ".lock", "w")
        # One session at a time per prefix: the wineserver and the registry are shared.
        fcntl.flock(self.lock, fcntl.LOCK_EX)
        # A run that was killed (by its timeout) never closed its session: its wineserver would
        # still hold the prefix, with the desktop on that run's screen.
        end_wineserver(prefix)
        self.screen = screen.start()
        self.env = wine_env(prefix, self.screen.display)
        # One wineserver and one set of Wine's own processes (services, explorer) for the whole
        # session, started apart from the runs: otherwise each run starts them anew, and a run's
        # output pipes stay open until that wineserver has lingered out.
        subprocess.run([WINESERVER, "-p"], env=self.env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        # No window manager runs on these screens: Wine then waits 2 s at every box that goes
        # away for one to acknowledge it, unless it leaves the windows unmanaged.
        import_registry(self.env, ["[%s]" % X11_DRIVER_SECTION, '"Managed"="N"'])

    def env_for(self, run, files=()):
        """The environment of a run's Wine processes; `files`: the run's trace and log paths."""
        extra = dict(run.gl)
        if run.relay:
            extra["WINEDEBUG"] = relay.DEBUG
        if run.stand_in:
            extra.update({"WINEDLLOVERRIDES": "mscoree,mshtml=;opengl32=n,b",
                          "FAKE_GL_FAIL": run.stand_in, "FAKE_GL_LOG": windows_path(files[1])})
        if run.apitrace:
            extra.update(gltrace.tracing_env(files[0]))
        return dict(self.env, **extra)

    def apply(self, run):
        """Puts the registry as `run` has it, when the last import wrote it otherwise: what is
        compared is the import itself, so whatever in a run changes the registry is seen."""
        lines = registry_lines(run)
        if lines != self.applied:
            import_registry(self.env, lines)
            self.applied = lines

    def wine(self, *args, env=None, check=True, timeout=600):
        return subprocess.run([WINE64] + list(args), env=env or self.env, check=check,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=timeout, text=True, errors="replace")

    def query(self, witness, run):
        """The driver's strings and the screen metrics, as the witness program sees them with
        the driver `run` poses."""
        result = self.wine(windows_path(witness), env=self.env_for(run), timeout=900)
        found = [json.loads(line) for line in result.stdout.splitlines() if line.startswith("{")]
        if not found or "vendor" not in found[0]:
            raise RuntimeError("the witness got no context: %s\n%s" % (
                found, result.stderr[-2000:]))
        return found[0]

    def drive(self, driver, program, steps, env=None, on_pause=None, on_event=None):
        """Runs the driver over the program; returns its JSON events and Wine's messages.
        `on_pause` is called for each pause with its name and the `Live` run (a failed assert
        there ends the run), `on_event` for each event as it arrives. The driver gives each step
        a deadline of its own; the test's deadline bounds the whole (pytest-timeout)."""
        # Wine's and Mesa's messages go to a file: a trace can be far larger than a pipe holds,
        # and a full pipe would stop the program.
        with tempfile.NamedTemporaryFile(mode="w+", errors="replace") as stderr:
            process = subprocess.Popen(
                [WINE64, windows_path(driver), windows_path(program)] + steps, env=env or self.env,
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=stderr, text=True,
                errors="replace")
            events = []
            try:
                for line in process.stdout:
                    if not line.startswith("{"):
                        continue
                    events.append(json.loads(line))
                    if on_event:
                        on_event(events[-1])
                    if "pause" in events[-1]:
                        if on_pause:
                            on_pause(events[-1]["pause"], Live(self.screen, events, stderr.name))
                        process.stdin.write("go\n")
                        process.stdin.flush()
                process.wait(timeout=60)  # it has said all, and ends by itself
            except (AssertionError, subprocess.TimeoutExpired) as failure:
                events.append({"error": "the run stopped: %s" % failure})
            finally:
                if process.poll() is None:
                    process.kill()
                    process.wait()
            stderr.seek(0)
            return events, stderr.read()

    def close(self):
        try:
            end_wineserver(self.prefix)
        finally:
            self.screen.close()
            self.lock.close()


class Wine:
    """The sessions of a test run, one open at a time (they share the prefix), each kept open
    for as long as the runs ask for its screen; the witness's answers, once per screen and
    driver; and the program, or its copy beside the stand-in opengl32. `record`, when set, is
    given each run's outcome (the fixture puts it in the test's report)."""

    def __init__(self, exe, driver, witness, fake_gl, workdir, prefix=PREFIX):
        self.exe, self.driver, self.witness, self.fake_gl = exe, driver, witness, fake_gl
        self.workdir, self.prefix = workdir, prefix
        self.current, self.answers, self.record = None, {}, None

    def session(self, screen):
        if self.current is None or self.current.screen_kind != screen:
            self.close()
            self.current = Session(screen, self.prefix)
        return self.current

    def strings(self, run):
        """The driver's strings and the screen metrics as a program on `run`'s screen sees them.
        The witness runs as `run` would but for what only the program under test is given; a
        setting added to `Run` reaches the witness, and its answers are kept under it."""
        seen_as = dataclasses.replace(run, width=None, relay=(), apitrace=False, stand_in=None)
        if seen_as not in self.answers:
            self.answers[seen_as] = self.session(run.screen).query(self.witness, seen_as)
        return self.answers[seen_as]

    def program_for(self, run):
        if not run.stand_in:
            return self.exe
        # Wine loads a native opengl32 only from the program's own folder.
        folder = os.path.join(self.workdir, "stand-in")
        os.makedirs(folder, exist_ok=True)
        shutil.copy(self.exe, folder)
        shutil.copy(self.fake_gl, os.path.join(folder, "opengl32.dll"))
        return os.path.join(folder, os.path.basename(self.exe))

    def run(self, run, steps, keep, on_pause=None, on_event=None):
        """Drives the program through `steps` in `run`'s setting; `keep` is the folder for the
        run's files. A run the driver could not finish fails here, explained."""
        session = self.session(run.screen)
        files = [os.path.join(keep, "run.trace"), os.path.join(keep, "stand-in.log")]
        try:
            session.apply(run)
            for path in files:
                if os.path.exists(path):
                    os.remove(path)
            program = self.program_for(run)
            events, stderr = session.drive(self.driver, program, steps,
                                           session.env_for(run, files), on_pause, on_event)
        except BaseException:
            # Whatever stopped the run (a failed pause callback, the test's deadline), its
            # program and the registry are in a state no later run may inherit.
            self.close()
            raise
        outcome = Outcome(run, steps, program, events, stderr,
                          files[0] if run.apitrace else None, files[1] if run.stand_in else None)
        if self.record:
            self.record(outcome)
        # A driver that never ran prints nothing, not even the program's start.
        errors = outcome.of("error") or ([] if events else ["it printed nothing"])
        if errors:
            # The program may still be running (a run out of time, a failed pause): the next run
            # starts on a session of its own.
            self.close()
        assert not errors, "the driver failed: %s" % errors
        return outcome

    def close(self):
        if self.current is not None:
            self.current.close()
            self.current = None


if __name__ == "__main__":
    # sessions.py PROGRAM [ARGUMENT...]: runs a Windows console program (the native suites built
    # as Windows code) on the tests' prefix, and passes its output and exit code on.
    with contextlib.closing(Session(Screen())) as console:
        done = console.wine(windows_path(sys.argv[1]), *sys.argv[2:], check=False, timeout=1500)
    sys.stdout.write(done.stdout)
    sys.stderr.write(done.stderr[-5000:])
    sys.exit(done.returncode)
