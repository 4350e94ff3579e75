// Writes small TGA files for tests: uncompressed true-colour pixels behind the
// 18-byte header, with the header fields that tests like to get wrong open to
// change (ID length, image type, descriptor).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace roadfire_test {

struct TgaPixel {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t alpha = 0;  // written only at depth 32
};

struct TgaLayout {
  int width = 8;
  int height = 8;
  int depth = 32;          // bits per pixel; 24 and 32 write pixels, others only the header
  uint8_t id_length = 0;   // the ID field is filled with 'I' bytes
  uint8_t image_type = 2;  // 2: uncompressed true colour
  uint8_t descriptor = 0;  // bit 5 set: rows stored top first
};

// `pixel(x, stored_row)` gives the pixel at column x of the stored_row-th row
// in file order (row 0 is the first stored, the bottom of a usual TGA).
inline std::vector<uint8_t> EncodeTga(const TgaLayout& layout,
                                      const std::function<TgaPixel(int, int)>& pixel) {
  std::vector<uint8_t> bytes(18, 0);
  bytes[0] = layout.id_length;
  bytes[2] = layout.image_type;
  bytes[12] = static_cast<uint8_t>(layout.width & 0xFF);
  bytes[13] = static_cast<uint8_t>((layout.width >> 8) & 0xFF);
  bytes[14] = static_cast<uint8_t>(layout.height & 0xFF);
  bytes[15] = static_cast<uint8_t>((layout.height >> 8) & 0xFF);
  bytes[16] = static_cast<uint8_t>(layout.depth);
  bytes[17] = static_cast<uint8_t>(layout.descriptor | (layout.depth == 32 ? 8 : 0));
  bytes.insert(bytes.end(), layout.id_length, static_cast<uint8_t>('I'));
  if (layout.depth != 24 && layout.depth != 32) return bytes;
  for (int row = 0; row < layout.height; ++row) {
    for (int x = 0; x < layout.width; ++x) {
      const TgaPixel p = pixel(x, row);
      bytes.push_back(p.blue);
      bytes.push_back(p.green);
      bytes.push_back(p.red);
      if (layout.depth == 32) bytes.push_back(p.alpha);
    }
  }
  return bytes;
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteTga(const std::filesystem::path& path, const TgaLayout& layout,
                     const std::function<TgaPixel(int, int)>& pixel) {
  WriteBytes(path, EncodeTga(layout, pixel));
}

}  // namespace roadfire_test
