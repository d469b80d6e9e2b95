// The control on standard input (see control.h).
//
// Standard input is read with ReadFile on the raw handle, not through the C
// runtime: a thread blocked in the runtime's stdin holds the stream's lock,
// and the runtime's exit would wait for it for ever.
#include "control.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "faults.h"
#include "say.h"
#include "server_state.h"

namespace {

struct NamedValue {
  const char* name;
  uint32_t offset;
  uint32_t size;
};

const NamedValue namedValues[] = {
    {"alt", AltitudeOffset, 4}, {"baro", BaroOffset, 2}, {"lights", LightsOffset, 2},
    {"switch", SwitchOffset, 1}, {"ias", IasOffset, 4},
};

constexpr int MaxTokens = 5;

int Tokenize(char* line, char* tokens[MaxTokens]) {
  int count = 0;
  char* cursor = line;
  while (*cursor) {
    while (*cursor == ' ' || *cursor == '\t') ++cursor;
    if (!*cursor) break;
    if (count == MaxTokens) return MaxTokens + 1;
    tokens[count++] = cursor;
    while (*cursor && *cursor != ' ' && *cursor != '\t') ++cursor;
    if (*cursor) *cursor++ = '\0';
  }
  return count;
}

// A whole decimal or 0x-hexadecimal integer, optionally negative.
bool ParseInteger(const char* text, long long* value) {
  if (!*text) return false;
  char* end = nullptr;
  errno = 0;
  long long parsed = std::strtoll(text, &end, 0);
  if (errno != 0 || *end != '\0') return false;
  *value = parsed;
  return true;
}

// A value that fits `size` bytes read either as signed or as unsigned.
bool FitsSize(long long value, uint32_t size) {
  long long low = -(1LL << (8 * size - 1));
  long long high = (1LL << (8 * size)) - 1;
  return value >= low && value <= high;
}

bool ParseOffset(const char* text, uint32_t* offset) {
  if (!*text) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long parsed = std::strtoull(text, &end, 16);
  if (errno != 0 || *end != '\0' || parsed >= DataAreaSize) return false;
  *offset = static_cast<uint32_t>(parsed);
  return true;
}

bool ParseSize(const char* text, uint32_t* size) {
  if (std::strcmp(text, "1") == 0) *size = 1;
  else if (std::strcmp(text, "2") == 0) *size = 2;
  else if (std::strcmp(text, "4") == 0) *size = 4;
  else return false;
  return true;
}

void Set(char** tokens, int count) {
  if (count != 3) return Say("error usage: set <name> <value>");
  long long value = 0;
  if (!ParseInteger(tokens[2], &value)) return Say("error bad value '%s'", tokens[2]);
  if (std::strcmp(tokens[1], "simid") == 0 || std::strcmp(tokens[1], "version") == 0) {
    bool simid = tokens[1][0] == 's';
    if (!FitsSize(value, simid ? 2 : 4)) return Say("error value out of range");
    LockServer();
    if (simid)
      SimServer.simulatorId = static_cast<uint16_t>(value);
    else
      SimServer.version = static_cast<uint32_t>(value);
    UnlockServer();
    return Say("ok %s %lld", tokens[1], value);
  }
  for (const NamedValue& named : namedValues) {
    if (std::strcmp(tokens[1], named.name) != 0) continue;
    if (!FitsSize(value, named.size)) return Say("error value out of range");
    StoreValue(named.offset, named.size, static_cast<uint32_t>(value));
    return Say("ok %s %lld", named.name, value);
  }
  Say("error unknown value '%s' (alt baro lights switch ias simid version)", tokens[1]);
}

void Poke(char** tokens, int count) {
  if (count != 4) return Say("error usage: poke <offset-hex> <1|2|4> <value>");
  uint32_t offset = 0, size = 0;
  long long value = 0;
  if (!ParseOffset(tokens[1], &offset)) return Say("error bad offset '%s'", tokens[1]);
  if (!ParseSize(tokens[2], &size)) return Say("error bad size '%s'", tokens[2]);
  if (offset + size > DataAreaSize) return Say("error beyond the data area");
  if (!ParseInteger(tokens[3], &value) || !FitsSize(value, size))
    return Say("error bad value '%s'", tokens[3]);
  StoreValue(offset, size, static_cast<uint32_t>(value));
  Say("ok %04X %lu = %lld", offset, static_cast<unsigned long>(size), value);
}

void Peek(char** tokens, int count) {
  if (count != 3) return Say("error usage: peek <offset-hex> <1|2|4>");
  uint32_t offset = 0, size = 0;
  if (!ParseOffset(tokens[1], &offset)) return Say("error bad offset '%s'", tokens[1]);
  if (!ParseSize(tokens[2], &size)) return Say("error bad size '%s'", tokens[2]);
  if (offset + size > DataAreaSize) return Say("error beyond the data area");
  uint32_t value = LoadValue(offset, size);
  Say("ok %04X %lu = %lu (0x%0*lX)", offset, static_cast<unsigned long>(size),
      static_cast<unsigned long>(value), static_cast<int>(2 * size),
      static_cast<unsigned long>(value));
}

void Fault(char** tokens, int count) {
  if (count < 2 || count > 3) return Say("error usage: fault <mode> [argument]");
  FaultSetting fault;
  char error[128];
  if (!ParseFault(tokens[1], count == 3 ? tokens[2] : nullptr, &fault, error, sizeof error))
    return Say("error %s", error);
  SetFault(fault);
  char text[64];
  DescribeFault(fault, text, sizeof text);
  Say("ok fault %s", text);
}

void Demo(char** tokens, int count) {
  if (count == 2 && std::strcmp(tokens[1], "on") == 0) {
    SetDemo(true, 0);
    return Say("ok demo on");
  }
  if (count == 2 && std::strcmp(tokens[1], "off") == 0) {
    SetDemo(false, 0);
    return Say("ok demo off");
  }
  if (count == 3 && std::strcmp(tokens[1], "at") == 0) {
    char* end = nullptr;
    double seconds = std::strtod(tokens[2], &end);
    if (*end != '\0' || !(seconds >= 0 && seconds < 1e9))
      return Say("error bad time '%s'", tokens[2]);
    SetDemo(true, seconds);
    return Say("ok demo on at %g", seconds);
  }
  Say("error usage: demo on|off|at <seconds>");
}

// The process's open handles. GetProcessHandleCount reports 0 under Wine,
// so the system-wide handle table serves there.
unsigned long CountOwnHandles() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
  struct HandleEntry {  // one row of the system handle table (class 16)
    ULONG processId;    // low 16 bits: the owner's id
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    void* object;
    ACCESS_MASK access;
  };
  using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return 0;
  std::vector<char> buffer(1 << 20);
  for (int attempt = 0; attempt < 5; ++attempt) {
    ULONG needed = 0;
    LONG status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<LONG>(0xC0000004)) {  // the table is larger
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0) return 0;
    ULONG entries = *reinterpret_cast<const ULONG*>(buffer.data());
    const HandleEntry* entry = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(void*));
    unsigned long own = 0;
    ULONG self = GetCurrentProcessId() & 0xFFFF;
    for (ULONG i = 0; i < entries; ++i)
      if ((entry[i].processId & 0xFFFF) == self) ++own;
    return own;
  }
  return 0;
}

