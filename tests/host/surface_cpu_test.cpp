// The CPU reference surface: blend arithmetic, texel-on-pixel placement,
// turning about the centre, clipping, and the frame state rules.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <random>
#include <vector>

#include "display/surface_cpu.h"

namespace {

struct Rgba { uint8_t r, g, b, a; };

std::vector<uint8_t> Image(int width, int height, Rgba colour) {
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < rgba.size(); i += 4) {
    rgba[i] = colour.r; rgba[i + 1] = colour.g; rgba[i + 2] = colour.b; rgba[i + 3] = colour.a;
  }
  return rgba;
}

std::vector<uint8_t> RandomImage(int width, int height, bool opaque, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < rgba.size(); ++i) {
    rgba[i] = (opaque && i % 4 == 3) ? 255 : static_cast<uint8_t>(random());
  }
  return rgba;
}

Sprite* MakeSprite(const std::vector<uint8_t>& rgba, int width, int height) {
  return CreateSprite(CreateTexture(rgba.data(), width, height));
}

uint8_t* PixelAt(int x, int y) { return CpuSurfacePixels() + (static_cast<size_t>(y) * SurfaceWidth + x) * 4; }

void FillTarget(uint8_t value) {
  for (int y = 0; y < SurfaceHeight; ++y)
    for (int x = 0; x < SurfaceWidth; ++x) {
      uint8_t* p = PixelAt(x, y);
      p[0] = p[1] = p[2] = value;
      p[3] = 255;
    }
}

class CpuSurface : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(OpenCpuSurface()); }
  void TearDown() override { CloseCpuSurface(); }
};

TEST_F(CpuSurface, OpensBlackAndOpaque) {
  for (int y = 0; y < SurfaceHeight; y += 7)
    for (int x = 0; x < SurfaceWidth; x += 7) {
      const uint8_t* p = PixelAt(x, y);
      ASSERT_EQ(p[0] + p[1] + p[2], 0);
      ASSERT_EQ(p[3], 255);
    }
  EXPECT_EQ(CpuSurfacePresentCount(), 0);
}

TEST_F(CpuSurface, BlendArithmetic) {
  struct Case {
    const char* name;
    int source, destination;
    Rgba texel;
    int intensity;
    uint8_t target;
    uint8_t expected[3];
  };
  const Case cases[] = {
      // A shadow keeps 155/255 of the colour under an opaque texel...
      {"shadow, opaque", BlendZero, BlendInvSrcAlpha, {255, 255, 255, 255}, 100, 200, {122, 122, 122}},
      // ...1 - 0.5 x 100/255 of it under half alpha, whatever the texel's colour...
      {"shadow, half alpha", BlendZero, BlendInvSrcAlpha, {0, 90, 255, 128}, 100, 200, {161, 161, 161}},
      // ...and all of it under a transparent texel.
      {"shadow, clear", BlendZero, BlendInvSrcAlpha, {255, 0, 0, 0}, 100, 200, {200, 200, 200}},
      {"normal, opaque", BlendSrcAlpha, BlendInvSrcAlpha, {10, 20, 30, 255}, 255, 200, {10, 20, 30}},
      {"normal, clear", BlendSrcAlpha, BlendInvSrcAlpha, {10, 20, 30, 0}, 255, 200, {200, 200, 200}},
      // a = 128/255: colour x 0.502 + 200 x 0.498 per channel.
      {"normal, intensity", BlendSrcAlpha, BlendInvSrcAlpha, {255, 0, 100, 255}, 128, 200,
       {228, 100, 150}},
      {"normal, intensity 0", BlendSrcAlpha, BlendInvSrcAlpha, {255, 0, 100, 255}, 0, 200,
       {200, 200, 200}},
      // Intensities outside 0..255 are held at the edges.
      {"normal, intensity 300", BlendSrcAlpha, BlendInvSrcAlpha, {1, 2, 3, 255}, 300, 200, {1, 2, 3}},
  };
  Sprite* sprites[std::size(cases)];
  std::vector<std::vector<uint8_t>> images;
  for (size_t i = 0; i < std::size(cases); ++i) {
    images.push_back(Image(3, 3, cases[i].texel));
    sprites[i] = MakeSprite(images.back(), 3, 3);
  }
  SetSpriteFiltering(1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    FillTarget(c.target);
    SetBlendFactors(c.source, c.destination);
    BeginFrame();
    DrawSprite(sprites[i], 10, 10, c.intensity);
    EndFrame();
    const uint8_t* p = PixelAt(11, 11);
    EXPECT_EQ(p[0], c.expected[0]);
    EXPECT_EQ(p[1], c.expected[1]);
    EXPECT_EQ(p[2], c.expected[2]);
    EXPECT_EQ(p[3], 255);
    EXPECT_EQ(PixelAt(9, 11)[0], c.target);  // nothing beside the sprite
    EXPECT_EQ(PixelAt(13, 11)[0], c.target);
  }
}

