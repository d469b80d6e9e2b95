// RenderGauge on the CPU surface: the frame's draws with synthetic sprites,
// and golden frames with the embedded artwork, checked for the features a
// pilot reads (digits in the windows, the tape under the index, the lamp)
// rather than for exact pixels that any retouch of the art would change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

// ---- Golden frames with the embedded artwork --------------------------------

double Luma(const uint8_t* p) { return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]; }

// A drum strip drawn alone at (0, 0) on a fresh surface gives its texels.
std::vector<double> StripLuma(Sprite* strip) {
  FillTarget(0);
  SetBlendFactors(BlendSrcAlpha, BlendInvSrcAlpha);
  BeginFrame();
  DrawSprite(strip, 0, 0);
  EndFrame();
  std::vector<double> luma(24 * 400);
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 24; ++x) luma[static_cast<size_t>(y) * 24 + x] = Luma(PixelAt(x, y));
  return luma;
}

// Which strip position a window shows: the top edge y, within the range the
// arithmetic gives, whose texels correlate best with the picture over the
// rows `middle` +- 8 and the strip's inner columns inside the window. The
// face darkens those rows evenly for every candidate, so the strip drawn
// there wins. Returns the shown value (y - base) / 26.
struct Window { int left, right, middle, base, highestY; };

double ShownValue(const std::vector<double>& picture, const std::vector<double>& strip,
                  int drumX, const Window& w) {
  const int x0 = std::max(drumX + 2, w.left), x1 = std::min(drumX + 21, w.right);
  std::vector<double> seen;
  for (int y = w.middle - 8; y <= w.middle + 8; ++y)
    for (int x = x0; x <= x1; ++x) seen.push_back(picture[static_cast<size_t>(y) * SurfaceWidth + x]);
  double bestScore = -2.0;
  int bestY = w.base;
  for (int top = w.base; top <= w.highestY; ++top) {
    std::vector<double> texels;
    for (int y = w.middle - 8; y <= w.middle + 8; ++y)
      for (int x = x0; x <= x1; ++x) texels.push_back(strip[static_cast<size_t>(y - top) * 24 + x - drumX]);
    // Normalised cross-correlation.
    double ma = 0, mb = 0;
    for (size_t i = 0; i < seen.size(); ++i) { ma += seen[i]; mb += texels[i]; }
    ma /= seen.size(); mb /= seen.size();
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < seen.size(); ++i) {
      ab += (seen[i] - ma) * (texels[i] - mb);
      aa += (seen[i] - ma) * (seen[i] - ma);
      bb += (texels[i] - mb) * (texels[i] - mb);
    }
    const double score = aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : -1.0;
    if (score > bestScore) { bestScore = score; bestY = top; }
  }
  return (bestY - w.base) / 26.0;
}

// Brightest direction of the needle, in degrees clockwise from up, over the
// shaft between 25 and 60 px from the pivot at (210.5, 145.5).
double NeedleDirection(const std::vector<double>& picture) {
  double bestAngle = 0, bestSum = -1;
  for (int tenth = 0; tenth < 3600; tenth += 5) {
    const double a = tenth / 10.0 * 3.14159265358979 / 180.0;
    double sum = 0;
    for (int r = 25; r <= 60; ++r) {
      const int x = static_cast<int>(std::floor(210.5 + r * std::sin(a)));
      const int y = static_cast<int>(std::floor(145.5 - r * std::cos(a)));
      sum += picture[static_cast<size_t>(y) * SurfaceWidth + x];
    }
    if (sum > bestSum) { bestSum = sum; bestAngle = tenth / 10.0; }
  }
  return bestAngle;
}

class RenderGaugeGolden : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(OpenCpuSurface());
    GaugeSprites = GaugeSpriteSet();
    CreateGaugeSprites();
    if (GaugeSprites.faceSprite == nullptr || GaugeSprites.digitDrumSprite == nullptr) {
      GTEST_SKIP() << "the embedded artwork is not built into this test";
    }
    plainStrip = StripLuma(GaugeSprites.digitDrumSprite);
    hatchedStrip = StripLuma(GaugeSprites.tenThousandsDrumSprite);
    FillTarget(0);
    SetSpriteFiltering(1);
  }
  void TearDown() override {
    GaugeSprites = GaugeSpriteSet();
    CloseCpuSurface();
    SetFlightData(0, 0, 0, 0);
  }
  std::vector<double> Render(int32_t altitude, uint16_t baroRaw, int32_t iasRaw, uint8_t connected) {
    SetFlightData(altitude, baroRaw, iasRaw, connected);
    RenderGauge();
    std::vector<double> luma(static_cast<size_t>(SurfaceWidth) * SurfaceHeight);
    for (int y = 0; y < SurfaceHeight; ++y)
      for (int x = 0; x < SurfaceWidth; ++x) luma[static_cast<size_t>(y) * SurfaceWidth + x] = Luma(PixelAt(x, y));
    return luma;
  }
  std::vector<double> plainStrip, hatchedStrip;
};

