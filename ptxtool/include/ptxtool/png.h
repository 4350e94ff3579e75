// PNG pictures in memory, read and written through stb_image and
// stb_image_write.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ptxtool {

inline constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool HasPngSignature(std::span<const uint8_t> bytes);

struct PngSize {
  int width = 0;
  int height = 0;
};

// The size its header states, read without decoding any pixel, so a caller
// can refuse a picture before memory is spent on it. nullopt: not a PNG.
std::optional<PngSize> ReadPngSize(std::span<const uint8_t> bytes);

struct PngPicture {
  int width = 0;
  int height = 0;
  // An alpha channel (grey or colour with alpha), or a transparent colour
  // that leaves some pixel less than opaque.
  bool has_alpha = false;
  std::vector<uint8_t> rgba;  // four bytes a pixel, rows top first
};

// Any PNG: grey, colour or palette, with or without alpha, 1 to 16 bits a
// channel (16 bits keep their high byte), interlaced or not. nullopt: damaged
// or not a PNG. Running out of memory raises std::bad_alloc.
std::optional<PngPicture> DecodePng(std::span<const uint8_t> bytes);

// `channels` 3 (red, green, blue) or 4 (with alpha) bytes a pixel, rows top
// first. The same pixels always give the same bytes, on every system.
// Running out of memory raises std::bad_alloc.
std::vector<uint8_t> EncodePng(int width, int height, int channels, std::span<const uint8_t> pixels);

}  // namespace ptxtool
