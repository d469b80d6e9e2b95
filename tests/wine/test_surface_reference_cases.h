// The sequence of gauge frames that test_surface_reference draws on the
// Direct3D 9 surface and tools/surface_reference draws on the CPU reference
// surface. Each frame is drawn over the previous one, starting from black,
// as the gauge does: a connected frame after a disconnected one must cover
// the off lamp, and so on.
#pragma once
#include <cstdint>

#include "simlink/flight_data.h"

struct ReferenceFrame {
  const char* name;
  int32_t altitude;   // feet
  uint16_t baroRaw;   // hPa x 16
  int32_t iasRaw;     // knots x 128
  uint8_t connected;
};

inline constexpr ReferenceFrame ReferenceFrames[] = {
    {"start-up, disconnected", 0, 0, 0, 0},
    {"on the ground, 1013.25 hPa", 0, 16212, 0, 1},
    {"climbing through 12,345 ft at 250 kt", 12345, 16208, 250 * 128, 1},
    {"needle between the axes, 29.92 inHg", 4321, 16254, 173 * 128 + 77, 1},
    {"high and fast, tape past its end", 35080, 16800, 480 * 128, 1},
    {"below sea level, 61 kt", -350, 15520, 61 * 128, 1},
    {"link lost", 999, 16212, 140 * 128, 0},
};

inline constexpr int ReferenceFrameCount =
    static_cast<int>(sizeof ReferenceFrames / sizeof ReferenceFrames[0]);

inline void LoadReferenceFrame(const ReferenceFrame& frame) {
  FlightData.altitude = frame.altitude;
  FlightData.baroRaw = frame.baroRaw;
  FlightData.iasRaw = frame.iasRaw;
  FlightData.connected = frame.connected;
}
