// render_bench: time of one RenderGauge frame on the CPU reference surface
// with the embedded artwork, against a baseline in the same run: one
// unturned, full-surface draw of the face (the largest single draw of a
// frame). Prints the best per-frame time of several rounds, and the ratio.
//
//   render_bench [FRAMES_PER_ROUND]
//
// Host tool. Measure a build without sanitizers for meaningful figures.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "display/gauge_sprites.h"
#include "display/render_gauge.h"
#include "display/surface_cpu.h"
#include "simlink/flight_data.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Body>
double BestMicrosecondsPerCall(int calls, Body body) {
  double best = 1e300;
  for (int round = 0; round < 5; ++round) {
    const auto start = Clock::now();
    for (int i = 0; i < calls; ++i) body(i);
    const std::chrono::duration<double, std::micro> spent = Clock::now() - start;
    best = std::min(best, spent.count() / calls);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  OpenCpuSurface();
  CreateGaugeSprites();
  if (GaugeSprites.faceSprite == nullptr) {
    std::fprintf(stderr, "render_bench: no embedded artwork\n");
    return 1;
  }
  SetSpriteFiltering(1);

  const double face = BestMicrosecondsPerCall(frames, [](int) {
    BeginFrame();
    DrawSprite(GaugeSprites.faceSprite, 0, 0);
    EndFrame();
  });
  FlightData.baroRaw = 16212;
  FlightData.connected = 1;
  const double connected = BestMicrosecondsPerCall(frames, [](int i) {
    FlightData.altitude = 12345 + 37 * i;  // a new needle angle every frame
    FlightData.iasRaw = 32000 + 64 * i;
    RenderGauge();
  });
  FlightData.connected = 0;
  const double disconnected = BestMicrosecondsPerCall(frames, [](int i) {
    FlightData.altitude = 12345 + 37 * i;
    RenderGauge();
  });

  std::printf("face draw (baseline)      %8.1f us\n", face);
  std::printf("frame, connected (19)     %8.1f us  = %.2f x baseline\n", connected, connected / face);
  std::printf("frame, disconnected (21)  %8.1f us  = %.2f x baseline\n", disconnected,
              disconnected / face);
  GaugeSprites = GaugeSpriteSet();
  CloseCpuSurface();
  return 0;
}