void Status() {
  LockServer();
  const uint8_t* a = SimServer.area;
  auto load = [a](uint32_t offset, uint32_t size) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < size; ++i) value |= static_cast<uint32_t>(a[offset + i]) << (8 * i);
    return value;
  };
  long altitude = static_cast<int32_t>(load(AltitudeOffset, 4));
  unsigned long baro = load(BaroOffset, 2);
  long ias = static_cast<int32_t>(load(IasOffset, 4));
  unsigned long lights = load(LightsOffset, 2);
  int switchValue = static_cast<int8_t>(load(SwitchOffset, 1));
  unsigned long clientTag = load(MarkerOffset, 2);
  unsigned long version = SimServer.version;
  unsigned simulatorId = SimServer.simulatorId;
  bool demo = SimServer.demo;
  FaultSetting fault = SimServer.fault;
  UnlockServer();

  char faultText[64];
  DescribeFault(fault, faultText, sizeof faultText);
  for (char* c = faultText; *c; ++c)
    if (*c == ' ') *c = ':';  // keeps key=value pairs split by spaces
  unsigned long handles = CountOwnHandles();
  Say("ok status alt=%ld baro=%lu ias=%ld lights=%lu switch=%d version=0x%08lX simid=%u "
      "written330A=%lu demo=%s fault=%s batches=%lu refused=%lu opens=%lu mapped=%lu "
      "window=%llu handles=%lu",
      altitude, baro, ias, lights, switchValue, version, simulatorId, clientTag,
      demo ? "on" : "off", faultText, static_cast<unsigned long>(SimServer.batches.load()),
      static_cast<unsigned long>(SimServer.badBatches.load()),
      static_cast<unsigned long>(SimServer.blockOpens.load()),
      static_cast<unsigned long>(SimServer.blockMapped.load()),
      static_cast<unsigned long long>(SimServer.window.load()), handles);
}

