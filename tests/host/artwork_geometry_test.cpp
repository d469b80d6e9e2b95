// The embedded artwork's geometry, which the drum offsets, the tape position
// and the needle's pivot of the display arithmetic rest on: sizes, the face's
// windows and their overlays, the drum cells and their order, the hatched
// cell, the tape scale, the needle's direction and pivot, the lamp's parts.
//
// Coordinates: pixel x covers [x, x+1); a "centre" of 104 is the line
// between pixels 103 and 104, so measured centroids add 0.5 to pixel indexes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "display/artwork.h"
#include "display/png_decode.h"

namespace {

struct Rgba {
  int r, g, b, a;
};

struct Picture {
  DecodedImage image;
  Rgba At(int x, int y) const {
    const uint8_t* p = &image.rgba[(static_cast<size_t>(y) * image.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
  }
  int Alpha(int x, int y) const { return At(x, y).a; }
};

const Picture& Art(const char* name) {
  static std::map<std::string, Picture> cache;
  auto found = cache.find(name);
  if (found != cache.end()) return found->second;
  Picture& picture = cache[name];
  const ArtworkImage* art = FindArtwork(name);
  EXPECT_NE(art, nullptr) << name;
  if (art != nullptr) EXPECT_TRUE(DecodePng(art->bytes, art->size, &picture.image)) << name;
  return picture;
}

const Rgba DrumBackground = {74, 60, 51, 255};

bool SameColour(Rgba p, Rgba q) { return p.r == q.r && p.g == q.g && p.b == q.b && p.a == q.a; }

// How far a pixel has gone from the drum background towards white, 0 to 1.
double Whiteness(Rgba p) {
  return ((p.r - 74) / 181.0 + (p.g - 60) / 195.0 + (p.b - 51) / 204.0) / 3.0;
}

double Luminance(Rgba p) { return 0.3 * p.r + 0.59 * p.g + 0.11 * p.b; }

struct Box {
  int x0, x1, y0, y1;   // both ends included
  bool Holds(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

// ---- face -------------------------------------------------------------------

struct Window {
  const char* name;
  std::vector<Box> open;   // not opaque
  Box band;                // fully transparent
  int nearBandMax;         // overlay alpha next to the band, above and below
  int rimMin;              // at the rim
};

const std::vector<Window>& Windows() {
  static const std::vector<Window> windows = {
      {"altitude counter", {{138, 263, 85, 113}, {171, 195, 81, 118}}, {146, 257, 98, 101}, 20, 150},
      {"MB", {{31, 124, 216, 254}}, {34, 123, 233, 236}, 20, 150},
      {"IN HG", {{296, 386, 216, 254}}, {297, 385, 232, 235}, 20, 150},
      {"IAS", {{114, 307, 288, 349}}, {170, 274, 302, 345}, 60, 150},
  };
  return windows;
}

TEST(ArtworkFace, OpaqueExceptItsFourWindows) {
  const Picture& face = Art("face.png");
  ASSERT_EQ(face.image.width, 420);
  ASSERT_EQ(face.image.height, 420);
  int wrong = 0;
  for (int y = 0; y < 420; ++y) {
    for (int x = 0; x < 420; ++x) {
      bool open = false;
      for (const Window& w : Windows()) {
        for (const Box& b : w.open) open = open || b.Holds(x, y);
      }
      Rgba p = face.At(x, y);
      bool ok = open ? p.a < 255 && p.r == 0 && p.g == 0 && p.b == 0 : p.a == 255;
      if (!ok && ++wrong <= 5) ADD_FAILURE() << "pixel (" << x << ", " << y << ") alpha " << p.a;
    }
  }
  EXPECT_EQ(wrong, 0);
  for (auto [x, y] : {std::pair{0, 0}, {419, 0}, {0, 419}, {419, 419}}) {
    EXPECT_TRUE(SameColour(face.At(x, y), {24, 19, 15, 255})) << x << ", " << y;
  }
}

TEST(ArtworkFace, ClearBandsWithOverlayGrowingAwayFromThem) {
  const Picture& face = Art("face.png");
  for (const Window& w : Windows()) {
    for (int y = w.band.y0; y <= w.band.y1; ++y) {
      for (int x = w.band.x0; x <= w.band.x1; ++x) ASSERT_EQ(face.Alpha(x, y), 0) << w.name << " " << x << ", " << y;
    }
    // Up and down every column of the band, to the rim of the open area.
    for (int x = w.band.x0; x <= w.band.x1; ++x) {
      int top = w.band.y0, bottom = w.band.y1;
      for (const Box& b : w.open) {
        if (x >= b.x0 && x <= b.x1) {
          top = std::min(top, b.y0);
          bottom = std::max(bottom, b.y1);
        }
      }
      for (int step : {-1, 1}) {
        int from = step < 0 ? w.band.y0 - 1 : w.band.y1 + 1;
        int rim = step < 0 ? top : bottom;
        EXPECT_GT(face.Alpha(x, from), 0) << w.name << " column " << x;
        EXPECT_LE(face.Alpha(x, from), w.nearBandMax) << w.name << " column " << x;
        for (int y = from + step; y != rim + step; y += step) {
          ASSERT_GT(face.Alpha(x, y), face.Alpha(x, y - step)) << w.name << " column " << x << " row " << y;
        }
        EXPECT_GE(face.Alpha(x, rim), w.rimMin) << w.name << " column " << x;
      }
    }
  }
}

TEST(ArtworkFace, AirspeedWindowFadesSideways) {
  const Picture& face = Art("face.png");
  for (int y = 302; y <= 345; y += 7) {
    for (int x = 169; x > 114; --x) ASSERT_LT(face.Alpha(x, y), face.Alpha(x - 1, y)) << x << ", " << y;
    for (int x = 275; x < 307; ++x) ASSERT_LT(face.Alpha(x, y), face.Alpha(x + 1, y)) << x << ", " << y;
    EXPECT_GE(face.Alpha(114, y), 240);
    EXPECT_GE(face.Alpha(307, y), 240);
    EXPECT_LE(face.Alpha(169, y), 15);
    EXPECT_LE(face.Alpha(275, y), 15);
  }
}

TEST(ArtworkFace, DialMarksAroundTheGraduationCentre) {
  // 50 marks every 7.2 degrees about (210, 138); short marks from a radius
  // of about 95 to about 110. Sampled on the mark's centre line and halfway
  // between marks.
  const Picture& face = Art("face.png");
  auto sample = [&](double degrees, double radius) {
    double a = degrees * 3.14159265358979 / 180.0;
    return Luminance(face.At(static_cast<int>(std::floor(210.0 + radius * std::sin(a))),
                             static_cast<int>(std::floor(138.0 - radius * std::cos(a)))));
  };
  for (int i = 0; i < 50; ++i) {
    double angle = i * 7.2;
    for (double r : {97.0, 103.0, 108.0}) EXPECT_GT(sample(angle, r), 100.0) << "mark " << i << " radius " << r;
    EXPECT_LT(sample(angle + 3.6, 103.0), 50.0) << "between marks " << i << " and " << i + 1;
    EXPECT_LT(sample(angle, 113.0), 60.0) << "beyond mark " << i;
    if (i % 5 != 0) EXPECT_LT(sample(angle, 92.0), 60.0) << "inside short mark " << i;
  }
}

TEST(ArtworkFace, RuleAndAirspeedIndex) {
  const Picture& face = Art("face.png");
  for (int x = 66; x <= 384; x += 6) {
    for (int y = 279; y <= 282; ++y) EXPECT_GT(Luminance(face.At(x, y)), 120.0) << x << ", " << y;
  }
  for (int x : {70, 200, 380}) {
    EXPECT_LT(Luminance(face.At(x, 277)), 60.0) << x;
    EXPECT_LT(Luminance(face.At(x, 284)), 60.0) << x;
  }
  // Base x 206-215 on row 382, tip at (211, 353), axis x = 211.
  for (int x = 206; x <= 215; ++x) EXPECT_GT(Luminance(face.At(x, 382)), 150.0) << x;
  EXPECT_LT(Luminance(face.At(204, 382)), 60.0);
  EXPECT_LT(Luminance(face.At(217, 382)), 60.0);
  EXPECT_LT(Luminance(face.At(211, 351)), 60.0);
  EXPECT_GT(Luminance(face.At(210, 356)) + Luminance(face.At(211, 356)), 150.0);
  for (int y = 356; y <= 382; y += 2) {
    double sum = 0, weighted = 0;
    for (int x = 202; x <= 220; ++x) {
      double v = std::max(0.0, Luminance(face.At(x, y)) - 40.0);
      sum += v;
      weighted += v * (x + 0.5);
    }
    EXPECT_NEAR(weighted / sum, 211.0, 0.25) << "row " << y;
  }
}

// ---- needle -----------------------------------------------------------------

TEST(ArtworkNeedle, PointsUpFromTheImageCentre) {
  const Picture& needle = Art("needle.png");
  ASSERT_EQ(needle.image.width, 198);
  ASSERT_EQ(needle.image.height, 198);
  for (int y = 116; y < 198; ++y) {
    for (int x = 0; x < 198; ++x) ASSERT_EQ(needle.Alpha(x, y), 0) << x << ", " << y;
  }
  for (int x = 0; x < 198; ++x) EXPECT_EQ(needle.Alpha(x, 0), 0) << "row 0, x " << x;
  EXPECT_GT(needle.Alpha(99, 1), 0);

  // Every row of the pointer is centred on the line x = 99.5 (pixel 99).
  for (int y = 1; y <= 82; ++y) {
    double sum = 0, weighted = 0;
    int minX = 198, maxX = -1;
    for (int x = 0; x < 198; ++x) {
      int a = needle.Alpha(x, y);
      sum += a;
      weighted += a * (x + 0.5);
      if (a > 0) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
      }
    }
    ASSERT_GT(sum, 0) << "row " << y;
    EXPECT_NEAR(weighted / sum, 99.5, 0.25) << "row " << y;
    EXPECT_LE(maxX - minX + 1, y <= 9 ? 12 : 5) << "row " << y;
  }
  for (int y = 10; y <= 82; ++y) {
    for (int x = 97; x <= 101; ++x) EXPECT_EQ(needle.Alpha(x, y), 255) << x << ", " << y;
    Rgba shaft = needle.At(99, y);
    EXPECT_NEAR(shaft.r, 243, 12);
    EXPECT_NEAR(shaft.g, 228, 12);
    EXPECT_NEAR(shaft.b, 180, 12);
  }

  // The hub: a disc about 32 px across over x 83-115, y 83-114, centred
  // within half a pixel of the image centre, the pivot.
  double sum = 0, sx = 0, sy = 0;
  for (int y = 83; y <= 115; ++y) {
    for (int x = 80; x <= 118; ++x) {
      int a = needle.Alpha(x, y);
      if (y == 83 && x >= 96 && x <= 102) continue;   // where the shaft joins
      sum += a;
      sx += a * (x + 0.5);
      sy += a * (y + 0.5);
    }
  }
  EXPECT_NEAR(sx / sum, 99.0, 0.55);
  EXPECT_NEAR(sy / sum, 99.0, 0.3);
  EXPECT_EQ(needle.Alpha(82, 99), 0);
  EXPECT_EQ(needle.Alpha(116, 99), 0);
  EXPECT_EQ(needle.Alpha(99, 115), 0);
  EXPECT_EQ(needle.Alpha(83, 99) > 0 && needle.Alpha(115, 99) > 0, true);
  Rgba screw = needle.At(99, 98);
  EXPECT_LT(Luminance(screw), 90.0);
}

// ---- plate and lamp ---------------------------------------------------------

TEST(ArtworkCounterBack, UniformPlate) {
  const Picture& plate = Art("counter_back.png");
  ASSERT_EQ(plate.image.width, 142);
  ASSERT_EQ(plate.image.height, 52);
  for (int y = 0; y < 52; ++y) {
    for (int x = 0; x < 142; ++x) ASSERT_TRUE(SameColour(plate.At(x, y), DrumBackground)) << x << ", " << y;
  }
}

TEST(ArtworkOffLamp, DotAndRingFillEachOther) {
  const Picture& dot = Art("off_flag_dot.png");
  const Picture& ring = Art("off_flag_ring.png");
  ASSERT_EQ(dot.image.width, 30);
  ASSERT_EQ(dot.image.height, 30);
  ASSERT_EQ(ring.image.width, 30);
  ASSERT_EQ(ring.image.height, 30);
  double sum = 0, sx = 0, sy = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 30; ++x) {
      double d = std::hypot(x + 0.5 - 15.0, y + 0.5 - 15.0);
      Rgba p = dot.At(x, y), q = ring.At(x, y);
      // The dot: a red disc 10 px across within x, y 10-19.
      if (x < 10 || x > 19 || y < 10 || y > 19) EXPECT_EQ(p.a, 0) << "dot " << x << ", " << y;
      if (d <= 4.0 && !(x >= 15 && x <= 17 && y >= 12 && y <= 14)) {
        EXPECT_TRUE(SameColour(p, {255, 0, 0, 255})) << "dot " << x << ", " << y;
      }
      sum += p.a;
      sx += p.a * (x + 0.5);
      sy += p.a * (y + 0.5);
      // The ring: red, clear inside the hole, about 176 just outside it,
      // falling to nothing about 15 px out.
      if (q.a > 0) EXPECT_TRUE(q.r == 255 && q.g == 0 && q.b == 0) << "ring " << x << ", " << y;
      if (d < 4.0) EXPECT_EQ(q.a, 0) << "ring " << x << ", " << y;
      if (d > 4.5 && d < 5.5) EXPECT_NEAR(q.a, 176, 25) << "ring " << x << ", " << y;
      if (d >= 15.0) EXPECT_EQ(q.a, 0) << "ring " << x << ", " << y;
      // Together: no gap between the dot and the ring.
      if (d <= 6.0) {
        double together = 1.0 - (1.0 - p.a / 255.0) * (1.0 - q.a / 255.0);
        EXPECT_GE(together, 0.6) << x << ", " << y;
      }
    }
  }
  EXPECT_NEAR(sx / sum, 15.0, 0.1);
  EXPECT_NEAR(sy / sum, 15.0, 0.1);
  for (auto [x, y] : {std::pair{16, 13}, {15, 13}, {17, 13}, {16, 12}, {16, 14}}) {
    EXPECT_TRUE(SameColour(dot.At(x, y), {204, 204, 204, 255})) << "glint " << x << ", " << y;
  }
  // The halo falls off steadily outward.
  for (int x = 20; x < 29; ++x) EXPECT_GE(ring.Alpha(x, 14), ring.Alpha(x + 1, 14)) << x;
}

// ---- drum strips --------------------------------------------------------------

// Reads the digit of one drum cell from a few plain features of its glyph:
// its holes (an 8 has two; 0, 4, 6 and 9 one, told apart by the hole's
// height and place and by where the foot of the glyph lies), and for the
// rest its width (1), a stem on the upper left (5), an empty lower right (7)
// and a flat foot (2). Returns -1 when nothing is there.
int ReadDigit(const Picture& strip, int cell) {
  const int w = 24, h = 26, top = 26 * cell;
  auto ink = [&](int x, int y) { return Whiteness(strip.At(x, top + y)) > 0.5; };
  int x0 = w, x1 = -1, y0 = h, y1 = -1;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (ink(x, y)) {
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
      }
    }
  }
  if (x1 < 0) return -1;
  const double width = x1 - x0 + 1, height = y1 - y0 + 1;

