// Test helper: FlightData back to its start-up state, all zero.
#pragma once
#include "simlink/flight_data.h"

inline void ZeroFlightData() {
  FlightData.altitude = 0;
  FlightData.baroRaw = 0;
  FlightData.lightsRaw = 0;
  FlightData.switchRaw = 0;
  FlightData.iasRaw = 0;
  FlightData.connected = 0;
}
