// Opening and closing the window's Direct3D 9 drawing surface. The drawing
// operations themselves are in surface.h. Main thread only.
#pragma once
#include <windows.h>

#include <cstdint>

// Loads d3d9.dll at run time and creates the Direct3D object (Direct3D9Ex
// where available). Its result is not looked at: a machine without
// Direct3D 9 fails later, in OpenDrawingSurface.
void InitDrawingFacility();

// Opens the surface on the 420 x 420 client area of `window`, which it must
// have: a device whose back buffer covers that area exactly, cleared to
// black once. The surface then answers the window's repaints (WM_PAINT,
// WM_ERASEBKGND) itself, by wrapping its window procedure; every other
// message goes on to that procedure. False when no device can be made.
bool OpenDrawingSurface(HWND window);

// Releases sprites, textures, the device and the Direct3D object, and
// gives the window back its own procedure. InitDrawingFacility may be
// called again afterwards.
void CloseDrawingSurface();

// ---- For test programs and the benchmark -----------------------------------

// Before InitDrawingFacility: false makes it use plain Direct3D 9 even where
// Direct3D9Ex exists, so the managed-pool and Reset paths can be exercised.
void AllowDirect3D9Ex(bool allow);

// Before OpenDrawingSurface: false presents without waiting for the
// vertical blank (D3DPRESENT_INTERVAL_IMMEDIATE). The gauge never does this.
void SetPresentWaitsForVsync(bool wait);

// True when the open surface runs on a Direct3D9Ex device.
bool SurfaceUsesDirect3D9Ex();

// The window the surface presents into, or null.
HWND SurfaceWindow();

// Copies the back buffer into `rgba` (420 x 420 pixels, top row first, red,
// green, blue, alpha 255). False while no usable device exists or when the
// back buffer is not a 32-bit format.
bool ReadSurfacePixels(uint8_t* rgba);

// Makes the surface see `status` as its device's state, as if the driver had
// reported it: D3DERR_DEVICELOST holds until another call; DEVICENOTRESET,
// DEVICEREMOVED and DEVICEHUNG are acted on once (Reset, or a new device)
// and then forgotten; S_OK (0) ends the pretence. The surface recovers
// through its own paths: at the next BeginFrame, repaint or retry timer.
void SimulateDeviceStatus(HRESULT status);

// True when the device is usable now (not lost, not awaiting recovery).
bool SurfaceDeviceReady();