void Help() {
  Say("  set alt|baro|lights|switch|ias <value>   set simid|version <value>");
  Say("  poke <offset-hex> <1|2|4> <value>   peek <offset-hex> <1|2|4>");
  Say("  fault <mode> [argument]   demo on|off   demo at <seconds>   status   quit");
  char faults[2048];
  ListFaults(faults, sizeof faults);
  for (char* line = faults; *line;) {
    char* end = std::strchr(line, '\n');
    if (end) *end = '\0';
    Say("%s", line);
    if (!end) break;
    line = end + 1;
  }
  Say("ok help");
}

DWORD WINAPI ControlThread(LPVOID) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (!input || input == INVALID_HANDLE_VALUE) return 0;
  char line[512];
  size_t used = 0;
  bool overlong = false;
  auto finishLine = [&]() {
    if (used > 0 && line[used - 1] == '\r') --used;
    line[used] = '\0';
    if (overlong)
      Say("error line too long");
    else
      HandleCommand(line);
    used = 0;
    overlong = false;
  };
  for (;;) {
    char chunk[256];
    DWORD got = 0;
    if (!ReadFile(input, chunk, sizeof chunk, &got, nullptr) || got == 0) {
      if (used > 0 || overlong) finishLine();
      return 0;
    }
    for (DWORD i = 0; i < got; ++i) {
      if (chunk[i] == '\n') {
        finishLine();
        if (QuitRequested()) return 0;
      } else if (used + 1 < sizeof line) {
        line[used++] = chunk[i];
      } else {
        overlong = true;
      }
    }
  }
}

}  // namespace

void HandleCommand(const char* text) {
  char line[512];
  std::snprintf(line, sizeof line, "%s", text);
  char* tokens[MaxTokens] = {};
  int count = Tokenize(line, tokens);
  if (count == 0) return;  // an empty line asks nothing
  if (count > MaxTokens) return Say("error too many words");
  const char* command = tokens[0];
  if (std::strcmp(command, "set") == 0) return Set(tokens, count);
  if (std::strcmp(command, "poke") == 0) return Poke(tokens, count);
  if (std::strcmp(command, "peek") == 0) return Peek(tokens, count);
  if (std::strcmp(command, "fault") == 0) return Fault(tokens, count);
  if (std::strcmp(command, "demo") == 0) return Demo(tokens, count);
  if (std::strcmp(command, "status") == 0 && count == 1) return Status();
  if (std::strcmp(command, "help") == 0 && count == 1) return Help();
  if (std::strcmp(command, "quit") == 0 && count == 1) {
    Say("ok quit");
    return RequestQuit();
  }
  Say("error unknown command '%s' (try help)", command);
}

bool StartControlThread() {
  HANDLE thread = CreateThread(nullptr, 0, ControlThread, nullptr, 0, nullptr);
  if (!thread) return false;
  CloseHandle(thread);  // it runs until the end of input or quit
  return true;
}
