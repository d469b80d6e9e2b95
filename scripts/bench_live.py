#!/usr/bin/python3
"""Live-link benchmarks of the real gauge under Wine. Figures, not a test:
nothing here passes or fails on a speed, and ctest does not run it.

Run it after a Windows build, with no DISPLAY so that it makes its own
Xvfb and Wine prefix under the build tree (about 5 minutes):

    cmake -S . -B build/bench-win --toolchain cmake/toolchain-mingw64.cmake \\
          -DCMAKE_BUILD_TYPE=Release && cmake --build build/bench-win -j2
    env -u DISPLAY GAUGE_BUILD_DIR=$PWD/build/bench-win \\
        /usr/bin/python3 scripts/bench_live.py [--seconds 30] [--changes 80] \\
        [--gauges 8] [--json out.json]

What it measures, each beside the limit it is held against:
  context     ipcbench (bare cross-process round trip, one five-read poll)
              and surface_bench (one frame presented with the wait for the
              vertical blank), run first in the same session.
  poll rate   one gauge connected to the stand-in server (fixed values,
              demo off, no batch log): the server's batch count every 3 s
              over --seconds; against 1,000 a second, the most the 1 ms
              pause between polls allows.
  latency     from the moment the "set alt" line is written to the server's
              standard input to the moment the changed frame is on the X
              screen; --changes changes, alternating between two altitudes,
              each at a random moment. The screen is read straight from the
              X server (XGetImage of a narrow strip of the gauge's client
              area, through libX11 with ctypes, about a tenth of a
              millisecond a read), both moments on this side's monotonic
              clock. The server's "ok" reply is timed too, so that the pipe's
              share is known. Against one poll + one 10 ms loop pass + one
              present (surface_bench's vsync frame on Direct3D9Ex, which
              the gauge's surface prefers). Also the processor time that one
              redraw costs the gauge, beyond what polling costs it.
  CPU         processor time of the gauge's Linux process (a Wine process
              is one; /proc/<pid>/stat, with its threads by name), of the
              server, of the prefix's wineserver and of Xvfb, as a
              percentage of one core: disconnected (no server) and connected
              with no changes.
  8 gauges    --gauges gauges, each in its own working directory, against
              one server: the server's CPU and the total batch rate without
              the batch log; then, against a server restarted with --log,
              each gauge's own poll rate from the log's block names (which
              carry the gauge's process id).
The machine's load (load average and the busy share of all cores, minus the
processes measured) is printed with every phase: the machine is shared.
"""

import argparse
import ctypes
import json
import os
import random
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import Harness, exe, wait_until  # noqa: E402

TICK = os.sysconf("SC_CLK_TCK")
CORES = os.cpu_count() or 1


# -- processor time from /proc --------------------------------------------------

