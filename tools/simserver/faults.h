// Fault modes of the stand-in server: the ways it can misbehave on purpose
// so that a client's failure paths can be tested against a real peer.
//
// One table (faults.cpp) names every mode, its optional argument and its
// default; adding a mode means one enum value, one table row and the hook
// that acts on it (serve.cpp for batches, window_loop.cpp for the window,
// server_state.cpp for the handshake). Portable: no Windows header.
#pragma once
#include <cstddef>
#include <cstdint>

enum class FaultMode {
  None,
  BadReply,      // serve, then reply `argument` (default 0) instead of 1
  NoAnswer,      // the window thread stops pumping until the fault changes
  Vanish,        // the window is destroyed; a change of fault recreates it
  BadHandshake,  // version and/or marker presented as 0
  SimId,         // present simulator identifier `argument`
  Slow,          // answer after `argument` ms
  Late,          // answer after `argument` ms, past a client's 2,000 ms
  AlterHeaders,  // after serving, change the first read's type/size/dest
  NoEnd,         // after serving, overwrite the end of list (see serve.cpp)
  HugeSize,      // after serving, set the first read's size to `argument`
};

// Keyword arguments, stored in FaultSetting::argument.
enum : uint32_t { AlterAll = 0, AlterType = 1, AlterSize = 2, AlterDestination = 3 };
enum : uint32_t { BreakBoth = 0, BreakVersion = 1, BreakMarker = 2 };

struct FaultSetting {
  FaultMode mode = FaultMode::None;
  uint32_t argument = 0;
};

// Reads a mode name and its optional argument (null or empty when absent).
// On failure writes a reason into `error` and returns false.
bool ParseFault(const char* name, const char* argument, FaultSetting* fault, char* error,
                size_t errorSize);

// True when the mode takes an argument (numeric or keyword).
bool FaultTakesArgument(const char* name);

// "none", "slow 1800", "alterheaders size", ...
void DescribeFault(const FaultSetting& fault, char* text, size_t textSize);

// One line per mode, for --help and the control's "help".
void ListFaults(char* text, size_t textSize);
