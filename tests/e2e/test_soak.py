"""Soak: the program animating under Wine (a minute here, ten with tools/soak), its memory and
the handles it holds sampled every few seconds, both flat after the warm-up. Wine answers
GetGuiResources with 0, so the handles are counted from the relay trace of the calls."""

import os
import time

import psutil

import relay
from sessions import Run, pids_in_prefix

SLACK_KIB = 1024


def test_soak(wine, tmp_path, pytestconfig):
    seconds, warmup, interval = map(int, pytestconfig.getoption("soak").split(":"))
    samples = []

    def on_event(event):
        if "sample" not in event:
            return
        # The program's process in this session's prefix alone: another run of the same exe
        # elsewhere on the machine must not be measured instead. A process forked from the
        # program's (seen once under Wine 10) carries its command line and environment until it
        # executes another program: look again briefly before a sample counts as having none.
        for _ in range(20):
            pids = pids_in_prefix(wine.prefix, os.path.basename(wine.exe))
            if len(pids) == 1:
                break
            time.sleep(0.05)
        try:
            rss = psutil.Process(pids[0]).memory_info().rss // 1024 if len(pids) == 1 else None
        except psutil.Error:
            rss = None
        samples.append(dict(event["sample"], rss_kib=rss))
        print("t=%5.1fs rss=%s KiB (processes of the exe in the prefix: %s)" % (
            event["sample"]["ms"] / 1000.0, rss, pids), flush=True)

    shown = wine.run(Run(relay=relay.HANDLE_CALLS),
                     ["box", "window", "sample:%d:%d" % (seconds, interval * 1000), "escape",
                      "box", "exit"], tmp_path, on_event=on_event)
    assert shown.exits == [0]
    calls = [c for c in shown.calls() if c.name in relay.HANDLE_CALLS]
    assert calls, "the relay trace shows no call of the program's"
    # At each sample, the handles taken a second or more before it and not given back by then
    # (a paint under way holds its device context for a moment only).
    for sample in samples:
        taken = relay.handles_held([c for c in calls if c.ms <= sample["tick"]])[0]
        sample["handles"] = sum(c.ms <= sample["tick"] - 1000 for c in taken)
    settled = [s for s in samples if s["ms"] >= warmup * 1000]
    assert [s["ms"] for s in settled if s["rss_kib"] is None] == [], \
        "samples with no single process of the program in the prefix"
    assert len(settled) >= 3, "samples after the warm-up"
    growth = {key: max(s[key] for s in settled) - settled[0][key] for key in ("rss_kib", "handles")}
    print("after %d s of warm-up, memory grew %d KiB, handles held: %s" % (
        warmup, growth["rss_kib"], [s["handles"] for s in samples]))
    assert growth["rss_kib"] <= SLACK_KIB and growth["handles"] <= 0, "flat after the warm-up"
