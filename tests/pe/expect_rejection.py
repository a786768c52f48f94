#!/usr/bin/env python3
"""Runs check_exe.py on files it must reject and passes only if it fails in exactly the
expected ways.

  expect_rejection.py --expect REGEX [--expect REGEX ...] -- CHECKER-COMMAND...
                      [-- CHECKER-COMMAND...]

The checker must exit with 1 on each file, every "FAIL " line it prints must match one of the
patterns, and each pattern must match exactly one line of all the files' together. A plain
"it failed" would also pass when the checker trips over its own bug, or when one of its checks
stops working but another still fires.
"""

import argparse
import re
import subprocess
import sys


def main(argv):
    if "--" not in argv:
        sys.stderr.write(__doc__)
        return 2
    splits = [i for i, arg in enumerate(argv) if arg == "--"] + [len(argv)]
    parser = argparse.ArgumentParser()
    parser.add_argument("--expect", action="append", required=True, metavar="REGEX")
    args = parser.parse_args(argv[:splits[0]])
    commands = [argv[start + 1:end] for start, end in zip(splits, splits[1:])]

    problems = []
    failures = []
    for command in commands:
        run = subprocess.run(command, capture_output=True, text=True)
        sys.stdout.write(run.stdout)
        sys.stderr.write(run.stderr)
        if run.returncode != 1:
            problems.append("checker exited with %d, expected 1 (checks failed): %s"
                            % (run.returncode, " ".join(command)))
        failures += [line[len("FAIL "):] for line in run.stdout.splitlines()
                     if line.startswith("FAIL ")]
    for pattern in args.expect:
        hits = [f for f in failures if re.search(pattern, f)]
        if len(hits) != 1:
            problems.append("pattern %r matched %d failure lines, expected 1" % (pattern, len(hits)))
    for failure in failures:
        if not any(re.search(pattern, failure) for pattern in args.expect):
            problems.append("unexpected failure: %s" % failure)
    if problems:
        print("expect_rejection: the checker did not reject the files as expected:")
        for problem in problems:
            print("  " + problem)
        return 1
    print("expect_rejection: rejected with exactly the %d expected failures" % len(failures))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
