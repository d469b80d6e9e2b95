// surface_reference_cpu: draws the frames of test_surface_reference_cases.h
// one over the other on the CPU reference surface with the embedded artwork,
// and writes each picture as 420 x 420 RGBA bytes, one after the other.
//
//   surface_reference_cpu OUTPUT.raw
//
// Exit code 0 on success. Test helper (Windows build); dependencies: the
// CPU surface, the gauge's display code, the embedded artwork.
#include <cstdio>

#include "display/gauge_sprites.h"
#include "display/render_gauge.h"
#include "display/surface_cpu.h"
#include "tests/wine/test_surface_reference_cases.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: surface_reference_cpu OUTPUT.raw\n");
    return 2;
  }
  if (!OpenCpuSurface()) return 1;
  CreateGaugeSprites();
  if (!GaugeSprites.faceSprite || !GaugeSprites.needleSprite) {
    std::fprintf(stderr, "surface_reference_cpu: no embedded artwork\n");
    return 1;
  }
  SetSpriteFiltering(1);
  std::FILE* out = std::fopen(argv[1], "wb");
  if (!out) return 1;
  const size_t size = static_cast<size_t>(SurfaceWidth) * SurfaceHeight * 4;
  bool ok = true;
  for (const ReferenceFrame& frame : ReferenceFrames) {
    LoadReferenceFrame(frame);
    RenderGauge();
    ok = ok && std::fwrite(CpuSurfacePixels(), 1, size, out) == size;
  }
  ok = std::fclose(out) == 0 && ok;
  return ok ? 0 : 1;
}
