// RenderGauge on the CPU surface: the frame's draws with synthetic sprites,
// and golden frames with the embedded artwork, checked for the features a
// pilot reads (digits in the windows, the tape under the index, the lamp)
// rather than for exact pixels that any retouch of the art would change.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "display/gauge_sprites.h"
#include "display/quantities.h"
#include "display/render_gauge.h"
#include "display/surface_cpu.h"
#include "simlink/flight_data.h"

namespace {

struct Rgba { uint8_t r, g, b, a; };

Sprite* SolidSprite(int width, int height, Rgba colour) {
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < rgba.size(); i += 4) {
    rgba[i] = colour.r; rgba[i + 1] = colour.g; rgba[i + 2] = colour.b; rgba[i + 3] = colour.a;
  }
  return CreateSprite(CreateTexture(rgba.data(), width, height));
}

const uint8_t* PixelAt(int x, int y) {
  return CpuSurfacePixels() + (static_cast<size_t>(y) * SurfaceWidth + x) * 4;
}

void FillTarget(uint8_t value) {
  uint8_t* p = CpuSurfacePixels();
  for (int i = 0; i < SurfaceWidth * SurfaceHeight; ++i, p += 4) {
    p[0] = p[1] = p[2] = value;
  }
}

void SetFlightData(int32_t altitude, uint16_t baroRaw, int32_t iasRaw, uint8_t connected) {
  FlightData.altitude = altitude;
  FlightData.baroRaw = baroRaw;
  FlightData.iasRaw = iasRaw;
  FlightData.connected = connected;
}

// A surface with sprites of the artwork's sizes in plain colours, or with
// the needle alone.
class RenderGaugeSynthetic : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(OpenCpuSurface());
    GaugeSprites = GaugeSpriteSet();
    SetSpriteFiltering(1);
  }
  void TearDown() override {
    GaugeSprites = GaugeSpriteSet();
    CloseCpuSurface();
    SetFlightData(0, 0, 0, 0);
  }
  void MakeAllSprites() {
    GaugeSprites.faceSprite = SolidSprite(420, 420, {60, 60, 60, 255});
    GaugeSprites.needleSprite = SolidSprite(198, 198, {240, 230, 180, 255});
    GaugeSprites.counterBackSprite = SolidSprite(142, 52, {74, 60, 51, 255});
    GaugeSprites.offFlagDotSprite = SolidSprite(30, 30, {255, 0, 0, 255});
    GaugeSprites.offFlagRingSprite = SolidSprite(30, 30, {255, 0, 0, 100});
    GaugeSprites.digitDrumSprite = SolidSprite(24, 400, {74, 60, 51, 255});
    GaugeSprites.tenThousandsDrumSprite = SolidSprite(24, 400, {74, 60, 51, 255});
    GaugeSprites.iasTapeSprite = SolidSprite(1900, 80, {74, 60, 51, 255});
  }
};

