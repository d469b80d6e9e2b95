// Change detection over FlightData and LastDrawn.
#include <gtest/gtest.h>

#include <functional>

#include "flight_data_reset.h"
#include "simlink/flight_data.h"

namespace {

void ResetRecords() {
  ZeroFlightData();
  UpdateLastDrawn();
}

struct FieldCase {
  const char* name;
  std::function<void()> change;
};

TEST(FlightDataChanged, EachWatchedFieldAndNegativeValuesAreSeenOnce) {
  const FieldCase cases[] = {
      {"altitude", [] { FlightData.altitude = -250; }},
      {"baroRaw", [] { FlightData.baroRaw = 65535; }},
      {"lightsRaw", [] { FlightData.lightsRaw = 0x8000; }},
      {"switchRaw", [] { FlightData.switchRaw = -1; }},
      {"iasRaw", [] { FlightData.iasRaw = -7808; }},
      {"connected", [] { FlightData.connected = 1; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetRecords();
    EXPECT_FALSE(FlightDataChanged());
    c.change();
    EXPECT_TRUE(FlightDataChanged());
    UpdateLastDrawn();
    // The new value, negative or not, compares equal from now on.
    EXPECT_FALSE(FlightDataChanged());
  }
}

TEST(FlightDataChanged, ChangeAndChangeBackBetweenPassesIsNoChange) {
  ResetRecords();
  FlightData.connected = 1;
  FlightData.altitude = 1200;
  UpdateLastDrawn();
  FlightData.connected = 0;
  FlightData.altitude = 1300;
  FlightData.connected = 1;
  FlightData.altitude = 1200;
  EXPECT_FALSE(FlightDataChanged());
}

}  // namespace
