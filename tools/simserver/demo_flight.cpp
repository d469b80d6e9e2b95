// The demo flight's profile (see demo_flight.h). Portable: no Windows header.
//
// Each quantity is built from ramps that ease in and out (smoothstep), so
// its rate of change is continuous and the drums roll rather than jump.
#include "demo_flight.h"

#include <cmath>

namespace {

constexpr double FieldElevation = 350.0;  // feet
constexpr double LocalQnh = 1002.0;       // hPa
constexpr double StandardSetting = 1013.25;
constexpr double FeetPerHpa = 27.0;       // near enough at these heights
constexpr double CruiseIndicated = 24000.0;
constexpr double CruiseTrue = CruiseIndicated - (StandardSetting - LocalQnh) * FeetPerHpa;

// Phases, seconds from the start of the loop.
constexpr double TakeOffStart = 20.0;
constexpr double ClimbStart = 48.0;
constexpr double CruiseStart = 168.0;
constexpr double DescentStart = 228.0;
constexpr double Touchdown = 348.0;
constexpr double TaxiIn = 368.0;
constexpr double TaxiStop = 380.0;
constexpr double SettingTurnSeconds = 4.0;

enum : uint16_t { Nav = 1, Beacon = 2, Landing = 4, Taxi = 8, Strobe = 16 };

double Smooth(double x) {
  if (x <= 0) return 0;
  if (x >= 1) return 1;
  return x * x * (3 - 2 * x);
}

// From v0 at t0 to v1 at t1, easing in and out; constant outside.
double Ramp(double t, double t0, double t1, double v0, double v1) {
  return v0 + (v1 - v0) * Smooth((t - t0) / (t1 - t0));
}

double TrueAltitude(double t) {
  if (t < DescentStart) return Ramp(t, ClimbStart, CruiseStart, FieldElevation, CruiseTrue);
  return Ramp(t, DescentStart, Touchdown, CruiseTrue, FieldElevation);
}

// When a ramp from t0 to t1 going from v0 to v1 passes `value`.
double TimeOf(double value, double t0, double t1, double v0, double v1) {
  double target = (value - v0) / (v1 - v0);
  double low = 0, high = 1;
  for (int i = 0; i < 50; ++i) {
    double middle = (low + high) / 2;
    (Smooth(middle) < target ? low : high) = middle;
  }
  return t0 + (t1 - t0) * low;
}

struct Moments {
  double transitionUp;    // 6,000 ft true: setting to standard
  double tenThousandUp;
  double tenThousandDown;
  double transitionDown;  // FL070: setting back to the local QNH
  double fourThousandDown;
  double fifteenHundredDown;
};

Moments ComputeMoments() {
  Moments m;
  m.transitionUp = TimeOf(6000, ClimbStart, CruiseStart, FieldElevation, CruiseTrue);
  m.tenThousandUp = TimeOf(10000, ClimbStart, CruiseStart, FieldElevation, CruiseTrue);
  m.tenThousandDown = TimeOf(10000, DescentStart, Touchdown, CruiseTrue, FieldElevation);
  m.transitionDown = TimeOf(7000 - (StandardSetting - LocalQnh) * FeetPerHpa, DescentStart,
                            Touchdown, CruiseTrue, FieldElevation);
  m.fourThousandDown = TimeOf(4000, DescentStart, Touchdown, CruiseTrue, FieldElevation);
  m.fifteenHundredDown = TimeOf(1500, DescentStart, Touchdown, CruiseTrue, FieldElevation);
  return m;
}

const Moments& TheMoments() {
  static const Moments moments = ComputeMoments();
  return moments;
}

double Setting(double t, const Moments& m) {
  if (t < DescentStart)
    return Ramp(t, m.transitionUp, m.transitionUp + SettingTurnSeconds, LocalQnh, StandardSetting);
  return Ramp(t, m.transitionDown, m.transitionDown + SettingTurnSeconds, StandardSetting, LocalQnh);
}

double Airspeed(double t, const Moments& m) {
  const double pi = 3.14159265358979323846;
  if (t < TakeOffStart) return Ramp(t, 0, 3, 0, 15) - Ramp(t, 17, TakeOffStart, 0, 15);
  if (t < ClimbStart) return Ramp(t, TakeOffStart, ClimbStart, 0, 160);
  if (t < CruiseStart)
    return Ramp(t, ClimbStart, ClimbStart + 10, 160, 250) +
           Ramp(t, m.tenThousandUp, m.tenThousandUp + 15, 0, 30);
  if (t < DescentStart) return 280 + 3 * std::sin(2 * pi * (t - CruiseStart) / 20);
  if (t < Touchdown)
    return Ramp(t, m.tenThousandDown - 20, m.tenThousandDown, 280, 250) -
           Ramp(t, m.fourThousandDown, m.fourThousandDown + 20, 0, 70) -
           Ramp(t, m.fifteenHundredDown, m.fifteenHundredDown + 12, 0, 40);
  if (t < TaxiStop) return Ramp(t, Touchdown, TaxiIn, 140, 15);
  return Ramp(t, TaxiStop, DemoLoopSeconds, 15, 0);
}

uint16_t Lights(double t, const Moments& m) {
  if (t < TakeOffStart) return Nav | Beacon | Taxi;
  if (t < ClimbStart + 12) return Nav | Beacon | Landing | Taxi | Strobe;
  if (t < m.tenThousandUp) return Nav | Beacon | Landing | Strobe;
  if (t < m.tenThousandDown) return Nav | Beacon | Strobe;
  if (t < Touchdown + 4) return Nav | Beacon | Landing | Strobe;
  return Nav | Beacon | Taxi;
}

int8_t SwitchValue(double t, const Moments& m) {
  if (t < TakeOffStart) return 0;
  if (t < m.tenThousandUp) return 1;
  if (t < DescentStart) return 0;
  if (t < m.fourThousandDown) return -1;
  if (t < Touchdown) return 1;
  return 0;
}

}  // namespace

DemoSample DemoAt(double seconds) {
  double t = std::fmod(seconds, DemoLoopSeconds);
  if (t < 0) t += DemoLoopSeconds;
  const Moments& m = TheMoments();
  double setting = Setting(t, m);
  double indicated = TrueAltitude(t) + (setting - LocalQnh) * FeetPerHpa;
  DemoSample sample;
  sample.altitude = static_cast<int32_t>(std::lround(indicated));
  sample.baroRaw = static_cast<uint16_t>(std::lround(setting * 16));
  sample.iasRaw = static_cast<int32_t>(std::lround(Airspeed(t, m) * 128));
  sample.lights = Lights(t, m);
  sample.switchValue = SwitchValue(t, m);
  return sample;
}
