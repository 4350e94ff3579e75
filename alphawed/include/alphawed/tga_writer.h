// The uncompressed true-colour TGA that alphawed writes and mipmill reads.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "alphawed/bitmap.h"

namespace alphawed {

// The 18-byte TGA header as written: no image ID, no colour map, image type 2
// (uncompressed true-colour), origin 0, descriptor 0 (rows bottom-up, and no
// alpha-bit count even in 32-bit files, as the reader expects).
struct TgaHeader {
  static constexpr size_t kSize = 18;
  static constexpr std::uint8_t kTrueColour = 2;

  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t pixel_depth = 0;  // 24 or 32
  std::uint8_t image_type = kTrueColour;
  std::uint8_t descriptor = 0;

  void Write(std::span<std::uint8_t, kSize> out) const;
  static TgaHeader Read(std::span<const std::uint8_t, kSize> in);
};

// The whole TGA file: the header, then the rows bottom-up, each pixel blue,
// green, red of `colour` and, with an alpha bitmap, the red component of the
// alpha bitmap's pixel at the same place (255 outside it). The colour bitmap's
// sides must not exceed kMaxSide.
std::vector<std::uint8_t> EncodeTga(const Bitmap& colour, const Bitmap* alpha);

}  // namespace alphawed
