"""Soak: the program animating for a long time under Wine, its memory and the handles it holds
sampled every few seconds. Passes when both stay flat after the warm-up.

Wine answers GetGuiResources with 0 for GDI and USER objects alike, so the handles the program
takes and gives back are counted from Wine's relay trace of the calls that make and free them.

usage: soak.py --exe PROGRAM --driver DRIVER [--prefix DIR] --seconds S [--warmup S]
               [--interval S] [--slack-kib K]
"""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winesession  # noqa: E402


def handle_balance(stderr, pid, ticks):
    """For each tick (ms), the handles the program had taken a second or more before it and not
    given back by then, each paired with its giving back by value (winesession.handles_held). A
    paint under way at the tick holds its device context for a moment only."""
    calls = [c for c in winesession.traced_calls(stderr, pid)
             if c.name in winesession.HANDLE_TAKES or c.name in winesession.HANDLE_GIVES]
    held = [winesession.handles_held([c for c in calls if c.ms <= tick])[0] for tick in ticks]
    return [sum(c.ms <= tick - 1000 for c in taken) for tick, taken in zip(ticks, held)], len(calls)


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--prefix", default=winesession.PREFIX)
    parser.add_argument("--seconds", type=int, required=True)
    parser.add_argument("--warmup", type=int, default=60)
    parser.add_argument("--interval", type=int, default=5)
    parser.add_argument("--slack-kib", type=int, default=1024)
    args = parser.parse_args()

    samples = []
    exe_name = os.path.basename(args.exe).lower()

    def on_event(event):
        if "sample" in event:
            # The program's process in this session's prefix alone: another run of the same exe
            # elsewhere on the machine must not be measured instead.
            # A process forked from the program's (seen once under Wine 10) carries its command
            # line and environment until it executes another program: look again briefly
            # before a sample counts as having no single process.
            for _ in range(20):
                pids = winesession.pids_in_prefix(
                    args.prefix, lambda argv: argv[0].lower().endswith(exe_name))
                if len(pids) == 1:
                    break
                time.sleep(0.05)
            rss = rss_kib(pids[0]) if len(pids) == 1 else None
            sample = dict(event["sample"], rss_kib=rss)
            samples.append(sample)
            print("t=%5.1fs rss=%s KiB (processes of the exe in the prefix: %s)" % (
                sample["ms"] / 1000.0, rss, pids), flush=True)

    steps = ["box", "window", "sample:%d:%d" % (args.seconds, args.interval * 1000), "escape",
             "box", "exit"]
    with winesession.Session(args.prefix, env={"WINEDEBUG": winesession.RELAY_DEBUG}) as session:
        session.set_registry(relay=list(winesession.HANDLE_TAKES) + list(winesession.HANDLE_GIVES))
        events = session.drive(args.driver, args.exe, steps, on_event=on_event,
                               timeout=args.seconds + 600)
        stderr = session.stderr
    errors = [e["error"] for e in events if "error" in e]
    exits = [e["exit"] for e in events if "exit" in e]
    if errors or exits != [0]:
        print("FAILED: the run did not end cleanly:", errors, exits)
        return 1

    pid = [e["started"] for e in events if "started" in e][0]
    balances, traced = handle_balance(stderr, pid, [s["tick"] for s in samples])
    if traced == 0:
        print("FAILED: the relay trace shows no call of the program's")
        return 1
    for sample, balance in zip(samples, balances):
        sample["handles"] = balance
    print("handles held at each sample:", balances)

    settled = [s for s in samples if s["ms"] >= args.warmup * 1000]
    unseen = [s["ms"] for s in settled if s["rss_kib"] is None]
    if unseen:
        print("FAILED: no single process of the program in the prefix at %s ms" % unseen)
        return 1
    if len(settled) < 3:
        print("FAILED: too few samples after the warm-up (%d)" % len(settled))
        return 1
    growth = {
        "rss_kib": max(s["rss_kib"] for s in settled) - settled[0]["rss_kib"],
        "handles": max(s["handles"] for s in settled) - settled[0]["handles"],
    }
    print("after %d s of warm-up, over %d samples: memory grew %d KiB, handles from the call "
          "trace %d" % (args.warmup, len(settled), growth["rss_kib"], growth["handles"]))
    if growth["rss_kib"] > args.slack_kib or growth["handles"] > 0:
        print("FAILED: not flat")
        return 1
    print("passed: soak of %d s" % args.seconds)
    return 0


if __name__ == "__main__":
    sys.exit(main())
