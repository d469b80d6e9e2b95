// One line to standard output, flushed at once: the replies of the control
// and the server's notices ("ready", "window ..."), read by people and by
// tests through a pipe. Any thread; each line is written whole.
#pragma once

void Say(const char* format, ...);
