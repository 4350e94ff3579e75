// Reading the one kind of TGA that mipmill converts: uncompressed 24- or
// 32-bit pixels right behind the 18-byte header, each side a power of two
// from 8 to 1024.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "mipmill/picture.h"

namespace mipmill {

// The three header fields the encoder depends on. The rest of the header (ID
// length, colour map, image type, origin, descriptor) is not looked at, so a
// file with an ID field or a top-down origin is read as if it had neither.
struct TgaHeader {
  static constexpr size_t kSize = 18;
  static constexpr size_t kWidthOffset = 12;
  static constexpr size_t kHeightOffset = 14;
  static constexpr size_t kDepthOffset = 16;

  int32_t width = 0;
  int32_t height = 0;
  int32_t depth = 0;

  static TgaHeader Read(std::span<const uint8_t, kSize> bytes);
  void Write(std::span<uint8_t, kSize> bytes) const;  // other fields left as they are
};

// Depth 24 or 32, each side one of 8, 16, ..., 1024 (any pairing).
bool IsAcceptedTgaShape(int32_t width, int32_t height, int32_t depth);

inline constexpr const char* kSizeErrorTitle = "Error";
inline constexpr const char* kSizeErrorText = "TGA size must be 8,16,32...1024 x 24/32 bit";

enum class LoadResult { kLoaded, kRejected };

// Fills `picture` from the TGA. The first stored row becomes row H-1, the last
// row 0. A shape outside the rule shows the size box and yields kRejected
// with `picture` untouched. A file that cannot be opened or is shorter than
// its header calls for raises FileLayerFailure.
LoadResult LoadTga(const std::string& path, SourcePicture& picture);

}  // namespace mipmill