// The frame's draws in order, with their places, blend pairs, intensities
// and the needle's turn; the off lamp only while disconnected; each frame
// leaves NormalBlend in force for the next.
TEST_F(RenderGaugeSynthetic, DrawsTheFrameInPaintersOrder) {
  MakeAllSprites();
  const GaugeSpriteSet& s = GaugeSprites;
  struct Draw { Sprite* sprite; int32_t x, y; bool shadow; int intensity; bool turned; };
  // 12,345 ft, 1013 hPa / 29.92 inHg, 250 kt.
  const Draw expected[] = {
      {s.counterBackSprite, 119, 61, false, 255, false},
      {s.digitDrumSprite, 240, -201, false, 255, false},
      {s.digitDrumSprite, 216, -201, false, 255, false},
      {s.digitDrumSprite, 193, -111, false, 255, false},
      {s.digitDrumSprite, 169, -149, false, 255, false},
      {s.tenThousandsDrumSprite, 141, -175, false, 255, false},
      {s.digitDrumSprite, 100, 12, false, 255, false},
      {s.digitDrumSprite, 78, -40, false, 255, false},
      {s.digitDrumSprite, 55, -66, false, 255, false},
      {s.digitDrumSprite, 32, -40, false, 255, false},
      {s.digitDrumSprite, 364, -14, false, 255, false},
      {s.digitDrumSprite, 342, 168, false, 255, false},
      {s.digitDrumSprite, 319, 168, false, 255, false},
      {s.digitDrumSprite, 296, -14, false, 255, false},
      {s.iasTapeSprite, -723, 279, false, 255, false},
      {s.faceSprite, 5, 5, true, 100, false},
      {s.faceSprite, 0, 0, false, 255, false},
      {s.needleSprite, 116, 51, true, 100, true},
      {s.needleSprite, 112, 47, false, 255, true},
      {s.offFlagDotSprite, 70, 70, false, 255, false},
      {s.offFlagRingSprite, 70, 70, false, 255, false},
  };
  for (uint8_t connected : {1, 0, 1}) {
    SCOPED_TRACE(static_cast<int>(connected));
    SetFlightData(12345, 16212, 32000, connected);
    RenderGauge();
    const auto& draws = CpuSurfaceDraws();
    ASSERT_EQ(draws.size(), connected ? 19u : 21u);
    for (size_t i = 0; i < draws.size(); ++i) {
      SCOPED_TRACE(i + 1);
      const Draw& e = expected[i];
      EXPECT_EQ(draws[i].sprite, e.sprite);
      EXPECT_EQ(draws[i].x, e.x);
      EXPECT_EQ(draws[i].y, e.y);
      EXPECT_EQ(draws[i].intensity, e.intensity);
      EXPECT_EQ(draws[i].sourceBlend, e.shadow ? BlendZero : BlendSrcAlpha);
      EXPECT_EQ(draws[i].destinationBlend, BlendInvSrcAlpha);
      EXPECT_FLOAT_EQ(draws[i].degrees, e.turned ? 124.2f : 0.0f);
      EXPECT_TRUE(draws[i].bilinear);
    }
  }
  EXPECT_EQ(CpuSurfacePresentCount(), 3);
}

// At angle 0 the needle lies exactly on (112, 47)-(309, 244) and its shadow
// darkens (116, 51)-(313, 248) where the needle does not cover it.
TEST_F(RenderGaugeSynthetic, UnturnedNeedleAndShadowBlocks) {
  GaugeSprites.needleSprite = SolidSprite(198, 198, {255, 255, 255, 255});
  FillTarget(200);
  SetFlightData(0, 0, 0, 1);
  RenderGauge();
  for (int y = 0; y < SurfaceHeight; ++y)
    for (int x = 0; x < SurfaceWidth; ++x) {
      const bool needle = x >= 112 && x <= 309 && y >= 47 && y <= 244;
      const bool shadow = x >= 116 && x <= 313 && y >= 51 && y <= 248;
      const uint8_t expected = needle ? 255 : shadow ? 122 : 200;
      ASSERT_EQ(PixelAt(x, y)[1], expected) << x << "," << y;
    }
}

// The lamp shows over the face while disconnected, and the next connected
// frame's face covers it.
TEST_F(RenderGaugeSynthetic, OffLampOnlyWhileDisconnected) {
  MakeAllSprites();
  SetFlightData(0, 0, 0, 0);
  RenderGauge();
  EXPECT_EQ(PixelAt(85, 85)[0], 255);
  EXPECT_EQ(PixelAt(85, 85)[1], 0);
  EXPECT_EQ(PixelAt(69, 85)[0], 60);  // face beside it
  FlightData.connected = 1;
  RenderGauge();
  EXPECT_EQ(PixelAt(85, 85)[0], 60);
  EXPECT_EQ(PixelAt(85, 85)[1], 60);
}

// Missing sprites are skipped without harm, and a frame still presents.
TEST_F(RenderGaugeSynthetic, WithoutSpritesPresentsTheTargetAsIs) {
  FillTarget(33);
  RenderGauge();
  EXPECT_EQ(CpuSurfaceDraws().size(), 0u);
  EXPECT_EQ(CpuSurfacePresentCount(), 1);
  EXPECT_EQ(PixelAt(210, 210)[0], 33);
}

}  // namespace
