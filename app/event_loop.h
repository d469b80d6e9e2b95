// The event loop's decisions, kept free of any window system so that they
// can be tested on the host. Main thread only.
#pragma once

// Events that the window poll reports; at most one per pass.
enum WindowEvent {
  NoEvent = 0,
  EventWindowMoved = 1,
  EventCloseRequested = 2,
};

// What the worker supervision does in one pass.
enum SupervisionAction {
  SupervisionNone = 0,
  SupervisionStartReader = 1,
  SupervisionStopReader = 2,
};

// Start ReadWorker while the link is up and none runs; end it while the
// link is down and one runs.
SupervisionAction DecideSupervision(bool connected, bool readerRunning);

// Whether the loop goes on after this event: false only for a close request.
bool HandleEvent(int event);
