// PNG decoding from memory with libpng (see png_decode.h).
//
// libpng reports errors by longjmp back to a setjmp. A longjmp must not
// skip a C++ destructor, so the two functions that set the jump target
// (ReadHeader, ReadPixels) hold only plain data, and the pixel vector is
// sized between them, outside any jump's reach. The read and info structs
// are released on every path by DecodePng.
#include "display/png_decode.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

namespace {

struct MemoryReader {
  const uint8_t* data;
  size_t size;
  size_t offset;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  MemoryReader* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (length > reader->size - reader->offset) png_error(png, "truncated");
  std::memcpy(out, reader->data + reader->offset, length);
  reader->offset += length;
}

// Neither prints: the gauge logs nothing.
void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnPngWarning(png_structp, png_const_charp) {}

// Reads the header and sets the conversions to 8-bit RGBA. False on error.
bool ReadHeader(png_structp png, png_infop info, MemoryReader* reader,
                png_uint_32* width, png_uint_32* height, int* passes) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, reader, ReadFromMemory);
  png_set_user_limits(png, PngMaxSide, PngMaxSide);
  png_read_info(png, info);

  int colourType = png_get_color_type(png, info);
  int bitDepth = png_get_bit_depth(png, info);
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (bitDepth == 16) png_set_strip_16(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  if (!(colourType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS)) {
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  }
  *passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  *width = png_get_image_width(png, info);
  *height = png_get_image_height(png, info);
  if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != 4 ||
      png_get_rowbytes(png, info) != static_cast<size_t>(*width) * 4) {
    return false;
  }
  return true;
}

// Reads every row of every pass into `pixels`, then the file's end. False on error.
bool ReadPixels(png_structp png, png_infop info, uint8_t* pixels,
                png_uint_32 width, png_uint_32 height, int passes) {
  if (setjmp(png_jmpbuf(png))) return false;
  size_t stride = static_cast<size_t>(width) * 4;
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, pixels + y * stride, nullptr);
  }
  png_read_end(png, info);
  return true;
}

bool ResizePixels(std::vector<uint8_t>* pixels, size_t size) {
  try {
    pixels->resize(size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, DecodedImage* image) {
  *image = DecodedImage();
  if (data == nullptr || size < 8 || png_sig_cmp(data, 0, 8) != 0) return false;

  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }

  MemoryReader reader = {data, size, 0};
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int passes = 1;
  bool ok = ReadHeader(png, info, &reader, &width, &height, &passes) &&
            ResizePixels(&image->rgba, static_cast<size_t>(width) * height * 4) &&
            ReadPixels(png, info, image->rgba.data(), width, height, passes);
  png_destroy_read_struct(&png, &info, nullptr);

  if (!ok) {
    *image = DecodedImage();
    return false;
  }
  image->width = static_cast<int>(width);
  image->height = static_cast<int>(height);
  return true;
}
