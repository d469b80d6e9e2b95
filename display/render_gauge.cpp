// Placeholder frame until the composition lands: presents the target as is.
#include "display/render_gauge.h"

#include "display/surface.h"

int RenderGauge() {
  BeginFrame();
  EndFrame();
  PresentFrame();
  return 0;
}
