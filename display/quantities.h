// Display quantities: the arithmetic that turns the simulator's raw values
// into the needle angle, the drum offsets of the altitude counter and of the
// two pressure windows, and the x of the airspeed tape.
//
// Limits: the picture follows the raw values exactly from 0 to 99,999 ft
// (and, by the same arithmetic, on to 65,535,999 ft) and from 0 to 450 kt.
// Outside those ranges the values are held at the nearest edge, so that no
// drum or tape ever leaves its window (see DisplayAltitude, DisplaySpeedRaw).
// Every constant keeps its own precision (single or double) and every pixel
// offset is rounded to nearest, ties to even, in the default rounding mode.
//
// Pure code without dependencies; any thread, no shared state.
#pragma once
#include <cstdint>

// Base offsets of a strip whose second 0 stands in the middle of its window.
constexpr int32_t CounterDrumBase = -201;   // altitude counter
constexpr int32_t PressureDrumBase = -66;   // MB and IN HG windows

struct DisplayQuantities {
  uint16_t altitudeThousands = 0;   // whole thousands of feet, modulo 65,536
  int32_t altitudeRemainder = 0;    // feet above the last whole thousand
  float needleAngle = 0.0f;         // degrees, clockwise, 0 = up
  int32_t hundredsDrumY = 0;
  char thousandsText[3] = {};       // two characters and a terminator
  int32_t thousandsDrumY = 0;
  int32_t tenThousandsDrumY = 0;
  uint16_t baroHpa = 0;             // whole hectopascals
  uint16_t baroInHg = 0;            // whole hundredths of an inch of mercury
  char hpaText[5] = {};             // the pressure text built from baroHpa
  char inHgText[5] = {};            // the pressure text built from baroInHg
  int32_t hpaDrumY[4] = {};         // thousands, hundreds, tens, units
  int32_t inHgDrumY[4] = {};        // tens, units, tenths, hundredths
  int32_t iasTapeX = 0;
};

// Sets altitudeThousands (altitude / 1000, truncated, kept modulo 65,536) and
// altitudeRemainder (altitude - 1000 x that unsigned value). Returns 0.
int SplitAltitude(int32_t altitude, DisplayQuantities& quantities);

// 26 x digit + base: the y of a strip that shows `digit` in its window.
int32_t DigitDrumY(int32_t digit, int32_t base);

// The steps of the arithmetic, each on its own.
float NeedleAngle(int32_t altitudeRemainder);
int32_t HundredsDrumY(int32_t altitudeRemainder);
// Decimal text of altitude / 1000 (truncated), filled to 2 characters.
void ThousandsText(int32_t altitude, char text[3]);
uint16_t BaroHpa(uint16_t baroRaw);
uint16_t BaroInHg(uint16_t baroRaw);
// Decimal text of value filled to 4 characters, and the four strip offsets
// taken from its characters 1 to 4 in the pressure windows.
void PressureText(uint16_t value, char text[5]);
void PressureDrums(const char text[5], int32_t drumY[4]);
int32_t IasTapeX(int32_t iasRaw);

// The altitude and speed that the picture shows for a raw value: the raw
// value itself inside the artwork's range, the nearest edge outside it.
int32_t DisplayAltitude(int32_t altitude);
int32_t DisplaySpeedRaw(int32_t iasRaw);

// Text operations through which the digits are taken.
// Decimal text of value filled in front with '0' to `width` characters, or
// cut to its first `width` characters (width 0 to 11). `text` holds
// width + 1 characters.
void FilledDecimalText(int32_t value, int width, char* text);
// Value of a text: leading blanks and tabs skipped, one optional sign, then
// decimal digits up to the first other character; 0 without digits.
// Saturates instead of overflowing.
int32_t TextValue(const char* text);

// Everything for one frame from the three raw values.
DisplayQuantities ComputeDisplayQuantities(int32_t altitude, uint16_t baroRaw,
                                           int32_t iasRaw);
