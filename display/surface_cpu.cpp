// The CPU reference surface: the drawing operations of surface.h on a
// 420 x 420 RGBA buffer in memory, with the effects the gauge relies on.
//
// Arithmetic, per colour channel, with the sprite alpha
//   a = texel alpha / 255 x intensity / 255
// and the blend factors zero (1), one (2), a (5) and 1 - a (6):
//   target = round(colour x source factor + target x destination factor)
// in single precision, rounded to nearest and clamped to 0..255, the way a
// GPU writes its 8-bit target. Geometry is worked in double precision.
//
// Geometry: pixel (i, j) covers [i, i+1) x [j, j+1) and is sampled at its
// centre (i + 0.5, j + 0.5); texel (u, v) of a sprite drawn at (x, y) covers
// the same square as pixel (x + u, y + v), so an unturned sprite lies texel
// on pixel. A turned sprite turns about the centre of its own rectangle,
// clockwise on screen for positive degrees; a pixel whose centre falls
// inside the turned rectangle is drawn, sampled bilinearly between texel
// centres with indices clamped at the edges (or at the nearest texel when
// filtering is off), and a pixel outside it is left alone. The bilinear
// weights are exact (no 8-bit weight quantisation as in GPUs), which is the
// small difference a comparison with a hardware surface must allow for.
//
// Limits: textures up to 8192 x 8192; draws outside BeginFrame..EndFrame
// have no effect; an unknown blend code leaves the pair in force unchanged;
// a sprite turned by an angle that is not a finite number draws nothing.
//
// Dependencies: the C++ standard library only. Main thread only.
#include "display/surface_cpu.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

struct Texture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;
};

struct Sprite {
  Texture* texture = nullptr;
  float degrees = 0.0f;
};

