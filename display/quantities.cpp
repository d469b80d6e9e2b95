// Display quantities: needle angle, drum offsets and tape position from the
// raw simulator values. See quantities.h for the ranges.
//
// Precision: the products with 0.36, 0.26 and 4.3666 are formed in double
// from the single-precision constants and then rounded to single precision,
// which is what decides the ties of the hundreds drum (a remainder of 225 ft
// gives 58.499998, not 58.5). Pixel offsets are rounded with std::nearbyint
// in the default rounding mode: to nearest, ties to even.
//
// Dependencies: the C++ standard library only. Any thread.
#include "display/quantities.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double FeetPerThousand = 1000.0;           // double
constexpr float NeedleDegreesPerFoot = 0.36f;        // single
constexpr float HundredsPixelsPerFoot = 0.26f;       // single
constexpr float DrumPixelsPerDigit = 26.0f;          // single
constexpr float CounterBase = -201.0f;               // single
constexpr double BaroRawPerHpa = 16.0;               // double
constexpr double BaroRawPerInHgHundredth = 5.417278; // double
constexpr float IasRawPerKnot = 128.0f;              // single
constexpr float TapeLowestKnots = 60.0f;             // single
constexpr float TapePixelsPerKnot = 4.3666f;         // single
constexpr float TapeBaseX = 107.0f;                  // single

// Highest altitude whose whole thousands still fit the 16-bit split, so
// that the remainder stays within 0..999 and the hundreds drum in its window.
constexpr int32_t HighestShownAltitude = 65535999;
// 450 kt x 128: the tape's last mark. Beyond it the tape stays put so that
// its end never slides into the clear part of the airspeed window.
constexpr int32_t HighestShownIasRaw = 450 * 128;

// Value of one character taken as a text of its own ("-" alone gives 0).
int32_t CharValue(char c) {
  const char text[2] = {c, '\0'};
  return TextValue(text);
}

}  // namespace

int SplitAltitude(int32_t altitude, DisplayQuantities& quantities) {
  // altitude / 1000.0 truncated toward zero, then kept modulo 65,536 as the
  // 16-bit field does. The truncated quotient of a 32-bit value fits int64.
  const auto whole = static_cast<int64_t>(std::trunc(altitude / FeetPerThousand));
  quantities.altitudeThousands = static_cast<uint16_t>(static_cast<uint64_t>(whole) & 0xFFFFu);
  // Signed 32-bit arithmetic on the unsigned 16-bit value; done in 64 bits
  // and narrowed the way a two's complement machine wraps, so that an
  // out-of-range altitude cannot overflow.
  const int64_t remainder =
      static_cast<int64_t>(altitude) - 1000 * static_cast<int64_t>(quantities.altitudeThousands);
  quantities.altitudeRemainder = static_cast<int32_t>(static_cast<uint32_t>(remainder));
  return 0;
}

int32_t DigitDrumY(int32_t digit, int32_t base) {
  // 26.0 is a single-precision constant, but 26 x digit + base is exact for
  // every digit a character can give, so whole-number arithmetic says the
  // same; 64 bits keep any other argument from overflowing.
  const int64_t y = static_cast<int64_t>(DrumPixelsPerDigit) * digit + base;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(y)));
}

float NeedleAngle(int32_t altitudeRemainder) {
  return static_cast<float>(static_cast<double>(altitudeRemainder) *
                            static_cast<double>(NeedleDegreesPerFoot));
}

int32_t HundredsDrumY(int32_t altitudeRemainder) {
  const float t = static_cast<float>(static_cast<double>(altitudeRemainder) *
                                     static_cast<double>(HundredsPixelsPerFoot));
  return static_cast<int32_t>(
      std::nearbyint(static_cast<double>(t) + static_cast<double>(CounterBase)));
}

void ThousandsText(int32_t altitude, char text[3]) {
  // A second computation from the altitude, not a copy of the split.
  const auto q = static_cast<int32_t>(std::trunc(altitude / FeetPerThousand));
  FilledDecimalText(q, 2, text);
}

