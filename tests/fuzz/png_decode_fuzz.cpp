// Fuzz target: DecodePng fed arbitrary bytes as a PNG file.
//
// libpng refuses a chunk whose CRC does not match, so nearly every mutation
// of a seed would end at the first changed chunk. Each input is therefore
// decoded twice: as it is, and with the CRC of every whole chunk recomputed,
// which lets changed headers, palettes and image data reach the decoding.
//
// Checked on every input:
//   - no read outside the input, no overflow of the pixel buffer, no leak,
//     no undefined behaviour, including on libpng's longjmp error paths
//     (AddressSanitizer, LeakSanitizer, UndefinedBehaviorSanitizer);
//   - a success gives a non-empty image within PngMaxSide on each side with
//     exactly width x height x 4 bytes of pixels;
//   - a failure leaves the image empty, whatever it held before.
// libpng and zlib are the system's and not instrumented: coverage guidance
// comes from the decoder's own code only, memory checks inside them from
// ASan's interceptors.
// Dependencies: display/png_decode.cpp, libpng, zlib (crc32).
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "display/png_decode.h"

namespace {

uint32_t LoadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// The input with each whole chunk's CRC (over its type and data) made
// right; false when nothing needed to change.
bool FixChunkCrcs(const uint8_t* data, size_t size, std::vector<uint8_t>* fixed) {
  fixed->assign(data, data + size);
  bool changed = false;
  size_t pos = 8;  // after the signature
  while (size >= 12 && pos <= size - 12) {
    uint32_t length = LoadBe32(data + pos);
    if (length > size - pos - 12) break;
    uint8_t* typeAndData = fixed->data() + pos + 4;
    uint32_t crc = static_cast<uint32_t>(crc32(0, typeAndData, 4 + length));
    uint8_t* stored = typeAndData + 4 + length;
    if (LoadBe32(stored) != crc) {
      stored[0] = static_cast<uint8_t>(crc >> 24);
      stored[1] = static_cast<uint8_t>(crc >> 16);
      stored[2] = static_cast<uint8_t>(crc >> 8);
      stored[3] = static_cast<uint8_t>(crc);
      changed = true;
    }
    pos += 12 + static_cast<size_t>(length);
  }
  return changed;
}

void DecodeAndCheck(const uint8_t* data, size_t size) {
  DecodedImage image;
  image.width = 1;  // stale content that a failed decode must clear
  image.height = 1;
  image.rgba.assign(4, 0xAB);
  if (!DecodePng(data, size, &image)) {
    if (image.width != 0 || image.height != 0 || !image.rgba.empty()) std::abort();
    return;
  }
  if (image.width < 1 || image.width > PngMaxSide || image.height < 1 ||
      image.height > PngMaxSide) {
    std::abort();
  }
  if (image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodeAndCheck(data, size);
  // An exact-size copy, so that ASan sees any read past its end.
  std::vector<uint8_t> fixed;
  if (FixChunkCrcs(data, size, &fixed)) DecodeAndCheck(fixed.data(), fixed.size());
  return 0;
}
