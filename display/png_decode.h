// Decoding a PNG file held in memory into RGBA8 pixels, with libpng.
//
// Any PNG that libpng reads is accepted and converted to 8-bit RGBA (palette,
// grey, 16-bit and interlaced images included); colour values are taken as
// stored, without gamma correction. Images wider or taller than
// PngMaxSide are refused before any pixel memory is taken.
// Depends on libpng and zlib. No shared state: any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int PngMaxSide = 8192;

struct DecodedImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;   // rows top first, 4 bytes a pixel, straight alpha
};

// True with `image` filled; false for malformed, truncated or oversized
// data, with `image` left empty. Reports nothing.
bool DecodePng(const uint8_t* data, size_t size, DecodedImage* image);
