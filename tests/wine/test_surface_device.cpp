// The Direct3D 9 surface as a window and a device: the gauge window's client
// area and its first black picture, the window's own procedure still served,
// repaints that need no new frame, and recovery from a
// lost, reset or removed device with the last picture put back by the
// surface itself. Device trouble cannot be caused on purpose under Wine,
// so the surface is told to see it (SimulateDeviceStatus) and then takes
// its real paths: a real Reset, a real new device. Every case runs on a
// Direct3D9Ex device and on a plain Direct3D 9 one.
#include <d3d9.h>

#include <cstdio>

#include "test_surface_support.h"

using namespace surface_test;

namespace {

const Rgba Black = {0, 0, 0, 255};
const Rgba Red = {255, 0, 0, 255};
const Rgba Green = {0, 255, 0, 255};
const Rgba Blue = {0, 0, 255, 255};

// How many pixels of the picture differ from `expected(x, y)`.
template <typename Expected>
int CountWrong(const Picture& picture, Expected expected) {
  int wrong = 0;
  for (int y = 0; y < SurfaceHeight; ++y) {
    for (int x = 0; x < SurfaceWidth; ++x) {
      if (!Near(picture.At(x, y), expected(x, y), 0)) ++wrong;
    }
  }
  return wrong;
}

bool InBox(int x, int y, int left, int top, int size) {
  return x >= left && x < left + size && y >= top && y < top + size;
}

void DrawFrame(Sprite* sprite, int x, int y) {
  BeginFrame();
  DrawSprite(sprite, x, y);
  EndFrame();
  PresentFrame();
}

// The host's own window procedure: counts a private message, so the test
// can see that the surface passes the window's messages on.
int hostMessages = 0;
LRESULT CALLBACK CountingHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP + 7) {
    ++hostMessages;
    return 77;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND OpenCountingHost(int clientWidth, int clientHeight) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = CountingHostProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = L"SurfaceTestCountingHost";
  RegisterClassExW(&windowClass);
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  RECT frame = {0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  HWND window = CreateWindowExW(0, L"SurfaceTestCountingHost", L"surface test", style, 40, 40,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
  if (window) ShowWindow(window, SW_SHOWNORMAL);
  return window;
}

void CheckWindowAndFirstPicture(HWND host, LONG_PTR hostProc) {
  SURFACE_CHECK(SurfaceWindow() == host, "presents into the host window");
  SURFACE_CHECK(GetWindowLongPtrW(host, GWLP_WNDPROC) != hostProc, "repaints are the surface's");

  Picture picture = ReadPicture();
  SURFACE_CHECK(picture.ok, "read back");
  SURFACE_CHECK(CountWrong(picture, [](int, int) { return Black; }) == 0, "starts black");

  HDC dc = GetDC(host);
  SURFACE_CHECK(SendMessageW(host, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) != 0,
                "background erase is skipped");
  ReleaseDC(host, dc);
  hostMessages = 0;
  SURFACE_CHECK(SendMessageW(host, WM_APP + 7, 0, 0) == 77 && hostMessages == 1,
                "other messages reach the window's own procedure");
}

// The window system asks for a repaint: the surface presents its last
// picture again and leaves no region to repaint.
void CheckRepaint(Sprite* red) {
  DrawFrame(red, 30, 30);
  HWND window = SurfaceWindow();
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
  RECT pending;
  SURFACE_CHECK(!GetUpdateRect(window, &pending, FALSE), "repaint validates the window");
  Picture picture = ReadPicture();
  SURFACE_CHECK(Near(picture.At(35, 35), Red, 0) && Near(picture.At(5, 5), Black, 0),
                "the picture is unchanged by a repaint");
}

// Lost, then ready for a Reset. A frame drawn while lost cannot reach the
// device; once the Reset is done the picture comes back with that frame
// over it, without a further frame from the caller.
void CheckLostThenReset(Sprite* black, Sprite* red, Sprite* green) {
  FillTarget(black);
  DrawFrame(red, 10, 10);
  SimulateDeviceStatus(D3DERR_DEVICELOST);
  SURFACE_CHECK(!SurfaceDeviceReady(), "lost");
  DrawFrame(green, 100, 100);  // skipped, recorded
  PumpMessages(300);           // retries while lost change nothing
  SURFACE_CHECK(!SurfaceDeviceReady(), "still lost");

  SimulateDeviceStatus(D3DERR_DEVICENOTRESET);
  SURFACE_CHECK(PumpUntil(SurfaceDeviceReady, 3000), "recovers by itself");
  Picture picture = ReadPicture();
  SURFACE_CHECK(picture.ok, "read back after Reset");
  const int wrong = CountWrong(picture, [](int x, int y) {
    return InBox(x, y, 100, 100, 16) ? Green : InBox(x, y, 10, 10, 16) ? Red : Black;
  });
  SURFACE_CHECK(wrong == 0, "after Reset: %d pixels differ from the last picture", wrong);
}

// The device is gone (removed, hung): a new device on the same window, the
// textures made again, the picture put back; a texture made while the
// device was gone works too.
void CheckRemoved(HRESULT status, Sprite* black, Sprite* red, Sprite* blue) {
  FillTarget(black);
  DrawFrame(red, 200, 50);
  SimulateDeviceStatus(status);
  SURFACE_CHECK(!SurfaceDeviceReady(), "gone");
  SURFACE_CHECK(PumpUntil(SurfaceDeviceReady, 3000), "recovers by itself");
  Picture picture = ReadPicture();
  int wrong = CountWrong(picture, [](int x, int y) { return InBox(x, y, 200, 50, 16) ? Red : Black; });
  SURFACE_CHECK(wrong == 0, "after a new device: %d pixels differ from the last picture", wrong);

  // Textures made before still draw, on the new device.
  DrawFrame(blue, 0, 0);
  picture = ReadPicture();
  SURFACE_CHECK(Near(picture.At(3, 3), Blue, 0) && Near(picture.At(205, 55), Red, 0),
                "old textures draw on the new device");
}

// A frame begun while the device waits for a Reset recovers first and then
// draws: the picture is the previous one with the new frame over it.
void CheckRecoveryAtBeginFrame(Sprite* black, Sprite* red, Sprite* green) {
  FillTarget(black);
  DrawFrame(red, 60, 60);
  SimulateDeviceStatus(D3DERR_DEVICENOTRESET);
  DrawFrame(green, 120, 60);
  SURFACE_CHECK(SurfaceDeviceReady(), "ready after the frame");
  Picture picture = ReadPicture();
  const int wrong = CountWrong(picture, [](int x, int y) {
    return InBox(x, y, 60, 60, 16) ? Red : InBox(x, y, 120, 60, 16) ? Green : Black;
  });
  SURFACE_CHECK(wrong == 0, "recovery at BeginFrame: %d pixels differ", wrong);
}

void RunAll(bool ex) {
  std::printf("-- %s\n", ex ? "Direct3D9Ex" : "Direct3D 9");
  AllowDirect3D9Ex(ex);
  InitDrawingFacility();
  SURFACE_CHECK(!OpenDrawingSurface(nullptr), "no surface without a window");
  HWND wrongSize = OpenCountingHost(400, 420);
  SURFACE_CHECK(wrongSize && !OpenDrawingSurface(wrongSize), "no surface on a client area not 420 x 420");
  if (wrongSize) DestroyWindow(wrongSize);

  HWND host = OpenCountingHost(SurfaceWidth, SurfaceHeight);
  const LONG_PTR hostProc = host ? GetWindowLongPtrW(host, GWLP_WNDPROC) : 0;
  const bool opened = host && OpenDrawingSurface(host);
  SURFACE_CHECK(opened, "surface opens");
  if (!opened) return;
  SURFACE_CHECK(SurfaceUsesDirect3D9Ex() == ex, "device kind");
  CheckWindowAndFirstPicture(host, hostProc);

  Sprite* black = CreateSprite(CreateTexture(SolidImage(420, 420, Black).data(), 420, 420));
  Sprite* red = CreateSprite(CreateTexture(SolidImage(16, 16, Red).data(), 16, 16));
  Sprite* green = CreateSprite(CreateTexture(SolidImage(16, 16, Green).data(), 16, 16));
  CheckRepaint(red);
  CheckLostThenReset(black, red, green);
  CheckRecoveryAtBeginFrame(black, red, green);
  CheckRemoved(D3DERR_DEVICEREMOVED, black, red,
               CreateSprite(CreateTexture(SolidImage(16, 16, Blue).data(), 16, 16)));

  // Made while the device is gone: drawn once the new device is there.
  SimulateDeviceStatus(D3DERR_DEVICEHUNG);
  Sprite* lateBlue = CreateSprite(CreateTexture(SolidImage(16, 16, Blue).data(), 16, 16));
  SURFACE_CHECK(lateBlue != nullptr, "texture made while the device is gone");
  CheckRemoved(D3DERR_DEVICEHUNG, black, red, lateBlue);

  CloseDrawingSurface();
  SURFACE_CHECK(SurfaceWindow() == nullptr, "closed");
  SURFACE_CHECK(GetWindowLongPtrW(host, GWLP_WNDPROC) == hostProc,
                "the window has its own procedure back");
  DestroyWindow(host);
}

}  // namespace

int main() {
  RunAll(true);
  RunAll(false);
  std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
