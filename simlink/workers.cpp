// ConnectWorker and ReadWorker.
//
// Both take FlightDataLock around every use of the IPC client and every
// change of FlightData.connected. The main thread never takes the lock; it
// reads FlightData's atomic fields, so it sees each value whole.
//
// The five reads go into a poll record of the fields' own widths, and a
// successful exchange publishes it to FlightData field by field. The IPC
// client copies plain bytes, which must not land in atomic objects.
#include "simlink/workers.h"

#include <atomic>

#include "simlink/flight_data.h"
#include "simlink/ipc_client.h"
#include "simlink/lock.h"
#include "simlink/pause.h"

int32_t LastIpcResult = 0;

namespace {

constexpr uint32_t ConnectPeriodMs = 1000;
constexpr uint32_t PollPauseMs = 1;

std::atomic<bool> readWorkerStop{false};

// Destinations of one poll's reads, each as wide as its FlightData field.
struct PolledValues {
  int32_t altitude;
  uint16_t baroRaw;
  uint16_t lightsRaw;
  int8_t switchRaw;
  int32_t iasRaw;
};

}  // namespace

void ConnectOnce() {
  LockFlightData();
  if (FlightData.connected.load() == 0)
    FlightData.connected = IpcOpen(0, &LastIpcResult) ? 1 : 0;
  UnlockFlightData();
}

void PollOnce() {
  LockFlightData();
  // Start from the values held, so a read that is not delivered leaves its
  // field as it was.
  PolledValues polled = {FlightData.altitude.load(), FlightData.baroRaw.load(),
                         FlightData.lightsRaw.load(), FlightData.switchRaw.load(),
                         FlightData.iasRaw.load()};
  IpcRead(0x3324, sizeof polled.altitude, &polled.altitude, &LastIpcResult);
  IpcRead(0x0330, sizeof polled.baroRaw, &polled.baroRaw, &LastIpcResult);
  IpcRead(0x0D0C, sizeof polled.lightsRaw, &polled.lightsRaw, &LastIpcResult);
  IpcRead(0x3102, sizeof polled.switchRaw, &polled.switchRaw, &LastIpcResult);
  IpcRead(0x02BC, sizeof polled.iasRaw, &polled.iasRaw, &LastIpcResult);
  if (IpcProcess(&LastIpcResult)) {
    FlightData.altitude = polled.altitude;
    FlightData.baroRaw = polled.baroRaw;
    FlightData.lightsRaw = polled.lightsRaw;
    FlightData.switchRaw = polled.switchRaw;
    FlightData.iasRaw = polled.iasRaw;
  } else {
    // The link goes down under the lock, before the flag clears, so
    // ConnectWorker always finds a closed link when it sees 0.
    IpcClose();
    FlightData.connected = 0;
  }
  UnlockFlightData();
}

void ConnectWorker(int) {
  for (;;) {
    ConnectOnce();
    PauseMs(ConnectPeriodMs);
  }
}

void ReadWorker(int) {
  while (!readWorkerStop.load()) {
    // Tested without the lock: only this worker clears the flag, and
    // ConnectWorker sets it only while it is 0, so a stale 0 costs one pause.
    if (FlightData.connected.load() != 0) PollOnce();
    PauseMs(PollPauseMs);
  }
}

bool CloseLinkForExit() {
  // A worker may hold the lock for seconds (a handshake, an unanswered
  // send); then the process ends without closing, as it would if killed.
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (TryLockFlightData()) {
      IpcClose();
      FlightData.connected = 0;
      return true;  // the lock stays held until the process ends
    }
    PauseMs(5);
  }
  return false;
}

void RequestReadWorkerStop() { readWorkerStop = true; }
void ClearReadWorkerStop() { readWorkerStop = false; }
