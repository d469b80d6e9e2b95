"""Watching the gauge's link from outside, cheaply enough to do it thousands
of times: one long-lived `winprobe session` answers thread, atom and
resource questions (a Wine process start costs about 0.2 s, a question to
the session about a millisecond), and `LinkWatch` turns the answers into the
gauge's link state.

Used by test_soak.py, test_hostile_peer.py and scripts/soak.py.
"""

import json
import os
import select
import subprocess
import time

from harness import exe, wait_until

READ_WORKER = "ReadWorker"


def block_name(pid, counter):
    """The name of the gauge's shared block (and of its atom) number `counter`."""
    return f"FsasmLib:IPC:{pid:X}:{counter:X}"


class ProbeSession:
    """`winprobe session` under the harness's Wine prefix and display."""

    def __init__(self, h):
        self.popen = subprocess.Popen(["wine", exe("winprobe"), "session"], env=h.env,
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL)
        self.buffer = b""

    def close(self):
        if self.popen.poll() is None:
            try:
                self.popen.stdin.write(b"quit\n")
                self.popen.stdin.flush()
                self.popen.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                self.popen.kill()
                self.popen.wait()
        for stream in (self.popen.stdin, self.popen.stdout):
            try:
                stream.close()
            except OSError:
                pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def _line(self, deadline):
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("winprobe session gave no answer in time")
            ready, _, _ = select.select([self.popen.stdout], [], [], left)
            if ready:
                chunk = os.read(self.popen.stdout.fileno(), 65536)
                if not chunk:
                    raise AssertionError("winprobe session ended")
                self.buffer += chunk
        line, _, self.buffer = self.buffer.partition(b"\n")
        return line.decode("utf-8", "replace").rstrip("\r")

    def ask(self, *words, timeout=30):
        """Runs one winprobe command; returns (exit code, lines of output)."""
        self.popen.stdin.write((" ".join(map(str, words)) + "\n").encode())
        self.popen.stdin.flush()
        deadline = time.monotonic() + timeout
        lines = []
        while True:
            line = self._line(deadline)
            if line.startswith("end "):
                return int(line[4:]), lines
            lines.append(line)

    def threads(self, pid, name=None):
        """{thread id: name} of a process; only those named `name` if given."""
        code, lines = self.ask("threads", pid)
        if code != 0:
            raise AssertionError(f"winprobe threads {pid} failed with {code}")
        found = {}
        for line in lines:
            tid, _, thread_name = line.partition(" ")
            if tid.strip() and (name is None or thread_name.strip() == name):
                found[int(tid)] = thread_name.strip()
        return found

    def atom(self, name):
        code, lines = self.ask("atom", name)
        if code != 0 or not lines:
            raise AssertionError(f"winprobe atom {name} failed with {code}")
        return int(lines[0])

    def atoms(self, prefix="", delete=False):
        """(atoms whose name starts with prefix as {name: atom}, global atoms
        in use); with delete, the atoms found are deleted."""
        words = [prefix] if prefix else []
        if prefix and delete:
            words.append("delete")
        code, lines = self.ask("atoms", *words, timeout=120)
        if code != 0:
            raise AssertionError(f"winprobe atoms failed with {code}")
        rows = [json.loads(line) for line in lines if line.startswith("{")]
        found = {row["name"]: row["atom"] for row in rows if "name" in row}
        return found, rows[-1]["global_atoms_in_use"]

    def resources(self, pid):
        code, lines = self.ask("resources", pid)
        if code != 0:
            raise AssertionError(f"winprobe resources {pid} failed with {code}")
        return json.loads(lines[0])

    def windows(self, class_name):
        code, lines = self.ask("windows", class_name)
        if code != 0:
            raise AssertionError(f"winprobe windows failed with {code}")
        return [json.loads(line) for line in lines if line.startswith("{")]


class LinkWatch:
    """The gauge's link seen from outside: its ReadWorker threads and the
    atoms of its shared blocks.

    Up means exactly one ReadWorker runs; down means none does. The block
    counter of the open link is found by asking for the atoms of the
    numbers after the last one seen, since every attempt that gets as far
    as naming a block uses up a number."""

    def __init__(self, probe, pid):
        self.probe = probe
        self.pid = pid
        self.counter = 0          # number of the last block seen open
        self.most_readers = 0     # most ReadWorkers ever seen at once
        self.samples = 0
        self.period = set()       # ReadWorkers seen since the link last went down
        self.periods = []         # the ReadWorkers of each up period that has ended

    def readers(self):
        found = set(self.probe.threads(self.pid, READ_WORKER))
        self.samples += 1
        self.most_readers = max(self.most_readers, len(found))
        self.period |= found
        return found

    def wait_down(self, timeout):
        """Waits until no ReadWorker runs, which ends an up period; returns
        the seconds it took."""
        start = time.monotonic()
        wait_until(lambda: not self.readers(), timeout, interval=0.02,
                   what="the ReadWorker to end (link down)")
        self.periods.append(self.period)
        self.period = set()
        return time.monotonic() - start

    def wait_up(self, timeout):
        """Waits until a ReadWorker runs; returns (seconds, its thread id)."""
        start = time.monotonic()
        found = wait_until(lambda: self.readers() or None, timeout, interval=0.02,
                           what="a ReadWorker (link up)")
        return time.monotonic() - start, found

    def open_block(self, search=64):
        """The counter of the block whose atom exists now, searching upward
        from the last one seen; the numbers skipped over must have no atom.
        Returns (counter, [counters skipped])."""
        skipped = []
        for counter in range(self.counter + 1, self.counter + 1 + search):
            if self.probe.atom(block_name(self.pid, counter)):
                self.counter = counter
                return counter, skipped
            skipped.append(counter)
        raise AssertionError(f"no block atom of pid {self.pid:X} after counter {self.counter:X}")

    def block_prefix(self):
        return f"FsasmLib:IPC:{self.pid:X}:"

    def clear_inherited(self):
        """Deletes block atoms that name this pid before the gauge has made
        any: a gauge killed while connected, or closed while a worker held
        the link busy, leaves its atom behind, and Wine soon gives its pid to another
        process. Call it while no server runs. Returns the names deleted."""
        found, _ = self.probe.atoms(self.block_prefix(), delete=True)
        return sorted(found)

    def atoms_left(self):
        """The block atoms of this pid in the whole global atom table."""
        found, _ = self.probe.atoms(self.block_prefix())
        return found

    def atom_left(self, counter):
        return self.probe.atom(block_name(self.pid, counter)) != 0