def process_ticks(pid):
    """utime + stime of a Linux process, in clock ticks; None once it is gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])
    except (OSError, IndexError):
        return None


def thread_ticks(pid):
    """{thread name: ticks} of a process's live threads, names summed."""
    out = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return out
    for tid in tids:
        try:
            with open(f"/proc/{pid}/task/{tid}/comm") as f:
                name = f.read().strip()
            with open(f"/proc/{pid}/task/{tid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        out[name] = out.get(name, 0) + int(fields[11]) + int(fields[12])
    return out


def machine_ticks():
    """(busy, total) ticks of all cores, from /proc/stat."""
    with open("/proc/stat") as f:
        values = [int(v) for v in f.readline().split()[1:]]
    idle = values[3] + values[4]
    total = sum(values[:8])
    return total - idle, total


def loadavg():
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


def wineserver_pid(prefix):
    """The Linux pid of the wineserver that serves this prefix."""
    wanted = ("WINEPREFIX=" + prefix).encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/comm") as f:
                if not f.read().startswith("wineserver"):  # wineserver64 too
                    continue
            with open(f"/proc/{entry}/environ", "rb") as f:
                if wanted in f.read().split(b"\0"):
                    return int(entry)
        except OSError:
            continue
    return None


class CpuWindow:
    """Processor time of named Linux processes over one stretch of wall time."""

    def __init__(self, pids):
        self.pids = dict(pids)  # label -> pid
        self.start_wall = time.monotonic()
        self.start = {label: process_ticks(pid) for label, pid in self.pids.items()}
        self.start_threads = {label: thread_ticks(pid) for label, pid in self.pids.items()}
        self.start_machine = machine_ticks()
        self.start_load = loadavg()

    def stop(self):
        wall = time.monotonic() - self.start_wall
        result = {"seconds": wall, "percent": {}, "threads": {}}
        ours = 0
        for label, pid in self.pids.items():
            end = process_ticks(pid)
            if end is None or self.start[label] is None:
                continue
            used = end - self.start[label]
            ours += used
            result["percent"][label] = 100.0 * used / TICK / wall
            threads = thread_ticks(pid)
            result["threads"][label] = {
                name: 100.0 * (ticks - self.start_threads[label].get(name, 0)) / TICK / wall
                for name, ticks in threads.items()
                if ticks - self.start_threads[label].get(name, 0) > 0}
        busy, total = machine_ticks()
        busy -= self.start_machine[0]
        total -= self.start_machine[1]
        result["machine_busy_percent_of_all_cores"] = 100.0 * busy / max(total, 1)
        result["others_percent_of_one_core"] = 100.0 * (busy - ours) / TICK / wall
        result["loadavg"] = (self.start_load, loadavg())
        return result


# -- the X screen, read straight from the X server -------------------------------

class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


class Screen:
    """Rectangles of the root window as raw bytes (ZPixmap rows)."""

    ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)

    def __init__(self, display_name):
        x = ctypes.CDLL("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.POINTER(XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        # Xlib's default error handler ends the process; a failed read
        # returns None here instead.
        self._handler = Screen.ERROR_HANDLER(lambda display, event: 0)
        x.XSetErrorHandler(self._handler)
        self.x = x
        self.display = x.XOpenDisplay(display_name.encode())
        if not self.display:
            raise RuntimeError(f"cannot open X display {display_name}")
        self.root = x.XDefaultRootWindow(self.display)

    def grab(self, left, top, width, height):
        image = self.x.XGetImage(self.display, self.root, left, top, width, height,
                                 0xFFFFFFFF, 2)  # AllPlanes, ZPixmap
        if not image:
            return None
        data = ctypes.string_at(image.contents.data, image.contents.bytes_per_line * height)
        self.x.XDestroyImage(image)
        return data

    def close(self):
        self.x.XCloseDisplay(self.display)


# -- helpers ---------------------------------------------------------------------

def spread(values):
    """median, min, max and 99th percentile (nearest rank) of a list."""
    ordered = sorted(values)
    rank = max(0, min(len(ordered) - 1, int(round(0.99 * len(ordered) + 0.5)) - 1))
    return {"median": statistics.median(ordered), "min": ordered[0], "max": ordered[-1],
            "p99": ordered[rank], "n": len(ordered)}


def batches(server):
    return int(server.status()["batches"])


def wait_polling(server, timeout=20):
    """Waits until the server's batch count climbs: a gauge is polling."""
    first = batches(server)
    wait_until(lambda: batches(server) > first + 50, timeout, interval=0.25,
               what="the gauge's polls at the server")


def say(text=""):
    print(text, flush=True)


def say_load(cpu):
    say(f"    machine: load average {cpu['loadavg'][0]:.2f} -> {cpu['loadavg'][1]:.2f}, "
        f"all {CORES} cores {cpu['machine_busy_percent_of_all_cores']:.0f} % busy, "
        f"of which other processes {cpu['others_percent_of_one_core']:.0f} % of one core")


def say_cpu(cpu, labels):
    for label in labels:
        if label not in cpu["percent"]:
            continue
        top = sorted(cpu["threads"][label].items(), key=lambda item: -item[1])[:5]
        threads = ", ".join(f"{name} {value:.1f}" for name, value in top if value >= 0.05)
        say(f"    {label:<12} {cpu['percent'][label]:6.2f} % of one core"
            + (f"   ({threads})" if threads else ""))


# -- the phases ------------------------------------------------------------------

def run_context(h, results):
    say("context: ipcbench (round trips) and surface_bench (frames)")
    code, out = h.run("ipcbench", "10", "300", timeout=180)
    results["ipcbench"] = out
    for line in out.splitlines():
        if "median" in line:
            say("    " + line.strip())
    code, out = h.run("surface_bench", "200", timeout=300)
    results["surface_bench"] = out
    vsync = []  # Direct3D9Ex first: the gauge's surface prefers it
    for line in out.splitlines():
        if line.strip().startswith("vsync frame"):
            vsync.append(float(line.split()[2]))
        if line and not line.startswith(" "):
            say("    " + line.strip())
        elif "vsync" in line or "whole" in line:
            say("    " + line.rstrip())
    results["vsync_frame_ms"] = vsync[0] if vsync else None


def run_disconnected(h, args, results, common_pids):
    say(f"CPU, one gauge, no server ({args.seconds} s)")
    gauge = h.start("altimeter", cwd=h.workdir("alone"))
    h.wait_window()
    time.sleep(3)
    cpu = CpuWindow({"gauge": gauge.popen.pid, **common_pids()})
    time.sleep(args.seconds)
    cpu = cpu.stop()
    say_cpu(cpu, ["gauge", "wineserver", "Xvfb"])
    say_load(cpu)
    results["disconnected"] = cpu
    return gauge


def run_connected(h, args, results, common_pids, gauge):
    say(f"poll rate and CPU, one gauge connected, fixed values, no batch log ({args.seconds} s)")
    server = h.start_server(cwd=h.workdir("server-one"))
    server.command("demo off")
    server.command("set alt 12000")
    wait_polling(server)
    time.sleep(3)
    cpu = CpuWindow({"gauge": gauge.popen.pid, "server": server.popen.pid, **common_pids()})
    rates = []
    count, when = batches(server), time.monotonic()
    first_count, first_when = count, when
    while time.monotonic() - first_when < args.seconds:
        time.sleep(3)
        new_count, new_when = batches(server), time.monotonic()
        rates.append((new_count - count) / (new_when - when))
        count, when = new_count, new_when
    cpu = cpu.stop()
    overall = (count - first_count) / (when - first_when)
    rate = spread(rates)
    say(f"    polls per second: {overall:.0f} over {when - first_when:.0f} s; per 3 s window "
        f"median {rate['median']:.0f}, min {rate['min']:.0f}, max {rate['max']:.0f} "
        f"(limit 1000: one 1 ms pause per poll); one poll every {1000 / overall:.2f} ms")
    say_cpu(cpu, ["gauge", "server", "wineserver", "Xvfb"])
    say_load(cpu)
    results["connected"] = {"cpu": cpu, "polls_per_second": overall, "per_window": rate}
    return server


def strip_band(screen, window, server):
    """A narrow column band of the client area that differs between the two
    altitudes used, found from two whole-area reads; (x, width)."""
    left, top = window["client_origin"]
    width, height = window["client_size"]
    pictures = []
    for altitude in (12000, 12500):
        server.command(f"set alt {altitude}")
        time.sleep(0.6)
        pictures.append(screen.grab(left, top, width, height))
    a, b = pictures
    stride = len(a) // height
    per_pixel = stride // width
    columns = [0] * width
    for y in range(height):
        row = y * stride
        for x in range(width):
            i = row + x * per_pixel
            if a[i:i + 3] != b[i:i + 3]:
                columns[x] += 1
    band = 4
    best = max(range(width - band), key=lambda x: sum(columns[x:x + band]))
    return best, band, sum(columns[best:best + band])


def run_latency(h, args, results, common_pids, server, gauge_pid, window):
    say(f"latency, server write to changed frame on screen ({args.changes} changes)")
    screen = Screen(h.env["DISPLAY"])
    try:
        left, top = window["client_origin"]
        height = window["client_size"][1]
        x, band, differing = strip_band(screen, window, server)
        say(f"    watching columns {x}..{x + band - 1} of the client area "
            f"({differing} pixels differ there between the two altitudes)")
        # The server's current altitude after strip_band is 12500.
        to_screen, to_ack, ack_to_screen, grab_times = [], [], [], []
        cpu = CpuWindow({"gauge": gauge_pid, "server": server.popen.pid,
                         "this script": os.getpid(), **common_pids()})
        altitude = 12500
        missed = 0
        for _ in range(args.changes):
            altitude = 12000 if altitude == 12500 else 12500
            time.sleep(random.uniform(0.06, 0.16))  # any phase of the gauge's 10 ms loop
            before = screen.grab(left + x, top, band, height)
            size = os.path.getsize(server.log_path)
            started = time.perf_counter()
            server.send(f"set alt {altitude}")
            acked = shown = None
            while True:
                # A pause between reads, so that this loop leaves the gauge
                # and Xvfb the processor time they need on a small machine.
                time.sleep(args.read_pause)
                t = time.perf_counter()
                picture = screen.grab(left + x, top, band, height)
                after = time.perf_counter()
                grab_times.append(after - t)
                if acked is None and os.path.getsize(server.log_path) > size:
                    acked = time.perf_counter()
                if picture != before:
                    shown = after
                    break
                if after - started > 2.0:
                    break
            if shown is None:
                missed += 1
                continue
            if acked is None:
                wait_until(lambda: os.path.getsize(server.log_path) > size, 5, interval=0.001,
                           what="the server's reply")
                acked = time.perf_counter()
            to_screen.append(1000 * (shown - started))
            to_ack.append(1000 * (acked - started))
            ack_to_screen.append(1000 * (shown - acked))
        cpu = cpu.stop()
        screen_stats, ack_stats = spread(to_screen), spread(to_ack)
        say(f"    write -> frame on screen: median {screen_stats['median']:.1f} ms, "
            f"p99 {screen_stats['p99']:.1f} ms, min {screen_stats['min']:.1f}, "
            f"max {screen_stats['max']:.1f} ({screen_stats['n']} changes, {missed} not seen in 2 s)")
        say(f"    write -> server's reply:  median {ack_stats['median']:.2f} ms, "
            f"p99 {ack_stats['p99']:.2f} ms")
        say(f"    one screen read: median {1000 * statistics.median(grab_times):.3f} ms, "
            f"one every {1000 * args.read_pause:.1f} ms or so (the resolution of the frame time)")
        say_cpu(cpu, ["gauge", "server", "wineserver", "Xvfb", "this script"])
        # What one redraw costs the gauge: its processor time here less what
        # polling alone cost it in the phase before, per change shown.
        idle = results["connected"]["cpu"]["percent"]["gauge"]
        per_redraw = (cpu["percent"]["gauge"] - idle) / 100.0 * cpu["seconds"] / max(len(to_screen), 1)
        say(f"    one redraw costs the gauge about {1000 * per_redraw:.0f} ms of processor time"
            f" (all its threads, Wine's Direct3D worker and llvmpipe included)")
        say_load(cpu)
        results["latency"] = {"cpu": cpu, "redraw_cpu_ms": 1000 * per_redraw,
                              "samples_ms": to_screen, "to_screen_ms": screen_stats,
                              "to_reply_ms": ack_stats, "reply_to_screen_ms": spread(ack_to_screen), "missed": missed,
                              "screen_read_ms": 1000 * statistics.median(grab_times)}
    finally:
        screen.close()


def poll_counts(log_path, start, end):
    """Poll batches per block name in one stretch of the batch log."""
    counts = {}
    with open(log_path, "rb") as f:
        f.seek(start)
        text = f.read(end - start).decode("ascii", "replace")
    for line in text.splitlines():
        if "| R 3324 4 @0" not in line or not line.endswith("reply 1"):
            continue
        name = line.split(" |", 1)[0].strip()
        counts[name] = counts.get(name, 0) + 1
    return counts


def run_many(h, args, results, common_pids):
    n = args.gauges
    say(f"{n} gauges against one server ({args.seconds} s without the batch log, "
        f"then {args.seconds} s with it)")
    server = h.start_server(cwd=h.workdir("server-many"))
    gauges = [h.start("altimeter", cwd=h.workdir(f"gauge-{i}")) for i in range(n)]
    h.wait_window(count=n, timeout=90)
    wait_polling(server, timeout=60)
    time.sleep(10)  # the gauges' own start-up work is over by then
    pids = {"server": server.popen.pid, **common_pids()}
    pids.update({f"gauge {i}": g.popen.pid for i, g in enumerate(gauges)})
    cpu = CpuWindow(pids)
    first, first_when = batches(server), time.monotonic()
    time.sleep(args.seconds)
    total = (batches(server) - first) / (time.monotonic() - first_when)
    cpu = cpu.stop()
    gauge_cpu = [cpu["percent"][f"gauge {i}"] for i in range(n) if f"gauge {i}" in cpu["percent"]]
    say(f"    all polls: {total:.0f} a second, {total / n:.0f} per gauge on average")
    say_cpu(cpu, ["server", "wineserver", "Xvfb"])
    say(f"    gauges       median {statistics.median(gauge_cpu):.2f} % of one core each "
        f"(min {min(gauge_cpu):.2f}, max {max(gauge_cpu):.2f})")
    say_load(cpu)
    results["many"] = {"gauges": n, "cpu": cpu, "polls_per_second_total": total}

    # The same gauges against a server that logs each batch with its block
    # name; they reconnect by themselves within a couple of seconds.
    server.kill()
    log_path = os.path.join(h.workdir("server-logged"), "batches.log")
    server = h.start_server("--log", log_path, cwd=h.workdir("server-logged"))
    windows = h.wait_window(count=n)

    def all_polling():
        names = poll_counts(log_path, 0, os.path.getsize(log_path))
        return len({name.split(":")[2] for name in names}) >= n

    wait_until(all_polling, 60, interval=0.5, what=f"all {n} gauges to poll the logged server")
    time.sleep(3)
    cpu = CpuWindow({"server": server.popen.pid, **common_pids()})
    start, start_when = os.path.getsize(log_path), time.monotonic()
    time.sleep(args.seconds)
    end, end_when = os.path.getsize(log_path), time.monotonic()
    cpu = cpu.stop()
    counts = poll_counts(log_path, start, end)
    seconds = end_when - start_when
    gauge_pids = {w["pid"] for w in windows}
    per_gauge = {}
    for name, count in counts.items():
        pid = int(name.split(":")[2], 16)
        per_gauge[pid] = per_gauge.get(pid, 0) + count / seconds
    rates = [per_gauge.get(pid, 0.0) for pid in sorted(gauge_pids)]
    stats = spread(rates)
    say("    with the batch log: each gauge's polls per second: "
        + ", ".join(f"{r:.0f}" for r in rates))
    say(f"      median {stats['median']:.0f}, min {stats['min']:.0f}, max {stats['max']:.0f}; "
        f"total {sum(rates):.0f} a second (one gauge alone: "
        f"{results['connected']['polls_per_second']:.0f})")
    say_cpu(cpu, ["server", "wineserver"])
    say_load(cpu)
    results["many_logged"] = {"per_gauge": rates, "stats": stats, "cpu": cpu}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--changes", type=int, default=80)
    parser.add_argument("--gauges", type=int, default=8)
    parser.add_argument("--read-pause", type=float, default=0.0005,
                        help="seconds between two screen reads while waiting for a frame")
    parser.add_argument("--json", help="also write every figure to this file")
    parser.add_argument("--skip-context", action="store_true")
    args = parser.parse_args()
    for program in ("altimeter", "simserver", "winprobe", "ipcbench", "surface_bench"):
        if not os.path.exists(exe(program)):
            sys.exit(f"bench_live: {exe(program)} is missing; build the Windows tree first")

    results = {"date": time.strftime("%Y-%m-%d %H:%M"), "cores": CORES,
               "kernel": os.uname().release}
    say(f"bench_live {results['date']}, {CORES} cores, load average {loadavg():.2f}")
    with Harness("bench_live") as h:
        def common():
            """The shared processes: the prefix's wineserver (which may have
            ended and come back between phases) and our Xvfb."""
            pids = {"wineserver": wineserver_pid(h.env["WINEPREFIX"])}
            if h.xvfb:
                pids["Xvfb"] = h.xvfb.pid
            return {label: pid for label, pid in pids.items() if pid}

        if not args.skip_context:
            run_context(h, results)
        gauge = run_disconnected(h, args, results, common)
        server = run_connected(h, args, results, common, gauge)
        [window] = h.windows()
        run_latency(h, args, results, common, server, gauge.popen.pid, window)
        poll_ms = 1000.0 / results["connected"]["polls_per_second"]
        vsync = results.get("vsync_frame_ms")
        if vsync:
            limit = poll_ms + 10.0 + vsync
            over = sum(1 for v in results["latency"]["samples_ms"] if v > limit)
            results["latency"]["limit_ms"] = limit
            results["latency"]["over_limit"] = over
            say(f"    limit: one poll {poll_ms:.2f} + one loop pass 10 + one present {vsync:.2f}"
                f" = {limit:.1f} ms; {over} of {len(results['latency']['samples_ms'])} changes"
                f" took longer")
        gauge.kill()
        server.kill()
        if args.gauges > 0:
            run_many(h, args, results, common)
    if args.json:
        with open(args.json, "w") as f:
            json.dump(results, f, indent=1)
        say(f"figures written to {args.json}")


if __name__ == "__main__":
    main()
