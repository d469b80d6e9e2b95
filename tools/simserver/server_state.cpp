// The stand-in server's shared state (see server_state.h). Windows only.
#include "server_state.h"

#include <cstring>

SimServerState SimServer;

void InitServerState(uint16_t simulatorId) {
  InitializeCriticalSection(&SimServer.lock);
  std::memset(SimServer.area, 0, sizeof SimServer.area);
  SimServer.version = DefaultVersion;
  SimServer.simulatorId = simulatorId;
  SimServer.fault = FaultSetting();
  SimServer.demo = false;
  SimServer.demoStartSeconds = 0;
  SimServer.demoGeneration = 0;
  SimServer.quit = false;
  SimServer.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  SimServer.demoWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  // A standard pressure setting, so a gauge connected to a server left at
  // its defaults reads 1013 hPa and 29.92 inHg rather than zeros.
  StoreValue(BaroOffset, 2, 16212);
}

void LockServer() { EnterCriticalSection(&SimServer.lock); }
void UnlockServer() { LeaveCriticalSection(&SimServer.lock); }

void SetFault(const FaultSetting& fault) {
  LockServer();
  SimServer.fault = fault;
  UnlockServer();
  SetEvent(SimServer.wake);
}

FaultSetting CurrentFault() {
  LockServer();
  FaultSetting fault = SimServer.fault;
  UnlockServer();
  return fault;
}

void SetDemo(bool on, double startSeconds) {
  LockServer();
  SimServer.demo = on;
  SimServer.demoStartSeconds = startSeconds;
  ++SimServer.demoGeneration;
  UnlockServer();
  SetEvent(SimServer.demoWake);
}

void RequestQuit() {
  LockServer();
  SimServer.quit = true;
  UnlockServer();
  SetEvent(SimServer.wake);
  SetEvent(SimServer.demoWake);
}

bool QuitRequested() {
  LockServer();
  bool quit = SimServer.quit;
  UnlockServer();
  return quit;
}

void StoreValue(uint32_t offset, uint32_t size, uint32_t value) {
  LockServer();
  for (uint32_t i = 0; i < size && offset + i < DataAreaSize; ++i)
    SimServer.area[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  UnlockServer();
}

uint32_t LoadValue(uint32_t offset, uint32_t size) {
  uint32_t value = 0;
  LockServer();
  for (uint32_t i = 0; i < size && offset + i < DataAreaSize; ++i)
    value |= static_cast<uint32_t>(SimServer.area[offset + i]) << (8 * i);
  UnlockServer();
  return value;
}

void PresentHandshake(uint8_t bytes[HandshakeSize]) {
  uint32_t version = SimServer.version;
  uint16_t simulatorId = SimServer.simulatorId;
  uint16_t marker = HandshakeMarker;
  const FaultSetting& fault = SimServer.fault;
  if (fault.mode == FaultMode::BadHandshake) {
    if (fault.argument != BreakMarker) version = 0;
    if (fault.argument != BreakVersion) marker = 0;
  } else if (fault.mode == FaultMode::SimId) {
    simulatorId = static_cast<uint16_t>(fault.argument);
  }
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(version >> (8 * i));
  bytes[4] = static_cast<uint8_t>(simulatorId);
  bytes[5] = static_cast<uint8_t>(simulatorId >> 8);
  bytes[6] = static_cast<uint8_t>(marker);
  bytes[7] = static_cast<uint8_t>(marker >> 8);
}
