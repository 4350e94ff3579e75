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

// Run-length streams at their edges, on a 3 × 2 bitmap whose palette's
// first entry is not black, so a skipped pixel that took it would show.
TEST(DecodeBmp, RunLengthStreamsEndWhereTheyMay) {
  const std::vector<std::uint8_t> palette = testbmp::RawPalette({{9, 9, 9}, {255, 0, 0}, {0, 0, 255}});
  constexpr Rgb k0{0, 0, 0}, kRed{255, 0, 0}, kBlue{0, 0, 255};
  struct Case {
    const char* what;
    std::uint16_t bits;
    std::vector<std::uint8_t> stream;
    std::vector<Rgb> want;  // top row first; empty: refused as damaged
  };
  const Case cases[] = {
      {"ends of line only, no end of bitmap",
       8,
       {3, 1, 0, 0, 3, 2, 0, 0},
       {kBlue, kBlue, kBlue, kRed, kRed, kRed}},
      {"end of bitmap at once", 8, {0, 1}, {k0, k0, k0, k0, k0, k0}},
      {"delta past the last row ends it", 8, {1, 1, 0, 2, 0, 9}, {k0, k0, k0, kRed, k0, k0}},
      {"run past the row's end is cut, not wrapped", 8, {5, 1, 0, 1}, {k0, k0, k0, kRed, kRed, kRed}},
      {"literal past the row's end is cut",
       4,
       {0, 5, 0x12, 0x21, 0x20, 0, 0, 1},
       {k0, k0, k0, kRed, kBlue, kBlue}},
      {"stream runs out in the first row", 8, {3, 1}, {}},
      {"stream runs out after an end of line", 8, {3, 1, 0, 0}, {}},
      {"literal cut short", 8, {0, 3, 1, 2}, {}},
      {"literal without its padding", 8, {0, 3, 1, 2, 1}, {}},
      {"delta cut short", 4, {0, 2, 1}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<std::uint8_t> file =
        testbmp::RawBmp{3, 2, c.bits, c.bits == 8 ? 1u : 2u, 3, palette, c.stream}.Encode();
    const LoadResult result = DecodeBmp(Bytes(file));
    if (c.want.empty()) {
      EXPECT_FALSE(result.bitmap.has_value());
      EXPECT_EQ(result.error, LoadError::kDamaged);
      continue;
    }
    ASSERT_TRUE(result.bitmap.has_value());
    std::vector<Rgb> got;
    for (std::uint32_t y = 0; y < 2; ++y) {
      for (std::uint32_t x = 0; x < 3; ++x) got.push_back(result.bitmap->PixelAt(x, y));
    }
    EXPECT_EQ(got, c.want);
  }
}

// A 24-bit bitmap of 70,000 × 70,000 (14.7 GB), served by code: each
// stored byte is its row number plus its place in the row, so any byte
// read from the wrong place shows.
TEST(DecodeBmpCorner, ReadsOnlyTheHeadersAndTheCornerOfAHugeFile) {
  const std::vector<std::uint8_t> head = testbmp::RawBmp{70000, 70000, 24, 0, 0, {}, {}}.Encode();
  constexpr std::uint64_t kStride = 70000 * 3;
  const std::uint64_t length = head.size() + kStride * 70000;
  auto byte_at = [&](std::uint64_t at) {
    const std::uint64_t row = (at - head.size()) / kStride, place = (at - head.size()) % kStride;
    return static_cast<std::uint8_t>(row * 3 + place);
  };
  std::uint64_t bytes_read = 0;
  const ReadAt read = [&](std::uint64_t at, std::span<std::uint8_t> out) {
    if (at + out.size() > length) return false;
    for (size_t i = 0; i < out.size(); ++i) out[i] = at + i < head.size() ? head[at + i] : byte_at(at + i);
    bytes_read += out.size();
    return true;
  };

  const LoadResult result = DecodeBmpCorner(length, read, Sides{3, 2});
  ASSERT_TRUE(result.bitmap.has_value());
  ASSERT_EQ(result.bitmap->width(), 3u);
  ASSERT_EQ(result.bitmap->height(), 2u);
  for (std::uint32_t y = 0; y < 2; ++y) {
    for (std::uint32_t x = 0; x < 3; ++x) {
      const std::uint64_t stored = 69999 - y;  // bottom-up
      const std::uint64_t at = head.size() + stored * kStride + x * 3;
      EXPECT_EQ(result.bitmap->PixelAt(x, y), (Rgb{byte_at(at + 2), byte_at(at + 1), byte_at(at)}))
          << x << "," << y;
    }
  }
  EXPECT_LE(bytes_read, kHeadBytes + 2 * 9);  // the headers, and nine bytes of each of two rows

  // One byte short of the last row, it is refused like any file cut short.
  const LoadResult cut = DecodeBmpCorner(length - 1, read, Sides{3, 2});
  EXPECT_FALSE(cut.bitmap.has_value());
  EXPECT_EQ(cut.error, LoadError::kDamaged);
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
