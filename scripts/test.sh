#!/usr/bin/env bash
# Runs every test: host unit tests (ASan + UBSan) and fuzz runs, then the
# Windows build with its Wine test programs and end-to-end tests of the real
# exe under Wine and Xvfb. Installs what it needs first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
start=$(date +%s)

scripts/setup.sh
jobs=$(nproc)

echo "== host build and tests"
cmake --preset host >/dev/null
cmake --build --preset host -j"$jobs"
ctest --preset host -j"$jobs"

echo "== windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"

echo "== windows tests under Wine"
source scripts/wine-env.sh
trap wine_down EXIT
wine_up
# One at a time: the end-to-end tests share one screen and take screenshots.
ctest --preset windows

echo "== all tests passed in $(( $(date +%s) - start )) s"
