// CreateGaugeSprites on the window's Direct3D 9 surface: the eight embedded
// images decode with the Windows build of libpng and become eight sprites
// (the tape's 1,900-pixel texture included), and the counter plate, the tape
// and the face drawn together come back from the device as the decoded
// pixels blended on the CPU say they must. Runs on a Direct3D9Ex device and
// on a plain Direct3D 9 one.
#include <cstdint>
#include <cstdio>

#include "display/artwork.h"
#include "display/gauge_sprites.h"
#include "display/png_decode.h"
#include "test_surface_support.h"

using namespace surface_test;

namespace {

DecodedImage Decoded(const char* name) {
  DecodedImage image;
  const ArtworkImage* art = FindArtwork(name);
  SURFACE_CHECK(art != nullptr && DecodePng(art->bytes, art->size, &image), "decode %s", name);
  return image;
}

// Straight-alpha "over" of one image onto an RGB picture, as NormalBlend does.
void BlendOnto(std::vector<int>* picture, const DecodedImage& image, int left, int top) {
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const int px = left + x, py = top + y;
      if (px < 0 || py < 0 || px >= SurfaceWidth || py >= SurfaceHeight) continue;
      const uint8_t* s = &image.rgba[(static_cast<size_t>(y) * image.width + x) * 4];
      int* d = &(*picture)[(static_cast<size_t>(py) * SurfaceWidth + px) * 3];
      for (int c = 0; c < 3; ++c) d[c] = (s[c] * s[3] + d[c] * (255 - s[3]) + 127) / 255;
    }
  }
}

void Run(bool allowEx) {
  GaugeSprites = GaugeSpriteSet();
  AllowDirect3D9Ex(allowEx);
  InitDrawingFacility();
  HWND window = OpenHostWindow();
  SURFACE_CHECK(window != nullptr, "host window");
  if (!window || !OpenDrawingSurface(window)) {
    SURFACE_CHECK(false, "OpenDrawingSurface (Direct3D9Ex allowed: %d)", allowEx);
    if (window) DestroyWindow(window);
    return;
  }
  SetPresentWaitsForVsync(false);

  CreateGaugeSprites();
  Sprite* const sprites[] = {GaugeSprites.faceSprite,        GaugeSprites.needleSprite,
                             GaugeSprites.counterBackSprite, GaugeSprites.offFlagDotSprite,
                             GaugeSprites.offFlagRingSprite, GaugeSprites.digitDrumSprite,
                             GaugeSprites.tenThousandsDrumSprite, GaugeSprites.iasTapeSprite};
  for (int i = 0; i < 8; ++i) SURFACE_CHECK(sprites[i] != nullptr, "sprite %d (Ex allowed: %d)", i, allowEx);

  SetSpriteFiltering(1);
  BeginFrame();
  DrawSprite(GaugeSprites.counterBackSprite, 119, 61);
  DrawSprite(GaugeSprites.iasTapeSprite, 107, 279);
  DrawSprite(GaugeSprites.faceSprite, 0, 0);
  EndFrame();
  PresentFrame();
  PumpMessages(50);
  Picture picture = ReadPicture();
  SURFACE_CHECK(picture.ok, "read back");

  std::vector<int> expected(static_cast<size_t>(SurfaceWidth) * SurfaceHeight * 3, 0);
  BlendOnto(&expected, Decoded("counter_back.png"), 119, 61);
  BlendOnto(&expected, Decoded("ias_tape.png"), 107, 279);
  BlendOnto(&expected, Decoded("face.png"), 0, 0);
  int wrong = 0;
  for (int y = 0; picture.ok && y < SurfaceHeight; ++y) {
    for (int x = 0; x < SurfaceWidth; ++x) {
      const int* e = &expected[(static_cast<size_t>(y) * SurfaceWidth + x) * 3];
      const Rgba want = {static_cast<uint8_t>(e[0]), static_cast<uint8_t>(e[1]), static_cast<uint8_t>(e[2]), 255};
      const Rgba got = picture.At(x, y);
      if (!Near(got, want, 2) && ++wrong <= 5) {
        SURFACE_CHECK(false, "pixel (%d, %d) is %d %d %d, expected %d %d %d", x, y, got.r, got.g, got.b,
                      want.r, want.g, want.b);
      }
    }
  }
  SURFACE_CHECK(wrong == 0, "%d pixels differ (Ex allowed: %d)", wrong, allowEx);

  CloseDrawingSurface();
  DestroyWindow(window);
  GaugeSprites = GaugeSpriteSet();
}

}  // namespace

int main() {
  Run(true);
  Run(false);
  std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
