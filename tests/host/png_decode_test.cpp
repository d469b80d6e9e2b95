// DecodePng: the embedded artwork decodes to its sizes; PNGs of every colour
// type, depth and interlacing become the same straight RGBA; malformed,
// truncated and oversized files are refused cleanly (ASan and LeakSanitizer
// watch the error paths).
//
// The test writes its own PNGs (stored deflate blocks, so it needs no zlib),
// which lets it make files that are broken in exactly one way.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "display/artwork.h"
#include "display/png_decode.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutBe32(Bytes* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(v >> shift));
}

void AddChunk(Bytes* png, const char* type, const Bytes& data) {
  PutBe32(png, static_cast<uint32_t>(data.size()));
  size_t start = png->size();
  png->insert(png->end(), type, type + 4);
  png->insert(png->end(), data.begin(), data.end());
  PutBe32(png, Crc32(png->data() + start, png->size() - start));
}

// A zlib stream of stored (uncompressed) blocks.
Bytes StoredZlib(const Bytes& raw) {
  Bytes out = {0x78, 0x01};
  size_t at = 0;
  do {
    size_t n = std::min<size_t>(raw.size() - at, 65535);
    out.push_back(at + n == raw.size() ? 1 : 0);
    out.push_back(static_cast<uint8_t>(n));
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.push_back(static_cast<uint8_t>(~n));
    out.push_back(static_cast<uint8_t>(~n >> 8));
    out.insert(out.end(), raw.begin() + at, raw.begin() + at + n);
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (uint8_t v : raw) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(&out, (b << 16) | a);
  return out;
}

// A PNG whose samples are given row by row, packed as the format stores them
// (`bytesPerPixel` is for whole-byte formats; 1-bit grey packs 8 to a byte).
struct PngSpec {
  uint32_t width;
  uint32_t height;
  uint8_t bitDepth;
  uint8_t colourType;
  bool interlaced;
  std::vector<Bytes> rows;        // packed samples of each full row
  Bytes palette;                  // PLTE data, if any
  Bytes transparency;             // tRNS data, if any
};

int BitsPerPixel(const PngSpec& sample) {
  int channels = sample.colourType == 0 ? 1 : sample.colourType == 2 ? 3 : sample.colourType == 3 ? 1
               : sample.colourType == 4 ? 2 : 4;
  return channels * sample.bitDepth;
}

// Pixel x of a packed row, as its bytes (whole-byte formats only).
Bytes PixelBytes(const PngSpec& sample, const Bytes& row, uint32_t x) {
  int bytes = BitsPerPixel(sample) / 8;
  return Bytes(row.begin() + x * bytes, row.begin() + (x + 1) * bytes);
}

Bytes EncodePng(const PngSpec& sample) {
  Bytes raw;
  if (!sample.interlaced) {
    for (const Bytes& row : sample.rows) {
      raw.push_back(0);
      raw.insert(raw.end(), row.begin(), row.end());
    }
  } else {
    // Adam7: seven passes over sub-grids, each row with its own filter byte.
    static const int x0[] = {0, 4, 0, 2, 0, 1, 0}, dx[] = {8, 8, 4, 4, 2, 2, 1};
    static const int y0[] = {0, 0, 4, 0, 2, 0, 1}, dy[] = {8, 8, 8, 4, 4, 2, 2};
    for (int pass = 0; pass < 7; ++pass) {
      if (static_cast<uint32_t>(x0[pass]) >= sample.width) continue;
      for (uint32_t y = y0[pass]; y < sample.height; y += dy[pass]) {
        raw.push_back(0);
        for (uint32_t x = x0[pass]; x < sample.width; x += dx[pass]) {
          Bytes px = PixelBytes(sample, sample.rows[y], x);
          raw.insert(raw.end(), px.begin(), px.end());
        }
      }
    }
  }
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes ihdr;
  PutBe32(&ihdr, sample.width);
  PutBe32(&ihdr, sample.height);
  ihdr.insert(ihdr.end(), {sample.bitDepth, sample.colourType, 0, 0, static_cast<uint8_t>(sample.interlaced)});
  AddChunk(&png, "IHDR", ihdr);
  if (!sample.palette.empty()) AddChunk(&png, "PLTE", sample.palette);
  if (!sample.transparency.empty()) AddChunk(&png, "tRNS", sample.transparency);
  AddChunk(&png, "IDAT", StoredZlib(raw));
  AddChunk(&png, "IEND", {});
  return png;
}

// 7 x 5 RGBA8 test picture: every pixel different, alpha 0 and 127 with
// colour behind them, so premultiplying or dropping colour would show.
PngSpec Rgba8Picture(bool interlaced) {
  PngSpec sample{7, 5, 8, 6, interlaced, {}, {}, {}};
  for (uint32_t y = 0; y < 5; ++y) {
    Bytes row;
    for (uint32_t x = 0; x < 7; ++x) {
      uint8_t alpha = (x + y) % 3 == 0 ? 0 : (x + y) % 3 == 1 ? 127 : 255;
      row.insert(row.end(), {static_cast<uint8_t>(30 * x + 5), static_cast<uint8_t>(40 * y + 7),
                             static_cast<uint8_t>(200 - 9 * x - 11 * y), alpha});
    }
    sample.rows.push_back(row);
  }
  return sample;
}

bool Decode(const Bytes& png, DecodedImage* image) { return DecodePng(png.data(), png.size(), image); }

void ExpectRejected(const Bytes& png, const std::string& what) {
  DecodedImage image;
  image.width = 5;
  image.rgba.assign(10, 1);
  EXPECT_FALSE(Decode(png, &image)) << what;
  EXPECT_EQ(image.width, 0) << what;
  EXPECT_EQ(image.height, 0) << what;
  EXPECT_TRUE(image.rgba.empty()) << what;
}

}  // namespace

