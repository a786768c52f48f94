"""Records the GL calls of a run under Wine with apitrace, and reads them back: each call as the
program made it (Wine passes them on to Mesa) and Wine's own GLX calls, in their order."""

import collections
import io
import pickle
import subprocess

# One tracer for each kind of Wine process: the loader takes the one of its own ELF class and
# passes over the other, so the same setting follows the 64-bit and the 32-bit exe.
TRACERS = ["/usr/lib/x86_64-linux-gnu/apitrace/wrappers/glxtrace.so",
           "/usr/lib/i386-linux-gnu/apitrace/wrappers/glxtrace.so"]
# apitrace's flag for a call it records for itself (state it notes when a context is made current).
FAKE = 1


def tracing_env(trace_path):
    """The environment that makes Wine's unix side load the tracer, writing to trace_path."""
    return {"LD_PRELOAD": " ".join(TRACERS), "TRACE_FILE": trace_path}


class Call(collections.namedtuple("Call", "name args result")):
    """One call: its name, its arguments by name (enums by their names, arrays as lists) and
    what it returned."""

    def numbers(self, arg=None):
        """The numbers of one argument, or of all arguments in order."""
        values = [self.args[arg]] if arg else self.args.values()
        return [n for v in values for n in (v if isinstance(v, list) else [v])]


class _Unpickler(pickle.Unpickler):
    def find_class(self, module, name):
        # apitrace pickles pointers as its sample reader's Pointer, an int.
        if (module, name) == ("unpickle", "Pointer"):
            return int
        return super().find_class(module, name)


def read(trace_path, only=None):
    """The calls of a trace, every one of them but apitrace's own; `only`: the names to keep."""
    data = io.BytesIO(subprocess.run(["apitrace", "pickle", "--symbolic", trace_path],
                                     check=True, stdout=subprocess.PIPE).stdout)
    calls = []
    while data.tell() < len(data.getbuffer()):
        _, name, args, result, flags = _Unpickler(data).load()
        if not flags & FAKE and (only is None or name in only):
            calls.append(Call(name, dict(args), result))
    return calls