// Unturned, under bilinear filtering, each texel lands on one pixel
// unchanged, including sprites cut by every edge of the target.
TEST_F(CpuSurface, UnturnedSpriteLiesTexelOnPixel) {
  const int w = 37, h = 23;
  const std::vector<uint8_t> image = RandomImage(w, h, true, 7);
  Sprite* sprite = MakeSprite(image, w, h);
  struct Place { int32_t x, y; };
  const Place places[] = {{10, 20}, {-5, -7}, {400, 410}, {-36, 0}, {419, 419}};
  SetSpriteFiltering(1);
  for (const Place& at : places) {
    SCOPED_TRACE(::testing::Message() << at.x << "," << at.y);
    FillTarget(0);
    BeginFrame();
    DrawSprite(sprite, at.x, at.y);
    EndFrame();
    for (int y = 0; y < SurfaceHeight; ++y)
      for (int x = 0; x < SurfaceWidth; ++x) {
        const int u = x - at.x, v = y - at.y;
        const bool inside = u >= 0 && v >= 0 && u < w && v < h;
        const uint8_t* p = PixelAt(x, y);
        for (int c = 0; c < 3; ++c) {
          const uint8_t expected = inside ? image[(static_cast<size_t>(v) * w + u) * 4 + c] : 0;
          ASSERT_EQ(p[c], expected) << "pixel " << x << "," << y;
        }
      }
  }
}

// A square sprite turned by a quarter turn maps its pixel centres onto
// texel centres, so each texel must appear, within a level of rounding, at
// the place the turn about the sprite's centre takes it: clockwise on screen
// for positive angles.
TEST_F(CpuSurface, TurnsClockwiseAboutTheSpriteCentre) {
  const int n = 20;
  const std::vector<uint8_t> image = RandomImage(n, n, true, 11);
  Sprite* sprite = MakeSprite(image, n, n);
  const int32_t x0 = 100, y0 = 50;
  struct Turn {
    float degrees;
    int (*toX)(int u, int v);  // pixel offset of texel (u, v)
    int (*toY)(int u, int v);
  };
  const Turn turns[] = {
      {90.0f, [](int, int v) { return n - 1 - v; }, [](int u, int) { return u; }},
      {180.0f, [](int u, int) { return n - 1 - u; }, [](int, int v) { return n - 1 - v; }},
      {-90.0f, [](int, int v) { return v; }, [](int u, int) { return n - 1 - u; }},
      {270.0f, [](int, int v) { return v; }, [](int u, int) { return n - 1 - u; }},
  };
  SetSpriteFiltering(1);
  for (const Turn& turn : turns) {
    SCOPED_TRACE(turn.degrees);
    FillTarget(0);
    RotateSprite(sprite, turn.degrees, 0);
    BeginFrame();
    DrawSprite(sprite, x0, y0);
    EndFrame();
    for (int v = 0; v < n; ++v)
      for (int u = 0; u < n; ++u) {
        const uint8_t* p = PixelAt(x0 + turn.toX(u, v), y0 + turn.toY(u, v));
        for (int c = 0; c < 3; ++c) {
          ASSERT_LE(std::abs(p[c] - image[(static_cast<size_t>(v) * n + u) * 4 + c]), 1)
              << "texel " << u << "," << v;
        }
      }
    // Nothing outside the turned square.
    EXPECT_EQ(PixelAt(x0 - 1, y0)[0] + PixelAt(x0 + n, y0 + n - 1)[0], 0);
  }
}

