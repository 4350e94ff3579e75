// Helpers shared by the fshtool tests: scratch folders, whole-file reads and
// an independent reader of the 24-bit bitmaps the tool writes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/fsh_writer.h"

namespace fshtool_test {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("fshtool-test-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string ReadText(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  return {bytes.begin(), bytes.end()};
}

inline std::set<std::string> FileNames(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// A bitmap read back field by field at the offsets of the published layout,
// pixels top row first.
struct Bitmap {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<fshtest::Colour> pixels;  // alpha left at 255
  fshtest::Colour At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

inline std::uint32_t Le32At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16) | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Checks every header field a 24-bit bottom-up bitmap must have and returns
// its pixels; an empty bitmap (width 0) after a failed check.
inline Bitmap ReadBitmap(const std::string& path) {
  const std::vector<std::uint8_t> b = ReadBytes(path);
  Bitmap bitmap;
  if (b.size() < 54) {
    ADD_FAILURE() << path << ": too short";
    return bitmap;
  }
  const auto width = static_cast<std::int32_t>(Le32At(b, 18));
  const auto height = static_cast<std::int32_t>(Le32At(b, 22));
  const std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(Le32At(b, 2), b.size());
  EXPECT_EQ(Le32At(b, 10), 54u);
  EXPECT_EQ(Le32At(b, 14), 40u);
  EXPECT_GT(height, 0) << "rows must be stored bottom-up";
  EXPECT_EQ(b[26] | b[27] << 8, 1);
  EXPECT_EQ(b[28] | b[29] << 8, 24);
  EXPECT_EQ(Le32At(b, 30), 0u);
  if (height <= 0 || b.size() != 54 + row * static_cast<std::size_t>(height)) {
    ADD_FAILURE() << path << ": size does not match " << width << " x " << height;
    return bitmap;
  }
  bitmap.width = width;
  bitmap.height = height;
  for (std::int32_t y = 0; y < height; ++y) {
    const std::size_t start = 54 + row * static_cast<std::size_t>(height - 1 - y);
    for (std::int32_t x = 0; x < width; ++x) {
      const std::size_t at = start + static_cast<std::size_t>(x) * 3;
      bitmap.pixels.push_back({b[at + 2], b[at + 1], b[at], 255});
    }
    for (std::size_t pad = start + static_cast<std::size_t>(width) * 3; pad < start + row; ++pad)
      EXPECT_EQ(b[pad], 0) << "row padding";
  }
  return bitmap;
}

}  // namespace fshtool_test

namespace fshtest {
inline void PrintTo(const Colour& c, std::ostream* os) {
  *os << "(" << int{c.r} << "," << int{c.g} << "," << int{c.b} << "," << int{c.a} << ")";
}
}  // namespace fshtest
