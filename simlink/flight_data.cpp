// FlightData and LastDrawn, and the change test of the event loop.
#include "simlink/flight_data.h"

FlightDataRecord FlightData;
LastDrawnRecord LastDrawn;

bool FlightDataChanged() {
  // Cheapest and most often changing fields first; stops at the first difference.
  if (FlightData.iasRaw.load() != LastDrawn.iasRaw) return true;
  if (FlightData.altitude.load() != LastDrawn.altitude) return true;
  if (FlightData.baroRaw.load() != LastDrawn.baroRaw) return true;
  if (FlightData.connected.load() != LastDrawn.connected) return true;
  if (FlightData.lightsRaw.load() != LastDrawn.lightsRaw) return true;
  if (FlightData.switchRaw.load() != LastDrawn.switchRaw) return true;
  return false;
}

void UpdateLastDrawn() {
  LastDrawn.connected = FlightData.connected.load();
  LastDrawn.altitude = FlightData.altitude.load();
  LastDrawn.baroRaw = FlightData.baroRaw.load();
  LastDrawn.lightsRaw = FlightData.lightsRaw.load();
  LastDrawn.switchRaw = FlightData.switchRaw.load();
  LastDrawn.iasRaw = FlightData.iasRaw.load();
}
