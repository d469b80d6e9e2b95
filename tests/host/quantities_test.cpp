// Display quantities: worked values, the edges of each range, and the
// property that the counter and the tape never leave their windows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "display/quantities.h"

namespace {

struct AltitudeCase {
  int32_t altitude;
  float needleAngle;
  int32_t hundredsDrumY;
  const char* thousandsText;
  int32_t thousandsDrumY;
  int32_t tenThousandsDrumY;
};

TEST(DisplayQuantities, AltitudeCases) {
  const AltitudeCase cases[] = {
      {12345, 124.2f, -111, "12", -149, -175},
      {0, 0.0f, -201, "00", -201, -201},
      {999, 359.64f, 59, "00", -201, -201},
      {1000, 0.0f, -201, "01", -175, -201},
      {12999, 359.64f, 59, "12", -149, -175},  // the thousands drum steps...
      {13000, 0.0f, -201, "13", -123, -175},   // ...only at the whole thousand
      // Ties of the hundreds drum: 19.5 goes to even; 225 ft lies just below 58.5.
      {25, 9.0f, -194, "00", -201, -201},
      {75, 27.0f, -182, "00", -201, -201},
      {225, 81.0f, -143, "00", -201, -201},
      {99999, 359.64f, 59, "99", 33, 33},
      {123456, 164.16f, -82, "12", -149, -175},  // "123" keeps its first two characters
      // Below sea level the gauge rests at 0 ft.
      {-1, 0.0f, -201, "00", -201, -201},
      {-250, 0.0f, -201, "00", -201, -201},
      {-1500, 0.0f, -201, "00", -201, -201},
      {std::numeric_limits<int32_t>::min(), 0.0f, -201, "00", -201, -201},
      // Above the 16-bit split the gauge stops at 65,535,999 ft.
      {std::numeric_limits<int32_t>::max(), 359.64f, 59, "65", -71, -45},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.altitude);
    const DisplayQuantities q = ComputeDisplayQuantities(c.altitude, 0, 0);
    EXPECT_FLOAT_EQ(q.needleAngle, c.needleAngle);
    EXPECT_EQ(q.hundredsDrumY, c.hundredsDrumY);
    EXPECT_STREQ(q.thousandsText, c.thousandsText);
    EXPECT_EQ(q.thousandsDrumY, c.thousandsDrumY);
    EXPECT_EQ(q.tenThousandsDrumY, c.tenThousandsDrumY);
  }
}

TEST(SplitAltitude, KeepsThousandsModulo65536) {
  struct Case { int32_t altitude; uint16_t thousands; int32_t remainder; };
  const Case cases[] = {
      {12345, 12, 345},          {999, 0, 999},
      {65535999, 65535, 999},    {65536000, 0, 65536000},
      {-250, 0, -250},           {-1500, 65535, -1500 - 65535000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.altitude);
    DisplayQuantities q;
    EXPECT_EQ(SplitAltitude(c.altitude, q), 0);
    EXPECT_EQ(q.altitudeThousands, c.thousands);
    EXPECT_EQ(q.altitudeRemainder, c.remainder);
  }
}

struct BaroCase {
  uint16_t baroRaw;
  uint16_t baroHpa;
  const char* hpaText;
  int32_t hpaDrumY[4];  // thousands, hundreds, tens, units
  uint16_t baroInHg;
  const char* inHgText;
  int32_t inHgDrumY[4];  // tens, units, tenths, hundredths
};

TEST(DisplayQuantities, PressureCases) {
  const BaroCase cases[] = {
      {16212, 1013, "1013", {-40, -66, -40, 12}, 2992, "2992", {-14, 168, 168, -14}},
      {0, 0, "0000", {-66, -66, -66, -66}, 0, "0000", {-66, -66, -66, -66}},
      {16208, 1013, "1013", {-40, -66, -40, 12}, 2991, "2991", {-14, 168, 168, -40}},
      {16223, 1013, "1013", {-40, -66, -40, 12}, 2994, "2994", {-14, 168, 168, 38}},
      {65535, 4095, "4095", {38, -66, 168, 64}, 12097, "1209", {-40, -14, -66, 168}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.baroRaw);
    const DisplayQuantities q = ComputeDisplayQuantities(0, c.baroRaw, 0);
    EXPECT_EQ(q.baroHpa, c.baroHpa);
    EXPECT_STREQ(q.hpaText, c.hpaText);
    EXPECT_EQ(q.baroInHg, c.baroInHg);
    EXPECT_STREQ(q.inHgText, c.inHgText);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(q.hpaDrumY[i], c.hpaDrumY[i]) << "hPa drum " << i;
      EXPECT_EQ(q.inHgDrumY[i], c.inHgDrumY[i]) << "inHg drum " << i;
    }
  }
}

