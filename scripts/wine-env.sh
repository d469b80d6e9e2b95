# Sourced by the README's commands and the test harness: a private Wine
# prefix under the build tree, a display, and a wineserver kept up for the run.
#   wine_up    creates the prefix once, starts Xvfb when there is no DISPLAY,
#              starts a persistent wineserver
#   wine_down  stops every Wine process of the prefix and the Xvfb we started
gauge_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
: "${GAUGE_WINDOWS_BUILD:=$gauge_root/build/windows}"
export WINEPREFIX="${WINEPREFIX:-$GAUGE_WINDOWS_BUILD/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
gauge_xvfb_pid=""

wine_up() {
  if [[ -z ${DISPLAY:-} ]]; then
    local n
    for n in $(seq 90 140); do
      [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
      Xvfb ":$n" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
      gauge_xvfb_pid=$!
      export DISPLAY=":$n"
      for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.1; done
      break
    done
  fi
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    mkdir -p "$WINEPREFIX"
    echo "wine: creating prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  wineserver -p >/dev/null 2>&1 || true
  # Start the prefix's services now, with their output on /dev/null: started
  # by the first test program instead, they would inherit its output pipe and
  # keep ctest waiting for that test long after it has ended.
  wineboot >/dev/null 2>&1 || true
}

wine_down() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [[ -n $gauge_xvfb_pid ]]; then
    kill "$gauge_xvfb_pid" 2>/dev/null || true
    wait "$gauge_xvfb_pid" 2>/dev/null || true
    gauge_xvfb_pid=""
  fi
}
