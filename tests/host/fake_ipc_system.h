// An in-process stand-in for the operating system and the simulator's IPC
// server, implementing simlink/ipc_system.h for host tests and fuzzing.
//
// SendMessage runs the server at once on the calling thread: it resolves the
// atom to its mapping, walks the request list with every bound checked, fills
// reads from a 64 KiB data area and stores writes into it, then lets a test
// hook alter the block (a hostile server) before the reply is returned.
// Pauses are recorded, not slept. Each mapping is exactly as large as asked,
// in its own heap allocation, so AddressSanitizer reports any access past it.
//
// Single-threaded; no test framework needed (the fuzz targets link it too).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct FakeIpcServerState {
  // Which server windows exist.
  bool uipcWindow = true;
  bool fs98Window = false;

  // The system refusing a step of IpcOpen.
  bool refuseMessage = false;
  bool refuseAtom = false;
  bool refuseMapping = false;
  bool refuseView = false;

  // Handshake values presented at 0x3304, 0x3308 and 0x330A. Before exchange
  // number `handshakeFromExchange` (counted from 1) all three read as zero.
  uint32_t version = 0x19980005;
  uint16_t simulatorId = 7;
  uint16_t marker = 0xFADE;
  int handshakeFromExchange = 1;

  // Sends: this many next attempts fail, leaving `sendError` as last-error.
  int failingSends = 0;
  uint32_t sendError = 1400;  // ERROR_INVALID_WINDOW_HANDLE
  uint64_t reply = 1;         // returned after serving
  std::function<void(uint8_t* block)> afterServe;  // hostile edits of the reply

  // The simulator's data area, indexed by offset.
  uint8_t data[0x10000] = {};

  // What happened, for the tests to look at.
  std::vector<std::string> events;                // "send", "sleep 100"
  std::vector<std::vector<uint8_t>> batches;      // each batch as sent, up to its end word
  std::vector<std::string> releases;              // "atom", "view", "mapping", in call order
  std::vector<std::string> atomNames;             // every atom name added, in order
  int exchanges = 0;                              // sends that reached the server
  uint32_t lastError = 0;
  uint32_t clientTag = 0;                         // last value written at 0x330A
};

FakeIpcServerState& FakeServer();

// A fresh server and system: every atom, mapping and view released.
void ResetFakeIpcSystem();

// Objects that the client holds and has not released.
int FakeLiveAtoms();
int FakeOpenMappingHandles();
int FakeMappedViews();

// A mapping of that name made by another party, so the name exists already.
void FakeCreateForeignMapping(const std::string& name);

// Writes a little-endian value of `size` bytes into the data area.
void FakePoke(uint32_t offset, uint32_t size, uint64_t value);
