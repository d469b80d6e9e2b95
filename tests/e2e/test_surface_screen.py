"""What the gauge window shows on screen: the real exe's first frame (no
simulator, so the disconnected start-up picture) as a screenshot of its
client area against the CPU reference surface's picture of the same frame,
and the same picture again after the window was moved off the screen and
back, which the surface repaints by itself without a new frame."""

import os
import unittest

from harness import Harness, wait_until

SIZE = 420
# Every sprite of this frame is unturned (the needle stands at 0), so the
# Direct3D 9 surface and the CPU reference differ only by the rounding of
# 8-bit blends; the screen shows the back buffer unchanged (24-bit X server).
TOLERANCE = 2


def worst_difference(rgb, rgba):
    worst, where = 0, None
    for p in range(SIZE * SIZE):
        d = max(abs(rgb[p * 3 + c] - rgba[p * 4 + c]) for c in range(3))
        if d > worst:
            worst, where = d, (p % SIZE, p // SIZE)
    return worst, where


class SurfaceOnScreen(unittest.TestCase):
    def test_first_frame_on_screen_and_after_repaint(self):
        with Harness() as h:
            # The CPU reference pictures; the first is the start-up frame.
            raw_path = os.path.join(h.workdir("reference"), "frames.raw")
            code, _ = h.run("surface_reference_cpu", "Z:" + raw_path, timeout=120)
            self.assertEqual(code, 0)
            with open(raw_path, "rb") as f:
                reference = f.read(SIZE * SIZE * 4)

            h.start("altimeter", cwd=h.workdir("gauge"))
            [window] = h.wait_window()
            self.assertEqual(window["client_size"], [SIZE, SIZE])

            def on_screen():
                shot = h.client_screenshot(h.windows()[0])
                return shot if worst_difference(shot.raw, reference)[0] <= TOLERANCE else None

            try:
                first = wait_until(on_screen, 30, interval=0.5, what="the start-up frame on screen")
            except AssertionError:
                shot = h.client_screenshot(h.windows()[0])
                h.save_png(shot, os.path.join(h.work_root, "screen.png"))
                raise AssertionError("screen differs from the reference by %d at %s (see %s)" % (
                    *worst_difference(shot.raw, reference), h.work_root))

            # Off the screen and back: the uncovered area is repainted from
            # the surface's last picture, exactly.
            x, y = window["outer"][:2]
            h.probe("move", window["hwnd"], 1500, 1100)
            wait_until(lambda: h.windows()[0]["outer"][:2] == [1500, 1100], 10, what="the move away")
            h.probe("move", window["hwnd"], x, y)
            wait_until(lambda: h.windows()[0]["outer"][:2] == [x, y], 10, what="the move back")
            wait_until(lambda: h.client_screenshot(h.windows()[0]).raw == first.raw, 10,
                       interval=0.3, what="the repainted picture")


if __name__ == "__main__":
    unittest.main()
