// Writes small BMP files for tests, in the kinds that image editors produce:
// 1, 4 and 8 bits with a palette, 16 bits (5-5-5, or 5-6-5 with bit-field
// masks), 24 bits and 32 bits, rows stored bottom-up (the usual way) or
// top-down, with the common 40-byte info header or the 124-byte fifth version. Header-only; pictures are
// made in code, so each test shows its fixture.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace testbmp {

struct Colour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};

// A picture addressed from its top-left corner.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<Colour> pixels;  // top row first

  Picture(int w, int h, Colour fill = {}) : width(w), height(h), pixels(static_cast<size_t>(w * h), fill) {}
  Colour& at(int x, int y) { return pixels[static_cast<size_t>(y * width + x)]; }
  const Colour& at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

struct BmpOptions {
  int bits_per_pixel = 24;       // 1, 4, 8 (palette from the picture's colours), 16, 24 or 32
  bool top_down = false;         // negative height, first row stored is the top one
  std::uint8_t fourth_byte = 0;  // the unused (or alpha) byte of each 32-bit pixel
  // The 124-byte info header; 16 and 32 bits then carry bit-field masks
  // (5-6-5 for 16 bits; 8-8-8-8 with alpha in the top byte for 32 bits).
  bool v5_header = false;
};

// A 16-bit (5-5-5) pixel keeps the top five bits of each component; a decoder
// widens them back by repeating the top bits. The colour a 16-bit file yields.
inline Colour Through555(Colour c) {
  auto widen = [](std::uint8_t v) {
    const int five = v >> 3;
    return static_cast<std::uint8_t>((five << 3) | (five >> 2));
  };
  return Colour{widen(c.red), widen(c.green), widen(c.blue)};
}

// The colour a 16-bit 5-6-5 pixel yields: green keeps six bits.
inline Colour Through565(Colour c) {
  const int r = c.red >> 3, g = c.green >> 2, b = c.blue >> 3;
  return Colour{static_cast<std::uint8_t>((r << 3) | (r >> 2)),
                static_cast<std::uint8_t>((g << 2) | (g >> 4)),
                static_cast<std::uint8_t>((b << 3) | (b >> 2))};
}

namespace detail {

inline void PutU16(std::vector<std::uint8_t>& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
  out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

inline void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF));
}

}  // namespace detail

