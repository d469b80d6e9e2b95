#!/usr/bin/env bash
# CMake's emulator for Windows programs: runs one exe under the harness's
# Wine prefix and display (which the caller has set up with wine_up).
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
exec wine "$@"
