// artbench [rounds]: times DecodePng over the eight embedded images (the
// whole start-up decode) and, as a baseline in the same run, zlib's inflate
// of the same images' compressed data into buffers of the same size: the
// part of the work that no PNG decoder can skip. Prints the median round of
// each and their ratio. Not a test: it asserts nothing.
// Depends on display/artwork, display/png_decode, libpng, zlib.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "display/artwork.h"
#include "display/png_decode.h"

namespace {

uint32_t Be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

struct Inflatable {
  std::vector<uint8_t> compressed;   // the IDAT chunks' data, joined
  size_t rawSize;                    // filter bytes and pixel rows
};

Inflatable ImageData(const ArtworkImage& art) {
  Inflatable out;
  out.rawSize = 0;
  for (size_t at = 8; at + 12 <= art.size;) {
    uint32_t length = Be32(art.bytes + at);
    const uint8_t* type = art.bytes + at + 4;
    if (std::equal(type, type + 4, "IHDR")) {
      uint32_t w = Be32(type + 4), h = Be32(type + 8);
      out.rawSize = size_t(h) * (1 + size_t(w) * 4);
    }
    if (std::equal(type, type + 4, "IDAT")) out.compressed.insert(out.compressed.end(), type + 4, type + 4 + length);
    at += 12 + length;
  }
  return out;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Now() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
  if (rounds < 1) rounds = 1;
  std::vector<Inflatable> data;
  size_t pixels = 0;
  for (int i = 0; i < ArtworkImageCount; ++i) data.push_back(ImageData(ArtworkImages[i]));

  std::vector<double> decode, inflateOnly;
  std::vector<uint8_t> raw;
  for (int round = 0; round < rounds; ++round) {
    double t0 = Now();
    pixels = 0;
    for (int i = 0; i < ArtworkImageCount; ++i) {
      DecodedImage image;
      if (!DecodePng(ArtworkImages[i].bytes, ArtworkImages[i].size, &image)) {
        std::printf("decode of %s failed\n", ArtworkImages[i].name);
        return 1;
      }
      pixels += image.rgba.size() / 4;
    }
    double t1 = Now();
    for (const Inflatable& d : data) {
      raw.assign(d.rawSize, 0);
      uLongf size = static_cast<uLongf>(raw.size());
      if (uncompress(raw.data(), &size, d.compressed.data(), static_cast<uLong>(d.compressed.size())) != Z_OK) {
        std::printf("inflate failed\n");
        return 1;
      }
    }
    double t2 = Now();
    decode.push_back(t1 - t0);
    inflateOnly.push_back(t2 - t1);
  }
  double d = Median(decode), z = Median(inflateOnly);
  std::printf("eight images, %zu pixels, median of %d rounds\n", pixels, rounds);
  std::printf("DecodePng, all eight:   %8.3f ms\n", d);
  std::printf("zlib inflate only:      %8.3f ms\n", z);
  std::printf("decode / inflate:       %8.2f\n", d / z);
  return 0;
}
