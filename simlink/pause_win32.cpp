// PauseMs on Win32: timeBeginPeriod/timeEndPeriod around the Sleep, so the
// 1 ms resolution is held only while a pause lasts.
#include "simlink/pause.h"

#include <windows.h>
#include <mmsystem.h>

void PauseMs(uint32_t milliseconds) {
  timeBeginPeriod(1);
  Sleep(milliseconds);
  timeEndPeriod(1);
}
