"""The stand-in server with the real gauge: the exact batches the gauge sends
(handshake, then the five-value poll), and a gauge restarted while the same
server keeps running connects again (the server takes the gauge's write of
2002 to 0x330A but keeps presenting the 0xFADE marker)."""

import os
import re
import unittest

from harness import Harness, wait_until

NAME = r"FsasmLib:IPC:([0-9A-F]+):([0-9A-F]+)"
HANDSHAKE = re.compile(
    "^" + NAME + r" \| R 3304 4 @0 dest [0-9A-F]{8} \| R 3308 4 @20 dest [0-9A-F]{8}"
    r" \| W 330A 2 @40 D207 \| end @54 \| reply 1$")
POLL = re.compile(
    "^" + NAME + r" \| R 3324 4 @0 dest [0-9A-F]{8} \| R 0330 2 @20 dest [0-9A-F]{8}"
    r" \| R 0D0C 2 @38 dest [0-9A-F]{8} \| R 3102 1 @56 dest [0-9A-F]{8}"
    r" \| R 02BC 4 @73 dest [0-9A-F]{8} \| end @93 \| reply 1$")


def log_lines(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="ascii", errors="replace") as f:
        return [line.rstrip("\n") for line in f]


def sessions(path):
    """Block names that completed a handshake and then polled, in order."""
    lines = log_lines(path)
    opened = [m.group(0).split(" |")[0] for m in map(HANDSHAKE.match, lines) if m]
    polled = {m.group(0).split(" |")[0] for m in map(POLL.match, lines) if m}
    return [name for name in opened if name in polled]


def status(server, h):
    before = len(server.output().splitlines())
    server.send("status")
    line = wait_until(
        lambda: next((l for l in server.output().splitlines()[before:] if l.startswith("ok status")), None),
        10, what="a status reply")
    return dict(pair.split("=", 1) for pair in line.split()[2:])


class ServerWithGauge(unittest.TestCase):
    def test_gauge_handshakes_polls_and_reconnects_after_restart(self):
        with Harness() as h:
            work = h.workdir("server")
            log = os.path.join(work, "batches.log")
            server = h.start("simserver", "--hidden", "--log", log, stdin=True)
            wait_until(lambda: "ready " in server.output(), 30, what="the server's ready line")
            server.send("set alt 12345")

            for run in range(2):
                gauge = h.start("altimeter", cwd=h.workdir("gauge"))
                [window] = h.wait_window()
                # A session of this run: a handshake batch exactly as the
                # client lays it out, then polls on the same block.
                found = wait_until(lambda: len(sessions(log)) > run and sessions(log), 30,
                                   what=f"handshake and polls of gauge run {run + 1}")
                name = found[run]
                polls = [l for l in log_lines(log) if l.startswith(name + " |") and POLL.match(l)]
                self.assertTrue(polls)
                h.probe("close", window["hwnd"])
                self.assertEqual(gauge.wait(timeout=15), 0)

            # Two gauges, two blocks; no batch was refused along the way.
            first, second = sessions(log)[:2]
            self.assertNotEqual(first, second)
            self.assertFalse([l for l in log_lines(log) if " | bad " in l])
            # The gauge's block is let go once it stops polling.
            wait_until(lambda: status(server, h)["mapped"] == "0", 10,
                       what="the server to release the gauge's block")
            server.send("quit")
            self.assertEqual(server.wait(timeout=15), 0)


if __name__ == "__main__":
    unittest.main()
