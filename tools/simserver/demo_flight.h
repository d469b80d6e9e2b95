// The demo flight: a loop of about six and a half minutes that moves every
// moving part of the gauge. Taxi out, take-off roll, climb with the
// pressure setting turned from the local 1002 hPa to the standard 1013.25
// at 6,000 ft, cruise at FL240 and 280 kt, descent with the local setting
// back at FL070, landing, roll-out and taxi in; lights and the switch
// change at the usual moments. Climb and descent are much faster than an
// airliner's, so the needle and drums are busy.
//
// A pure function of time: values between two samples change smoothly,
// and the end of the loop meets its start. Portable: no Windows header.
#pragma once
#include <cstdint>

struct DemoSample {
  int32_t altitude;   // feet, as the altimeter indicates with the current setting
  uint16_t baroRaw;   // pressure setting, hPa x 16
  int32_t iasRaw;     // knots x 128
  uint16_t lights;    // one bit per light switch
  int8_t switchValue;
};

constexpr double DemoLoopSeconds = 385.0;

// The values `seconds` into the flight; any time, it loops.
DemoSample DemoAt(double seconds);