TEST(PngDecode, EveryEmbeddedImageDecodesToItsSize) {
  struct Case {
    const char* name;
    int width;
    int height;
  };
  const Case cases[] = {
      {"face.png", 420, 420},       {"needle.png", 198, 198},
      {"counter_back.png", 142, 52}, {"off_flag_dot.png", 30, 30},
      {"off_flag_ring.png", 30, 30}, {"digit_drum.png", 24, 400},
      {"ten_thousands_drum.png", 24, 400}, {"ias_tape.png", 1900, 80},
  };
  ASSERT_EQ(ArtworkImageCount, 8);
  for (const Case& c : cases) {
    const ArtworkImage* art = FindArtwork(c.name);
    ASSERT_NE(art, nullptr) << c.name;
    DecodedImage image;
    ASSERT_TRUE(DecodePng(art->bytes, art->size, &image)) << c.name;
    EXPECT_EQ(image.width, c.width) << c.name;
    EXPECT_EQ(image.height, c.height) << c.name;
    EXPECT_EQ(image.rgba.size(), static_cast<size_t>(c.width) * c.height * 4) << c.name;
  }
  EXPECT_EQ(FindArtwork("missing.png"), nullptr);
}

TEST(PngDecode, EmbeddedPixelsArriveAsStored) {
  // The counter plate is one colour; the strip's last row is half transparent
  // with its colour intact (a premultiplying decoder would darken it).
  DecodedImage plate, strip;
  const ArtworkImage* art = FindArtwork("counter_back.png");
  ASSERT_TRUE(DecodePng(art->bytes, art->size, &plate));
  for (size_t i = 0; i < plate.rgba.size(); i += 4) {
    ASSERT_EQ(Bytes(plate.rgba.begin() + i, plate.rgba.begin() + i + 4), (Bytes{74, 60, 51, 255}));
  }
  art = FindArtwork("digit_drum.png");
  ASSERT_TRUE(DecodePng(art->bytes, art->size, &strip));
  const uint8_t* last = &strip.rgba[399 * 24 * 4];
  EXPECT_EQ(Bytes(last, last + 4), (Bytes{74, 60, 51, 127}));
  const uint8_t* top = &strip.rgba[0];
  EXPECT_EQ(Bytes(top, top + 4), (Bytes{74, 60, 51, 255}));
}

