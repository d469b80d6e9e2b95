// surface_bench: what one frame of the gauge costs the CPU on the Direct3D 9
// surface, on a Direct3D9Ex device and on a plain Direct3D 9 one.
//
//   surface_bench [frames]      default 500
//
// Sprites are synthetic images of the artwork's sizes, drawn in the order,
// places, blend pairs and intensities of one gauge frame (21 draws, the
// needle and its shadow turned). Reported, each a mean per frame in ms:
//   empty frame     BeginFrame + EndFrame alone: the baseline
//   21 draws        BeginFrame, the 21 draws, EndFrame: submission only
//   whole frame     the 21 draws and PresentFrame, presenting without the
//                   wait for the vertical blank: submission, the device's
//                   own work (under Wine with llvmpipe that is CPU work on
//                   other threads, which a frame has to wait for) and the
//                   copy of the picture kept for recovery
//   read back       one copy of the back buffer to system memory with the
//                   device idle (ReadSurfacePixels): an upper bound of the
//                   copy that a frame keeps
//   vsync frame     the whole frame as the gauge makes it, with the wait
//                   for the vertical blank
// Under Wine, calls are queued to a worker thread and one call may wait for
// the work of earlier ones, so only whole-frame figures compare across
// devices; the submission figure is the time the caller spends.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "display/surface.h"
#include "display/surface_d3d9.h"

namespace {

struct Sprites {
  Sprite* face;
  Sprite* needle;
  Sprite* counterBack;
  Sprite* dot;
  Sprite* ring;
  Sprite* drum;
  Sprite* hatchedDrum;
  Sprite* tape;
};

Sprite* MakeSprite(int width, int height, uint8_t alpha) {
  std::vector<uint8_t> image(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < image.size(); i += 4) {
    image[i] = static_cast<uint8_t>(i * 7);
    image[i + 1] = static_cast<uint8_t>(i * 13);
    image[i + 2] = static_cast<uint8_t>(i * 3);
    image[i + 3] = alpha;
  }
  return CreateSprite(CreateTexture(image.data(), width, height));
}

void DrawGaugeFrame(const Sprites& s, int step) {
  BeginFrame();
  DrawSprite(s.counterBack, 119, 61);
  DrawSprite(s.drum, 240, -201);
  DrawSprite(s.drum, 216, -201);
  DrawSprite(s.drum, 193, -150 + step % 200);
  DrawSprite(s.drum, 169, -123);
  DrawSprite(s.hatchedDrum, 141, -201);
  const int pressureX[8] = {100, 78, 55, 32, 364, 342, 319, 296};
  for (int x : pressureX) DrawSprite(s.drum, x, -40);
  DrawSprite(s.tape, 107 - step % 1500, 279);
  SetBlendFactors(BlendZero, BlendInvSrcAlpha);
  DrawSprite(s.face, 5, 5, 100);
  SetBlendFactors(BlendSrcAlpha, BlendInvSrcAlpha);
  DrawSprite(s.face, 0, 0);
  RotateSprite(s.needle, static_cast<float>(step) * 0.36f, 0);
  SetBlendFactors(BlendZero, BlendInvSrcAlpha);
  DrawSprite(s.needle, 116, 51, 100);
  SetBlendFactors(BlendSrcAlpha, BlendInvSrcAlpha);
  DrawSprite(s.needle, 112, 47);
  DrawSprite(s.dot, 70, 70);
  DrawSprite(s.ring, 70, 70);
  SetBlendFactors(BlendSrcAlpha, BlendInvSrcAlpha);
  EndFrame();
}

double Now() {
  static LARGE_INTEGER frequency = {};
  if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

HWND OpenHost() {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"SurfaceBenchHost";
  RegisterClassExW(&windowClass);
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  RECT frame = {0, 0, SurfaceWidth, SurfaceHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  HWND window = CreateWindowExW(0, L"SurfaceBenchHost", L"surface bench", style, 0, 0,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  return window;
}

// Mean milliseconds per frame of each measured step.
struct Figures {
  double empty, draws, whole, readBack, vsyncFrame;
};

bool Measure(bool ex, bool vsync, int frames, Figures* out) {
  AllowDirect3D9Ex(ex);
  SetPresentWaitsForVsync(vsync);
  InitDrawingFacility();
  HWND host = OpenHost();
  if (!host || !OpenDrawingSurface(host)) return false;
  if (SurfaceUsesDirect3D9Ex() != ex) std::printf("  (asked for %s, got the other)\n", ex ? "Ex" : "plain");
  Sprites s = {MakeSprite(420, 420, 200), MakeSprite(198, 198, 128), MakeSprite(142, 52, 255),
               MakeSprite(30, 30, 128),   MakeSprite(30, 30, 90),    MakeSprite(24, 400, 255),
               MakeSprite(24, 400, 255),  MakeSprite(1900, 80, 255)};
  SetSpriteFiltering(1);
  for (int i = 0; i < 20; ++i) {  // warm-up: first uploads, shader compiles
    DrawGaugeFrame(s, i);
    PresentFrame();
  }
  double empty = 0, draws = 0;
  const double start = Now();
  for (int i = 0; i < frames; ++i) {
    double t0 = Now();
    BeginFrame();
    EndFrame();
    double t1 = Now();
    empty += t1 - t0;
    DrawGaugeFrame(s, i);
    draws += Now() - t1;
    PresentFrame();
    Pump();
  }
  const double whole = Now() - start - empty;
  std::vector<uint8_t> pixels(static_cast<size_t>(SurfaceWidth) * SurfaceHeight * 4);
  ReadSurfacePixels(pixels.data());
  const int reads = 50;
  const double readStart = Now();
  for (int i = 0; i < reads; ++i) ReadSurfacePixels(pixels.data());
  const double readBack = Now() - readStart;

  const double scale = 1000.0 / frames;
  if (vsync) {
    out->vsyncFrame = whole * scale;
  } else {
    out->empty = empty * scale;
    out->draws = draws * scale;
    out->whole = whole * scale;
    out->readBack = readBack * 1000.0 / reads;
  }
  CloseDrawingSurface();
  DestroyWindow(host);
  UnregisterClassW(L"SurfaceBenchHost", GetModuleHandleW(nullptr));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 500;
  if (frames <= 0) return 2;
  for (bool ex : {true, false}) {
    Figures f = {};
    if (!Measure(ex, false, frames, &f) || !Measure(ex, true, frames / 5 + 1, &f)) {
      std::printf("%s: no surface\n", ex ? "Direct3D9Ex" : "Direct3D 9");
      return 1;
    }
    std::printf("%s, %d frames (ms per frame)\n", ex ? "Direct3D9Ex" : "Direct3D 9", frames);
    std::printf("  empty frame   %8.4f\n", f.empty);
    std::printf("  21 draws      %8.4f   (%.0f x the empty frame)\n", f.draws, f.draws / f.empty);
    std::printf("  whole frame   %8.4f\n", f.whole);
    std::printf("  read back     %8.4f\n", f.readBack);
    std::printf("  vsync frame   %8.4f\n", f.vsyncFrame);
  }
  return 0;
}
