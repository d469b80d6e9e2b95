// FlightDataLock: the one lock of the system. Blocking, without time-out.
// Taken only by the workers, around every use of the IPC client and every
// change of FlightData. The main thread never takes it.
//
// Implementations: lock_win32.cpp (critical section), lock_host.cpp.
#pragma once

void CreateFlightDataLock();   // main thread, once, before any worker starts
void LockFlightData();         // workers only
void UnlockFlightData();       // workers only
bool TryLockFlightData();      // main thread, end path only: never waits
