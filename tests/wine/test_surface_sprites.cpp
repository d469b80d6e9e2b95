// The Direct3D 9 sprite layer, read back from the device: unturned sprites
// land texel on pixel (also clipped, and for the 1,900-pixel tape), the
// blend arithmetic of the normal and shadow pairs, the turn about the
// sprite's centre and its direction, frames drawing over the previous
// picture, and calls that must do nothing. Every case runs on a Direct3D9Ex
// device and on a plain Direct3D 9 one.
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "test_surface_support.h"

using namespace surface_test;

namespace {

// Tolerance of blended values: the device rounds or truncates 8-bit
// products, so one level either way.
constexpr int BlendTolerance = 1;

const Rgba Black = {0, 0, 0, 255};

void CheckUnturnedTexelExact() {
  std::vector<uint8_t> image = PatternImage(7, 5);
  Sprite* sprite = CreateSprite(CreateTexture(image.data(), 7, 5));
  SURFACE_CHECK(sprite != nullptr, "7x5 sprite");

  struct Case {
    int x, y, bilinear;
  };
  const Case cases[] = {{10, 20, 0}, {10, 20, 1}, {-3, 417, 1}, {416, -2, 1}, {0, 0, 1}};
  for (const Case& c : cases) {
    Sprite* black = CreateSprite(CreateTexture(SolidImage(420, 420, Black).data(), 420, 420));
    SetSpriteFiltering(c.bilinear);
    FillTarget(black);
    BeginFrame();
    DrawSprite(sprite, c.x, c.y);
    EndFrame();
    PresentFrame();
    Picture picture = ReadPicture();
    SURFACE_CHECK(picture.ok, "read back");
    int wrong = 0;
    for (int py = 0; py < SurfaceHeight; ++py) {
      for (int px = 0; px < SurfaceWidth; ++px) {
        const int u = px - c.x, v = py - c.y;
        const bool inside = u >= 0 && u < 7 && v >= 0 && v < 5;
        const Rgba expected = inside ? PatternTexel(u, v) : Black;
        if (ChannelDifference(picture.At(px, py), expected) != 0) ++wrong;
      }
    }
    SURFACE_CHECK(wrong == 0, "sprite at (%d, %d) bilinear %d: %d pixels differ", c.x, c.y,
                  c.bilinear, wrong);
  }
}

// The tape is one texture 1,900 pixels wide, drawn whole at a negative x.
void CheckWideTexture() {
  std::vector<uint8_t> image = PatternImage(1900, 80);
  Sprite* tape = CreateSprite(CreateTexture(image.data(), 1900, 80));
  SURFACE_CHECK(tape != nullptr, "1900x80 texture");
  SetSpriteFiltering(1);
  for (int x : {107, -1000, -1489}) {
    BeginFrame();
    DrawSprite(tape, x, 279);
    EndFrame();
    PresentFrame();
    Picture picture = ReadPicture();
    int wrong = 0;
    for (int py = 279; py < 359; ++py) {
      for (int px = x > 0 ? x : 0; px < SurfaceWidth && px - x < 1900; ++px) {
        if (ChannelDifference(picture.At(px, py), PatternTexel(px - x, py - 279)) != 0) ++wrong;
      }
    }
    SURFACE_CHECK(wrong == 0, "tape at x %d: %d pixels differ", x, wrong);
  }
}

// target = sprite colour x source factor + target x destination factor,
// with the sprite's alpha = texel alpha x intensity / 255.
void CheckBlendArithmetic() {
  Sprite* grey = CreateSprite(CreateTexture(SolidImage(420, 420, {200, 200, 200, 255}).data(), 420, 420));
  struct Case {
    const char* name;
    Rgba texel;
    int intensity;
    int source, destination;
    Rgba expected;
  };
  const Case cases[] = {
      {"shadow, opaque texel", {255, 255, 255, 255}, 100, 1, 6, {122, 122, 122, 255}},
      {"shadow, half-alpha texel", {90, 30, 250, 128}, 100, 1, 6, {161, 161, 161, 255}},
      {"shadow, clear texel", {255, 255, 255, 0}, 100, 1, 6, {200, 200, 200, 255}},
      {"normal, opaque at full intensity", {10, 120, 250, 255}, 255, 5, 6, {10, 120, 250, 255}},
      {"normal, half intensity", {0, 100, 255, 255}, 128, 5, 6, {100, 150, 228, 255}},
      {"normal, half-alpha texel", {255, 0, 0, 128}, 255, 5, 6, {228, 100, 100, 255}},
      {"normal, clear texel", {255, 0, 0, 0}, 255, 5, 6, {200, 200, 200, 255}},
      {"intensity above 255 clamps", {10, 120, 250, 255}, 999, 5, 6, {10, 120, 250, 255}},
      {"unknown codes keep the pair", {10, 120, 250, 255}, 255, 3, 4, {10, 120, 250, 255}},
  };
  SetSpriteFiltering(1);
  for (const Case& c : cases) {
    Sprite* sprite = CreateSprite(CreateTexture(SolidImage(8, 8, c.texel).data(), 8, 8));
    BeginFrame();
    DrawSprite(grey, 0, 0);
    SetBlendFactors(c.source, c.destination);
    DrawSprite(sprite, 50, 60, c.intensity);
    SetBlendFactors(BlendSrcAlpha, BlendInvSrcAlpha);
    EndFrame();
    PresentFrame();
    Picture picture = ReadPicture();
    const Rgba got = picture.At(53, 64);
    SURFACE_CHECK(Near(got, c.expected, BlendTolerance), "%s: got (%d, %d, %d), want (%d, %d, %d)",
                  c.name, got.r, got.g, got.b, c.expected.r, c.expected.g, c.expected.b);
    // Only the sprite's own pixels change.
    SURFACE_CHECK(Near(picture.At(49, 64), {200, 200, 200, 255}, 0) &&
                      Near(picture.At(58, 64), {200, 200, 200, 255}, 0),
                  "%s: pixels beside the sprite changed", c.name);
  }

  // The pair set in one frame is still in force in the next.
  Sprite* white = CreateSprite(CreateTexture(SolidImage(8, 8, {255, 255, 255, 255}).data(), 8, 8));
  BeginFrame();
  DrawSprite(grey, 0, 0);
  SetBlendFactors(BlendZero, BlendInvSrcAlpha);
  EndFrame();
  PresentFrame();
  BeginFrame();
  DrawSprite(white, 50, 60, 100);
  SetBlendFactors(BlendSrcAlpha, BlendInvSrcAlpha);
  EndFrame();
  PresentFrame();
  const Rgba got = ReadPicture().At(53, 64);
  SURFACE_CHECK(Near(got, {122, 122, 122, 255}, BlendTolerance),
                "shadow pair across frames: got %d", got.r);
}

// Turned by a multiple of 90 degrees, an even-sized sprite's texel centres
// fall on pixel centres again, so the turned image is exact up to
// rounding: this pins the pivot (the rectangle's centre) and the direction.
// For a w x h sprite at (x, y), texel (u, v) turned clockwise by 90 degrees
// lands on (x + w/2 + h/2 - 1 - v, y + h/2 - w/2 + u).
void CheckRotation() {
  const int w = 20, h = 12, x = 150, y = 100;
  std::vector<uint8_t> image = PatternImage(w, h);
  Sprite* sprite = CreateSprite(CreateTexture(image.data(), w, h));
  Sprite* black = CreateSprite(CreateTexture(SolidImage(420, 420, Black).data(), 420, 420));
  SetSpriteFiltering(1);

  struct Case {
    const char* name;
    float first;
    float second;  // added with the relative flag; 0 = not used
    int quarterTurns;
  };
  const Case cases[] = {
      {"90", 90.0f, 0.0f, 1},   {"180", 180.0f, 0.0f, 2},  {"270", 270.0f, 0.0f, 3},
      {"-90", -90.0f, 0.0f, 3}, {"45 + 45", 45.0f, 45.0f, 1}, {"0", 0.0f, 0.0f, 0},
  };
  for (const Case& c : cases) {
    RotateSprite(sprite, 123.0f, 0);  // replaced by the absolute angle below
    RotateSprite(sprite, c.first, 0);
    if (c.second != 0.0f) RotateSprite(sprite, c.second, 1);
    FillTarget(black);
    BeginFrame();
    DrawSprite(sprite, x, y);
    EndFrame();
    PresentFrame();
    Picture picture = ReadPicture();
    int worst = 0;
    for (int v = 0; v < h; ++v) {
      for (int u = 0; u < w; ++u) {
        // Turn (u, v) clockwise quarterTurns times about the centre.
        double du = u + 0.5 - w / 2.0, dv = v + 0.5 - h / 2.0;
        for (int q = 0; q < c.quarterTurns; ++q) {
          const double t = du;
          du = -dv;
          dv = t;
        }
        const int px = static_cast<int>(std::floor(x + w / 2.0 + du));
        const int py = static_cast<int>(std::floor(y + h / 2.0 + dv));
        const int d = ChannelDifference(picture.At(px, py), PatternTexel(u, v));
        if (d > worst) worst = d;
      }
    }
    SURFACE_CHECK(worst <= 2, "turned %s: worst channel difference %d", c.name, worst);
  }
  RotateSprite(sprite, 0.0f, 0);

  // Turned by 30 degrees a bar pointing up from the centre points up and
  // to the right: clockwise on screen.
  std::vector<uint8_t> bar = SolidImage(41, 41, {0, 0, 0, 0});
  for (int v = 0; v <= 20; ++v) {
    for (int u = 19; u <= 21; ++u) {
      uint8_t* p = &bar[(static_cast<size_t>(v) * 41 + u) * 4];
      p[0] = p[1] = p[2] = p[3] = 255;
    }
  }
  Sprite* needle = CreateSprite(CreateTexture(bar.data(), 41, 41));
  RotateSprite(needle, 30.0f, 0);
  FillTarget(black);
  BeginFrame();
  DrawSprite(needle, 200, 200);
  EndFrame();
  PresentFrame();
  Picture picture = ReadPicture();
  // Centre (220.5, 220.5); 15 px along the turned bar: (+7.5, -13.0).
  const Rgba onBar = picture.At(227, 207);
  const Rgba mirrored = picture.At(213, 207);
  SURFACE_CHECK(onBar.r > 200 && mirrored.r < 30, "30 degrees: on bar %d, mirror image %d",
                onBar.r, mirrored.r);
}

// A frame draws over the previous picture; nothing clears it.
void CheckFramesKeepPixels() {
  Sprite* black = CreateSprite(CreateTexture(SolidImage(420, 420, Black).data(), 420, 420));
  Sprite* red = CreateSprite(CreateTexture(SolidImage(10, 10, {255, 0, 0, 255}).data(), 10, 10));
  Sprite* blue = CreateSprite(CreateTexture(SolidImage(10, 10, {0, 0, 255, 255}).data(), 10, 10));
  FillTarget(black);
  BeginFrame();
  DrawSprite(red, 20, 20);
  EndFrame();
  PresentFrame();
  BeginFrame();
  DrawSprite(blue, 300, 300);
  EndFrame();
  PresentFrame();
  PresentFrame();  // a bare present changes nothing either
  Picture picture = ReadPicture();
  SURFACE_CHECK(Near(picture.At(25, 25), {255, 0, 0, 255}, 0), "first frame's sprite kept");
  SURFACE_CHECK(Near(picture.At(305, 305), {0, 0, 255, 255}, 0), "second frame's sprite");
}

// Calls that must leave the picture alone and not crash.
void CheckNoEffectCalls() {
  Sprite* black = CreateSprite(CreateTexture(SolidImage(420, 420, Black).data(), 420, 420));
  Sprite* white = CreateSprite(CreateTexture(SolidImage(16, 16, {255, 255, 255, 255}).data(), 16, 16));
  FillTarget(black);

  const uint8_t pixel[4] = {1, 2, 3, 4};
  struct BadTexture {
    const uint8_t* data;
    int width, height;
  };
  const BadTexture bad[] = {{nullptr, 4, 4}, {pixel, 0, 1}, {pixel, 1, 0}, {pixel, -5, 1}, {pixel, 9000, 1}};
  for (const BadTexture& t : bad) {
    SURFACE_CHECK(CreateTexture(t.data, t.width, t.height) == nullptr, "texture %dx%d refused",
                  t.width, t.height);
  }
  SURFACE_CHECK(CreateSprite(nullptr) == nullptr, "sprite on no texture");
  RotateSprite(nullptr, 10.0f, 0);

  DrawSprite(white, 10, 10);  // outside a frame
  BeginFrame();
  DrawSprite(nullptr, 10, 10);
  DrawSprite(white, INT32_MIN, INT32_MIN);
  DrawSprite(white, INT32_MAX, 0);
  DrawSprite(white, 0, INT32_MAX);
  DrawSprite(white, 420, 0);
  DrawSprite(white, -16, 0);
  RotateSprite(white, 45.0f, 0);
  DrawSprite(white, INT32_MAX - 5, INT32_MIN + 5);
  RotateSprite(white, NAN, 0);
  DrawSprite(white, 100, 100);  // an angle that is not a number draws nothing
  RotateSprite(white, 0.0f, 0);
  EndFrame();
  PresentFrame();
  Picture picture = ReadPicture();
  int lit = 0;
  for (size_t i = 0; i < picture.rgba.size(); i += 4) lit += picture.rgba[i] != 0;
  SURFACE_CHECK(lit == 0, "%d pixels drawn by calls that draw nothing", lit);
}

void RunAll(bool ex) {
  std::printf("-- %s\n", ex ? "Direct3D9Ex" : "Direct3D 9");
  AllowDirect3D9Ex(ex);
  InitDrawingFacility();
  HWND host = OpenHostWindow();
  const bool opened = host && OpenDrawingSurface(host);
  SURFACE_CHECK(opened, "surface opens");
  if (!opened) return;
  SURFACE_CHECK(SurfaceUsesDirect3D9Ex() == ex, "device kind");
  CheckUnturnedTexelExact();
  CheckWideTexture();
  CheckBlendArithmetic();
  CheckRotation();
  CheckFramesKeepPixels();
  CheckNoEffectCalls();
  CloseDrawingSurface();
  DestroyWindow(host);
}

}  // namespace

int main() {
  RunAll(true);
  RunAll(false);
  std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
