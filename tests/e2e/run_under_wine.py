"""Runs one Windows console program under Wine on the tests' prefix and passes its output and
exit code on: the native test suites, built as Windows code, run this way."""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sessions  # noqa: E402
from screens import Screen  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", default=sessions.PREFIX)
    parser.add_argument("program")
    parser.add_argument("arguments", nargs="*")
    args = parser.parse_args()
    with sessions.Session(Screen(), args.prefix) as session:
        result = session.wine(sessions.windows_path(args.program), *args.arguments,
                              check=False, timeout=1500)
    sys.stdout.write(result.stdout)
    sys.stderr.write(result.stderr[-5000:])
    return result.returncode


if __name__ == "__main__":
    sys.exit(main())
