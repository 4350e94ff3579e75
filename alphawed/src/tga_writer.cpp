#include "alphawed/tga_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>


namespace alphawed {

namespace {

void PutU16(std::span<std::uint8_t> out, size_t at, std::uint16_t value) {
  out[at] = static_cast<std::uint8_t>(value & 0xFF);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t GetU16(std::span<const std::uint8_t> in, size_t at) {
  return static_cast<std::uint16_t>(in[at] | (in[at + 1] << 8));
}

// Field offsets of the header.
constexpr size_t kImageTypeAt = 2;
constexpr size_t kWidthAt = 12;
constexpr size_t kHeightAt = 14;
constexpr size_t kDepthAt = 16;
constexpr size_t kDescriptorAt = 17;

}  // namespace

void TgaHeader::Write(std::span<std::uint8_t, kSize> out) const {
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  out[kImageTypeAt] = image_type;
  PutU16(out, kWidthAt, width);
  PutU16(out, kHeightAt, height);
  out[kDepthAt] = pixel_depth;
  out[kDescriptorAt] = descriptor;
}

TgaHeader TgaHeader::Read(std::span<const std::uint8_t, kSize> in) {
  TgaHeader header;
  header.image_type = in[kImageTypeAt];
  header.width = GetU16(in, kWidthAt);
  header.height = GetU16(in, kHeightAt);
  header.pixel_depth = in[kDepthAt];
  header.descriptor = in[kDescriptorAt];
  return header;
}

std::vector<std::uint8_t> EncodeTga(const Bitmap& colour, const Bitmap* alpha) {
  const std::uint32_t width = colour.width();
  const std::uint32_t height = colour.height();
  if (width > kMaxSide || height > kMaxSide) {
    throw std::invalid_argument("EncodeTga: bitmap too large for a TGA picture");
  }
  const size_t bytes_per_pixel = alpha != nullptr ? 4 : 3;
  std::vector<std::uint8_t> file(TgaHeader::kSize + size_t{width} * height * bytes_per_pixel);

  TgaHeader header;
  header.width = static_cast<std::uint16_t>(width);
  header.height = static_cast<std::uint16_t>(height);
  header.pixel_depth = static_cast<std::uint8_t>(bytes_per_pixel * 8);
  header.Write(std::span<std::uint8_t, TgaHeader::kSize>(file.data(), TgaHeader::kSize));

  // Alpha comes from the alpha bitmap's top-left corner; the columns and rows
  // it does not cover read as 255.
  const std::uint32_t alpha_width = alpha != nullptr ? std::min(width, alpha->width()) : 0;
  const std::uint32_t alpha_height = alpha != nullptr ? alpha->height() : 0;

  std::uint8_t* out = file.data() + TgaHeader::kSize;
  for (std::uint32_t y = height; y-- > 0;) {
    const std::uint8_t* rgb = colour.Row(y);
    if (alpha == nullptr) {
      for (std::uint32_t x = 0; x < width; ++x, rgb += 3, out += 3) {
        out[0] = rgb[2];
        out[1] = rgb[1];
        out[2] = rgb[0];
      }
      continue;
    }
    const std::uint8_t* alpha_rgb = y < alpha_height ? alpha->Row(y) : nullptr;
    const std::uint32_t covered = alpha_rgb != nullptr ? alpha_width : 0;
    std::uint32_t x = 0;
    for (; x < covered; ++x, rgb += 3, alpha_rgb += 3, out += 4) {
      out[0] = rgb[2];
      out[1] = rgb[1];
      out[2] = rgb[0];
      out[3] = alpha_rgb[0];
    }
    for (; x < width; ++x, rgb += 3, out += 4) {
      out[0] = rgb[2];
      out[1] = rgb[1];
      out[2] = rgb[0];
      out[3] = 255;
    }
  }
  return file;
}

}  // namespace alphawed
