#include "mipmill/tga_reader.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "byte_file.h"
#include "mipmill/texture_pixels.h"
#include "platform/platform.h"

namespace mipmill {

namespace {

int32_t ReadU16(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<int32_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

void WriteU16(std::span<uint8_t> bytes, size_t offset, int32_t value) {
  bytes[offset] = static_cast<uint8_t>(value & 0xFF);
  bytes[offset + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

bool IsAcceptedSide(int32_t side) {
  return side >= 8 && side <= ChannelPlane::kSide && (side & (side - 1)) == 0;
}

}  // namespace

TgaHeader TgaHeader::Read(std::span<const uint8_t, kSize> bytes) {
  TgaHeader header;
  header.width = ReadU16(bytes, kWidthOffset);
  header.height = ReadU16(bytes, kHeightOffset);
  header.depth = bytes[kDepthOffset];
  return header;
}

void TgaHeader::Write(std::span<uint8_t, kSize> bytes) const {
  WriteU16(bytes, kWidthOffset, width);
  WriteU16(bytes, kHeightOffset, height);
  bytes[kDepthOffset] = static_cast<uint8_t>(depth);
}

bool IsAcceptedTgaShape(int32_t width, int32_t height, int32_t depth) {
  return (depth == 24 || depth == 32) && IsAcceptedSide(width) && IsAcceptedSide(height);
}

LoadResult ReadTgaPixels(const std::string& path, TexturePixels& pixels) {
  ByteFile file = ByteFile::OpenForReading(path);

  std::array<uint8_t, TgaHeader::kSize> header_bytes{};
  file.ReadExactly(header_bytes.data(), header_bytes.size());
  const TgaHeader header = TgaHeader::Read(header_bytes);
  if (!IsAcceptedTgaShape(header.width, header.height, header.depth)) {
    pixels.width = header.width;
    pixels.height = header.height;
    pixels.depth = header.depth;
    pixels.bgra.clear();
    return LoadResult::kRejected;  // the file closes as it goes out of scope
  }

  // Sizes are bounded by the check above: a row is at most 1024 x 4 bytes.
  const int32_t width = header.width;
  const int32_t height = header.height;
  const size_t row_bytes = static_cast<size_t>(width) * 4;
  std::vector<uint8_t> bgra(row_bytes * static_cast<size_t>(height));

  if (header.depth == 32) {
    // Stored pixels are already blue, green, red, alpha: each row goes
    // straight to its place, the first stored becoming the last.
    for (int32_t y = height - 1; y >= 0; --y) {
      file.ReadExactly(bgra.data() + static_cast<size_t>(y) * row_bytes, row_bytes);
    }
  } else {
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    for (int32_t y = height - 1; y >= 0; --y) {
      file.ReadExactly(row.data(), row.size());
      uint8_t* out = bgra.data() + static_cast<size_t>(y) * row_bytes;
      const uint8_t* pixel = row.data();
      for (int32_t x = 0; x < width; ++x, pixel += 3, out += 4) {
        out[0] = pixel[0];
        out[1] = pixel[1];
        out[2] = pixel[2];
        out[3] = 0;
      }
    }
  }
  file.Close();

  pixels.width = width;
  pixels.height = height;
  pixels.depth = header.depth;
  pixels.bgra = std::move(bgra);
  return LoadResult::kLoaded;
}

LoadResult LoadTgaPixels(const std::string& path, TexturePixels& pixels) {
  // Read into a scratch form first: a refusal leaves `pixels` untouched.
  TexturePixels read;
  if (ReadTgaPixels(path, read) == LoadResult::kRejected) {
    platform::ShowMessage({kSizeErrorTitle, kSizeErrorText, platform::MessageIcon::kNone, nullptr});
    return LoadResult::kRejected;
  }
  pixels = std::move(read);
  return LoadResult::kLoaded;
}

LoadResult LoadTga(const std::string& path, SourcePicture& picture) {
  TexturePixels pixels;
  if (LoadTgaPixels(path, pixels) == LoadResult::kRejected) return LoadResult::kRejected;
  const size_t width = static_cast<size_t>(pixels.width);
  for (int32_t y = 0; y < pixels.height; ++y) {
    const uint8_t* pixel = pixels.bgra.data() + static_cast<size_t>(y) * width * 4;
    int32_t* const red = picture.red.Row(y);
    int32_t* const green = picture.green.Row(y);
    int32_t* const blue = picture.blue.Row(y);
    int32_t* const alpha = picture.alpha.Row(y);
    for (size_t x = 0; x < width; ++x, pixel += 4) {
      blue[x] = pixel[0];
      green[x] = pixel[1];
      red[x] = pixel[2];
      alpha[x] = pixel[3];
    }
  }
  picture.width = pixels.width;
  picture.height = pixels.height;
  picture.depth = pixels.depth;
  return LoadResult::kLoaded;
}

}  // namespace mipmill