TEST(DisplayQuantities, AirspeedTapeCases) {
  struct Case { int32_t iasRaw; int32_t iasTapeX; };
  const Case cases[] = {
      {0, 107},       {7680, 107},  {7807, 107},  // up to 61 kt the tape rests at 60
      {7808, 103},    {32000, -723}, {57600, -1596},
      {-7808, 107},   {std::numeric_limits<int32_t>::min(), 107},
      // Beyond 450 kt the tape stops at its last mark.
      {57601, -1596}, {64000, -1596}, {std::numeric_limits<int32_t>::max(), -1596},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.iasRaw);
    EXPECT_EQ(ComputeDisplayQuantities(0, 0, c.iasRaw).iasTapeX, c.iasTapeX);
  }
  // The arithmetic itself has no upper limit; only the picture stops.
  EXPECT_EQ(IasTapeX(64000), -1814);
}

TEST(TextOperations, FillValueAndCut) {
  struct FillCase { int32_t value; int width; const char* text; };
  const FillCase fills[] = {
      {0, 2, "00"}, {7, 2, "07"}, {123, 2, "12"}, {-1, 2, "-1"}, {-12, 2, "-1"},
      {12097, 4, "1209"}, {5, 4, "0005"}, {std::numeric_limits<int32_t>::min(), 11, "-2147483648"},
  };
  for (const auto& c : fills) {
    char text[12];
    FilledDecimalText(c.value, c.width, text);
    EXPECT_STREQ(text, c.text) << c.value;
  }
  struct ValueCase { const char* text; int32_t value; };
  const ValueCase values[] = {
      {"7", 7}, {"-", 0}, {"", 0}, {" \t-12x", -12}, {"+3", 3}, {"x1", 0},
      {"99999999999", std::numeric_limits<int32_t>::max()},
      {"-99999999999", std::numeric_limits<int32_t>::min()},
  };
  for (const auto& c : values) EXPECT_EQ(TextValue(c.text), c.value) << '"' << c.text << '"';
}

// For every altitude the counter shows the right digits: the stepping drums
// stand exactly on a digit, the rolling hundreds drum within half a pixel of
// the exact roll, the needle on the exact angle.
TEST(DisplayQuantities, CounterShowsTheAltitudeFrom0To99999) {
  for (int32_t altitude = 0; altitude <= 99999; ++altitude) {
    const DisplayQuantities q = ComputeDisplayQuantities(altitude, 0, 0);
    const int32_t remainder = altitude % 1000;
    const int32_t thousandsStep = q.thousandsDrumY - CounterDrumBase;
    const int32_t tenThousandsStep = q.tenThousandsDrumY - CounterDrumBase;
    ASSERT_EQ(thousandsStep % 26, 0) << altitude;
    ASSERT_EQ(tenThousandsStep % 26, 0) << altitude;
    ASSERT_EQ(thousandsStep / 26, altitude / 1000 % 10) << altitude;
    ASSERT_EQ(tenThousandsStep / 26, altitude / 10000) << altitude;
    ASSERT_LE(std::abs(q.hundredsDrumY - (CounterDrumBase + 0.26 * remainder)), 0.5 + 1e-9)
        << altitude;
    ASSERT_NEAR(q.needleAngle, 0.36 * remainder, 1e-3) << altitude;
  }
}

// Whatever the simulator sends, every strip stays within the range where its
// cells fill its window and the tape's ends stay out of the clear band.
TEST(DisplayQuantities, AnyRawValueKeepsDrumsAndTapeInTheirWindows) {
  std::mt19937 random(20261211);
  std::uniform_int_distribution<int32_t> any(std::numeric_limits<int32_t>::min(),
                                             std::numeric_limits<int32_t>::max());
  for (int i = 0; i < 200000; ++i) {
    const int32_t altitude = any(random);
    const int32_t iasRaw = any(random);
    const auto baroRaw = static_cast<uint16_t>(any(random));
    const DisplayQuantities q = ComputeDisplayQuantities(altitude, baroRaw, iasRaw);
    ASSERT_GE(q.hundredsDrumY, -201) << altitude;
    ASSERT_LE(q.hundredsDrumY, 59) << altitude;
    for (int32_t y : {q.thousandsDrumY, q.tenThousandsDrumY}) {
      ASSERT_GE(y, -201) << altitude;
      ASSERT_LE(y, 33) << altitude;
    }
    for (int d = 0; d < 4; ++d) {
      ASSERT_GE(q.hpaDrumY[d], -66) << baroRaw;
      ASSERT_LE(q.hpaDrumY[d], 168) << baroRaw;
      ASSERT_GE(q.inHgDrumY[d], -66) << baroRaw;
      ASSERT_LE(q.inHgDrumY[d], 168) << baroRaw;
    }
    ASSERT_GE(q.iasTapeX, -1596) << iasRaw;
    ASSERT_LE(q.iasTapeX, 107) << iasRaw;
    ASSERT_GE(q.needleAngle, 0.0f) << altitude;
    ASSERT_LT(q.needleAngle, 360.0f) << altitude;
  }
}

}  // namespace
