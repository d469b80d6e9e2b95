// The stand-in server's process-wide state: the simulator's 64 KiB data
// area, the handshake it presents, the fault in force, the demo switch and
// the counters that "status" reports.
//
// Four threads meet here: the window thread (serves batches, owns the
// window), the control thread (commands from standard input), the demo
// thread and, on Ctrl+C, the console's handler thread. Fields marked
// "under lock" are touched only between LockServer and UnlockServer.
// Windows only.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "faults.h"

constexpr uint32_t DataAreaSize = 0x10000;

// Offsets of the simulator's data area that the server knows by name.
constexpr uint32_t VersionOffset = 0x3304;      // u32, presented
constexpr uint32_t SimulatorIdOffset = 0x3308;  // u16, presented
constexpr uint32_t MarkerOffset = 0x330A;       // u16, presented; clients write 2002 here
constexpr uint32_t HandshakeSize = 8;           // 0x3304 to 0x330B
constexpr uint32_t AltitudeOffset = 0x3324;     // i32, feet
constexpr uint32_t BaroOffset = 0x0330;         // u16, hPa x 16
constexpr uint32_t LightsOffset = 0x0D0C;       // u16, light switches, one bit each
constexpr uint32_t SwitchOffset = 0x3102;       // i8
constexpr uint32_t IasOffset = 0x02BC;          // i32, knots x 128

constexpr uint32_t DefaultVersion = 0x19980005;
constexpr uint16_t DefaultSimulatorId = 7;
constexpr uint16_t HandshakeMarker = 0xFADE;

struct SimServerState {
  CRITICAL_SECTION lock;
  uint8_t area[DataAreaSize];  // under lock
  uint32_t version;            // under lock; presented at 0x3304
  uint16_t simulatorId;        // under lock; presented at 0x3308
  FaultSetting fault;          // under lock; change with SetFault
  bool demo;                   // under lock; change with SetDemo
  double demoStartSeconds;     // under lock; where the demo flight starts
  uint32_t demoGeneration;     // under lock; counts SetDemo calls
  bool quit;                   // under lock; set with RequestQuit

  // Auto-reset events: `wake` tells the window thread that the fault or the
  // quit flag changed; `demoWake` tells the demo thread the same of its own.
  HANDLE wake;
  HANDLE demoWake;

  // Set by the window thread, read by anyone.
  std::atomic<uint32_t> batches{0};       // batches served (any reply)
  std::atomic<uint32_t> badBatches{0};    // refused: bad atom, mapping or list
  std::atomic<uint32_t> blockOpens{0};    // client blocks opened by name
  std::atomic<uint32_t> blockMapped{0};   // 1 while a client block is held open
  std::atomic<uintptr_t> window{0};       // the server window, 0 while there is none
};

extern SimServerState SimServer;

// Main thread, once, before any other thread starts.
void InitServerState(uint16_t simulatorId);

void LockServer();
void UnlockServer();

// Any thread; each takes the lock itself.
void SetFault(const FaultSetting& fault);
FaultSetting CurrentFault();
void SetDemo(bool on, double startSeconds);
void RequestQuit();
bool QuitRequested();

// Stores the low `size` bytes (1, 2 or 4) of value, little-endian. Takes the lock.
void StoreValue(uint32_t offset, uint32_t size, uint32_t value);
// Loads `size` bytes (1, 2 or 4) as an unsigned number. Takes the lock.
uint32_t LoadValue(uint32_t offset, uint32_t size);

// The 8 bytes that reads of 0x3304 to 0x330B see, from the version, the
// simulator identifier, the marker 0xFADE and the fault in force. Under lock.
void PresentHandshake(uint8_t bytes[HandshakeSize]);
