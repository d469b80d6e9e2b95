// A pause of whole milliseconds during which the system timer resolution is
// raised to 1 ms, so that a 1 ms pause lasts about 1 ms and not a whole
// default tick. The resolution is restored when the pause ends.
// Implementations: pause_win32.cpp, pause_host.cpp. Any thread.
#pragma once
#include <cstdint>

void PauseMs(uint32_t milliseconds);
