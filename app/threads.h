// Worker threads as the event loop sees them: a small non-zero identifier
// per started thread, 0 for none or failure. Main thread only.
// Implementation: threads_win32.cpp.
#pragma once
#include <cstdint>

// Starts `procedure(argument)` on a new thread named `name` (shown by
// debuggers and by the tests' window probe). Returns its identifier, or 0
// when the thread could not be started.
uint32_t StartThread(void (*procedure)(int), int argument, const wchar_t* name);

// True while the thread named by `id` still runs; false for 0, for an
// identifier that names no thread and for a thread that has ended. The
// system's record of an ended thread is released here, so thousands of
// started and ended threads hold no handles.
bool ThreadRunning(uint32_t id);

// Releases the records of all threads, without stopping them (end path).
void ReleaseThreadRecords();
