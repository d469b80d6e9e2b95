// simserver_bench: round-trip cost of the stand-in server, measured against
// itself in one run. Starts simserver.exe (next to it) hidden and without a
// log, then times the gauge's poll batch (five reads, 93 bytes):
//   same block    every message names the same block: the server keeps it
//                 mapped, as for a connected gauge;
//   two blocks    messages alternate between two names: the server opens
//                 and maps a block for every message;
//   refused       a message with atom 0, refused at once: about the bare
//                 cost of a cross-process message.
// Prints microseconds per round trip and the ratios. Usage:
//   simserver_bench [round trips, default 5000]
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "simserver_process.h"

namespace {

void QueuePoll(HandBlock* block) {
  PutRead(block, 0x3324, 4);
  PutRead(block, 0x0330, 2);
  PutRead(block, 0x0D0C, 2);
  PutRead(block, 0x3102, 1);
  PutRead(block, 0x02BC, 4);
  PutEnd(block);
}

double Seconds() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Microseconds per round trip, sending in turn to each of `count` blocks
// (atom 0 when blocks is null); -1 if any message went unanswered.
double Time(HWND window, HandBlock* blocks, int count, int roundTrips) {
  double start = Seconds();
  for (int i = 0; i < roundTrips; ++i) {
    DWORD_PTR reply = 0;
    WPARAM atom = blocks ? blocks[i % count].atom : 0;
    if (!SendBatch(window, atom, 5000, &reply)) return -1;
  }
  return (Seconds() - start) * 1e6 / roundTrips;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int roundTrips = argc > 1 ? std::atoi(argv[1]) : 5000;
  if (roundTrips <= 0) roundTrips = 5000;
  ServerProcess server;
  if (!StartServer(&server, "--hidden")) {
    std::printf("cannot start %s\n", ServerExePath().c_str());
    StopServer(&server);
    return 1;
  }
  HandBlock blocks[2];
  char name[64];
  for (int i = 0; i < 2; ++i) {
    std::snprintf(name, sizeof name, "SimBench:%lX:%d", GetCurrentProcessId(), i);
    if (!OpenHandBlock(&blocks[i], name)) return 1;
    QueuePoll(&blocks[i]);
  }
  // The machine is shared: the three kinds are timed in turn, in short
  // runs, and each is reported by the median of its runs, so a burst of
  // other work weighs on all three alike.
  constexpr int Runs = 20;
  int perRun = roundTrips / Runs > 0 ? roundTrips / Runs : 1;
  std::vector<double> same, alternate, refused;
  Time(server.window, blocks, 1, 200);  // warm-up
  for (int run = 0; run < Runs; ++run) {
    same.push_back(Time(server.window, blocks, 1, perRun));
    alternate.push_back(Time(server.window, blocks, 2, perRun));
    refused.push_back(Time(server.window, nullptr, 0, perRun));
  }
  double sameUs = Median(same), alternateUs = Median(alternate), refusedUs = Median(refused);
  std::printf("round trips: %d of each kind, median of %d runs\n", perRun * Runs, Runs);
  std::printf("same block (kept mapped):   %7.1f us\n", sameUs);
  std::printf("two blocks (mapped anew):   %7.1f us\n", alternateUs);
  std::printf("refused (bare message):     %7.1f us\n", refusedUs);
  if (sameUs > 0 && refusedUs > 0)
    std::printf("mapped anew / kept mapped:  %7.2f\nkept mapped / bare message: %7.2f\n",
                alternateUs / sameUs, sameUs / refusedUs);
  for (HandBlock& block : blocks) CloseHandBlock(&block);
  return StopServer(&server) == 0 ? 0 : 1;
}
