// Opening the CPU reference surface and looking at what it drew. The drawing
// operations themselves are in surface.h; surface_cpu.cpp implements both.
//
// The surface is a 420 x 420 RGBA buffer in memory. Host tests and the
// headless render tool draw on it, and the window's Direct3D 9 surface is
// checked against it. Main thread only.
#pragma once
#include <cstdint>
#include <vector>

#include "display/surface.h"

// Opens the surface with its target cleared to black (alpha 255), the blend
// pair NormalBlend, filtering set to nearest, no frame open and no present
// made. Opening again first closes the surface that is open.
bool OpenCpuSurface();

// Frees every texture and sprite made on the surface and the target. Sprite
// handles held elsewhere (GaugeSprites) dangle afterwards.
void CloseCpuSurface();

// The target: SurfaceHeight rows of SurfaceWidth pixels, top row first, 4
// bytes per pixel in the order red, green, blue, alpha. The target has no
// alpha of its own: that byte stays 255, like the alpha-less back buffer of
// a window. Writable, so that a test can lay down a known picture. Null
// while the surface is closed.
uint8_t* CpuSurfacePixels();

// Presents made since the surface was opened.
int CpuSurfacePresentCount();

// One sprite draw that took effect, in the order made. The log holds the
// draws of the frame opened last (BeginFrame empties it).
struct CpuDrawRecord {
  const Sprite* sprite;
  int32_t x;
  int32_t y;
  int intensity;
  int sourceBlend;
  int destinationBlend;
  float degrees;   // the sprite's rotation at the draw
  bool bilinear;   // the sampling in force at the draw
};
const std::vector<CpuDrawRecord>& CpuSurfaceDraws();
