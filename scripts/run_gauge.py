"""Runs the gauge against the stand-in simulator server's demo flight.

Called by scripts/run-gauge.sh once the build is done and Wine is up.
Headless: takes the gauge through the whole demo flight (taxi, take-off,
climb with the change to 1013 hPa, cruise, descent, landing) by moving the
server's demo clock, saves a screenshot at each moment and a contact sheet
of them, then lets the flight run in real time for the rest of the given
time, and says where the pictures are.
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
        server = h.start_server("--demo") if os.path.exists(exe("simserver")) else None
        if not server:
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
        start = time.monotonic()
        time.sleep(2)  # connected within about a second
        n = 0
        # Moments of the demo flight, seconds from its start.
        for moment in (0, 30, 45, 70, 110, 150, 175, 200, 240, 290, 340, 370):
            if server:
                server.command(f"demo at {moment}")
            time.sleep(1.2)
            [window] = h.windows()
            path = os.path.join(shots, f"gauge-{n:02d}-flight-{moment:03d}s.png")
            h.save_png(h.client_screenshot(window), path)
            n += 1
        while time.monotonic() - start < args.seconds and gauge.running():
            time.sleep(1)
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
