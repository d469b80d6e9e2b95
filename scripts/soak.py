#!/usr/bin/python3
"""The long soak: the real gauge against the stand-in server for hundreds of
up/down cycles of its link (vanish, kill, badreply in turn, a noanswer cycle
now and then), with the figures printed: time per kind of cycle, the
gauge's handles, GDI objects, windows and memory after the warm-up and
after the last cycle (and every --trend cycles between), the block atoms
left in the global atom table, and the ReadWorkers of every up period.
The short version of the same run is tests/e2e/test_soak.py.

Needs the Windows build (build/windows, or GAUGE_BUILD_DIR / GAUGE_BIN_DIR)
and the host build's render tool (build/host, or GAUGE_HOST_BUILD_DIR) for
the final comparison with the reference picture. Without a DISPLAY it runs
under a private Xvfb. Exit code 0 when every check held.

    /usr/bin/python3 scripts/soak.py --cycles 500
"""

import argparse
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from harness import Harness  # noqa: E402
from link_watch import ProbeSession  # noqa: E402
from test_soak import EXACT, MEMORY_SLACK, SoakRun, cycle_kinds  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cycles", type=int, default=500)
    parser.add_argument("--noanswer-every", type=int, default=50,
                        help="every n-th cycle is a noanswer cycle (about 19 s each); 0 for none")
    parser.add_argument("--snapshot-at", type=int, default=20,
                        help="the warm-up snapshot the last one is compared with")
    parser.add_argument("--trend", type=int, default=100, help="a snapshot every n cycles")
    parser.add_argument("--progress", type=int, default=25)
    args = parser.parse_args()

    kinds = cycle_kinds(args.cycles, args.noanswer_every)
    snapshot_at = min(args.snapshot_at, args.cycles)
    print(f"soak: {args.cycles} cycles, started {time.strftime('%H:%M:%S')}", flush=True)

    def say(text):
        print(text, flush=True)

    problems = []
    with Harness("soak") as h, ProbeSession(h) as probe:
        run = SoakRun(h, probe, say=say)
        try:
            elapsed = run.run(kinds, snapshot_at, progress_every=args.progress,
                              trend_every=args.trend)
            left = run.finish()
        except AssertionError as failure:
            say(f"soak stopped: {failure}")
            say(f"after {sum(len(p) for p in run.timings.values())} cycles, "
                f"block {run.watch.counter if run.watch else 0:X}")
            return 1
        delta = run.report(elapsed, kinds, snapshot_at, left)

    problems += run.failures
    if left:
        problems.append(f"block atoms left: {sorted(left)}")
    if set(run.readers_per_period()) != {1} or run.watch.most_readers != 1:
        problems.append("an up period without exactly one ReadWorker")
    problems += [f"{key} changed by {delta[key]:+}" for key in EXACT if delta[key] != 0]
    problems += [f"{key} grew by {delta[key]:+}" for key in ("private_committed", "virtual_bytes")
                 if delta[key] > MEMORY_SLACK]
    print("soak: " + ("all checks held" if not problems else "PROBLEMS: " + "; ".join(problems)))
    return 0 if not problems else 1


if __name__ == "__main__":
    sys.exit(main())
