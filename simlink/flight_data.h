// FlightData, the one record of what the gauge knows about the aircraft,
// with LastDrawn, the copy of the watched values that the last redraw of
// the event loop started from.
//
// Writers: the workers only, under FlightDataLock. Readers: the main thread,
// without the lock. Every field is an atomic of its stated width, so a
// reader without the lock always sees whole values (a mix of two polls is
// allowed, a torn field never is).
#pragma once
#include <atomic>
#include <cstdint>

struct FlightDataRecord {
  std::atomic<int32_t> altitude{0};    // feet (offset 0x3324)
  std::atomic<uint16_t> baroRaw{0};    // hPa x 16 (offset 0x0330)
  std::atomic<uint16_t> lightsRaw{0};  // only a change matters (0x0D0C)
  std::atomic<int8_t> switchRaw{0};    // only a change matters (0x3102)
  std::atomic<int32_t> iasRaw{0};      // knots x 128 (offset 0x02BC)
  std::atomic<uint8_t> connected{0};   // 1 while the simulator link is up
};

struct LastDrawnRecord {
  int32_t altitude = 0;
  uint16_t baroRaw = 0;
  uint16_t lightsRaw = 0;
  int16_t switchRaw = 0;
  int32_t iasRaw = 0;
  int32_t connected = 0;
};

extern FlightDataRecord FlightData;
extern LastDrawnRecord LastDrawn;  // main thread only

// True when a watched field differs from LastDrawn. Main thread only.
bool FlightDataChanged();
// Copies the watched fields into LastDrawn. Main thread only.
void UpdateLastDrawn();
