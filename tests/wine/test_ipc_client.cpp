// The IPC client against the stand-in server (bin/simserver.exe) under Wine:
// open with its handshake, a five-read poll, every failure that a real peer
// can cause (no server, a taken block name, an invalid handshake, another
// simulator, a reply other than 1, altered reply headers, a vanished window),
// and the global atom gone after each IpcClose.
//
// Each case starts its own server and always stops it (see
// test_ipc_server_process.h); the server's output and batch log land beside
// this exe as test_ipc_client-server.txt and test_ipc_client-batches.txt.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "simlink/ipc_client.h"
#include "test_ipc_server_process.h"

namespace {

int failures = 0;

#define CHECK(condition)                                                   \
  do {                                                                     \
    if (!(condition)) {                                                    \
      ++failures;                                                          \
      std::printf("  FAILED %s:%d: %s\n", __FILE__, __LINE__, #condition); \
    }                                                                      \
  } while (0)

#define CHECK_EQ(actual, expected)                                                        \
  do {                                                                                    \
    long long a_ = static_cast<long long>(actual), e_ = static_cast<long long>(expected); \
    if (a_ != e_) {                                                                       \
      ++failures;                                                                         \
      std::printf("  FAILED %s:%d: %s is %lld, expected %lld\n", __FILE__, __LINE__,      \
                  #actual, a_, e_);                                                       \
    }                                                                                     \
  } while (0)

// A server for one case; a server that does not come up counts as a failure.
class Server : public ServerProcess {
 public:
  explicit Server(const std::string& arguments) : ServerProcess("test_ipc_client", arguments) {
    if (!Running()) ++failures;
  }
};

std::string BlockName(uint32_t counter) {
  char name[260];
  std::snprintf(name, sizeof name, "FsasmLib:IPC:%X:%X",
                static_cast<unsigned>(GetCurrentProcessId()), static_cast<unsigned>(counter));
  return name;
}

// The atom of the block last named by IpcOpen must be gone once the link is
// closed: global atoms outlive the process that made them.
void CheckAtomReleased() {
  CHECK(GlobalFindAtomA(BlockName(nameCounter).c_str()) == 0);
}

struct Poll {
  int32_t altitude;
  uint16_t baroRaw;
  uint16_t lightsRaw;
  int8_t switchRaw;
  int32_t iasRaw;
};

bool QueuePoll(Poll& poll, int32_t* result) {
  return IpcRead(0x3324, 4, &poll.altitude, result) && IpcRead(0x0330, 2, &poll.baroRaw, result) &&
         IpcRead(0x0D0C, 2, &poll.lightsRaw, result) &&
         IpcRead(0x3102, 1, &poll.switchRaw, result) && IpcRead(0x02BC, 4, &poll.iasRaw, result);
}

void NoServer() {
  std::printf("no server\n");
  CHECK(!ServerWindowExists());
  uint32_t counter = nameCounter;
  int32_t result = -1;
  CHECK(!IpcOpen(0, &result));
  CHECK_EQ(result, IpcErrNoServer);
  CHECK_EQ(nameCounter, counter);
  CHECK(IpcLink.block == nullptr);
}

void OpenAndPoll() {
  std::printf("open, handshake and a five-read poll\n");
  Server server("--simid 7");
  if (!server.Running()) return;
  server.Send("set alt -1250");
  server.Send("set baro 16212");
  server.Send("set lights 3");
  server.Send("set switch -1");
  server.Send("set ias 35840");

  int32_t result = -1;
  DWORD start = GetTickCount();
  CHECK(IpcOpen(0, &result));
  DWORD openMs = GetTickCount() - start;
  CHECK_EQ(result, IpcOk);
  CHECK_EQ(IpcLink.simulatorTag, 7);
  CHECK(IpcLink.serverVersion >= 0x19980005u);
  CHECK(GlobalFindAtomA(BlockName(nameCounter).c_str()) != 0);
  std::printf("  open took %lu ms\n", openMs);

  Poll poll = {};
  bool arrived = WaitFor(5000, [&] {
    Poll fresh = {};
    int32_t pollResult = -1;
    if (!QueuePoll(fresh, &pollResult) || !IpcProcess(&pollResult)) return false;
    poll = fresh;
    return poll.altitude == -1250 && poll.baroRaw == 16212 && poll.lightsRaw == 3 &&
           poll.switchRaw == -1 && poll.iasRaw == 35840;
  });
  CHECK(arrived);
  if (!arrived)
    std::printf("  last poll: %d %u %u %d %d\n", poll.altitude, poll.baroRaw, poll.lightsRaw,
                poll.switchRaw, poll.iasRaw);

  // What the server saw: the handshake batch, then polls laid out back to back.
  std::vector<std::string> lines = server.BatchLogLines();
  CHECK(lines.size() >= 2);
  if (lines.size() >= 2) {
    std::string name = BlockName(nameCounter);
    CHECK(lines[0].rfind(name + " | R 3304 4 @0 dest ", 0) == 0);
    CHECK(lines[0].find(" | R 3308 4 @20 dest ") != std::string::npos);
    CHECK(lines[0].find(" | W 330A 2 @40 D207 | end @54 | reply 1") != std::string::npos);
    const std::string& last = lines.back();
    const char* parts[] = {" | R 3324 4 @0 ", " | R 0330 2 @20 ", " | R 0D0C 2 @38 ",
                           " | R 3102 1 @56 ", " | R 02BC 4 @73 ", " | end @93 | reply 1"};
    for (const char* part : parts) CHECK(last.find(part) != std::string::npos);
    if (last.find(" | end @93") == std::string::npos) std::printf("  last batch: %s", last.c_str());
  }

  IpcClose();
  CheckAtomReleased();
  CHECK(IpcLink.block == nullptr);
}

void TakenBlockName() {
  std::printf("a mapping of the next block name exists already\n");
  Server server("");
  if (!server.Running()) return;
  std::string name = BlockName(nameCounter + 1);
  HANDLE taken = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0x8000,
                                    name.c_str());
  CHECK(taken != nullptr);
  int32_t result = -1;
  CHECK(!IpcOpen(0, &result));
  CHECK_EQ(result, IpcErrMapping);
  CHECK(IpcLink.block == nullptr && IpcLink.mapping == nullptr && IpcLink.atom == 0);
  CheckAtomReleased();
  if (taken != nullptr) CloseHandle(taken);

  // The next attempt takes the next name and succeeds.
  CHECK(IpcOpen(0, &result));
  CHECK_EQ(result, IpcOk);
  IpcClose();
  CheckAtomReleased();
}

void InvalidHandshake() {
  // Passes go on while a handshake value reads zero: with version and marker
  // both zero all five run; a missing marker alone leaves the identifier
  // non-zero, which ends the passes after the first.
  struct Case {
    const char* arguments;
    int32_t expected;
    size_t exchanges;
  } cases[] = {
      {"--class FS98MAIN --fault badhandshake", IpcErrVersionFallback, 5},
      {"--fault badhandshake", IpcErrVersion, 5},
      {"--fault badhandshake marker", IpcErrVersion, 1},
  };
  for (const Case& c : cases) {
    std::printf("invalid handshake: %s\n", c.arguments);
    Server server(c.arguments);
    if (!server.Running()) continue;
    int32_t result = -1;
    DWORD start = GetTickCount();
    CHECK(!IpcOpen(0, &result));
    DWORD elapsed = GetTickCount() - start;
    CHECK_EQ(result, c.expected);
    CHECK(IpcLink.block == nullptr);
    CheckAtomReleased();
    // Each exchange is followed by a 100 ms pause.
    CHECK(elapsed + 20 >= 100 * c.exchanges);
    size_t exchanges = 0;
    for (const std::string& line : server.BatchLogLines())
      if (line.rfind(BlockName(nameCounter) + " |", 0) == 0) ++exchanges;
    CHECK_EQ(exchanges, c.exchanges);
    std::printf("  %lu ms, %u exchanges\n", elapsed, static_cast<unsigned>(exchanges));
  }
}

void SimulatorIdentifier() {
  std::printf("simulator identifier\n");
  Server server("--simid 9");
  if (!server.Running()) return;
  int32_t result = -1;
  CHECK(!IpcOpen(5, &result));
  CHECK_EQ(result, IpcErrWrongSimulator);
  CHECK(IpcLink.block == nullptr);
  CheckAtomReleased();
  const uint32_t accepted[] = {9, 0};
  for (uint32_t id : accepted) {
    CHECK(IpcOpen(id, &result));
    CHECK_EQ(result, IpcOk);
    CHECK_EQ(IpcLink.simulatorTag, 9);
    IpcClose();
    CheckAtomReleased();
  }
}

// Sets a fault on an open link and polls until the exchange fails (the
// control line is carried out by the server's other thread, so a few polls
// may still succeed). Returns the failing code; the poll's destinations must
// not have changed in the failing exchange.
int32_t PollUntilFailure(Server& server, const std::string& fault) {
  int32_t result = -1;
  if (!IpcOpen(0, &result)) {
    std::printf("  open failed with %d\n", result);
    ++failures;
    return result;
  }
  server.Send("fault " + fault);
  int32_t failure = IpcOk;
  bool failed = WaitFor(5000, [&] {
    Poll poll;
    std::memset(&poll, 0x5A, sizeof poll);
    Poll before = poll;
    int32_t pollResult = -1;
    QueuePoll(poll, &pollResult);
    if (IpcProcess(&pollResult)) return false;
    failure = pollResult;
    CHECK(std::memcmp(&poll, &before, sizeof poll) == 0);
    return true;
  });
  CHECK(failed);
  CHECK(IpcLink.block != nullptr);  // IpcProcess never closes the link
  IpcClose();
  CheckAtomReleased();
  return failure;
}

void BadReplies() {
  const char* faults[] = {"badreply", "badreply 2", "alterheaders type", "alterheaders size",
                          "alterheaders dest", "noend", "hugesize"};
  for (const char* fault : faults) {
    std::printf("server fault: %s\n", fault);
    Server server("");
    if (!server.Running()) continue;
    CHECK_EQ(PollUntilFailure(server, fault), IpcErrBadReply);
  }
}

void WindowGone() {
  std::printf("server window gone\n");
  Server server("");
  if (!server.Running()) return;
  int32_t result = -1;
  CHECK(IpcOpen(0, &result));
  server.Send("fault vanish");
  CHECK(WaitFor(5000, [] { return !ServerWindowExists(); }));
  int32_t altitude = 0;
  CHECK(IpcRead(0x3324, 4, &altitude, &result));
  DWORD start = GetTickCount();
  CHECK(!IpcProcess(&result));
  DWORD elapsed = GetTickCount() - start;
  CHECK_EQ(result, IpcErrSendFailed);
  CHECK(elapsed >= 880);  // nine attempts, each followed by a 100 ms pause
  std::printf("  failed after %lu ms\n", elapsed);
  IpcClose();
  CheckAtomReleased();
}

}  // namespace

int main() {
  setvbuf(stdout, nullptr, _IONBF, 0);
  NoServer();
  OpenAndPoll();
  TakenBlockName();
  InvalidHandshake();
  SimulatorIdentifier();
  BadReplies();
  WindowGone();
  NoServer();  // every server has ended
  std::printf(failures == 0 ? "all passed\n" : "%d check(s) failed\n", failures);
  return failures == 0 ? 0 : 1;
}
