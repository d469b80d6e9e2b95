// FlightDataLock on std::mutex, for host tests.
#include <mutex>

#include "simlink/lock.h"

static std::mutex flightDataLock;

void CreateFlightDataLock() {}
void LockFlightData() { flightDataLock.lock(); }
void UnlockFlightData() { flightDataLock.unlock(); }
bool TryLockFlightData() { return flightDataLock.try_lock(); }
