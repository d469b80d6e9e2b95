"""The settings file "Velmorix.ini" with the real gauge under Wine: the
window comes back where the user left it, and the file is rewritten only at a
normal exit."""

import os
import unittest

from harness import Harness, wait_until

INI = "Velmorix.ini"


def saved(light, x, y):
    return (f"[system]\r\nlight = {light}\r\nPosWindowX = {x}\r\nPosWindowY = {y}\r\n").encode()


def read(work):
    with open(os.path.join(work, INI), "rb") as f:
        return f.read()


def write(work, data):
    with open(os.path.join(work, INI), "wb") as f:
        f.write(data)


class SettingsFile(unittest.TestCase):
    def start_gauge(self, h, work, expected_corner):
        gauge = h.start("altimeter", cwd=work)
        [window] = h.wait_window()
        self.assertEqual(window["outer"][:2], list(expected_corner))
        return gauge, window

    def close_gauge(self, h, gauge, window):
        h.probe("close", window["hwnd"])
        self.assertEqual(gauge.wait(timeout=15), 0)

    def move(self, h, window, x, y):
        h.probe("move", window["hwnd"], x, y)
        wait_until(lambda: h.windows()[0]["outer"][:2] == [x, y], 10, what=f"the move to {x}, {y}")

    def test_the_window_comes_back_where_it_was_left(self):
        with Harness() as h:
            work = h.workdir("gauge")

            # First run: no file, the corner at 0, 0; the file is made at exit.
            gauge, window = self.start_gauge(h, work, (0, 0))
            self.assertEqual(os.listdir(work), [])
            self.close_gauge(h, gauge, window)
            self.assertEqual(read(work), saved(1, 0, 0))

            for x, y in ((137, 91), (-50, -30)):
                gauge, window = self.start_gauge(h, work, (0, 0) if x == 137 else (137, 91))
                self.move(h, window, x, y)
                self.close_gauge(h, gauge, window)
                self.assertEqual(read(work), saved(1, x, y))

            gauge, window = self.start_gauge(h, work, (-50, -30))
            self.close_gauge(h, gauge, window)
            self.assertEqual(read(work), saved(1, -50, -30))

    def test_a_hand_edited_file_is_read_and_replaced_only_at_a_normal_exit(self):
        hand_made = (b"\xef\xbb\xbf; my home cockpit\r\n\r\n[other]\r\nPosWindowX = 900\r\n"
                     b"[SYSTEM]\r\n  posWINDOWx =  212  \nPosWindowY=-17abc\nlight = 200\n"
                     b"PosWindowX = 5\r\n")
        with Harness() as h:
            work = h.workdir("gauge")
            write(work, hand_made)

            # Ended from outside: the file keeps its content.
            gauge, window = self.start_gauge(h, work, (212, -17))
            self.assertEqual(read(work), hand_made)
            gauge.kill()
            self.assertEqual(read(work), hand_made)

            gauge, window = self.start_gauge(h, work, (212, -17))
            self.close_gauge(h, gauge, window)
            self.assertEqual(read(work), saved(-56, 212, -17))

    def test_a_failed_drawing_surface_leaves_the_file_unchanged(self):
        hand_made = b"; odd\n[system]\nlight = 300\nPosWindowX = 40\nPosWindowY = 60\n\x00\xff"
        with Harness() as h:
            work = h.workdir("no-d3d9")
            write(work, hand_made)
            before = os.stat(os.path.join(work, INI)).st_mtime_ns
            overrides = h.env["WINEDLLOVERRIDES"] + ";d3d9=d"
            gauge = h.start("altimeter", cwd=work, env={"WINEDLLOVERRIDES": overrides})
            [box] = wait_until(lambda: [b for b in h.boxes() if b["caption"] == "Erreur"], 30,
                               interval=0.2, what="the Erreur box")
            h.probe("press-ok", box["hwnd"])
            self.assertEqual(gauge.wait(timeout=15), 0)
            self.assertEqual(read(work), hand_made)
            self.assertEqual(os.stat(os.path.join(work, INI)).st_mtime_ns, before)
            self.assertEqual(os.listdir(work), [INI])


if __name__ == "__main__":
    unittest.main()
