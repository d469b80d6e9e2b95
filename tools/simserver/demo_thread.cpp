// The demo thread (see demo_thread.h). It writes the five values of the
// flight under the server lock, so a batch always sees one whole sample.
// `demo on` (again) starts the flight from its given time; `demo off`
// leaves the last values in place.
#include "demo_thread.h"

#include <windows.h>

#include "demo_flight.h"
#include "server_state.h"

namespace {

constexpr DWORD TickMs = 20;
HANDLE demoThread = nullptr;

void WriteSample(const DemoSample& sample) {
  auto put = [](uint32_t offset, uint32_t size, uint32_t value) {
    for (uint32_t i = 0; i < size; ++i)
      SimServer.area[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  LockServer();
  put(AltitudeOffset, 4, static_cast<uint32_t>(sample.altitude));
  put(BaroOffset, 2, sample.baroRaw);
  put(IasOffset, 4, static_cast<uint32_t>(sample.iasRaw));
  put(LightsOffset, 2, sample.lights);
  put(SwitchOffset, 1, static_cast<uint8_t>(sample.switchValue));
  UnlockServer();
}

DWORD WINAPI DemoThread(LPVOID) {
  LARGE_INTEGER frequency, origin, now;
  QueryPerformanceFrequency(&frequency);
  origin.QuadPart = 0;
  uint32_t seenGeneration = 0;
  double startSeconds = 0;
  for (;;) {
    LockServer();
    bool quit = SimServer.quit;
    bool demo = SimServer.demo;
    uint32_t generation = SimServer.demoGeneration;
    double requestedStart = SimServer.demoStartSeconds;
    UnlockServer();
    if (quit) return 0;
    if (!demo) {
      WaitForSingleObject(SimServer.demoWake, INFINITE);
      continue;
    }
    QueryPerformanceCounter(&now);
    if (generation != seenGeneration) {
      seenGeneration = generation;
      origin = now;
      startSeconds = requestedStart;
    }
    double elapsed = static_cast<double>(now.QuadPart - origin.QuadPart) /
                     static_cast<double>(frequency.QuadPart);
    WriteSample(DemoAt(startSeconds + elapsed));
    WaitForSingleObject(SimServer.demoWake, TickMs);
  }
}

}  // namespace

bool StartDemoThread() {
  demoThread = CreateThread(nullptr, 0, DemoThread, nullptr, 0, nullptr);
  return demoThread != nullptr;
}

void JoinDemoThread() {
  if (!demoThread) return;
  WaitForSingleObject(demoThread, 1000);
  CloseHandle(demoThread);
  demoThread = nullptr;
}
