"""End-to-end test harness: runs the real Windows programs under Wine.

Each test makes one `Harness` (a context manager). It
  - uses the Wine prefix and display that scripts/test.sh set up, or makes
    its own (a private Xvfb, a prefix under the build tree) when run alone;
  - starts Windows programs with `start()`, each in a working directory of
    its own, and always kills them at the end;
  - inspects and drives windows through the winprobe tool;
  - takes screenshots of screen rectangles with ImageMagick's `import`.
"""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

GAUGE_CLASS = "StandbyAltimeterGauge"
SERVER_CLASSES = ("UIPCMAIN", "FS98MAIN")

SOURCE_DIR = os.environ.get(
    "GAUGE_SOURCE_DIR", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
BUILD_DIR = os.environ.get("GAUGE_BUILD_DIR", os.path.join(SOURCE_DIR, "build", "windows"))
BIN_DIR = os.environ.get("GAUGE_BIN_DIR", os.path.join(BUILD_DIR, "bin"))
HOST_BUILD_DIR = os.environ.get("GAUGE_HOST_BUILD_DIR", os.path.join(SOURCE_DIR, "build", "host"))


def exe(name):
    return os.path.join(BIN_DIR, name if name.endswith(".exe") else name + ".exe")


def wait_until(predicate, timeout, interval=0.05, what="condition"):
    """Polls predicate() until it returns a true value; returns that value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


class Process:
    """A Windows program started under Wine."""

    def __init__(self, popen, log_path, name):
        self.popen = popen
        self.log_path = log_path
        self.name = name

    def send(self, line):
        self.popen.stdin.write((line + "\n").encode())
        self.popen.stdin.flush()

    def wait(self, timeout):
        return self.popen.wait(timeout=timeout)

    def running(self):
        return self.popen.poll() is None

    def kill(self):
        if self.popen.poll() is None:
            self.popen.send_signal(signal.SIGKILL)
            try:
                self.popen.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        if self.popen.stdin:
            try:
                self.popen.stdin.close()
            except OSError:
                pass

    def output(self):
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def command(self, line, timeout=10):
        """Sends a control line to the stand-in server; returns its reply."""
        before = len(self.output().splitlines())
        self.send(line)
        reply = wait_until(
            lambda: next((l for l in self.output().splitlines()[before:]
                          if l.startswith(("ok", "error"))), None),
            timeout, what=f"the server's reply to {line!r}")
        if not reply.startswith("ok"):
            raise AssertionError(f"server refused {line!r}: {reply}")
        return reply

    def status(self):
        """The server's status line as a dict."""
        reply = self.command("status")
        return dict(pair.split("=", 1) for pair in reply.split()[2:])


class Harness:
    def __init__(self, name=None):
        self.name = name or os.path.splitext(os.path.basename(sys.argv[0]))[0]
        self.processes = []
        self.xvfb = None
        self.env = dict(os.environ)
        self.env.setdefault("WINEPREFIX", os.path.join(BUILD_DIR, "wineprefix"))
        self.env["WINEDEBUG"] = "-all"
        self.env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
        self.env["WINEARCH"] = "win64"
        root = os.path.join(BUILD_DIR, "e2e-work")
        os.makedirs(root, exist_ok=True)
        self.work_root = tempfile.mkdtemp(prefix=self.name + "-", dir=root)

    # -- set-up and tear-down -------------------------------------------------
    def __enter__(self):
        if not self.env.get("DISPLAY"):
            self._start_xvfb()
        if not os.path.exists(os.path.join(self.env["WINEPREFIX"], "system.reg")):
            os.makedirs(self.env["WINEPREFIX"], exist_ok=True)
            subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300)
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)
        return self

    def __exit__(self, *exc):
        for process in reversed(self.processes):
            process.kill()
        if self.xvfb:
            subprocess.run(["wineserver", "-k"], env=self.env)
            self.xvfb.kill()
            self.xvfb.wait()
        return False

    def _start_xvfb(self):
        for n in range(150, 200):
            if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
                continue
            self.xvfb = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1600x1200x24", "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.env["DISPLAY"] = f":{n}"
            wait_until(lambda: os.path.exists(f"/tmp/.X11-unix/X{n}"), 10, what="Xvfb")
            return
        raise RuntimeError("no free X display")

    # -- processes ------------------------------------------------------------
    def workdir(self, name):
        path = os.path.join(self.work_root, name)
        os.makedirs(path, exist_ok=True)
        return path

    def start(self, program, *args, cwd=None, env=None, stdin=False):
        """Starts a Windows program (a name in the bin folder or a path)."""
        path = program if os.path.isabs(program) else exe(program)
        cwd = cwd or self.workdir(os.path.splitext(os.path.basename(path))[0])
        log_path = os.path.join(self.work_root, f"{os.path.basename(path)}.{len(self.processes)}.log")
        run_env = dict(self.env)
        run_env.update(env or {})
        with open(log_path, "wb") as log:
            popen = subprocess.Popen(["wine", path, *args], cwd=cwd, env=run_env,
                                     stdin=subprocess.PIPE if stdin else subprocess.DEVNULL,
                                     stdout=log, stderr=subprocess.STDOUT)
        process = Process(popen, log_path, os.path.basename(path))
        self.processes.append(process)
        return process

    def start_server(self, *args, cwd=None):
        """Starts the stand-in simulator server and waits until its window exists."""
        server = self.start("simserver", "--hidden", *args, cwd=cwd, stdin=True)
        wait_until(lambda: "ready " in server.output(), 30, what="the server's ready line")
        return server

    def run(self, program, *args, timeout=60, env=None):
        """Runs a Windows program to its end; returns (exit code, output)."""
        path = program if os.path.isabs(program) else exe(program)
        run_env = dict(self.env)
        run_env.update(env or {})
        result = subprocess.run(["wine", path, *args], env=run_env, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, timeout=timeout)
        return result.returncode, result.stdout.decode("utf-8", "replace")

    # -- windows --------------------------------------------------------------
    def probe(self, *args):
        code, out = self.run("winprobe", *map(str, args), timeout=30)
        if code != 0:
            raise AssertionError(f"winprobe {' '.join(map(str, args))} failed with {code}")
        return [json.loads(line) for line in out.splitlines() if line.startswith("{")]

    def windows(self, class_name=GAUGE_CLASS):
        return self.probe("windows", class_name)

    def wait_window(self, class_name=GAUGE_CLASS, timeout=30, count=1):
        return wait_until(lambda: (w := self.windows(class_name)) and len(w) >= count and w,
                          timeout, interval=0.2, what=f"a window of class {class_name}")

    def threads(self, pid, name=None):
        """The ids of a Windows process's threads, as a set; only those
        named `name` when it is given (the gauge names its workers)."""
        code, out = self.run("winprobe", "threads", str(pid), timeout=30)
        if code != 0:
            raise AssertionError(f"winprobe threads {pid} failed with {code}")
        ids = set()
        for line in out.splitlines():
            tid, _, thread_name = line.partition(" ")
            if tid.strip() and (name is None or thread_name.strip() == name):
                ids.add(int(tid))
        return ids

    def boxes(self):
        return self.probe("boxes")

    def screenshot(self, x, y, width, height):
        """The screen rectangle as rows of (r, g, b) tuples."""
        raw = subprocess.run(
            ["import", "-display", self.env["DISPLAY"], "-window", "root",
             "-crop", f"{width}x{height}+{x}+{y}", "+repage", "-depth", "8", "rgb:-"],
            check=True, stdout=subprocess.PIPE, timeout=30).stdout
        if len(raw) != width * height * 3:
            raise AssertionError(f"screenshot gave {len(raw)} bytes for {width}x{height}")
        return Image(width, height, raw)

    def client_screenshot(self, window):
        x, y = window["client_origin"]
        w, h = window["client_size"]
        return self.screenshot(x, y, w, h)

    def save_png(self, image, path):
        subprocess.run(["convert", "-size", f"{image.width}x{image.height}", "-depth", "8",
                        "rgb:-", path], input=image.raw, check=True, timeout=30)


