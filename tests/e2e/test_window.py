"""The animation as it shows on screen, and the size its frames are drawn at while the window is
minimised, restored, squeezed and widened."""

import statistics

import gltrace
from expected import assert_shown, assert_window, foreign_report
from screens import changed_share, client_area, summarise
from sessions import Run

CORNER = 6          # side of the square looked at in each corner of the client area
CENTRE = 12         # side of the square looked at in the middle
MIN_GOLD_SHARE = 0.10
MIN_CHANGED_SHARE = 0.01
FRAMES_PER_SIZE = 6
WIDE = (800, 400)


def check_picture(name, picture):
    """Black corners, gold surfaces, the object in the middle; returns the picture's summary."""
    width, height = picture.size
    for left, top in ((0, 0), (width - CORNER, 0), (0, height - CORNER),
                      (width - CORNER, height - CORNER)):
        corner = summarise(picture.crop((left, top, left + CORNER, top + CORNER)))
        assert corner["black"] == corner["total"], "%s: the corner at (%d, %d)" % (name, left, top)
    left, top = (width - CENTRE) // 2, (height - CENTRE) // 2
    middle = summarise(picture.crop((left, top, left + CENTRE, top + CENTRE)))
    assert middle["black"] == 0, "%s: black in the middle" % name
    summary = summarise(picture)
    share = summary["gold"] / summary["total"]
    assert share >= MIN_GOLD_SHARE, "%s: %.1f%% of the client area gold" % (name, 100 * share)
    print("%s: %.0f%% gold, object box %s" % (name, 100 * share, summary["bbox"]))
    return summary


def test_animation(wine, tmp_path):
    """The object turns against black; widened, the window stretches the picture, because the
    projection keeps an aspect ratio of 1.0 while the viewport follows the client area."""
    shots = {}

    def on_pause(name, live):
        shots[name] = live.screen.screenshot("%s/%s.png" % (tmp_path, name))

    square_names, wide_names = (["%s-%d" % (kind, i) for i in range(FRAMES_PER_SIZE)]
                                for kind in ("square", "wide"))
    # A screenshot at each pause, each after the picture changed again.
    steps = ["box", "window", "changes"] + ["pause:%s changes" % n for n in square_names] + [
        "resize:%d:%d" % WIDE, "changes"] + ["pause:%s changes" % n for n in wide_names]
    steps = " ".join(steps).split()
    steps += ["escape", "box", "exit"]
    strings = wine.strings(Run())
    shown = wine.run(Run(), steps, tmp_path, on_pause)

    assert_shown(shown, foreign_report(strings), "yellow")
    assert_window(shown.window)
    square_client = shown.window["client"]
    wide_client = [e["client"] for e in shown.events if "resized" in e][0]
    assert wide_client[0] > square_client[0] and wide_client[1] == square_client[1], \
        "the resize widened the client area only"

    pictures = {name: client_area(shots[name], shown.window,
                                  square_client if name in square_names else wide_client)
                for name in shots}
    summaries = {name: check_picture(name, picture) for name, picture in pictures.items()}
    for names in (square_names, wide_names):
        for earlier, later in zip(names, names[1:]):
            share = changed_share(pictures[earlier], pictures[later])
            assert share >= MIN_CHANGED_SHARE, "the object moved from %s to %s" % (earlier, later)

    # The object's outline changes as it turns and its spikes pulse, but on average over several
    # frames it is as wide as high in normalised device coordinates, whatever the window's shape:
    # its box widens by the factor the client area widened.
    widened = (wide_client[0] / wide_client[1]) / (square_client[0] / square_client[1])
    shape = {n: summaries[n]["bbox"][2] / summaries[n]["bbox"][3] for n in summaries}  # w / h
    square_shape = statistics.median(shape[n] for n in square_names)
    wide_shape = statistics.median(shape[n] for n in wide_names)
    stretch = wide_shape / square_shape
    print("client widened %.2fx, object box widened %.2fx (median width/height %.2f -> %.2f)" %
          (widened, stretch, square_shape, wide_shape))
    assert widened / 1.25 <= stretch <= widened * 1.25, "the picture stretches with the window"
    for name in wide_names:
        left, _, width, _ = summaries[name]["bbox"]
        centre = (left + width / 2) / wide_client[0]
        assert 0.35 <= centre <= 0.65, "%s: the object in the middle of the widened window" % name


def test_minimise_and_restore(wine, tmp_path):
    """Minimised, restored and given a size it never had, the window draws its frames at that size;
    squeezed to no height and widened to yet another size, it draws at that one. The size a frame
    is drawn at is its viewport, from the GL calls that reach the driver."""
    restored, widened = (600, 400), (700, 300)
    shown = wine.run(Run(apitrace=True), [
        "box", "window", "changes", "resize:0:0", "resize:restore:%d:%d" % restored, "changes:2",
        "resize:300:0", "resize:%d:%d" % widened, "changes:2", "escape", "box", "exit"],
        tmp_path)
    client = shown.window["client"]
    frame = [o - c for o, c in zip(shown.window["outer"][2:], client)]
    resized = [e for e in shown.events if "resized" in e]
    sizes = [[w - f for w, f in zip(size, frame)] for size in (restored, widened)]
    assert [e.get("client") for e in resized[:2] + resized[3:]] == [None] + sizes, \
        "client size after minimising, restoring and widening"
    assert resized[2]["outer"][0] == 300, "outer width squeezed to 300 x 0"
    assert resized[2]["client"][1] < client[1], "squeezed to 300 x 0, the client area lost height"
    # A client area with no height has nothing to draw in. Squeezed, Wine still leaves one row,
    # and whether a tick draws there before the widening depends on the machine's load: those
    # frames are not counted. A run of frames at one size is one.
    squeezed = [0, 0] + resized[2]["client"]
    drawn = [v for v in (c.numbers() for c in gltrace.read(shown.trace, {"glViewport"}))
             if v[2] and v[3] and v != squeezed]
    drawn = [v for i, v in enumerate(drawn) if i == 0 or v != drawn[i - 1]]
    assert drawn == [[0, 0] + size for size in [client] + sizes], \
        "viewports of the frames drawn at the start, after the restore and after widening"
    assert len(shown.boxes) == 2
    assert shown.exits == [0]
