// Placeholder until the artwork lands: no sprites.
#include "display/gauge_sprites.h"

GaugeSpriteSet GaugeSprites;

void CreateGaugeSprites() {}
