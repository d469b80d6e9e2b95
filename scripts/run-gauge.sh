#!/usr/bin/env bash
# Builds the gauge and runs it under Wine.
#
# There is no simulator on this machine, so the stand-in simulator server
# is started with its demo flight and the gauge connects to it by itself.
# With a display (DISPLAY set) the gauge window appears and runs until you
# close it or press Ctrl-C. Without one, it runs under a private Xvfb for
# RUN_SECONDS (default 30), takes it through the demo flight and saves
# screenshots of the gauge and a contact sheet to
# build/windows/screenshots/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)"

headless=0
[[ -n ${DISPLAY:-} ]] || headless=1
source scripts/wine-env.sh
trap wine_down EXIT
wine_up

/usr/bin/python3 scripts/run_gauge.py --headless "$headless" --seconds "${RUN_SECONDS:-30}"
