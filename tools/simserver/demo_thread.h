// The thread that plays the demo flight into the data area while the demo
// is on, about 50 times a second. Windows only.
#pragma once

// Main thread, once, after InitServerState. The thread ends on quit.
bool StartDemoThread();
// Main thread, at the end: waits (briefly) for the thread to end.
void JoinDemoThread();
