// Looking up the embedded artwork by file name. The table itself is
// generated (see display/artwork.h).
#include "display/artwork.h"

#include <cstring>

const ArtworkImage* FindArtwork(const char* name) {
  for (int i = 0; i < ArtworkImageCount; ++i) {
    if (std::strcmp(ArtworkImages[i].name, name) == 0) return &ArtworkImages[i];
  }
  return nullptr;
}
