// The drawing surface: what the gauge needs of a 2D sprite facility.
//
// One header, two implementations chosen at link time:
//   surface_d3d9.cpp  the window's Direct3D 9 surface (the exe, Wine tests)
//   surface_cpu.cpp   a 420 x 420 RGBA buffer in memory (host tests, tools)
// Opening and closing a surface is platform business and lives in
// surface_d3d9.h and surface_cpu.h.
//
// All functions: main thread only.
#pragma once
#include <cstdint>

constexpr int SurfaceWidth = 420;
constexpr int SurfaceHeight = 420;

// Blend factor codes taken by SetBlendFactors.
constexpr int BlendZero = 1;
constexpr int BlendSrcAlpha = 5;      // the sprite's alpha, after intensity
constexpr int BlendInvSrcAlpha = 6;   // one minus the sprite's alpha, after intensity

struct Texture;
struct Sprite;

// A texture of exactly width x height from RGBA rows, top row first,
// 4 bytes per pixel, straight alpha. Null on failure. Textures live until
// the surface is closed.
Texture* CreateTexture(const uint8_t* rgba, int width, int height);

// One sprite on a texture: unrotated, the texture's size, white colour.
// Null for a null texture.
Sprite* CreateSprite(Texture* texture);

// Opens a frame. Does not clear the target.
void BeginFrame();

// Draws the sprite unscaled with its top-left texel on pixel (x, y), turned
// by its current rotation about its centre; alpha is scaled by
// intensity / 255. A null sprite draws nothing.
void DrawSprite(Sprite* sprite, int32_t x, int32_t y, int intensity = 255);

// The blend factor pair for all later draws, across frames.
void SetBlendFactors(int source, int destination);

// relative == 0: the angle (degrees, clockwise on screen) replaces the
// sprite's rotation; otherwise it is added. A null sprite is ignored.
void RotateSprite(Sprite* sprite, float degrees, int relative);

// 1 = bilinear, 0 = nearest texel. Applied at each BeginFrame, and at once
// inside a frame.
void SetSpriteFiltering(int bilinear);

// Closes the frame's sprite state; sampling returns to nearest texel.
void EndFrame();

// Shows the whole target in the window at the next vertical blank. The
// target keeps its pixels.
void PresentFrame();
