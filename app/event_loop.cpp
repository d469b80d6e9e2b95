// The event loop's decisions.
#include "app/event_loop.h"

SupervisionAction DecideSupervision(bool connected, bool readerRunning) {
  if (connected && !readerRunning) return SupervisionStartReader;
  if (!connected && readerRunning) return SupervisionStopReader;
  return SupervisionNone;
}

bool HandleEvent(int event) { return event != EventCloseRequested; }
