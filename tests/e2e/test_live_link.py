"""The gauge follows the simulator live, end to end under Wine: it connects
by itself, draws what the server holds (checked against the CPU reference
render of the same values), drops to the red lamp when the server goes away
or stops answering, and comes back by itself, with one ReadWorker per period
of connection."""

import time
import unittest

from harness import Harness, reference_frame, wait_until

# A screenshot and the reference render of the same values differ only on a
# few rim pixels of the face's windows, which show what earlier frames left
# there, and by a bilinear rounding step on the turned needle's edge.
MAX_DIFFERING_SHARE = 0.01
MAX_MEAN_DIFFERENCE = 1.5


class LiveLink(unittest.TestCase):
    def shows(self, h, window, **values):
        """Waits until the window shows the reference frame of these values."""
        reference = reference_frame(**values)
        last = []

        def matches():
            shot = h.client_screenshot(window)
            last[:] = [shot.difference(reference)]
            share, mean = last[0]
            return share <= MAX_DIFFERING_SHARE and mean <= MAX_MEAN_DIFFERENCE

        try:
            wait_until(matches, 10, interval=0.3, what=f"the frame of {values}")
        except AssertionError:
            self.fail(f"window never showed {values}: last difference {last}")

    def one_reader(self, readers):
        """Exactly one ReadWorker, once it has named itself, and never two."""
        seen = []
        wait_until(lambda: seen.append(readers()) or len(seen[-1]) == 1, 3, interval=0.1,
                   what="one ReadWorker")
        self.assertFalse([ids for ids in seen if len(ids) > 1], "two ReadWorkers at once")

    def lamp(self, h, window):
        return h.client_screenshot(window).lamp_lit()

    def test_connects_follows_drops_and_reconnects(self):
        with Harness() as h:
            gauge = h.start("altimeter")
            [window] = h.wait_window()
            pid = window["pid"]
            # Wine hands out process ids again: clear atoms that an earlier
            # gauge with this id could have left (one killed, say).
            prefix = f"FsasmLib:IPC:{pid:X}:"
            h.probe("atoms", prefix, "delete")
            time.sleep(1.5)
            # No server: the start-up frame, all values zero, lamp lit.
            self.shows(h, window, altitude=0, baro_raw=0, ias_raw=0, connected=False)
            readers = lambda: h.threads(pid, "ReadWorker")  # noqa: E731
            self.assertEqual(readers(), set(), "no ReadWorker without a server")
            self.assertEqual(len(h.threads(pid, "ConnectWorker")), 1)

            server = h.start_server()
            for line in ("set alt 12345", "set baro 16212", "set ias 32000"):
                server.command(line)
            started = time.monotonic()
            wait_until(lambda: not self.lamp(h, window), 10, interval=0.1, what="the lamp to go out")
            print(f"connected {time.monotonic() - started:.2f} s after the server was up")
            self.shows(h, window, altitude=12345, baro_raw=16212, ias_raw=32000)
            self.one_reader(readers)

            # Values changed at the server reach the picture.
            for line in ("set alt 23456", "set baro 16000", "set ias 40000"):
                server.command(line)
            self.shows(h, window, altitude=23456, baro_raw=16000, ias_raw=40000)

            # The server's window goes away: lamp back, last values kept,
            # the ReadWorker ended.
            server.command("fault vanish")
            self.shows(h, window, altitude=23456, baro_raw=16000, ias_raw=40000, connected=False)
            wait_until(lambda: not readers(), 5, interval=0.2, what="the ReadWorker to end")

            # It comes back with a ReadWorker of its own, never two.
            server.command("fault none")
            self.shows(h, window, altitude=23456, baro_raw=16000, ias_raw=40000)
            self.one_reader(readers)

            # The server process is killed; another one starts with other values.
            server.kill()
            wait_until(lambda: self.lamp(h, window), 10, interval=0.1, what="the lamp after a kill")
            server = h.start_server()
            for line in ("set alt 4321", "set baro 16300", "set ias 20000"):
                server.command(line)
            self.shows(h, window, altitude=4321, baro_raw=16300, ias_raw=20000)
            self.one_reader(readers)

            # Closing while connected ends the process promptly with code 0,
            # and leaves none of its blocks' global atoms in the session.
            h.probe("close", window["hwnd"])
            self.assertEqual(gauge.wait(timeout=10), 0)
            self.assertEqual([row for row in h.probe("atoms", prefix) if "name" in row], [])

    def test_a_server_that_stops_answering_never_freezes_the_window(self):
        with Harness() as h:
            server = h.start_server()
            server.command("set alt 8000")
            gauge = h.start("altimeter")
            [window] = h.wait_window()
            wait_until(lambda: not self.lamp(h, window), 10, interval=0.1, what="the connection")

            server.command("fault noanswer")
            stopped = time.monotonic()
            # While the worker waits on the server (up to nine 2 s sends), the
            # window moves and repaints as usual.
            for x, y in ((200, 150), (260, 90)):
                h.probe("move", window["hwnd"], x, y)
                wait_until(lambda: h.windows()[0]["outer"][:2] == [x, y], 5, what="the move")
            [window] = h.windows()
            wait_until(lambda: self.lamp(h, window), 30, interval=0.5, what="the lamp after the nine sends")
            print(f"lamp lit {time.monotonic() - stopped:.1f} s after the server stopped answering")

            server.command("fault none")
            wait_until(lambda: not self.lamp(h, window), 10, interval=0.1, what="the reconnection")
            h.probe("close", window["hwnd"])
            self.assertEqual(gauge.wait(timeout=10), 0)

    def test_closing_while_a_worker_waits_on_the_server(self):
        with Harness() as h:
            server = h.start_server()
            gauge = h.start("altimeter")
            [window] = h.wait_window()
            wait_until(lambda: not self.lamp(h, window), 10, interval=0.1, what="the connection")
            server.command("fault noanswer")
            time.sleep(1)
            h.probe("close", window["hwnd"])
            self.assertEqual(gauge.wait(timeout=10), 0)


if __name__ == "__main__":
    unittest.main()