TEST(PngDecode, EveryFormatBecomesStraightRgba8) {
  PngSpec rgba = Rgba8Picture(false);
  // Expected RGBA of the 7 x 5 picture, and the same picture in other formats.
  Bytes expected;
  for (const Bytes& row : rgba.rows) expected.insert(expected.end(), row.begin(), row.end());

  PngSpec rgb{7, 5, 8, 2, false, {}, {}, {}};
  PngSpec grey{7, 5, 8, 0, false, {}, {}, {}};
  PngSpec greyAlpha{7, 5, 8, 4, false, {}, {}, {}};
  PngSpec rgba16{7, 5, 16, 6, false, {}, {}, {}};
  Bytes rgbExpected, greyExpected, greyAlphaExpected;
  for (uint32_t y = 0; y < 5; ++y) {
    Bytes rgbRow, greyRow, greyAlphaRow, rgba16Row;
    for (uint32_t x = 0; x < 7; ++x) {
      const uint8_t* p = &rgba.rows[y][x * 4];
      rgbRow.insert(rgbRow.end(), p, p + 3);
      rgbExpected.insert(rgbExpected.end(), {p[0], p[1], p[2], 255});
      greyRow.push_back(p[0]);
      greyExpected.insert(greyExpected.end(), {p[0], p[0], p[0], 255});
      greyAlphaRow.insert(greyAlphaRow.end(), {p[1], p[3]});
      greyAlphaExpected.insert(greyAlphaExpected.end(), {p[1], p[1], p[1], p[3]});
      // 16 bits: the high byte is the 8-bit value, the low byte noise.
      for (int c = 0; c < 4; ++c) rgba16Row.insert(rgba16Row.end(), {p[c], static_cast<uint8_t>(0x5A + c)});
    }
    rgb.rows.push_back(rgbRow);
    grey.rows.push_back(greyRow);
    greyAlpha.rows.push_back(greyAlphaRow);
    rgba16.rows.push_back(rgba16Row);
  }

  // Palette of three colours, the second half transparent, the third clear.
  PngSpec palette{4, 2, 8, 3, false, {{0, 1, 2, 1}, {2, 2, 0, 1}}, {10, 20, 30, 40, 50, 60, 70, 80, 90}, {255, 127, 0}};
  Bytes paletteExpected = {10, 20, 30, 255, 40, 50, 60, 127, 70, 80, 90, 0, 40, 50, 60, 127,
                           70, 80, 90, 0,   70, 80, 90, 0,   10, 20, 30, 255, 40, 50, 60, 127};
  // 1-bit grey, 10 px wide: 0b10110011 01......
  PngSpec bits{10, 1, 1, 0, false, {{0xB3, 0x40}}, {}, {}};
  Bytes bitsExpected;
  for (int v : {1, 0, 1, 1, 0, 0, 1, 1, 0, 1}) {
    uint8_t g = v ? 255 : 0;
    bitsExpected.insert(bitsExpected.end(), {g, g, g, 255});
  }

  struct Case {
    const char* what;
    PngSpec sample;
    Bytes expected;
  };
  const Case cases[] = {
      {"RGBA 8", rgba, expected},
      {"RGBA 8 interlaced", Rgba8Picture(true), expected},
      {"RGBA 16", rgba16, expected},
      {"RGB 8", rgb, rgbExpected},
      {"grey 8", grey, greyExpected},
      {"grey + alpha 8", greyAlpha, greyAlphaExpected},
      {"palette with transparency", palette, paletteExpected},
      {"grey 1 bit", bits, bitsExpected},
  };
  for (const Case& c : cases) {
    DecodedImage image;
    ASSERT_TRUE(Decode(EncodePng(c.sample), &image)) << c.what;
    EXPECT_EQ(image.width, static_cast<int>(c.sample.width)) << c.what;
    EXPECT_EQ(image.height, static_cast<int>(c.sample.height)) << c.what;
    EXPECT_EQ(image.rgba, c.expected) << c.what;
  }
}

TEST(PngDecode, InterlacedImageOfOddSizeMatchesPlainOne) {
  // 13 x 11 leaves every Adam7 pass partly filled.
  PngSpec plain{13, 11, 8, 6, false, {}, {}, {}};
  for (uint32_t y = 0; y < 11; ++y) {
    Bytes row;
    for (uint32_t x = 0; x < 13; ++x) {
      row.insert(row.end(), {static_cast<uint8_t>(x * 19 + y), static_cast<uint8_t>(y * 23),
                             static_cast<uint8_t>(x ^ y), static_cast<uint8_t>(255 - x - y)});
    }
    plain.rows.push_back(row);
  }
  PngSpec interlaced = plain;
  interlaced.interlaced = true;
  DecodedImage a, b;
  ASSERT_TRUE(Decode(EncodePng(plain), &a));
  ASSERT_TRUE(Decode(EncodePng(interlaced), &b));
  EXPECT_EQ(a.rgba, b.rgba);
}

