#include "alphawed/bitmap.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "alphawed_test_support.h"
#include "common/bmp_writer.h"

namespace alphawed {
namespace {

using testbmp::BmpOptions;
using testbmp::Colour;
using testbmp::Picture;

// A 5 × 3 picture: the odd width leaves padding at the end of every row, and
// no two rows are alike, so a flipped or shifted row shows.
Picture TestPicture(int bits) {
  const Colour palette[] = {{0, 0, 0},   {255, 255, 255}, {255, 0, 0}, {0, 255, 0},
                            {0, 0, 255}, {132, 66, 198},  {8, 16, 24}, {255, 132, 0}};
  const int colours = bits == 1 ? 2 : 8;
  Picture picture(5, 3);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) picture.at(x, y) = palette[(x + 3 * y) % colours];
  }
  return picture;
}

std::span<const std::uint8_t> Bytes(const std::vector<std::uint8_t>& v) { return v; }

TEST(DecodeBmp, LoadsEveryDepthBottomUpAndTopDown) {
  for (const int bits : {1, 4, 8, 16, 24, 32}) {
    for (const bool top_down : {false, true}) {
      for (const bool v5 : {false, true}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, " << (top_down ? "top-down" : "bottom-up")
                                        << (v5 ? ", 124-byte header" : ""));
        const Picture picture = TestPicture(bits);
        const std::vector<std::uint8_t> file =
            testbmp::EncodeBmp(picture, BmpOptions{bits, top_down, /*fourth_byte=*/0x5A, v5});
        const LoadResult result = DecodeBmp(Bytes(file));
        ASSERT_TRUE(result.bitmap.has_value());
        const Bitmap& bitmap = *result.bitmap;
        ASSERT_EQ(bitmap.width(), 5u);
        ASSERT_EQ(bitmap.height(), 3u);
        for (int y = 0; y < 3; ++y) {
          for (int x = 0; x < 5; ++x) {
            const Colour& source = picture.at(x, y);
            const Colour want = bits != 16 ? source
                                : v5       ? testbmp::Through565(source)
                                           : testbmp::Through555(source);
            const Rgb got = bitmap.PixelAt(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
            EXPECT_EQ(got, (Rgb{want.red, want.green, want.blue})) << "at " << x << "," << y;
          }
        }
      }
    }
  }
}

TEST(Bitmap, PositionsOutsideReadAsWhite) {
  const Bitmap bitmap(1, 1, {1, 2, 3});
  EXPECT_EQ(bitmap.PixelAt(0, 0), (Rgb{1, 2, 3}));
  EXPECT_EQ(bitmap.PixelAt(1, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(bitmap.PixelAt(0, 1), (Rgb{255, 255, 255}));
}

// Little-endian patches into a valid file, to damage one field at a time.
void Put32(std::vector<std::uint8_t>& file, size_t at, std::uint32_t value) {
  for (size_t i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

TEST(DecodeBmp, RefusesWhatItCannotTrust) {
  const std::vector<std::uint8_t> good = testbmp::EncodeBmp(TestPicture(24));  // 54 + 3 rows of 16
  ASSERT_TRUE(DecodeBmp(Bytes(good)).bitmap.has_value());

  struct Case {
    const char* what;
    std::vector<std::uint8_t> file;
    LoadError error;
  };
  auto patched = [&](size_t at, std::uint32_t value) {
    std::vector<std::uint8_t> file = good;
    Put32(file, at, value);
    return file;
  };
  auto cut = [&](size_t bytes_off) {
    return std::vector<std::uint8_t>(good.begin(), good.end() - static_cast<std::ptrdiff_t>(bytes_off));
  };
  std::vector<std::uint8_t> not_bmp = {'B', 'A'};
  not_bmp.insert(not_bmp.end(), good.begin() + 2, good.end());
  const Case cases[] = {
      {"empty file", {}, LoadError::kNotBmp},
      {"other signature", not_bmp, LoadError::kNotBmp},
      {"a text file", {'h', 'e', 'l', 'l', 'o'}, LoadError::kNotBmp},
      {"headers cut short", std::vector<std::uint8_t>(good.begin(), good.begin() + 30), LoadError::kDamaged},
      {"pixels cut short", cut(2), LoadError::kDamaged},
      {"zero width", patched(18, 0), LoadError::kDamaged},
      {"zero height", patched(22, 0), LoadError::kDamaged},
      {"run-length compression at 24 bits", patched(30, 1), LoadError::kDamaged},
      {"unknown info header", patched(14, 20), LoadError::kDamaged},
      {"pixel offset past the end", patched(10, 5000), LoadError::kDamaged},
      {"pixel offset inside the header", patched(10, 20), LoadError::kDamaged},
      {"wider than a TGA holds", patched(18, 70000), LoadError::kTooLarge},
      {"huge claimed height", patched(22, 0x80000000u), LoadError::kTooLarge},
      {"too many pixels",
       [&] {
         std::vector<std::uint8_t> file = patched(18, 60000);
         Put32(file, 22, 60000);
         return file;
       }(),
       LoadError::kTooLarge},
  };
  for (const Case& c : cases) {
    const LoadResult result = DecodeBmp(Bytes(c.file));
    EXPECT_FALSE(result.bitmap.has_value()) << c.what;
    EXPECT_EQ(result.error, c.error) << c.what;
  }
  // Only the padding of the last row missing: every pixel is there, so it loads.
  EXPECT_TRUE(DecodeBmp(Bytes(cut(1))).bitmap.has_value());
}

TEST(LoadBmpFile, ReadsFilesAndRefusesFolders) {
  alphawed_test::ScratchFolder folder;
  testbmp::WriteBmp(folder / "Colour.bmp", TestPicture(8), BmpOptions{8});
  EXPECT_TRUE(LoadBmpFile(folder / "Colour.bmp").bitmap.has_value());
  // Names are matched as the file system matches them, ignoring capitals.
  EXPECT_TRUE(LoadBmpFile(folder / "COLOUR.BMP").bitmap.has_value());

  std::filesystem::create_directory(folder / "pictures.bmp");
  const LoadResult from_folder = LoadBmpFile(folder / "pictures.bmp");
  EXPECT_FALSE(from_folder.bitmap.has_value());
  EXPECT_EQ(from_folder.error, LoadError::kUnreadable);
}

}  // namespace
}  // namespace alphawed
