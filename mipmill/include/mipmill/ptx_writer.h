// Writing a PTX texture: a 16-byte header, then the mip chain, each level a
// byte count, four zero bytes and its pixels as blue, green, red, alpha,
// row 0 first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "mipmill/picture.h"

namespace mipmill {

struct PtxHeader {
  static constexpr size_t kSize = 16;
  static constexpr uint8_t kTrailerByte = 0x80;  // the three bytes after the level count

  int32_t depth = 0;   // of the source TGA: 24 or 32
  uint32_t width = 0;  // of level 1
  uint32_t height = 0;
  int32_t level_count = 0;  // 1 to 9

  static PtxHeader Read(std::span<const uint8_t, kSize> bytes);
  void Write(std::span<uint8_t, kSize> bytes) const;
};

struct PtxLevelHeader {
  static constexpr size_t kSize = 8;

  uint32_t byte_count = 0;  // width x height x 4 of the level; four zero bytes follow

  static PtxLevelHeader Read(std::span<const uint8_t, kSize> bytes);
  void Write(std::span<uint8_t, kSize> bytes) const;
};

struct LevelSize {
  int32_t width = 0;
  int32_t height = 0;
  friend bool operator==(const LevelSize&, const LevelSize&) = default;
};

// The number of levels a picture allows: log2 of its longer side minus one,
// so that the smallest level has a longer side of 4 (2 for 8, 9 for 1024).
int CountMipLevels(int32_t width, int32_t height);

// The request when it is 1 to `level_count`, otherwise (none, zero, negative
// or too many) all of them.
int LevelsToWrite(int level_count, int level_request);

// Both sides halved, neither below 1.
LevelSize NextLevelSize(LevelSize size);

// Creates the PTX (replacing any file of that name) and writes the chain,
// computing each level in place in `work` from the one before it: every
// value is the integer mean (remainder dropped) of its 2 x 2 block. Once the
// previous level is a single row (or column), the block is the two pixels
// that row really has. A failed create, write or close raises
// FileLayerFailure and leaves the file as far as it got.
void WritePtx(const SourcePicture& picture, int level_request, const std::string& path, MipPlanes& work);

}  // namespace mipmill
