"""The headless run of tools/run: the program on a private screen, every box printed as it
appears, screenshots of the report and of the window, OK pressed, Escape after a few seconds."""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import screens  # noqa: E402
import winesession  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--prefix", default=winesession.PREFIX)
    parser.add_argument("--shots", required=True)
    args = parser.parse_args()
    os.makedirs(args.shots, exist_ok=True)

    winesession.log("Starting %s under Wine on a private 1024x768x16 screen "
                    "(a first run boots a Wine prefix; where 32-bit code runs emulated it takes minutes)"
                    % args.exe)

    def on_pause(name, screen):
        path = screen.screenshot(os.path.join(args.shots, name + ".ppm"))
        print("screenshot:", screens.save_png(path), flush=True)
        os.remove(path)

    outcome = {"code": 1}

    def on_event(event):
        if "box" in event:
            box = event["box"]
            print("\n--- message box \"%s\" (%s icon) ---\n%s\n--- [OK] ---" %
                  (box["caption"], box["icon"], box["text"]), flush=True)
        elif "window" in event:
            w = event["window"]
            print("main window \"%s\" shown, %dx%d" % (w["title"], w["outer"][2], w["outer"][3]),
                  flush=True)
        elif "pressed" in event:
            print("pressed", event["pressed"], flush=True)
        elif "exit" in event:
            print("OvrinGLQuery.exe ended with exit code", event["exit"], flush=True)
            outcome["code"] = event["exit"]
        elif "error" in event:
            print("error:", event["error"], flush=True)

    steps = ["box:report-box", "window", "sleep:1500", "pause:window", "sleep:2000",
             "pause:window-later", "escape", "box:exit-notice", "exit"]
    with winesession.Session(args.prefix) as session:
        session.drive(args.driver, args.exe, steps, on_pause, on_event=on_event)
    return outcome["code"]


if __name__ == "__main__":
    sys.exit(main())
