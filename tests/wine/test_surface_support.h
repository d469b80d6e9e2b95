// Shared pieces of the Direct3D 9 surface test programs: a host window of
// the gauge's size, message pumping, synthetic images, pixel checks and a
// failure counter. Header only; each test_surface_*.cpp is its own program.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "display/surface.h"
#include "display/surface_d3d9.h"

namespace surface_test {

inline int failures = 0;

#define SURFACE_CHECK(condition, ...)                                   \
  do {                                                                  \
    if (!(condition)) {                                                 \
      ++surface_test::failures;                                         \
      std::printf("FAIL %s:%d: %s: ", __FILE__, __LINE__, #condition); \
      std::printf(__VA_ARGS__);                                         \
      std::printf("\n");                                                \
    }                                                                   \
  } while (0)

struct Rgba {
  uint8_t r, g, b, a;
};

// A top-level window with a 420 x 420 client area, like the gauge's.
inline HWND OpenHostWindow() {
  static bool registered = false;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!registered) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = L"SurfaceTestHost";
    registered = RegisterClassExW(&windowClass) != 0;
  }
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  RECT frame = {0, 0, SurfaceWidth, SurfaceHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  HWND window = CreateWindowExW(0, L"SurfaceTestHost", L"surface test", style, 40, 40,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, instance, nullptr);
  if (window) {
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
  }
  return window;
}

// Handles window messages (repaints, the surface's timers) for `ms`.
inline void PumpMessages(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

// Pumps messages until `done()` holds or `ms` have passed.
template <typename Predicate>
bool PumpUntil(Predicate done, DWORD ms) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    PumpMessages(10);
  }
  return true;
}

// An image of one colour.
inline std::vector<uint8_t> SolidImage(int width, int height, Rgba colour) {
  std::vector<uint8_t> image(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < image.size(); i += 4) {
    image[i] = colour.r;
    image[i + 1] = colour.g;
    image[i + 2] = colour.b;
    image[i + 3] = colour.a;
  }
  return image;
}

// An opaque image in which neighbouring texels differ in every channel, so
// that a texel landing on the wrong pixel, or a blurred one, shows.
inline Rgba PatternTexel(int u, int v) {
  return {static_cast<uint8_t>((u * 37 + v * 11) & 255), static_cast<uint8_t>((u * 5 + v * 71) & 255),
          static_cast<uint8_t>((u * 113 + v * 29 + 64) & 255), 255};
}

inline std::vector<uint8_t> PatternImage(int width, int height) {
  std::vector<uint8_t> image(static_cast<size_t>(width) * height * 4);
  for (int v = 0; v < height; ++v) {
    for (int u = 0; u < width; ++u) {
      const Rgba t = PatternTexel(u, v);
      uint8_t* p = &image[(static_cast<size_t>(v) * width + u) * 4];
      p[0] = t.r;
      p[1] = t.g;
      p[2] = t.b;
      p[3] = t.a;
    }
  }
  return image;
}

// The surface's pixels as read back from the device.
struct Picture {
  std::vector<uint8_t> rgba = std::vector<uint8_t>(static_cast<size_t>(SurfaceWidth) * SurfaceHeight * 4);
  bool ok = false;

  Rgba At(int x, int y) const {
    const uint8_t* p = &rgba[(static_cast<size_t>(y) * SurfaceWidth + x) * 4];
    return {p[0], p[1], p[2], p[3]};
  }
};

inline Picture ReadPicture() {
  Picture picture;
  picture.ok = ReadSurfacePixels(picture.rgba.data());
  return picture;
}

inline int ChannelDifference(Rgba a, Rgba b) {
  const int dr = std::abs(a.r - b.r), dg = std::abs(a.g - b.g), db = std::abs(a.b - b.b);
  return dr > dg ? (dr > db ? dr : db) : (dg > db ? dg : db);
}

inline bool Near(Rgba a, Rgba b, int tolerance) { return ChannelDifference(a, b) <= tolerance; }

// Fills the whole target with one opaque colour, in a frame of its own.
inline void FillTarget(Sprite* opaqueFullSize) {
  BeginFrame();
  DrawSprite(opaqueFullSize, 0, 0);
  EndFrame();
  PresentFrame();
}

}  // namespace surface_test
