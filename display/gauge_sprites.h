// GaugeSprites: one sprite per embedded artwork image. Main thread only.
#pragma once
#include "display/surface.h"

struct GaugeSpriteSet {
  Sprite* faceSprite = nullptr;
  Sprite* needleSprite = nullptr;
  Sprite* counterBackSprite = nullptr;
  Sprite* offFlagDotSprite = nullptr;
  Sprite* offFlagRingSprite = nullptr;
  Sprite* digitDrumSprite = nullptr;
  Sprite* tenThousandsDrumSprite = nullptr;
  Sprite* iasTapeSprite = nullptr;
};

extern GaugeSpriteSet GaugeSprites;

// Decodes the eight embedded images into textures and makes one sprite on
// each. A failed image leaves its handle null; nothing is reported.
void CreateGaugeSprites();
