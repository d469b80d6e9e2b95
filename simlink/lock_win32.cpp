// FlightDataLock on a Win32 critical section.
#include "simlink/lock.h"

#include <windows.h>

static CRITICAL_SECTION flightDataLock;

void CreateFlightDataLock() { InitializeCriticalSection(&flightDataLock); }
void LockFlightData() { EnterCriticalSection(&flightDataLock); }
void UnlockFlightData() { LeaveCriticalSection(&flightDataLock); }
bool TryLockFlightData() { return TryEnterCriticalSection(&flightDataLock) != 0; }
