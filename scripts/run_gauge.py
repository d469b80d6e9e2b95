"""Runs the gauge against the stand-in simulator server's demo flight.

Called by scripts/run-gauge.sh once the build is done and Wine is up.
Headless: runs for a fixed time, saves a screenshot of the gauge every few
seconds and a contact sheet of them, and says where they are.
"""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import BUILD_DIR, Harness, exe  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--headless", type=int, default=1)
    parser.add_argument("--seconds", type=int, default=60)
    args = parser.parse_args()

    with Harness("run") as h:
        if os.path.exists(exe("simserver")):
            h.start("simserver", "--demo", stdin=True)
        else:
            print("run: the stand-in simulator server is not built; the gauge will show the red lamp")
        # The gauge keeps its settings file in its working directory.
        workdir = os.path.join(BUILD_DIR, "run")
        os.makedirs(workdir, exist_ok=True)
        gauge = h.start("altimeter", cwd=workdir)
        [window] = h.wait_window()
        print(f"run: gauge window up; settings file in {workdir}")

        if not args.headless:
            print("run: close the gauge window or press Ctrl-C to stop")
            gauge.wait(timeout=None)
            return 0

        shots = os.path.join(BUILD_DIR, "screenshots")
        os.makedirs(shots, exist_ok=True)
        for old in os.listdir(shots):
            os.remove(os.path.join(shots, old))
        interval = max(1, args.seconds // 12)
        start = time.monotonic()
        n = 0
        while time.monotonic() - start < args.seconds and gauge.running():
            [window] = h.windows()
            path = os.path.join(shots, f"gauge-{n:02d}-t{int(time.monotonic() - start):03d}s.png")
            h.save_png(h.client_screenshot(window), path)
            n += 1
            time.sleep(interval)
        sheet = os.path.join(shots, "contact-sheet.png")
        subprocess.run(["montage", os.path.join(shots, "gauge-*.png"), "-tile", "4x", "-geometry",
                        "+4+4", "-background", "#202020", sheet], check=False)
        h.probe("close", window["hwnd"])
        code = gauge.wait(timeout=20)
        print(f"run: {n} screenshots in {shots}, contact sheet {sheet}; gauge exit code {code}")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(130)
