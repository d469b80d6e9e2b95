// Opening and closing the window's Direct3D 9 drawing surface. The drawing
// operations themselves are in surface.h. Main thread only.
#pragma once
#include <windows.h>

// Loads d3d9.dll at run time and creates the Direct3D object (Direct3D9Ex
// where available). Its result is not looked at: a machine without
// Direct3D 9 fails later, in OpenDrawingSurface.
void InitDrawingFacility();

// Opens the surface as a child window covering the 420 x 420 client area of
// `parent`, cleared to black once. False when no device can be made.
bool OpenDrawingSurface(HWND parent);

// Releases sprites, textures, the device and the child window.
void CloseDrawingSurface();
