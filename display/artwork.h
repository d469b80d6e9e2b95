// The gauge artwork: eight complete PNG files compiled into the program, so
// no image file is read at run time. The table and the bytes are generated
// into the build tree from assets/*.png (cmake/embed_artwork.cmake).
// Read-only data; any thread.
#pragma once
#include <cstddef>
#include <cstdint>

struct ArtworkImage {
  const char* name;       // file name in assets/, e.g. "face.png"
  const uint8_t* bytes;   // the whole PNG file
  size_t size;
};

// The eight images, in the order face, needle, counter back, dot, ring,
// digit strip, hatched strip, tape.
extern const ArtworkImage ArtworkImages[];
extern const int ArtworkImageCount;

// The image of that file name, or null.
const ArtworkImage* FindArtwork(const char* name);