namespace {

constexpr int MaxTextureSide = 8192;
constexpr double Pi = 3.14159265358979323846;

struct CpuSurfaceState {
  bool open = false;
  std::vector<uint8_t> pixels;
  int sourceBlend = BlendSrcAlpha;
  int destinationBlend = BlendInvSrcAlpha;
  int filteringSetting = 0;   // as last set by SetSpriteFiltering
  bool inFrame = false;
  bool bilinear = false;      // the sampling in force right now
  int presentCount = 0;
  std::vector<std::unique_ptr<Texture>> textures;
  std::vector<std::unique_ptr<Sprite>> sprites;
  std::vector<CpuDrawRecord> draws;
};

CpuSurfaceState Surface;

bool KnownBlendCode(int code) { return code == 1 || code == 2 || code == 5 || code == 6; }

float BlendFactor(int code, float alpha) {
  switch (code) {
    case 1: return 0.0f;
    case 2: return 1.0f;
    case 5: return alpha;
    default: return 1.0f - alpha;  // 6
  }
}

// Rounds to nearest, ties to even, like lrintf in the default rounding mode:
// adding and taking away 2^23 leaves no fraction bits in a float, so the
// addition itself rounds. Inline, where lrintf is a library call.
uint8_t ToChannel(float value) {
  if (value <= 0.0f) return 0;
  if (value >= 255.0f) return 255;
  const float shifted = value + 8388608.0f;  // needs strict float semantics (no fast-math)
  return static_cast<uint8_t>(shifted - 8388608.0f);
}

// The blend pair of one draw, copied out of the surface state: the target's
// bytes may alias anything, so the compiler would otherwise reload the pair
// for every pixel.
struct BlendPair {
  int source;
  int destination;
};

// Blends one sprite sample (colour 0..255, alpha 0..1 after intensity) into
// a target pixel.
inline void BlendInto(BlendPair pair, uint8_t* target, const float colour[3], float alpha) {
  const float s = BlendFactor(pair.source, alpha);
  const float d = BlendFactor(pair.destination, alpha);
  if (s == 0.0f && d == 1.0f) return;  // exactly the target unchanged
  for (int c = 0; c < 3; ++c) {
    target[c] = ToChannel(colour[c] * s + static_cast<float>(target[c]) * d);
  }
}

void DrawUnturned(const Texture& texture, int32_t x, int32_t y, float intensityScale) {
  const BlendPair pair{Surface.sourceBlend, Surface.destinationBlend};
  uint8_t* const pixels = Surface.pixels.data();
  // Clip in 64 bits: positions may lie anywhere in the 32-bit range.
  const int64_t left = std::max<int64_t>(x, 0);
  const int64_t top = std::max<int64_t>(y, 0);
  const int64_t right = std::min<int64_t>(static_cast<int64_t>(x) + texture.width, SurfaceWidth);
  const int64_t bottom = std::min<int64_t>(static_cast<int64_t>(y) + texture.height, SurfaceHeight);
  for (int64_t py = top; py < bottom; ++py) {
    const uint8_t* texel =
        &texture.rgba[(static_cast<size_t>(py - y) * texture.width + static_cast<size_t>(left - x)) * 4];
    uint8_t* target = pixels + (static_cast<size_t>(py) * SurfaceWidth + left) * 4;
    for (int64_t px = left; px < right; ++px, texel += 4, target += 4) {
      const float colour[3] = {static_cast<float>(texel[0]), static_cast<float>(texel[1]),
                               static_cast<float>(texel[2])};
      BlendInto(pair, target, colour, texel[3] / 255.0f * intensityScale);
    }
  }
}

const uint8_t* TexelAt(const Texture& texture, int u, int v) {
  u = std::min(std::max(u, 0), texture.width - 1);
  v = std::min(std::max(v, 0), texture.height - 1);
  return &texture.rgba[(static_cast<size_t>(v) * texture.width + u) * 4];
}

void DrawTurned(const Texture& texture, int32_t x, int32_t y, float degrees,
                float intensityScale) {
  const BlendPair pair{Surface.sourceBlend, Surface.destinationBlend};
  const bool bilinear = Surface.bilinear;
  uint8_t* const pixels = Surface.pixels.data();
  // The angle becomes degrees x pi / 180 radians, in single precision.
  const float radians = degrees * static_cast<float>(Pi / 180.0);
  const double cosA = std::cos(static_cast<double>(radians));
  const double sinA = std::sin(static_cast<double>(radians));
  const double halfW = texture.width / 2.0;
  const double halfH = texture.height / 2.0;
  const double centreX = x + halfW;
  const double centreY = y + halfH;

  // Screen offset of a sprite offset (dx, dy): (dx cos - dy sin, dx sin + dy cos),
  // which turns clockwise on a screen whose y points down.
  double minX = centreX, maxX = centreX, minY = centreY, maxY = centreY;
  for (int corner = 0; corner < 4; ++corner) {
    const double dx = (corner & 1) ? halfW : -halfW;
    const double dy = (corner & 2) ? halfH : -halfH;
    const double sx = centreX + dx * cosA - dy * sinA;
    const double sy = centreY + dx * sinA + dy * cosA;
    minX = std::min(minX, sx); maxX = std::max(maxX, sx);
    minY = std::min(minY, sy); maxY = std::max(maxY, sy);
  }
  // Pixels whose centre can fall inside the turned rectangle, clipped to
  // the target before any conversion to int.
  const auto clip = [](double value, int size) {
    return static_cast<int>(std::min(std::max(value, -1.0), static_cast<double>(size)));
  };
  const int left = clip(std::floor(minX - 0.5), SurfaceWidth);
  const int top = clip(std::floor(minY - 0.5), SurfaceHeight);
  const int right = clip(std::ceil(maxX - 0.5), SurfaceWidth);
  const int bottom = clip(std::ceil(maxY - 0.5), SurfaceHeight);

  for (int py = std::max(top, 0); py <= std::min(bottom, SurfaceHeight - 1); ++py) {
    for (int px = std::max(left, 0); px <= std::min(right, SurfaceWidth - 1); ++px) {
      const double ox = px + 0.5 - centreX;
      const double oy = py + 0.5 - centreY;
      // Back into the sprite: the inverse turn.
      const double u = ox * cosA + oy * sinA + halfW;
      const double v = -ox * sinA + oy * cosA + halfH;
      if (u < 0.0 || v < 0.0 || u >= texture.width || v >= texture.height) continue;

      float colour[3];
      float texelAlpha;
      if (bilinear) {
        const double fu = u - 0.5;
        const double fv = v - 0.5;
        const double u0 = std::floor(fu);
        const double v0 = std::floor(fv);
        const float wu = static_cast<float>(fu - u0);
        const float wv = static_cast<float>(fv - v0);
        const int iu = static_cast<int>(u0);
        const int iv = static_cast<int>(v0);
        const uint8_t* t00 = TexelAt(texture, iu, iv);
        const uint8_t* t10 = TexelAt(texture, iu + 1, iv);
        const uint8_t* t01 = TexelAt(texture, iu, iv + 1);
        const uint8_t* t11 = TexelAt(texture, iu + 1, iv + 1);
        const float w00 = (1 - wu) * (1 - wv), w10 = wu * (1 - wv);
        const float w01 = (1 - wu) * wv, w11 = wu * wv;
        float sample[4];
        for (int c = 0; c < 4; ++c) {
          sample[c] = t00[c] * w00 + t10[c] * w10 + t01[c] * w01 + t11[c] * w11;
        }
        colour[0] = sample[0]; colour[1] = sample[1]; colour[2] = sample[2];
        texelAlpha = sample[3];
      } else {
        const uint8_t* t = TexelAt(texture, static_cast<int>(u), static_cast<int>(v));
        colour[0] = t[0]; colour[1] = t[1]; colour[2] = t[2];
        texelAlpha = t[3];
      }
      uint8_t* target = pixels + (static_cast<size_t>(py) * SurfaceWidth + px) * 4;
      BlendInto(pair, target, colour, texelAlpha / 255.0f * intensityScale);
    }
  }
}

}  // namespace

