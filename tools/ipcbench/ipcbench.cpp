// ipcbench: what one poll of the gauge costs against the stand-in server,
// next to the cheapest possible exchange with the same window.
//
//   poll  five IpcRead calls and one IpcProcess (the gauge's ReadWorker batch)
//   bare  SendMessageTimeoutA(WM_NULL, SMTO_BLOCK, 2,000 ms) to the server's
//         window: a cross-process round trip whose handler does nothing
//
// The two alternate in rounds of the same length within one run, so that a
// busy machine slows both alike; the report gives the median time per call
// of each and the median of the per-round ratios poll / bare.
//
// Usage (under Wine, from the bin directory): ipcbench.exe [rounds] [calls]
// Starts simserver.exe from its own directory and stops it at the end.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "simlink/ipc_client.h"
#include "test_ipc_server_process.h"

namespace {

double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Staging {
  int32_t altitude;
  uint16_t baroRaw;
  uint16_t lightsRaw;
  int8_t switchRaw;
  int32_t iasRaw;
};

bool Poll(Staging& staging) {
  int32_t result = -1;
  IpcRead(0x3324, 4, &staging.altitude, &result);
  IpcRead(0x0330, 2, &staging.baroRaw, &result);
  IpcRead(0x0D0C, 2, &staging.lightsRaw, &result);
  IpcRead(0x3102, 1, &staging.switchRaw, &result);
  IpcRead(0x02BC, 4, &staging.iasRaw, &result);
  return IpcProcess(&result);
}

bool Bare(HWND window) {
  DWORD_PTR reply = 0;
  return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, 2000, &reply) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
  int calls = argc > 2 ? std::atoi(argv[2]) : 300;
  if (rounds < 1 || calls < 1) {
    std::fprintf(stderr, "usage: ipcbench [rounds] [calls per round]\n");
    return 2;
  }

  // Without the batch log, which would add a file write to every poll.
  ServerProcess server("ipcbench", "", false);
  if (!server.Running()) return 1;
  int32_t result = -1;
  if (!IpcOpen(0, &result)) {
    std::fprintf(stderr, "ipcbench: IpcOpen failed with %d\n", result);
    return 1;
  }
  HWND window = static_cast<HWND>(IpcLink.serverWindow);

  Staging staging = {};
  for (int i = 0; i < 100; ++i) {
    if (!Poll(staging) || !Bare(window)) {
      std::fprintf(stderr, "ipcbench: an exchange failed while warming up\n");
      IpcClose();
      return 1;
    }
  }

  std::vector<double> pollTimes, bareTimes, ratios;
  for (int round = 0; round < rounds; ++round) {
    double start = Seconds();
    for (int i = 0; i < calls; ++i) Bare(window);
    double bare = (Seconds() - start) / calls;
    start = Seconds();
    for (int i = 0; i < calls; ++i) Poll(staging);
    double poll = (Seconds() - start) / calls;
    bareTimes.push_back(bare);
    pollTimes.push_back(poll);
    ratios.push_back(poll / bare);
  }
  IpcClose();

  std::printf("rounds %d x %d calls each\n", rounds, calls);
  std::printf("bare SendMessageTimeout round trip  median %8.1f us\n", Median(bareTimes) * 1e6);
  std::printf("five-read IpcProcess poll           median %8.1f us\n", Median(pollTimes) * 1e6);
  std::printf("ratio poll / bare                   median %8.2f  (min %.2f, max %.2f)\n",
              Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()));
  return 0;
}