// The whole BMP file: 14-byte file header, info header, palette for up to 8
// bits, rows padded to four bytes.
inline std::vector<std::uint8_t> EncodeBmp(const Picture& picture, const BmpOptions& options = {}) {
  const int bits = options.bits_per_pixel;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    throw std::invalid_argument("EncodeBmp: unsupported depth");
  }
  std::vector<Colour> palette;
  std::vector<std::uint8_t> indexes;
  if (bits <= 8) {
    for (const Colour& c : picture.pixels) {
      size_t i = 0;
      while (i < palette.size() && !(palette[i] == c)) ++i;
      if (i == palette.size()) palette.push_back(c);
      indexes.push_back(static_cast<std::uint8_t>(i));
    }
    if (palette.size() > (size_t{1} << bits)) throw std::invalid_argument("EncodeBmp: too many colours");
  }

  const std::uint32_t stride =
      (static_cast<std::uint32_t>(picture.width) * static_cast<std::uint32_t>(bits) + 31) / 32 * 4;
  const std::uint32_t info_size = options.v5_header ? 124 : 40;
  const bool bit_fields = options.v5_header && (bits == 16 || bits == 32);
  const bool rgb565 = bit_fields && bits == 16;
  const std::uint32_t pixel_offset = 14 + info_size + static_cast<std::uint32_t>(palette.size()) * 4;
  const std::uint32_t file_size = pixel_offset + stride * static_cast<std::uint32_t>(picture.height);

  std::vector<std::uint8_t> out;
  out.reserve(file_size);
  out.push_back('B');
  out.push_back('M');
  detail::PutU32(out, file_size);
  detail::PutU32(out, 0);
  detail::PutU32(out, pixel_offset);
  detail::PutU32(out, info_size);
  detail::PutU32(out, static_cast<std::uint32_t>(picture.width));
  detail::PutU32(out, static_cast<std::uint32_t>(options.top_down ? -picture.height : picture.height));
  detail::PutU16(out, 1);
  detail::PutU16(out, static_cast<unsigned>(bits));
  detail::PutU32(out, bit_fields ? 3 : 0);  // bit-field masks, or none
  detail::PutU32(out, stride * static_cast<std::uint32_t>(picture.height));
  detail::PutU32(out, 2835);  // 72 dpi
  detail::PutU32(out, 2835);
  detail::PutU32(out, static_cast<std::uint32_t>(palette.size()));
  detail::PutU32(out, 0);
  if (options.v5_header) {
    const std::uint32_t masks[4] = {rgb565 ? 0xF800u : 0xFF0000u, rgb565 ? 0x07E0u : 0xFF00u,
                                    rgb565 ? 0x001Fu : 0xFFu, rgb565 ? 0u : 0xFF000000u};
    for (const std::uint32_t mask : masks) detail::PutU32(out, bit_fields ? mask : 0);
    detail::PutU32(out, 0x73524742);                         // colour space 'sRGB'
    for (int i = 0; i < 9 + 3; ++i) detail::PutU32(out, 0);  // end points, gamma
    detail::PutU32(out, 4);                                  // rendering intent: pictures
    for (int i = 0; i < 3; ++i) detail::PutU32(out, 0);      // no profile; reserved
  }
  for (const Colour& c : palette) {
    out.push_back(c.blue);
    out.push_back(c.green);
    out.push_back(c.red);
    out.push_back(0);
  }

  for (int stored = 0; stored < picture.height; ++stored) {
    const int y = options.top_down ? stored : picture.height - 1 - stored;
    std::vector<std::uint8_t> row(stride, 0);
    for (int x = 0; x < picture.width; ++x) {
      const Colour& c = picture.at(x, y);
      const auto ux = static_cast<size_t>(x);
      switch (bits) {
        case 1:
        case 4:
        case 8: {
          const auto index = indexes[static_cast<size_t>(y * picture.width + x)];
          const size_t bit = ux * static_cast<size_t>(bits);
          const int shift = 8 - bits - static_cast<int>(bit % 8);  // leftmost pixel in the high bits
          row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | (index << shift));
          break;
        }
        case 16: {
          const unsigned v =
              rgb565 ? (unsigned{c.red} >> 3) << 11 | (unsigned{c.green} >> 2) << 5 | (unsigned{c.blue} >> 3)
                     : (unsigned{c.red} >> 3) << 10 | (unsigned{c.green} >> 3) << 5 | (unsigned{c.blue} >> 3);
          row[ux * 2] = static_cast<std::uint8_t>(v & 0xFF);
          row[ux * 2 + 1] = static_cast<std::uint8_t>(v >> 8);
          break;
        }
        case 24:
          row[ux * 3] = c.blue;
          row[ux * 3 + 1] = c.green;
          row[ux * 3 + 2] = c.red;
          break;
        default:
          row[ux * 4] = c.blue;
          row[ux * 4 + 1] = c.green;
          row[ux * 4 + 2] = c.red;
          row[ux * 4 + 3] = options.fourth_byte;
          break;
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// A BMP with a 40-byte info header put together from raw parts, for the
// kinds EncodeBmp does not make (run-length streams, bit-field masks, odd
// palettes): the fields and bytes are written as given.
struct RawBmp {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bits = 8;
  std::uint32_t compression = 0;
  std::uint32_t colours_used = 0;
  std::vector<std::uint8_t> after_header;  // palette or masks
  std::vector<std::uint8_t> pixels;

  std::vector<std::uint8_t> Encode() const {
    std::vector<std::uint8_t> b = {'B', 'M'};
    detail::PutU32(b, 0);
    detail::PutU32(b, 0);
    detail::PutU32(b, static_cast<std::uint32_t>(14 + 40 + after_header.size()));
    detail::PutU32(b, 40);
    detail::PutU32(b, static_cast<std::uint32_t>(width));
    detail::PutU32(b, static_cast<std::uint32_t>(height));
    detail::PutU16(b, 1);
    detail::PutU16(b, bits);
    detail::PutU32(b, compression);
    detail::PutU32(b, static_cast<std::uint32_t>(pixels.size()));
    detail::PutU32(b, 2835);
    detail::PutU32(b, 2835);
    detail::PutU32(b, colours_used);
    detail::PutU32(b, 0);
    b.insert(b.end(), after_header.begin(), after_header.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    const auto size = static_cast<std::uint32_t>(b.size());
    for (size_t i = 0; i < 4; ++i) b[2 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    return b;
  }
};

// Palette entries blue, green, red, 0 for the given colours (red, green, blue).
inline std::vector<std::uint8_t> RawPalette(const std::vector<std::array<std::uint8_t, 3>>& colours) {
  std::vector<std::uint8_t> b;
  for (const auto& c : colours) b.insert(b.end(), {c[2], c[1], c[0], 0});
  return b;
}

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("WriteFile: cannot write " + path);
}

inline void WriteBmp(const std::string& path, const Picture& picture, const BmpOptions& options = {}) {
  WriteFile(path, EncodeBmp(picture, options));
}

}  // namespace testbmp