constexpr Window CounterWindow{146, 257, 99, -201, 59};
constexpr Window MbWindow{34, 123, 234, -66, 168};
constexpr Window InHgWindow{297, 385, 234, -66, 168};

// The five counter drums and the eight pressure drums read what a pilot
// expects; below 10,000 ft the ten-thousands drum shows its hatching (its
// best match is the hatched cell, not the plain 0 a turn further on).
TEST_F(RenderGaugeGolden, DrumsShowTheDigits) {
  struct Case {
    int32_t altitude;
    uint16_t baroRaw;
    double counter[5];  // ten-thousands, thousands, hundreds (rolling), tens, units
    int mb[4];
    int inHg[4];
  };
  const Case cases[] = {
      {12345, 16212, {1, 2, 3.46, 0, 0}, {1, 0, 1, 3}, {2, 9, 9, 2}},
      {0, 16208, {0, 0, 0, 0, 0}, {1, 0, 1, 3}, {2, 9, 9, 1}},
      {98765, 15680, {9, 8, 7.65, 0, 0}, {0, 9, 8, 0}, {2, 8, 9, 4}},
      {4560, 14400, {0, 4, 5.62, 0, 0}, {0, 9, 0, 0}, {2, 6, 5, 8}},
  };
  const int counterX[5] = {141, 169, 193, 216, 240};
  const int mbX[4] = {32, 55, 78, 100};
  const int inHgX[4] = {296, 319, 342, 364};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.altitude);
    const std::vector<double> picture = Render(c.altitude, c.baroRaw, 0, 1);
    // A plain strip shows 0 twice (cells 11 and 1): read it modulo 10. The
    // hatched cell has no twin, so the ten-thousands drum is read as is.
    for (int i = 0; i < 5; ++i) {
      const double shown = i == 0 ? ShownValue(picture, hatchedStrip, counterX[i], CounterWindow)
                                  : std::fmod(ShownValue(picture, plainStrip, counterX[i], CounterWindow), 10.0);
      EXPECT_NEAR(shown, c.counter[i], 0.02) << "counter drum " << i;
    }
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(std::fmod(ShownValue(picture, plainStrip, mbX[i], MbWindow), 10.0), c.mb[i])
          << "MB drum " << i;
      EXPECT_EQ(std::fmod(ShownValue(picture, plainStrip, inHgX[i], InHgWindow), 10.0), c.inHg[i])
          << "IN HG drum " << i;
    }
  }
}

// The tape's mark for the speed stands under the index, whose axis is
// x 211: the brightness centre, above the tape's background, of the long
// marks' rows (tape rows 36-56) within 11 px of the index. The next marks
// (5 kt away) lie 21.8 px off, the numerals and dots on other rows.
TEST_F(RenderGaugeGolden, TapeMarkUnderTheIndex) {
  struct Case { int32_t iasRaw; const char* speed; };
  const Case cases[] = {{0, "0 kt: 60 mark"},     {7807, "60.99 kt: 60 mark"},
                        {32000, "250 kt"},        {57600, "450 kt"},
                        {90000, "703 kt: 450 mark"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.speed);
    const std::vector<double> picture = Render(12345, 16212, c.iasRaw, 1);
    double weight = 0, moment = 0, contrast = 0;
    for (int y = 315; y <= 335; ++y) {
      const double* row = &picture[static_cast<size_t>(y) * SurfaceWidth];
      const double background = *std::min_element(row + 200, row + 223);
      for (int x = 200; x <= 222; ++x) {
        weight += row[x] - background;
        moment += (row[x] - background) * (x + 0.5);
        contrast = std::max(contrast, row[x] - background);
      }
    }
    ASSERT_GT(contrast, 50.0) << "no mark near the index";
    EXPECT_NEAR(moment / weight, 211.0, 1.0);
  }
}

TEST_F(RenderGaugeGolden, NeedlePointsAtTheFeetWithinTheThousand) {
  struct Case { int32_t altitude; double degrees; };
  const Case cases[] = {{0, 0}, {12345, 124.2}, {250, 90}, {-250, 0}, {999, 359.64}, {7750, 270}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.altitude);
    const double shown = NeedleDirection(Render(c.altitude, 16212, 0, 1));
    const double error = std::fmod(std::abs(shown - c.degrees) + 180.0, 360.0) - 180.0;
    EXPECT_LE(std::abs(error), 2.0) << "needle at " << shown;
  }
}

// The red lamp at (70, 70) is lit only while disconnected; the next
// connected frame covers it with the face.
TEST_F(RenderGaugeGolden, LampOnlyWhileDisconnected) {
  const auto isRed = [](int x, int y) {
    const uint8_t* p = PixelAt(x, y);
    return p[0] > 180 && p[1] < 90 && p[2] < 90;
  };
  Render(12345, 16212, 32000, 0);
  // Inside the dot (centre 84.5, 84.5), away from its highlight.
  EXPECT_TRUE(isRed(82, 86));
  EXPECT_TRUE(isRed(84, 87));
  Render(12345, 16212, 32000, 1);
  EXPECT_FALSE(isRed(82, 86));
  EXPECT_FALSE(isRed(84, 87));
}

}  // namespace