  // Background regions that do not reach the cell's edge are holes.
  std::vector<int> seen(w * h, 0);
  int holes = 0, holeTop = 0, holeBottom = 0;
  for (int start = 0; start < w * h; ++start) {
    if (seen[start] || ink(start % w, start / w)) continue;
    bool touchesEdge = false;
    int minY = h, maxY = -1;
    std::vector<int> stack = {start};
    seen[start] = 1;
    while (!stack.empty()) {
      int i = stack.back();
      stack.pop_back();
      int x = i % w, y = i / w;
      minY = std::min(minY, y);
      maxY = std::max(maxY, y);
      if (x == 0 || y == 0 || x == w - 1 || y == h - 1) touchesEdge = true;
      const int next[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
      for (const auto& n : next) {
        if (n[0] < 0 || n[1] < 0 || n[0] >= w || n[1] >= h) continue;
        int j = n[1] * w + n[0];
        if (!seen[j] && !ink(n[0], n[1])) {
          seen[j] = 1;
          stack.push_back(j);
        }
      }
    }
    if (!touchesEdge) {
      ++holes;
      holeTop = minY;
      holeBottom = maxY;
    }
  }
  auto rowInk = [&](int y, int* left, int* right) {
    *left = w;
    *right = -1;
    for (int x = 0; x < w; ++x) {
      if (ink(x, y)) {
        *left = std::min(*left, x);
        *right = std::max(*right, x);
      }
    }
  };
  int footLeft, footRight;
  rowInk(y1 - 1, &footLeft, &footRight);
  double footCentre = ((footLeft + footRight + 1) / 2.0 - x0) / width;

  if (holes >= 2) return 8;
  if (holes == 1) {
    double holeCentre = ((holeTop + holeBottom + 1) / 2.0 - y0) / height;
    if (holeBottom - holeTop + 1 > 0.45 * height) return 0;
    if (holeCentre > 0.55) return 6;
    return footCentre > 0.6 ? 4 : 9;
  }
  if (width < 13) return 1;
  int left30, right30;
  rowInk(y0 + static_cast<int>(0.3 * height), &left30, &right30);
  if (left30 - x0 < 0.3 * width) return 5;
  bool lowerRightEmpty = true;
  for (int y = y1 - static_cast<int>(0.2 * height); y <= y1; ++y) {
    for (int x = x1 - static_cast<int>(width / 3); x <= x1; ++x) lowerRightEmpty = lowerRightEmpty && !ink(x, y);
  }
  if (lowerRightEmpty) return 7;
  return footRight - footLeft + 1 >= 0.85 * width ? 2 : 3;
}

TEST(ArtworkDigitStrip, CellsReadOneZeroNineDownToZeroNine) {
  const int cellDigits[13] = {1, 0, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 9};
  for (const char* name : {"digit_drum.png", "ten_thousands_drum.png"}) {
    const Picture& strip = Art(name);
    ASSERT_EQ(strip.image.width, 24) << name;
    ASSERT_EQ(strip.image.height, 400) << name;
    for (int y = 0; y < 400; ++y) {
      for (int x = 0; x < 24; ++x) ASSERT_EQ(strip.Alpha(x, y), y == 399 ? 127 : 255) << name << " " << x << ", " << y;
    }
    for (int y = 338; y < 400; ++y) {
      for (int x = 0; x < 24; ++x) {
        Rgba p = strip.At(x, y);
        ASSERT_TRUE(p.r == 74 && p.g == 60 && p.b == 51) << name << " empty end " << x << ", " << y;
      }
    }
    bool hatched = std::string(name) == "ten_thousands_drum.png";
    for (int k = 0; k < 13; ++k) {
      if (hatched && k == 11) continue;
      int minY = 999, maxY = -1, minX = 99, maxX = -1;
      for (int y = 26 * k; y < 26 * k + 26; ++y) {
        for (int x = 0; x < 24; ++x) {
          if (Whiteness(strip.At(x, y)) > 0.02) {
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
          }
        }
      }
      ASSERT_GE(maxY, 0) << name << " cell " << k << " is empty";
      EXPECT_NEAR((minY + maxY) / 2.0, 26 * k + 14, 1.0) << name << " cell " << k;
      EXPECT_NEAR(maxY - minY + 1, 22, 2) << name << " cell " << k;
      EXPECT_GE(minY, 26 * k + 3) << name << " cell " << k;
      EXPECT_LE(maxY, 26 * k + 25) << name << " cell " << k;
      EXPECT_LE(maxX - minX + 1, 17) << name << " cell " << k;
      EXPECT_NEAR((minX + maxX + 1) / 2.0, 12.0, 1.5) << name << " cell " << k;
      EXPECT_EQ(ReadDigit(strip, k), cellDigits[k]) << name << " cell " << k;
    }
    // The cells above the first 0 and below the second 0 repeat the turn.
    for (int k = 0; k <= 2; ++k) {
      if (hatched && k == 1) continue;
      for (int y = 0; y < 26; ++y) {
        for (int x = 0; x < 24; ++x) {
          ASSERT_TRUE(SameColour(strip.At(x, 26 * k + y), strip.At(x, 26 * (k + 10) + y)))
              << name << " cells " << k << " and " << k + 10 << " differ at " << x << ", " << y;
        }
      }
    }
  }
}

TEST(ArtworkDigitStrip, HatchedStripDiffersOnlyInItsLowerZero) {
  const Picture& plain = Art("digit_drum.png");
  const Picture& hatched = Art("ten_thousands_drum.png");
  int phase = -1;
  for (int y = 0; y < 400; ++y) {
    for (int x = 0; x < 24; ++x) {
      Rgba h = hatched.At(x, y);
      if (y < 286 || y > 311) {
        ASSERT_TRUE(SameColour(h, plain.At(x, y))) << x << ", " << y;
      } else if (x < 4 || x > 20 || y < 290) {
        ASSERT_TRUE(SameColour(h, DrumBackground)) << x << ", " << y;
      } else if (SameColour(h, {255, 255, 255, 255})) {
        // 1 px white diagonals rising to the right, 5 px apart: x + y fixed mod 5.
        if (phase < 0) phase = (x + y) % 5;
        ASSERT_EQ((x + y) % 5, phase) << x << ", " << y;
      } else {
        ASSERT_TRUE(SameColour(h, DrumBackground)) << x << ", " << y;
        if (phase >= 0) ASSERT_NE((x + y) % 5, phase) << x << ", " << y;
      }
    }
  }
  ASSERT_GE(phase, 0) << "no hatching";
  for (int y = 290; y <= 311; ++y) {
    int lines = 0;
    for (int x = 4; x <= 20; ++x) lines += SameColour(hatched.At(x, y), {255, 255, 255, 255});
    EXPECT_GE(lines, 3) << "row " << y;
  }
}

// ---- airspeed tape ------------------------------------------------------------

double TapeMarkX(int knots) { return 104.0 + 4.368 * (knots - 60); }

// Whiteness-weighted centre of the ink near x in one row, or -1.
double InkCentre(const Picture& tape, double x, int y, int halfWidth) {
  double sum = 0, weighted = 0;
  for (int i = static_cast<int>(x) - halfWidth; i <= static_cast<int>(x) + halfWidth; ++i) {
    double v = std::max(0.0, Whiteness(tape.At(i, y)));
    sum += v;
    weighted += v * (i + 0.5);
  }
  return sum > 0.5 ? weighted / sum : -1.0;
}

TEST(ArtworkTape, MarksFollowTheScale) {
  const Picture& tape = Art("ias_tape.png");
  ASSERT_EQ(tape.image.width, 1900);
  ASSERT_EQ(tape.image.height, 80);
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 1900; ++x) ASSERT_EQ(tape.Alpha(x, y), 255) << x << ", " << y;
  }
  struct Kind {
    const char* name;
    int step;
    int top;         // first row of the mark; all end on row 61
    double within;   // distance of its centre from the scale
    int halfWidth;   // of the measured span, clear of the neighbouring marks
  };
  const Kind kinds[] = {{"long", 10, 34, 0.2, 3}, {"medium", 5, 43, 0.2, 3}, {"dot", 1, 59, 0.2, 2}};
  for (const Kind& kind : kinds) {
    for (int v = 60; v <= 450; v += kind.step) {
      if (kind.step < 10 && v % (kind.step == 5 ? 10 : 5) == 0) continue;
      double x = TapeMarkX(v);
      EXPECT_NEAR(InkCentre(tape, x, kind.top + 1, kind.halfWidth), x, kind.within) << kind.name << " mark " << v;
      EXPECT_NEAR(InkCentre(tape, x, 61, 2), x, kind.within) << kind.name << " mark " << v;
      int column = static_cast<int>(x);
      EXPECT_GT(Whiteness(tape.At(column, kind.top)), 0.5) << kind.name << " mark " << v;
      EXPECT_LT(Whiteness(tape.At(column, kind.top - 1)), 0.05) << kind.name << " mark " << v;
      EXPECT_LT(Whiteness(tape.At(column, 62)), 0.05) << kind.name << " mark " << v;
    }
  }
  // 391 dots on row 60, one a knot.
  int dots = 0;
  for (int x = 1; x < 1900; ++x) dots += Whiteness(tape.At(x, 60)) > 0.3 && Whiteness(tape.At(x - 1, 60)) <= 0.3;
  EXPECT_EQ(dots, 391);
}

TEST(ArtworkTape, NumeralsCentredOverTheirMarksAndEmptyEnds) {
  const Picture& tape = Art("ias_tape.png");
  for (int v = 60; v <= 450; v += 10) {
    double x = TapeMarkX(v);
    int minX = 9999, maxX = -1, minY = 99, maxY = -1;
    for (int y = 10; y < 34; ++y) {
      for (int i = static_cast<int>(x) - 20; i <= static_cast<int>(x) + 20; ++i) {
        if (Whiteness(tape.At(i, y)) > 0.3) {
          minX = std::min(minX, i);
          maxX = std::max(maxX, i);
          minY = std::min(minY, y);
          maxY = std::max(maxY, y);
        }
      }
    }
    EXPECT_NEAR((minX + maxX + 1) / 2.0, x, 1.0) << "numeral " << v;
    EXPECT_EQ(minY, 17) << "numeral " << v;
    EXPECT_EQ(maxY, 31) << "numeral " << v;
  }
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 1900; ++x) {
      if (x >= 92 && x <= 1825) continue;
      ASSERT_TRUE(SameColour(tape.At(x, y), DrumBackground)) << x << ", " << y;
    }
  }
}

}  // namespace
