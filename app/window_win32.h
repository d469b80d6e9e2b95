// The gauge window: creation, the event poll, the window position and the
// start-up message box. Main thread only.
#pragma once
#include <windows.h>

#include <cstdint>

// Window class name of the gauge's top-level window.
extern const wchar_t GaugeWindowClass[];

// Opens the window with a 420 x 420 client area, its outer top-left corner
// at (x, y) used unchanged, titled with `titleCp1252` (Windows-1252 text).
// Null when the window cannot be created.
HWND OpenGaugeWindow(int32_t x, int32_t y, const char* titleCp1252);

// Keeps the gauge above ordinary windows, without moving or sizing it.
void MakeWindowTopmost(HWND window);

// Handles every pending window message, so the window never looks hung,
// then returns at most one recorded event (WindowEvent), or NoEvent.
// Identical window-moved events still pending come back as one.
int PollWindowEvent();

// The window's outer top-left corner in screen coordinates.
void ReadWindowPosition(HWND window, int32_t* x, int32_t* y);

// A modal box with one OK button; caption and text are Windows-1252.
void ShowMessageBox(HWND owner, const char* captionCp1252, const char* textCp1252);

void CloseGaugeWindow(HWND window);
