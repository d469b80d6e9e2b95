"""The gauge window under Wine: its look as Windows sees it, closing, moving,
and the start-up failure box when Direct3D 9 is missing."""

import os
import unittest

from harness import Harness, wait_until

TITLE = "Altimètre 737 395px - Ver.1.00"
WS_CAPTION, WS_SYSMENU = 0x00C00000, 0x00080000
WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX = 0x00040000, 0x00020000, 0x00010000
WS_EX_TOPMOST = 0x00000008


class GaugeWindow(unittest.TestCase):
    def test_window_properties_move_and_close(self):
        with Harness() as h:
            work = h.workdir("gauge")
            gauge = h.start("altimeter", cwd=work)
            # Start-up shows the window, then opens its surface and makes it
            # topmost: wait for the end of that.
            [window] = wait_until(lambda: [w for w in h.windows() if w["topmost"]], 30,
                                  interval=0.2, what="the topmost gauge window")

            self.assertEqual(window["title"], TITLE)
            self.assertEqual(window["client_size"], [420, 420])
            style = window["style"]
            self.assertEqual(style & WS_CAPTION, WS_CAPTION)
            self.assertTrue(style & WS_SYSMENU)
            self.assertFalse(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX))
            self.assertTrue(window["topmost"])
            self.assertTrue(window["visible"])
            self.assertFalse(window["iconic"] or window["zoomed"])
            self.assertEqual(window["outer"][:2], [0, 0])  # no settings file yet

            # Moving: the window follows, and the process stays responsive.
            h.probe("move", window["hwnd"], 137, 91)
            wait_until(lambda: h.windows()[0]["outer"][:2] == [137, 91], 10, what="the move")

            h.probe("close", window["hwnd"])
            self.assertEqual(gauge.wait(timeout=15), 0)
            self.assertEqual(h.windows(), [])

    def test_missing_direct3d_shows_the_error_box_and_exits_0(self):
        with Harness() as h:
            work = h.workdir("no-d3d9")
            overrides = h.env["WINEDLLOVERRIDES"] + ";d3d9=d"
            gauge = h.start("altimeter", cwd=work, env={"WINEDLLOVERRIDES": overrides})
            [box] = wait_until(lambda: [b for b in h.boxes() if b["caption"] == "Erreur"], 30,
                               interval=0.2, what="the Erreur box")
            self.assertEqual(box["text"], "Impossible d'ouvrir un écran dans la fenêtre!")
            self.assertTrue(gauge.running())  # the box is modal: nothing ends before OK
            h.probe("press-ok", box["hwnd"])
            self.assertEqual(gauge.wait(timeout=15), 0)
            self.assertEqual(os.listdir(work), [])  # no settings written


if __name__ == "__main__":
    unittest.main()