def reference_frame(altitude=0, baro_raw=16212, ias_raw=0, connected=True):
    """The CPU reference surface's picture of the gauge for these values,
    rendered by the host build's render tool, as an RGB Image."""
    tool = os.path.join(HOST_BUILD_DIR, "tools", "render", "render_gauge")
    with tempfile.TemporaryDirectory() as tmp:
        raw_path = os.path.join(tmp, "frame.rgba")
        args = [tool, "--out", os.path.join(tmp, "frame.png"), "--raw", raw_path,
                "--alt", str(altitude), "--baro-raw", str(baro_raw), "--ias-raw", str(ias_raw)]
        if not connected:
            args.append("--disconnected")
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL, timeout=60)
        with open(raw_path, "rb") as f:
            rgba = f.read()
    rgb = bytes(b for i, b in enumerate(rgba) if i % 4 != 3)
    return Image(420, 420, rgb)


class Image:
    """An RGB picture, 3 bytes per pixel, rows top first."""

    def __init__(self, width, height, raw):
        self.width, self.height, self.raw = width, height, raw

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.raw[i:i + 3])

    def max_channel(self):
        return max(self.raw) if self.raw else 0

    def lamp_lit(self):
        """Whether the red off lamp shows at its place, (70, 70) to (99, 99)."""
        r, g, b = self.pixel(84, 84)
        return r > 180 and g < 90 and b < 90

    def difference(self, other):
        """(share of pixels differing by more than 24 in some channel,
        mean absolute difference per channel)."""
        assert (self.width, self.height) == (other.width, other.height)
        a, b = self.raw, other.raw
        differing = 0
        total = 0
        for i in range(0, len(a), 3):
            d = max(abs(a[i] - b[i]), abs(a[i + 1] - b[i + 1]), abs(a[i + 2] - b[i + 2]))
            total += abs(a[i] - b[i]) + abs(a[i + 1] - b[i + 1]) + abs(a[i + 2] - b[i + 2])
            if d > 24:
                differing += 1
        pixels = self.width * self.height
        return differing / pixels, total / (3 * pixels)
