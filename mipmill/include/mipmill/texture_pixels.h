// The compact form of a picture that the program converts: one buffer of
// interleaved blue, green, red, alpha bytes. A 1024 x 1024 picture takes
// 4 MiB this way instead of the 16 MiB of channel planes, so a run touches
// (and the system maps) a quarter of the memory. Other programs that make
// PTX textures from pictures of their own hand them over in this form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mipmill/tga_reader.h"

namespace mipmill {

struct TexturePixels {
  int32_t width = 0;
  int32_t height = 0;
  int32_t depth = 0;
  // Row 0 is the last row stored in the TGA, as in SourcePicture; a 24-bit
  // picture has alpha 0 everywhere.
  std::vector<uint8_t> bgra;
};

// LoadTga into the compact form: the same checks, boxes and failures.
LoadResult LoadTgaPixels(const std::string& path, TexturePixels& pixels);

// The same without the size box, for callers that report in their own way:
// a refused picture leaves the header's width, height and depth in `pixels`
// (and no pixel bytes), so the caller can say what it found.
LoadResult ReadTgaPixels(const std::string& path, TexturePixels& pixels);

// WritePtx from the compact form: the same file, byte for byte. The sides
// must be accepted ones (IsAcceptedTgaShape) and `bgra` hold them all.
void WritePtxPixels(const TexturePixels& pixels, int level_request, const std::string& path);

// The same file's bytes in memory, for a writer that replaces the target
// only once the whole texture is ready.
std::vector<uint8_t> EncodePtxPixels(const TexturePixels& pixels, int level_request);

}  // namespace mipmill
