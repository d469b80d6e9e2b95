// The server's window and the window thread's loop: it answers batch
// messages, shows a few live values, and acts on the faults that concern
// the window itself (noanswer, vanish) and on quit. Windows only.
#pragma once

struct WindowOptions {
  const char* className;  // "UIPCMAIN" or "FS98MAIN"
  bool hidden;            // no visible status window (it still exists)
};

// Main thread (the window thread): registers the class and the message and
// creates the window (unless the fault in force is vanish), then prints
// "ready class=<class> hwnd=<window> pid=<process>". False on failure, with
// an "error" line printed.
bool OpenServerWindow(const WindowOptions& options);

// Main thread: pumps the window's messages and acts on faults until quit,
// then destroys the window and lets go of any client block.
void RunWindowLoop();

// Window thread only: blocks without pumping messages while the fault in
// force is noanswer, until another fault or quit is set.
void WaitWhileNotAnswering();