// Turned by 45 degrees, an evenly coloured sprite covers a diamond: the
// middle and the inner edges take its colour (clamped sampling does not
// fade them), pixels beyond its outline keep the target, and the turn adds
// to the rotation when the relative flag is set.
TEST_F(CpuSurface, TurnedSpriteCoversItsOutlineOnly) {
  const std::vector<uint8_t> image = Image(40, 40, {250, 0, 0, 255});
  Sprite* sprite = MakeSprite(image, 40, 40);
  RotateSprite(sprite, 30.0f, 0);
  RotateSprite(sprite, 15.0f, 1);
  for (int bilinear : {0, 1}) {
    SCOPED_TRACE(bilinear);
    SetSpriteFiltering(bilinear);
    FillTarget(0);
    BeginFrame();
    DrawSprite(sprite, 200, 200);  // centre at (220, 220), half diagonal 28.28
    EndFrame();
    EXPECT_EQ(PixelAt(220, 220)[0], 250);
    EXPECT_EQ(PixelAt(220, 193)[0], 250);  // 26.5 above the centre: inside
    EXPECT_EQ(PixelAt(246, 220)[0], 250);
    EXPECT_EQ(PixelAt(220, 190)[0], 0);    // 29.5 above: outside
    EXPECT_EQ(PixelAt(200, 200)[0], 0);    // the unturned corner is outside
    EXPECT_EQ(PixelAt(239, 239)[0], 0);
  }
}

TEST_F(CpuSurface, FarOffTargetAndBadInputsDrawNothing) {
  const std::vector<uint8_t> image = Image(30, 30, {255, 255, 255, 255});
  Sprite* sprite = MakeSprite(image, 30, 30);
  Sprite* turned = MakeSprite(image, 30, 30);
  RotateSprite(turned, 33.0f, 0);
  Sprite* broken = MakeSprite(image, 30, 30);
  RotateSprite(broken, std::numeric_limits<float>::quiet_NaN(), 0);
  const int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  BeginFrame();
  for (Sprite* s : {sprite, turned}) {
    DrawSprite(s, lo, lo);
    DrawSprite(s, hi, hi);
    DrawSprite(s, -60, 100);  // the turned corners reach 6.2 px past the box
    DrawSprite(s, 450, 100);
  }
  DrawSprite(broken, 100, 100);
  DrawSprite(nullptr, 100, 100);
  RotateSprite(nullptr, 10.0f, 0);
  EndFrame();
  for (int y = 0; y < SurfaceHeight; ++y)
    for (int x = 0; x < SurfaceWidth; ++x) ASSERT_EQ(PixelAt(x, y)[0], 0) << x << "," << y;

  EXPECT_EQ(CreateTexture(nullptr, 4, 4), nullptr);
  EXPECT_EQ(CreateTexture(image.data(), 0, 4), nullptr);
  EXPECT_EQ(CreateTexture(image.data(), 4, -1), nullptr);
  EXPECT_EQ(CreateSprite(nullptr), nullptr);
}

// Draws take effect only inside a frame; the blend pair lasts across
// frames; filtering applies from the next BeginFrame, or at once inside a
// frame, and EndFrame returns to nearest sampling.
TEST_F(CpuSurface, FrameStateRules) {
  const std::vector<uint8_t> image = Image(2, 2, {255, 255, 255, 255});
  Sprite* sprite = MakeSprite(image, 2, 2);

  DrawSprite(sprite, 0, 0);  // no frame open
  EXPECT_EQ(PixelAt(0, 0)[0], 0);

  SetSpriteFiltering(1);
  SetBlendFactors(BlendZero, BlendInvSrcAlpha);
  BeginFrame();
  DrawSprite(sprite, 0, 0);
  SetSpriteFiltering(0);
  DrawSprite(sprite, 0, 0);
  SetBlendFactors(99, 6);  // unknown code: the pair in force stays
  DrawSprite(sprite, 0, 0);
  EndFrame();
  PresentFrame();
  ASSERT_EQ(CpuSurfaceDraws().size(), 3u);
  EXPECT_TRUE(CpuSurfaceDraws()[0].bilinear);
  EXPECT_FALSE(CpuSurfaceDraws()[1].bilinear);
  EXPECT_EQ(CpuSurfaceDraws()[2].sourceBlend, BlendZero);
  EXPECT_EQ(PixelAt(0, 0)[0], 0);  // shadows over black stay black

  SetSpriteFiltering(1);
  BeginFrame();  // the shadow pair is still in force
  DrawSprite(sprite, 0, 0);
  EndFrame();
  PresentFrame();
  ASSERT_EQ(CpuSurfaceDraws().size(), 1u);
  EXPECT_EQ(CpuSurfaceDraws()[0].sourceBlend, BlendZero);
  EXPECT_EQ(CpuSurfaceDraws()[0].destinationBlend, BlendInvSrcAlpha);
  EXPECT_TRUE(CpuSurfaceDraws()[0].bilinear);
  EXPECT_EQ(CpuSurfacePresentCount(), 2);
}

}  // namespace
