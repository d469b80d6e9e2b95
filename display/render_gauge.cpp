// RenderGauge: one picture of the gauge from FlightData, drawn over the
// previous one and presented.
//
// Painter's order: what shows through the face's windows first (counter
// back plate and drums, pressure drums, airspeed tape), then the face over
// its own shadow, then the turned needle over its shadow, and last the red
// off lamp while the simulator is not connected. The face is the mask that
// cuts the drums and the tape to their windows, so the target is not
// cleared: every frame covers it.
//
// The frame works from one copy of the four fields it reads, taken at its
// start, so a worker writing FlightData meanwhile cannot give the counter
// and the needle, or the tape's test and position, values of two polls.
//
// Dependencies: surface.h (any implementation), GaugeSprites, quantities.
// Main thread only; reads FlightData without the lock.
#include "display/render_gauge.h"

#include "display/gauge_sprites.h"
#include "display/quantities.h"
#include "display/surface.h"
#include "simlink/flight_data.h"

namespace {

// Shadows: the sprite again, offset toward the lower right, multiplying the
// target by 1 - alpha x 100/255.
constexpr int ShadowIntensity = 100;
constexpr int FaceShadowOffset = 5;
constexpr int NeedleShadowOffset = 4;
constexpr int NeedleX = 112;
constexpr int NeedleY = 47;
constexpr int OffLampX = 70;
constexpr int OffLampY = 70;

void UseNormalBlend() { SetBlendFactors(BlendSrcAlpha, BlendInvSrcAlpha); }
void UseShadowBlend() { SetBlendFactors(BlendZero, BlendInvSrcAlpha); }

}  // namespace

int RenderGauge() {
  const int32_t altitude = FlightData.altitude.load();
  const uint16_t baroRaw = FlightData.baroRaw.load();
  const int32_t iasRaw = FlightData.iasRaw.load();
  const bool connected = FlightData.connected.load() != 0;
  const DisplayQuantities q = ComputeDisplayQuantities(altitude, baroRaw, iasRaw);
  const GaugeSpriteSet& s = GaugeSprites;

  BeginFrame();

  // Altitude counter: units and tens always 0, hundreds rolling, thousands
  // and ten-thousands stepping. Where strips share a column the later one
  // covers the earlier.
  DrawSprite(s.counterBackSprite, 119, 61);
  DrawSprite(s.digitDrumSprite, 240, CounterDrumBase);
  DrawSprite(s.digitDrumSprite, 216, CounterDrumBase);
  DrawSprite(s.digitDrumSprite, 193, q.hundredsDrumY);
  DrawSprite(s.digitDrumSprite, 169, q.thousandsDrumY);
  DrawSprite(s.tenThousandsDrumSprite, 141, q.tenThousandsDrumY);

  // Pressure windows, from the units drum leftward.
  DrawSprite(s.digitDrumSprite, 100, q.hpaDrumY[3]);
  DrawSprite(s.digitDrumSprite, 78, q.hpaDrumY[2]);
  DrawSprite(s.digitDrumSprite, 55, q.hpaDrumY[1]);
  DrawSprite(s.digitDrumSprite, 32, q.hpaDrumY[0]);
  DrawSprite(s.digitDrumSprite, 364, q.inHgDrumY[3]);
  DrawSprite(s.digitDrumSprite, 342, q.inHgDrumY[2]);
  DrawSprite(s.digitDrumSprite, 319, q.inHgDrumY[1]);
  DrawSprite(s.digitDrumSprite, 296, q.inHgDrumY[0]);

  DrawSprite(s.iasTapeSprite, q.iasTapeX, 279);

  UseShadowBlend();
  DrawSprite(s.faceSprite, FaceShadowOffset, FaceShadowOffset, ShadowIntensity);
  UseNormalBlend();
  DrawSprite(s.faceSprite, 0, 0);

  // The needle and its shadow are both drawn turned; the shadow is the
  // turned needle moved by (4, 4), not turned about another point.
  RotateSprite(s.needleSprite, q.needleAngle, 0);
  UseShadowBlend();
  DrawSprite(s.needleSprite, NeedleX + NeedleShadowOffset, NeedleY + NeedleShadowOffset,
             ShadowIntensity);
  UseNormalBlend();
  DrawSprite(s.needleSprite, NeedleX, NeedleY);

  if (!connected) {
    DrawSprite(s.offFlagDotSprite, OffLampX, OffLampY);
    DrawSprite(s.offFlagRingSprite, OffLampX, OffLampY);
  }

  // Every frame ends, and so the next one begins, with NormalBlend.
  UseNormalBlend();
  EndFrame();
  PresentFrame();
  return 0;
}