bool OpenCpuSurface() {
  CloseCpuSurface();
  Surface.pixels.assign(static_cast<size_t>(SurfaceWidth) * SurfaceHeight * 4, 0);
  for (size_t i = 3; i < Surface.pixels.size(); i += 4) Surface.pixels[i] = 255;
  Surface.open = true;
  return true;
}

void CloseCpuSurface() {
  Surface = CpuSurfaceState();
}

uint8_t* CpuSurfacePixels() { return Surface.open ? Surface.pixels.data() : nullptr; }

int CpuSurfacePresentCount() { return Surface.presentCount; }

const std::vector<CpuDrawRecord>& CpuSurfaceDraws() { return Surface.draws; }

Texture* CreateTexture(const uint8_t* rgba, int width, int height) {
  if (!Surface.open || rgba == nullptr) return nullptr;
  if (width <= 0 || height <= 0 || width > MaxTextureSide || height > MaxTextureSide) return nullptr;
  auto texture = std::make_unique<Texture>();
  texture->width = width;
  texture->height = height;
  texture->rgba.assign(rgba, rgba + static_cast<size_t>(width) * height * 4);
  Surface.textures.push_back(std::move(texture));
  return Surface.textures.back().get();
}

Sprite* CreateSprite(Texture* texture) {
  if (!Surface.open || texture == nullptr) return nullptr;
  auto sprite = std::make_unique<Sprite>();
  sprite->texture = texture;
  Surface.sprites.push_back(std::move(sprite));
  return Surface.sprites.back().get();
}

void BeginFrame() {
  if (!Surface.open) return;
  Surface.inFrame = true;
  Surface.bilinear = Surface.filteringSetting != 0;
  Surface.draws.clear();
}

void DrawSprite(Sprite* sprite, int32_t x, int32_t y, int intensity) {
  if (!Surface.inFrame || sprite == nullptr || sprite->texture == nullptr) return;
  intensity = std::min(std::max(intensity, 0), 255);
  Surface.draws.push_back({sprite, x, y, intensity, Surface.sourceBlend,
                           Surface.destinationBlend, sprite->degrees, Surface.bilinear});
  const float intensityScale = intensity / 255.0f;
  // Unturned, every pixel centre falls on a texel centre, where bilinear
  // and nearest sampling both give the texel itself.
  if (sprite->degrees == 0.0f) {
    DrawUnturned(*sprite->texture, x, y, intensityScale);
  } else if (std::isfinite(sprite->degrees)) {
    DrawTurned(*sprite->texture, x, y, sprite->degrees, intensityScale);
  }
}

void SetBlendFactors(int source, int destination) {
  if (!KnownBlendCode(source) || !KnownBlendCode(destination)) return;
  Surface.sourceBlend = source;
  Surface.destinationBlend = destination;
}

void RotateSprite(Sprite* sprite, float degrees, int relative) {
  if (sprite == nullptr) return;
  sprite->degrees = relative ? sprite->degrees + degrees : degrees;
}

void SetSpriteFiltering(int bilinear) {
  Surface.filteringSetting = bilinear;
  if (Surface.inFrame) Surface.bilinear = bilinear != 0;
}

void EndFrame() {
  Surface.inFrame = false;
  Surface.bilinear = false;
}

void PresentFrame() {
  if (!Surface.open) return;
  Surface.inFrame = false;  // presenting ends a frame left open
  ++Surface.presentCount;
  Surface.bilinear = false;
}