TEST(PngDecode, MalformedFilesAreRejected) {
  const Bytes good = EncodePng(Rgba8Picture(false));
  DecodedImage check;
  ASSERT_TRUE(Decode(good, &check));

  // Offsets in `good`: signature 0-7, IHDR chunk 8-32 (data 16-28, CRC
  // 29-32), then IDAT and the 12 bytes of IEND.
  auto flipped = [&](size_t at) {
    Bytes b = good;
    b[at] ^= 0x10;
    return b;
  };
  PngSpec wide = Rgba8Picture(false);
  wide.width = PngMaxSide + 1;   // refused from the header, before any allocation
  PngSpec zeroWidth = Rgba8Picture(false);
  zeroWidth.width = 0;
  PngSpec badDepth = Rgba8Picture(false);
  badDepth.bitDepth = 4;         // RGBA has no 4-bit form
  PngSpec shortData = Rgba8Picture(false);
  shortData.rows.pop_back();     // one row of image data missing, CRCs right
  PngSpec badFilter = Rgba8Picture(false);

  struct Case {
    const char* what;
    Bytes png;
  };
  std::vector<Case> cases = {
      {"empty", {}},
      {"signature only", Bytes(good.begin(), good.begin() + 8)},
      {"bad signature", flipped(1)},
      {"IHDR data damaged", flipped(20)},
      {"IHDR CRC damaged", flipped(30)},
      {"IDAT data damaged", flipped(good.size() - 30)},
      {"IEND missing", Bytes(good.begin(), good.end() - 12)},
      {"wider than the limit", EncodePng(wide)},
      {"zero width", EncodePng(zeroWidth)},
      {"impossible bit depth", EncodePng(badDepth)},
      {"too little image data", EncodePng(shortData)},
  };
  // A row filter type that does not exist, behind valid CRCs.
  {
    Bytes raw;
    for (const Bytes& row : badFilter.rows) {
      raw.push_back(9);
      raw.insert(raw.end(), row.begin(), row.end());
    }
    Bytes png(good.begin(), good.begin() + 33);
    AddChunk(&png, "IDAT", StoredZlib(raw));
    AddChunk(&png, "IEND", {});
    cases.push_back({"unknown row filter", png});
  }
  // A zlib stream that is not one, behind valid CRCs.
  {
    Bytes png(good.begin(), good.begin() + 33);
    AddChunk(&png, "IDAT", Bytes(40, 0xFF));
    AddChunk(&png, "IEND", {});
    cases.push_back({"garbage zlib stream", png});
  }
  for (const Case& c : cases) ExpectRejected(c.png, c.what);

  DecodedImage image;
  EXPECT_FALSE(DecodePng(nullptr, 100, &image));
}

TEST(PngDecode, EveryTruncationIsRejected) {
  const Bytes small = EncodePng(Rgba8Picture(true));
  for (size_t n = 0; n < small.size(); ++n) {
    ExpectRejected(Bytes(small.begin(), small.begin() + n), "small image cut at " + std::to_string(n));
  }
  // The face, compressed for real, cut at a spread of places.
  const ArtworkImage* face = FindArtwork("face.png");
  ASSERT_NE(face, nullptr);
  for (size_t n = 0; n < face->size; n += face->size / 97 + 1) {
    DecodedImage image;
    EXPECT_FALSE(DecodePng(face->bytes, n, &image)) << "face cut at " << n;
    EXPECT_TRUE(image.rgba.empty());
  }
}

TEST(PngDecode, DamagedBytesNeverCrash) {
  // Every chunk carries a CRC, so single damaged bytes should all be caught;
  // either way the decoder must stay within its buffers (ASan) and free
  // everything (LeakSanitizer).
  const ArtworkImage* needle = FindArtwork("needle.png");
  ASSERT_NE(needle, nullptr);
  Bytes png(needle->bytes, needle->bytes + needle->size);
  uint32_t seed = 12345;
  int accepted = 0;
  for (int trial = 0; trial < 300; ++trial) {
    seed = seed * 1103515245u + 12345u;
    size_t at = (seed >> 8) % png.size();
    uint8_t old = png[at];
    png[at] = static_cast<uint8_t>(old ^ (1u << ((seed >> 4) % 8)));
    DecodedImage image;
    if (DecodePng(png.data(), png.size(), &image)) {
      ++accepted;
      EXPECT_EQ(image.rgba.size(), static_cast<size_t>(image.width) * image.height * 4);
    }
    png[at] = old;
  }
  EXPECT_EQ(accepted, 0);
}