uint16_t BaroHpa(uint16_t baroRaw) {
  return static_cast<uint16_t>(std::trunc(baroRaw / BaroRawPerHpa));
}

uint16_t BaroInHg(uint16_t baroRaw) {
  return static_cast<uint16_t>(std::trunc(baroRaw / BaroRawPerInHgHundredth));
}

void PressureText(uint16_t value, char text[5]) { FilledDecimalText(value, 4, text); }

void PressureDrums(const char text[5], int32_t drumY[4]) {
  for (int i = 0; i < 4; ++i) drumY[i] = DigitDrumY(CharValue(text[i]), PressureDrumBase);
}

int32_t IasTapeX(int32_t iasRaw) {
  // The test looks at whole knots, the position at the fraction of a knot.
  const int32_t wholeKnots = iasRaw / 128;
  float p = 0.0f;
  if (wholeKnots > 60) {
    const double knots = static_cast<double>(iasRaw) / static_cast<double>(IasRawPerKnot);
    p = static_cast<float>(-(knots - static_cast<double>(TapeLowestKnots)) *
                           static_cast<double>(TapePixelsPerKnot));
  }
  return static_cast<int32_t>(
      std::nearbyint(static_cast<double>(p) + static_cast<double>(TapeBaseX)));
}

// Below 0 ft the counter has no way to show a minus sign: rolled back, its
// drums would read 9s or slide their blank ends into the window, and a
// needle turned back from 0 next to a counter reading 0 would read as a
// positive height. A pilot is best served by a gauge that stops at 0 ft
// (needle up, counter 00000) until the aircraft is back above sea level.
// Above 65,535,999 ft the 16-bit split wraps; the gauge stops there too.
int32_t DisplayAltitude(int32_t altitude) {
  if (altitude < 0) return 0;
  if (altitude > HighestShownAltitude) return HighestShownAltitude;
  return altitude;
}

// The tape stops at its 450 kt mark: its last column then lies at x 303,
// under the shaded right rim of the window, and never in the clear band.
// Low and negative speeds need no limit: the tape already rests at 60 kt.
int32_t DisplaySpeedRaw(int32_t iasRaw) {
  return iasRaw > HighestShownIasRaw ? HighestShownIasRaw : iasRaw;
}

void FilledDecimalText(int32_t value, int width, char* text) {
  if (width < 0) width = 0;
  if (width > 11) width = 11;  // the longest text of a 32-bit value
  char digits[16];
  const int length = std::snprintf(digits, sizeof digits, "%ld", static_cast<long>(value));
  const int pad = length < width ? width - length : 0;
  std::memset(text, '0', static_cast<size_t>(pad));
  std::memcpy(text + pad, digits, static_cast<size_t>(width - pad));
  text[width] = '\0';
}

int32_t TextValue(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  bool negative = false;
  if (*text == '-' || *text == '+') negative = *text++ == '-';
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > 2147483648LL) value = 2147483648LL;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<int32_t>(value);
}

DisplayQuantities ComputeDisplayQuantities(int32_t altitude, uint16_t baroRaw, int32_t iasRaw) {
  DisplayQuantities q;
  const int32_t shownAltitude = DisplayAltitude(altitude);
  SplitAltitude(shownAltitude, q);
  q.needleAngle = NeedleAngle(q.altitudeRemainder);
  q.hundredsDrumY = HundredsDrumY(q.altitudeRemainder);
  ThousandsText(shownAltitude, q.thousandsText);
  q.thousandsDrumY = DigitDrumY(CharValue(q.thousandsText[1]), CounterDrumBase);
  q.tenThousandsDrumY = DigitDrumY(CharValue(q.thousandsText[0]), CounterDrumBase);

  q.baroHpa = BaroHpa(baroRaw);
  q.baroInHg = BaroInHg(baroRaw);
  PressureText(q.baroHpa, q.hpaText);
  PressureDrums(q.hpaText, q.hpaDrumY);
  PressureText(q.baroInHg, q.inHgText);
  PressureDrums(q.inHgText, q.inHgDrumY);

  q.iasTapeX = IasTapeX(DisplaySpeedRaw(iasRaw));
  return q;
}
