// 24-bit Windows bitmaps of decoded pictures: the colour, or the alpha
// channel spread over red, green and blue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "fshtool/pack.h"

namespace fshtool {

// The 14-byte file header and the 40-byte information header of an
// uncompressed 24-bit bottom-up bitmap.
struct BmpHeader {
  static constexpr std::size_t kFileHeaderSize = 14;
  static constexpr std::size_t kInfoHeaderSize = 40;
  static constexpr std::size_t kSize = kFileHeaderSize + kInfoHeaderSize;
  static constexpr std::uint16_t kBitsPerPixel = 24;
  static constexpr std::uint32_t kPixelsPerMetre = 2835;  // 72 dots per inch

  std::uint32_t width = 0;
  std::uint32_t height = 0;

  // Each row padded to a multiple of four bytes.
  static std::uint64_t RowBytes(std::uint32_t width) { return (std::uint64_t{width} * 3 + 3) / 4 * 4; }
  std::uint64_t ImageBytes() const { return RowBytes(width) * height; }
  std::uint64_t FileBytes() const { return kSize + ImageBytes(); }
  void Write(std::uint8_t* p) const;
};

enum class BmpPlane { kColour, kAlpha };

// Receives the file in pieces: the header, then one padded row at a time.
using BmpSink = std::function<bool(const std::uint8_t* bytes, std::size_t count)>;

// Writes the picture as a bitmap, bottom row first. False as soon as the
// sink refuses a piece.
bool WriteBmp(const Picture& picture, BmpPlane plane, const BmpSink& sink);

}  // namespace fshtool
