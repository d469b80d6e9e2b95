// The stand-in server against batches laid out by hand: the handshake it
// presents, values set from its control, the exact batch log, malformed
// batches refused without harm, every fault mode, thousands of client
// reconnections without a leak, random batches, the second window class,
// and its ways to end.
//
// Runs simserver.exe from its own folder; every server it starts is
// stopped at the end, or killed with its job when this program dies.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>

#include "simserver_process.h"

namespace {

int failures = 0;

#define CHECK(condition)                                                 \
  do {                                                                   \
    if (!(condition)) {                                                  \
      std::printf("FAIL %s:%d: %s\n", __FILE__, __LINE__, #condition);   \
      ++failures;                                                        \
    }                                                                    \
  } while (0)

#define CHECK_EQ(actual, expected)                                                       \
  do {                                                                                   \
    unsigned long long a_ = static_cast<unsigned long long>(actual);                     \
    unsigned long long e_ = static_cast<unsigned long long>(expected);                   \
    if (a_ != e_) {                                                                      \
      std::printf("FAIL %s:%d: %s is 0x%llX, expected 0x%llX\n", __FILE__, __LINE__,     \
                  #actual, a_, e_);                                                      \
      ++failures;                                                                        \
    }                                                                                    \
  } while (0)

constexpr DWORD Patient = 5000;  // ms: a send that must be answered

std::string BlockName(const char* tag) {
  static int counter = 0;
  char name[64];
  std::snprintf(name, sizeof name, "SimTest:%lX:%s:%d", GetCurrentProcessId(), tag, ++counter);
  return name;
}

// Sends the queued list with the block's atom; the reply, or ~0 when unanswered.
DWORD_PTR Exchange(HWND window, HandBlock* block, DWORD timeoutMs = Patient) {
  PutEnd(block);
  DWORD_PTR reply = 0;
  if (!SendBatch(window, block->atom, timeoutMs, &reply)) return ~static_cast<DWORD_PTR>(0);
  return reply;
}

uint32_t ReadAt(HandBlock* block, uint32_t position, uint32_t size) {
  uint32_t value = 0;
  std::memcpy(&value, block->view + position + 16, size);
  return value;
}

std::string ReadLogLine(const std::string& path, int index) {
  FILE* file = std::fopen(path.c_str(), "r");
  if (!file) return "";
  char line[4096];
  std::string result;
  for (int i = 0; i <= index && std::fgets(line, sizeof line, file); ++i)
    if (i == index) result = line;
  std::fclose(file);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
  return result;
}

// ---- handshake, values, log ---------------------------------------------------

void TestHandshakeValuesAndLog(ServerProcess* server, const std::string& logPath) {
  HWND window = server->window;
  HandBlock block;
  std::string name = BlockName("hs");
  CHECK(OpenHandBlock(&block, name.c_str()));

  // A client's first batch: the two handshake reads, then its write of 2002.
  uint16_t tag = 2002;
  uint32_t version = PutRead(&block, 0x3304, 4, 0x1000);
  uint32_t simulator = PutRead(&block, 0x3308, 4, 0x2000);
  PutWrite(&block, 0x330A, 2, &tag);
  CHECK_EQ(Exchange(window, &block), 1);
  CHECK_EQ(ReadAt(&block, version, 4), 0x19980005);
  CHECK_EQ(ReadAt(&block, simulator, 4), 0xFADE0007);
  std::string logged = ReadLogLine(logPath, 0);
  std::string expected = name + " | R 3304 4 @0 dest 00001000 | R 3308 4 @20 dest 00002000"
                                " | W 330A 2 @40 D207 | end @54 | reply 1";
  if (logged != expected) std::printf("  logged: %s\n", logged.c_str());
  CHECK(logged == expected);

  // The write was taken, but the marker stays presented: a second client
  // (or this one again) still finds a valid handshake.
  simulator = PutRead(&block, 0x3308, 4);
  CHECK_EQ(Exchange(window, &block), 1);
  CHECK_EQ(ReadAt(&block, simulator, 4), 0xFADE0007);
  CHECK(ServerCommand(server, "peek 330A 2") == "ok 330A 2 = 2002 (0x07D2)");

  // Values set from the control, read as the gauge's poll lays them out,
  // with each data area pre-filled so that a short or long copy shows.
  CHECK(ServerCommand(server, "set alt 12345") == "ok alt 12345");
  CHECK(ServerCommand(server, "set baro 16212") == "ok baro 16212");
  CHECK(ServerCommand(server, "set lights 3") == "ok lights 3");
  CHECK(ServerCommand(server, "set switch -1") == "ok switch -1");
  CHECK(ServerCommand(server, "set ias 32000") == "ok ias 32000");
  uint32_t alt = PutRead(&block, 0x3324, 4, 0, 0xAA);
  uint32_t baro = PutRead(&block, 0x0330, 2, 0, 0xAA);
  uint32_t lights = PutRead(&block, 0x0D0C, 2, 0, 0xAA);
  uint32_t switchAt = PutRead(&block, 0x3102, 1, 0, 0xAA);
  uint32_t ias = PutRead(&block, 0x02BC, 4, 0, 0xAA);
  CHECK_EQ(alt, 0);
  CHECK_EQ(baro, 20);
  CHECK_EQ(lights, 38);
  CHECK_EQ(switchAt, 56);
  CHECK_EQ(ias, 73);
  CHECK_EQ(Exchange(window, &block), 1);
  CHECK_EQ(ReadAt(&block, alt, 4), 12345);
  CHECK_EQ(ReadAt(&block, baro, 2), 16212);
  CHECK_EQ(ReadAt(&block, lights, 2), 3);
  CHECK_EQ(ReadAt(&block, switchAt, 1), 0xFF);
  CHECK_EQ(ReadAt(&block, ias, 4), 32000);
  // Headers are left as they were, the one after the 1-byte read included.
  CHECK_EQ(Get32(block.view + ias), 1);
  CHECK_EQ(Get32(block.view + ias + 4), 0x02BC);
  CHECK_EQ(Get32(block.view + ias + 8), 4);
  CHECK_EQ(Get32(block.view + 93), 0);
  CHECK(ReadLogLine(logPath, 2).find(" | R 3102 1 @56 dest 00000000 | R 02BC 4 @73 dest "
                                     "00000000 | end @93 | reply 1") != std::string::npos);

  // Writes land in list order; the handshake words show through any write.
  uint32_t word = 0x11223344, zero = 0;
  PutWrite(&block, 0x4000, 4, &word);
  uint32_t back = PutRead(&block, 0x4000, 4);
  PutWrite(&block, 0x3304, 4, &zero);
  uint32_t around = PutRead(&block, 0x3300, 16);
  CHECK_EQ(Exchange(window, &block), 1);
  CHECK_EQ(ReadAt(&block, back, 4), 0x11223344);
  CHECK_EQ(Get32(block.view + around + 16 + 4), 0x19980005);
  CHECK_EQ(Get32(block.view + around + 16 + 8), 0xFADE0007);
  CHECK(ServerCommand(server, "peek 4000 4") == "ok 4000 4 = 287454020 (0x11223344)");
  CloseHandBlock(&block);
}

// ---- malformed batches --------------------------------------------------------

struct BadCase {
  const char* what;
  std::function<void(HandBlock*)> build;  // lays out the whole block, end included
  uint32_t blockSize;
};

void TestMalformedBatches(ServerProcess* server) {
  HWND window = server->window;
  const uint16_t beef = 0xBEEF;
  // Each list starts with a valid write of 0xBEEF to 0x5000: a refused
  // batch must not have carried it out.
  auto start = [&](HandBlock* b) { PutWrite(b, 0x5000, 2, &beef); };
  const BadCase cases[] = {
      {"unknown type", [&](HandBlock* b) { start(b); Put32(b->view + b->used, 3); }, 0x8000},
      {"read beyond the data area",
       [&](HandBlock* b) { start(b); PutRead(b, 0xFFFF, 2); PutEnd(b); }, 0x8000},
      {"read offset wrapping 32 bits",
       [&](HandBlock* b) { start(b); PutRead(b, 0xFFFFFFFF, 2); PutEnd(b); }, 0x8000},
      {"write beyond the data area",
       [&](HandBlock* b) { start(b); PutWrite(b, 0xFFFE, 4, "abcd"); PutEnd(b); }, 0x8000},
      {"read size beyond the block",
       [&](HandBlock* b) {
         start(b);
         uint32_t at = PutRead(b, 0, 0);
         Put32(b->view + at + 8, 0x7FFFFFFF);
       }, 0x8000},
      {"read size wrapping 32 bits",
       [&](HandBlock* b) {
         start(b);
         uint32_t at = PutRead(b, 0, 0);
         Put32(b->view + at + 8, 0xFFFFFFF0);
       }, 0x8000},
      {"write size beyond the block",
       [&](HandBlock* b) {
         start(b);
         uint32_t at = PutWrite(b, 0, 0, "");
         Put32(b->view + at + 8, 0x8000);
       }, 0x8000},
      {"no room for the end of list",
       [&](HandBlock* b) {
         while (b->used + 16 <= 0x8000) PutRead(b, 0x3324, 0);
       }, 0x8000},
      {"read header cut by the block end",
       [&](HandBlock* b) { PutRead(b, 0, 32744); Put32(b->view + 32760, 1); }, 0x8000},
      {"end of list cut by the block end",
       [&](HandBlock* b) { PutRead(b, 0, 32750); b->view[32766] = b->view[32767] = 0; }, 0x8000},
      {"list running to the end of a small mapping",
       [&](HandBlock* b) {
         start(b);
         while (b->used + 16 <= 4096) PutRead(b, 0x3324, 0);
         std::memset(b->view + b->used, 1, 4096 - b->used);
       }, 4096},
  };
  uint32_t index = 0;
  for (const BadCase& c : cases) {
    HandBlock block;
    std::string name = BlockName("bad");
    CHECK(OpenHandBlock(&block, name.c_str(), c.blockSize));
    c.build(&block);
    DWORD_PTR reply = 0;
    bool answered = SendBatch(window, block.atom, Patient, &reply);
    if (!answered || reply != 0) std::printf("  case: %s\n", c.what);
    CHECK(answered);
    CHECK_EQ(reply, 0);
    CHECK(ServerCommand(server, "peek 5000 2") == "ok 5000 2 = 0 (0x0000)");
    CloseHandBlock(&block);
    ++index;
  }

  // Messages whose atom leads nowhere.
  HandBlock orphan;
  std::string orphanName = BlockName("orphan");
  ATOM noMapping = GlobalAddAtomA(BlockName("nomapping").c_str());
  ATOM deleted = GlobalAddAtomA(BlockName("deleted").c_str());
  GlobalDeleteAtom(deleted);
  const WPARAM atoms[] = {0, 0x10000, deleted, noMapping};
  for (WPARAM atom : atoms) {
    DWORD_PTR reply = 0;
    CHECK(SendBatch(window, atom, Patient, &reply));
    CHECK_EQ(reply, 0);
  }
  GlobalDeleteAtom(noMapping);

  // The limits themselves are served.
  struct GoodCase {
    const char* what;
    std::function<void(HandBlock*)> build;
  };
  const GoodCase edges[] = {
      {"empty list", [](HandBlock* b) { PutEnd(b); }},
      {"the largest read a client queues", [](HandBlock* b) { PutRead(b, 0, 32496); PutEnd(b); }},
      {"a read up to the block's last end", [](HandBlock* b) { PutRead(b, 0, 32748); PutEnd(b); }},
      {"the last 4 bytes of the data area",
       [](HandBlock* b) { PutRead(b, 0xFFFC, 4); PutEnd(b); }},
      {"0 bytes at the end of the data area",
       [](HandBlock* b) { PutRead(b, 0x10000, 0); PutEnd(b); }},
  };
  HandBlock block;
  CHECK(OpenHandBlock(&block, BlockName("edge").c_str()));
  for (const GoodCase& c : edges) {
    c.build(&block);
    DWORD_PTR reply = 0;
    bool answered = SendBatch(window, block.atom, Patient, &reply);
    if (!answered || reply != 1) std::printf("  case: %s\n", c.what);
    CHECK_EQ(reply, 1);
  }
  CloseHandBlock(&block);
  std::string status = ServerCommand(server, "status");
  CHECK_EQ(StatusField(status, "refused"), (sizeof cases / sizeof cases[0]) + 4);
}

// ---- fault modes ----------------------------------------------------------------

void TestFaultModes(ServerProcess* server) {
  HWND window = server->window;
  HandBlock block;
  CHECK(OpenHandBlock(&block, BlockName("fault").c_str()));
  CHECK(ServerCommand(server, "set alt 4321") == "ok alt 4321");

  // Handshake presentation.
  struct HandshakeCase {
    const char* command;
    uint32_t version, tag;
  };
  const HandshakeCase handshakes[] = {
      {"fault badhandshake", 0, 0x00000007},
      {"fault badhandshake version", 0, 0xFADE0007},
      {"fault badhandshake marker", 0x19980005, 0x00000007},
      {"fault simid", 0x19980005, 0xFADE0009},
      {"fault simid 300", 0x19980005, 0xFADE012C},
      {"fault none", 0x19980005, 0xFADE0007},
  };
  for (const HandshakeCase& c : handshakes) {
    CHECK(ServerCommand(server, c.command).rfind("ok fault", 0) == 0);
    uint32_t version = PutRead(&block, 0x3304, 4);
    uint32_t tag = PutRead(&block, 0x3308, 4);
    CHECK_EQ(Exchange(window, &block), 1);
    CHECK_EQ(ReadAt(&block, version, 4), c.version);
    CHECK_EQ(ReadAt(&block, tag, 4), c.tag);
  }
  CHECK(ServerCommand(server, "set simid 3") == "ok simid 3");
  uint32_t tag = PutRead(&block, 0x3308, 4);
  CHECK_EQ(Exchange(window, &block), 1);
  CHECK_EQ(ReadAt(&block, tag, 4), 0xFADE0003);
  CHECK(ServerCommand(server, "set simid 7") == "ok simid 7");

  // A reply other than 1, after the batch was served all the same.
  struct ReplyCase {
    const char* command;
    DWORD_PTR reply;
  };
  const ReplyCase replies[] = {{"fault badreply", 0}, {"fault badreply 7", 7}};
  for (const ReplyCase& c : replies) {
    CHECK(ServerCommand(server, c.command).rfind("ok fault", 0) == 0);
    uint32_t alt = PutRead(&block, 0x3324, 4);
    CHECK_EQ(Exchange(window, &block), c.reply);
    CHECK_EQ(ReadAt(&block, alt, 4), 4321);
  }

  // Headers damaged after serving: the first read (after a write) changes.
  struct DamageCase {
    const char* command;
    uint32_t type, size, destination;
  };
  const DamageCase damages[] = {
      {"fault alterheaders", 0x7F, 12, 0x5000},
      {"fault alterheaders type", 0x7F, 4, 0x4000},
      {"fault alterheaders size", 1, 12, 0x4000},
      {"fault alterheaders dest", 1, 4, 0x5000},
      {"fault hugesize", 1, 0x100000, 0x4000},
      {"fault hugesize 0x9000", 1, 0x9000, 0x4000},
  };
  for (const DamageCase& c : damages) {
    CHECK(ServerCommand(server, c.command).rfind("ok fault", 0) == 0);
    uint16_t two = 2;
    PutWrite(&block, 0x6000, 2, &two);
    uint32_t first = PutRead(&block, 0x3324, 4, 0x4000);
    uint32_t second = PutRead(&block, 0x3324, 4, 0x4004);
    CHECK_EQ(Exchange(window, &block), 1);
    CHECK_EQ(Get32(block.view + first), c.type);
    CHECK_EQ(Get32(block.view + first + 4), 0x3324);
    CHECK_EQ(Get32(block.view + first + 8), c.size);
    CHECK_EQ(Get32(block.view + first + 12), c.destination);
    CHECK_EQ(ReadAt(&block, first, 4), 4321);
    CHECK_EQ(Get32(block.view + second + 8), 4);
  }

  // The end of list replaced by reads of 0 bytes up to the block's end.
  CHECK(ServerCommand(server, "fault noend") == "ok fault noend");
  PutRead(&block, 0x3324, 4);
  CHECK_EQ(Exchange(window, &block), 1);
  for (uint32_t at = 20; at + 16 <= 0x8000; at += 16) {
    if (Get32(block.view + at) != 1 || Get32(block.view + at + 4) != 0x3324 ||
        Get32(block.view + at + 8) != 0) {
      CHECK(!"noend pattern");
      break;
    }
  }
  CHECK_EQ(Get32(block.view + 0x7FF4), 1);  // the last header, cut short
  CHECK_EQ(Get32(block.view + 0x7FF8), 0x3324);
  CHECK_EQ(Get32(block.view + 0x7FFC), 0);

  // A slow server still answers within the client's time.
  CHECK(ServerCommand(server, "fault slow 300") == "ok fault slow 300");
  ULONGLONG before = GetTickCount64();
  PutRead(&block, 0x3324, 4);
  CHECK_EQ(Exchange(window, &block), 1);
  CHECK(GetTickCount64() - before >= 250);

  // A late or silent server lets the send time out; it recovers afterwards.
  const char* silences[] = {"fault late 700", "fault noanswer"};
  for (const char* command : silences) {
    CHECK(ServerCommand(server, command).rfind("ok fault", 0) == 0);
    PutRead(&block, 0x3324, 4);
    CHECK_EQ(Exchange(window, &block, 300), ~static_cast<DWORD_PTR>(0));
    CHECK(ServerCommand(server, "fault none") == "ok fault none");
    PutRead(&block, 0x3324, 4);
    CHECK_EQ(Exchange(window, &block), 1);
  }

  // The window vanishes and comes back as a new one.
  CHECK(ServerCommand(server, "fault vanish") == "ok fault vanish");
  std::string notice;
  CHECK(WaitServerLine(server, "window 0", &notice, Patient));
  CHECK(!IsWindow(window));
  CHECK(!FindWindowExA(nullptr, nullptr, "UIPCMAIN", nullptr) ||
        FindWindowExA(nullptr, nullptr, "UIPCMAIN", nullptr) != window);
  CHECK(ServerCommand(server, "fault none") == "ok fault none");
  CHECK(WaitServerLine(server, "window ", &notice, Patient));
  HWND reborn = reinterpret_cast<HWND>(
      static_cast<uintptr_t>(std::strtoull(notice.c_str() + 7, nullptr, 10)));
  char className[32] = {};
  GetClassNameA(reborn, className, sizeof className);
  CHECK(std::string(className) == "UIPCMAIN");
  DWORD owner = 0;
  GetWindowThreadProcessId(reborn, &owner);
  CHECK_EQ(owner, server->process.dwProcessId);
  server->window = reborn;
  PutRead(&block, 0x3324, 4);
  CHECK_EQ(Exchange(reborn, &block), 1);
  CloseHandBlock(&block);
}

// ---- reconnections ----------------------------------------------------------------

void TestReconnectionsLeakNothing(ServerProcess* server) {
  const int cycles = 3000;
  std::string before = ServerCommand(server, "status");
  std::string previous;
  int answered = 0, stillAlive = 0;
  for (int i = 0; i < cycles; ++i) {
    HandBlock block;
    std::string name = BlockName("cycle");
    if (!OpenHandBlock(&block, name.c_str())) break;
    PutRead(&block, 0x3304, 4);
    PutRead(&block, 0x3308, 4);
    if (Exchange(server->window, &block) == 1) ++answered;
    CloseHandBlock(&block);
    // The server let go of the previous client's block when this name came.
    if (!previous.empty()) {
      HANDLE old = OpenFileMappingA(FILE_MAP_READ, FALSE, previous.c_str());
      if (old) {
        ++stillAlive;
        CloseHandle(old);
      }
    }
    previous = name;
  }
  CHECK_EQ(answered, cycles);
  CHECK_EQ(stillAlive, 0);
  std::string after = ServerCommand(server, "status");
  CHECK_EQ(StatusField(after, "opens") - StatusField(before, "opens"), cycles);
  CHECK_EQ(StatusField(after, "mapped"), 1);
  std::printf("  handles before %lld, after %d reconnections %lld\n",
              StatusField(before, "handles"), cycles, StatusField(after, "handles"));
  CHECK(StatusField(after, "handles") > 0);
  CHECK(StatusField(after, "handles") <= StatusField(before, "handles") + 2);

  // A client that went away: its block is let go after a quiet while.
  Sleep(3000);
  CHECK_EQ(StatusField(ServerCommand(server, "status"), "mapped"), 0);
  HANDLE last = OpenFileMappingA(FILE_MAP_READ, FALSE, previous.c_str());
  CHECK(last == nullptr);
  if (last) CloseHandle(last);
}

// ---- random batches ---------------------------------------------------------------

// The test's own reading of a well-formed list, to compare with the server.
bool WellFormed(const uint8_t* block, uint32_t limit) {
  uint64_t at = 0;
  for (;;) {
    if (at + 4 > limit) return false;
    uint32_t type = Get32(block + at);
    if (type == 0) return true;
    if (type != 1 && type != 2) return false;
    uint64_t header = type == 1 ? 16 : 12;
    if (at + header > limit) return false;
    uint64_t offset = Get32(block + at + 4), size = Get32(block + at + 8);
    if (at + header + size > limit || offset + size > 0x10000) return false;
    at += header + size;
  }
}

void TestRandomBatches(ServerProcess* server) {
  HandBlock block;
  CHECK(OpenHandBlock(&block, BlockName("random").c_str()));
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  auto pick = [&](std::initializer_list<uint32_t> choices) {
    return *(choices.begin() + next() % choices.size());
  };
  int mismatches = 0, good = 0;
  for (int round = 0; round < 2000; ++round) {
    std::memset(block.view, static_cast<int>(next() & 0xFF), 0x8000);
    uint32_t at = 0;
    int requests = static_cast<int>(next() % 6);
    for (int r = 0; r < requests && at + 16 <= 0x8000; ++r) {
      uint32_t type = pick({1, 1, 2, 2, 3, 0xFFFFFFFF});
      uint32_t size = pick({0, 1, 2, 4, 16, next() % 0x9000, 0x7FF0, 0xFFFFFFFF});
      uint32_t offset = pick({0, 0x3304, 0xFFFC, 0xFFFF, 0x10000, next() % 0x10000, 0xFFFFFFFE});
      Put32(block.view + at, type);
      Put32(block.view + at + 4, offset);
      Put32(block.view + at + 8, size);
      uint64_t step = (type == 1 ? 16 : 12) + static_cast<uint64_t>(size);
      if (at + step > 0x8000 - 4) break;
      at += static_cast<uint32_t>(step);
    }
    if (next() % 8 != 0 && at + 4 <= 0x8000) Put32(block.view + at, 0);
    bool expected = WellFormed(block.view, 0x8000);
    DWORD_PTR reply = 0;
    if (!SendBatch(server->window, block.atom, Patient, &reply)) {
      CHECK(!"random batch unanswered");
      break;
    }
    if (reply != (expected ? 1u : 0u)) ++mismatches;
    good += expected;
  }
  std::printf("  random batches: %d well-formed of 2000\n", good);
  CHECK_EQ(mismatches, 0);
  CHECK(good > 100);
  CloseHandBlock(&block);
}

// ---- the control's refusals -----------------------------------------------------

void TestControlRefusals(ServerProcess* server) {
  const char* refused[] = {
      "set alt x",       "set bogus 1",        "set switch 300",     "set baro -40000",
      "poke 10000 2 1",  "poke FFFF 2 1",      "poke 0 3 1",         "poke zz 1 1",
      "peek 0 8",        "fault bogus",        "fault slow abc",     "fault noanswer 5",
      "fault alterheaders sideways", "demo sideways", "frobnicate", "set alt 1 2 3 4 5",
  };
  for (const char* command : refused) {
    std::string reply = ServerCommand(server, command);
    if (reply.rfind("error", 0) != 0) std::printf("  command: %s -> %s\n", command, reply.c_str());
    CHECK(reply.rfind("error", 0) == 0);
  }
  CHECK(ServerCommand(server, "poke fffe 2 -1") == "ok FFFE 2 = -1");
  CHECK(ServerCommand(server, "peek FFFE 2") == "ok FFFE 2 = 65535 (0xFFFF)");
}

// ---- a second server: the other class, the demo, the ways to end ---------------

void TestSecondClassAndDemo() {
  ServerProcess server;
  CHECK(StartServer(&server, "--class FS98MAIN --hidden --simid 12 --demo --fault simid 42"));
  char className[32] = {};
  GetClassNameA(server.window, className, sizeof className);
  CHECK(std::string(className) == "FS98MAIN");

  HandBlock block;
  CHECK(OpenHandBlock(&block, BlockName("fs98").c_str()));
  uint32_t tag = PutRead(&block, 0x3308, 4);
  CHECK_EQ(Exchange(server.window, &block), 1);
  CHECK_EQ(ReadAt(&block, tag, 4), 0xFADE002A);
  CHECK(ServerCommand(&server, "fault none") == "ok fault none");
  tag = PutRead(&block, 0x3308, 4);
  CHECK_EQ(Exchange(server.window, &block), 1);
  CHECK_EQ(ReadAt(&block, tag, 4), 0xFADE000C);

  // The demo starts on the ground at the local setting, and cruises at
  // FL240 on the standard setting.
  Sleep(300);
  std::string ground = ServerCommand(&server, "status");
  CHECK_EQ(StatusField(ground, "alt"), 350);
  CHECK_EQ(StatusField(ground, "baro"), 16032);
  CHECK(ServerCommand(&server, "demo at 200") == "ok demo on at 200");
  Sleep(300);
  uint32_t alt = PutRead(&block, 0x3324, 4);
  uint32_t baro = PutRead(&block, 0x0330, 2);
  uint32_t ias = PutRead(&block, 0x02BC, 4);
  CHECK_EQ(Exchange(server.window, &block), 1);
  CHECK_EQ(ReadAt(&block, alt, 4), 24000);
  CHECK_EQ(ReadAt(&block, baro, 2), 16212);
  int32_t speed = static_cast<int32_t>(ReadAt(&block, ias, 4));
  CHECK(speed >= 277 * 128 && speed <= 283 * 128);
  CHECK(ServerCommand(&server, "demo off") == "ok demo off");
  CloseHandBlock(&block);
  CHECK_EQ(StopServer(&server), 0);
}

void TestEndOfInputAndCloseBox() {
  // With its input closed the server keeps serving; the close box ends it.
  ServerProcess server;
  CHECK(StartServer(&server, "--hidden"));
  CloseHandle(server.input);
  server.input = nullptr;
  Sleep(300);
  HandBlock block;
  CHECK(OpenHandBlock(&block, BlockName("eof").c_str()));
  PutRead(&block, 0x3304, 4);
  CHECK_EQ(Exchange(server.window, &block), 1);
  CloseHandBlock(&block);
  PostMessageW(server.window, WM_CLOSE, 0, 0);
  CHECK(WaitForSingleObject(server.process.hProcess, 10000) == WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(server.process.hProcess, &code);
  CHECK_EQ(code, 0);
  StopServer(&server);
}

std::string TempLogPath() {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  char path[MAX_PATH];
  std::snprintf(path, sizeof path, "%ssimserver-test-%lu.log", folder, GetCurrentProcessId());
  return path;
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::string logPath = TempLogPath();
  ServerProcess server;
  if (!StartServer(&server, "--hidden --log \"" + logPath + "\"")) {
    std::printf("FAIL cannot start %s\n", ServerExePath().c_str());
    StopServer(&server);
    return 1;
  }
  struct Step {
    const char* name;
    std::function<void()> run;
  };
  const Step steps[] = {
      {"handshake, values and log", [&] { TestHandshakeValuesAndLog(&server, logPath); }},
      {"malformed batches", [&] { TestMalformedBatches(&server); }},
      {"fault modes", [&] { TestFaultModes(&server); }},
      {"reconnections", [&] { TestReconnectionsLeakNothing(&server); }},
      {"random batches", [&] { TestRandomBatches(&server); }},
      {"control refusals", [&] { TestControlRefusals(&server); }},
  };
  for (const Step& step : steps) {
    int before = failures;
    std::printf("%s\n", step.name);
    step.run();
    if (failures != before) std::printf("  %d failure(s)\n", failures - before);
  }
  std::string last = ServerCommand(&server, "status");
  CHECK(last.rfind("ok status", 0) == 0);  // still alive after everything
  CHECK_EQ(StopServer(&server), 0);
  DeleteFileA(logPath.c_str());

  std::printf("second class and demo\n");
  TestSecondClassAndDemo();
  std::printf("end of input and close box\n");
  TestEndOfInputAndCloseBox();

  std::printf(failures ? "%d FAILURES\n" : "all passed\n", failures);
  return failures ? 1 : 0;
}
