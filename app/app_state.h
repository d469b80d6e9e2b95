// The gauge application's own process-wide state. Main thread only.
#pragma once
#include <cstdint>

extern const char AppVersion[];  // "1.00"
extern int32_t windowX;  // outer top-left corner of the window, screen pixels
extern int32_t windowY;
