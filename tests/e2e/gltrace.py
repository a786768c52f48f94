"""Records the GL calls of a run under Wine with apitrace, and reads them back from its text
dump: each call as the program made it (Wine passes them through to Mesa), plus Wine's own GLX
calls around them, in the order they were made.
"""

import os
import re
import subprocess

# One tracer for each kind of Wine process: the loader takes the one of its own ELF class and
# passes over the other, so the same setting follows the 64-bit and the 32-bit exe.
TRACERS = ["/usr/lib/x86_64-linux-gnu/apitrace/wrappers/glxtrace.so",
           "/usr/lib/i386-linux-gnu/apitrace/wrappers/glxtrace.so"]

_CALL = re.compile(r"^\d+ (\w+)\((.*)\)(?: = (.*))?$")
_NUMBER = re.compile(r"-?\d+(?:\.\d*)?(?:[eE][-+]?\d+)?")


def tracing_env(trace_path):
    """The environment that makes Wine's unix side load the tracer, writing to trace_path."""
    if os.path.exists(trace_path):
        os.remove(trace_path)
    return {"LD_PRELOAD": " ".join(TRACERS), "TRACE_FILE": trace_path}


class Call:
    def __init__(self, name, args, result):
        self.name = name
        self.args = args
        self.result = result

    def text(self, arg):
        return self.args[arg]

    def numbers(self, arg=None):
        """The numbers of one argument (a scalar or a {list}), or of all arguments in order."""
        texts = [self.args[arg]] if arg else list(self.args.values())
        return [float(n) for text in texts for n in _NUMBER.findall(text)]

    def __repr__(self):
        return "%s(%s)" % (self.name, ", ".join("%s = %s" % kv for kv in self.args.items()))


def _split_args(text):
    """'a = 1, b = {2, 3}' -> {'a': '1', 'b': '{2, 3}'}; commas inside braces belong to their
    argument."""
    args, depth, start = {}, 0, 0
    for i, c in enumerate(text + ","):
        if c in "{(":
            depth += 1
        elif c in "})":
            depth -= 1
        elif c == "," and depth == 0:
            part = text[start:i].strip()
            if part:
                name, _, value = part.partition(" = ")
                args[name] = value
            start = i + 1
    return args


def read_dump(trace_path, only=None, every_call=False):
    """The calls of a trace, one per dump line. apitrace's own "fake" calls (state it records
    for itself when a context is made current) are left out. `only` is a regular expression on
    the function names, to read long traces quickly. apitrace leaves out the calls it deems free
    of side effects (glGetString among them) unless `every_call` asks for them."""
    command = ["apitrace", "dump", "--color=never", "--multiline=no", trace_path]
    if only:
        command.insert(2, "--grep=" + only)
    if every_call:
        command.insert(2, "-v")
    out = subprocess.run(command, check=True, stdout=subprocess.PIPE, text=True,
                         errors="replace").stdout
    calls = []
    for line in out.splitlines():
        if line.endswith("// fake"):
            continue
        match = _CALL.match(line)
        if match:
            calls.append(Call(match.group(1), _split_args(match.group(2)), match.group(3)))
    return calls
