// GaugeSprites: one texture and one sprite for each of the eight embedded
// artwork images, made once at start-up over the drawing surface's
// CreateTexture and CreateSprite (surface.h).
// Failures are silent: a missing image, a failed decode or a failed texture
// leaves that handle null, and a null sprite draws nothing.
// Depends on display/artwork.h, display/png_decode.h, display/surface.h.
#include "display/gauge_sprites.h"

#include "display/artwork.h"
#include "display/png_decode.h"

GaugeSpriteSet GaugeSprites;

namespace {

// The decoded pixels are dropped once the texture holds its copy of them.
Texture* TextureFromArtwork(const char* name) {
  const ArtworkImage* artwork = FindArtwork(name);
  if (artwork == nullptr) return nullptr;
  DecodedImage image;
  if (!DecodePng(artwork->bytes, artwork->size, &image)) return nullptr;
  return CreateTexture(image.rgba.data(), image.width, image.height);
}

Sprite* SpriteOn(Texture* texture) { return texture != nullptr ? CreateSprite(texture) : nullptr; }

}  // namespace

// Main thread only, once, after the drawing surface is open.
void CreateGaugeSprites() {
  Texture* face = TextureFromArtwork("face.png");
  Texture* needle = TextureFromArtwork("needle.png");
  Texture* counterBack = TextureFromArtwork("counter_back.png");
  Texture* offFlagDot = TextureFromArtwork("off_flag_dot.png");
  Texture* offFlagRing = TextureFromArtwork("off_flag_ring.png");
  Texture* digitDrum = TextureFromArtwork("digit_drum.png");
  Texture* tenThousandsDrum = TextureFromArtwork("ten_thousands_drum.png");
  Texture* iasTape = TextureFromArtwork("ias_tape.png");

  GaugeSprites.needleSprite = SpriteOn(needle);
  GaugeSprites.counterBackSprite = SpriteOn(counterBack);
  GaugeSprites.faceSprite = SpriteOn(face);
  GaugeSprites.offFlagDotSprite = SpriteOn(offFlagDot);
  GaugeSprites.offFlagRingSprite = SpriteOn(offFlagRing);
  GaugeSprites.digitDrumSprite = SpriteOn(digitDrum);
  GaugeSprites.tenThousandsDrumSprite = SpriteOn(tenThousandsDrum);
  GaugeSprites.iasTapeSprite = SpriteOn(iasTape);
}
