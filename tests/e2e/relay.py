"""Reads Wine's relay trace: each traced call of a process with its arguments, its result and the
address it returned to, and which handles the calls took and never gave back."""

import codecs
import collections
import dataclasses
import re

# With +pid,+timestamp: "seconds:pid:tid:Call module.function(args) ret=caller" and
# "seconds:pid:tid:Ret  module.function() retval=result ret=caller".
RELAY_LINE = re.compile(r"^\s*(\d+\.\d+):([0-9a-f]+):([0-9a-f]+):(Call|Ret) +([\w.]+)\((.*)\)"
                        r"(?: retval=([0-9a-f]+))? ret=([0-9a-f]+)$")
# One argument: a number, for a string pointer followed by the string as Wine quotes it.
RELAY_ARG = re.compile(r'([0-9a-f]+)(?: L?"((?:[^"\\]|\\.)*)"(?:\.\.\.)?)?(?:,|$)')
DEBUG = "+pid,+timestamp,+relay"


@dataclasses.dataclass
class Call:
    """One traced call: when (ms), what, its arguments (numbers, and the strings Wine showed for
    string pointers), the address it returned to, and what it returned."""
    ms: float
    name: str
    args: list
    texts: list
    caller: int
    result: int = None


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
            call = Call(float(m.group(1)) * 1000.0, name, [int(a.group(1), 16) for a in found],
                        [a.group(2) and codecs.decode(a.group(2), "unicode_escape") for a in found],
                        caller)
            stack.append(call)
            if image is None or image[0] <= caller < image[1]:
                calls.append(call)
        else:
            for i in range(len(stack) - 1, -1, -1):
                if stack[i].name == name and stack[i].caller == caller:
                    stack.pop(i).result = int(m.group(7), 16)
                    break
    return calls


def of(calls, name):
    return [c for c in calls if c.name == name]


# The calls that take a handle and those that give one back: the kind of handle, and the
# arguments that name it (None: the call's result). A paint is named by its window and paint
# structure, a timer by its window and id. These are all the program can call of the kind: the
# checks on the exe's imports hold it to them.
HANDLE_TAKES = {"user32.GetDC": ("dc", None), "user32.BeginPaint": ("paint", (0, 1)),
                "user32.SetTimer": ("timer", (0, 1)),
                "opengl32.wglCreateContext": ("context", None)}
HANDLE_GIVES = {"user32.ReleaseDC": ("dc", (1,)), "user32.EndPaint": ("paint", (0, 1)),
                "user32.KillTimer": ("timer", (0, 1)),
                "opengl32.wglDeleteContext": ("context", (0,))}
HANDLE_CALLS = tuple(HANDLE_TAKES) + tuple(HANDLE_GIVES)


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


def unpaired_handles(calls):
    """The handles the calls took and never gave back, counted by the call that took them, and
    the calls that gave back nothing (they failed, or named a handle not held)."""
    held, strays = handles_held(calls)
    counts = collections.Counter(c.name for c in held)
    return ["%d x %s" % (counts[n], n) for n in sorted(counts)] + [repr(c) for c in strays]
