// Truncated and bit-flipped copies of valid BMP files: decoding refuses them
// or yields a bitmap within the limits (a cut-short file only ever the
// original picture), and a merge from a damaged colour bitmap either writes
// the TGA or names the file in one box and writes nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "alphawed/alphawed.h"
#include "alphawed/bitmap.h"
#include "alphawed_test_support.h"
#include "common/bmp_writer.h"
#include "common/damage.h"
#include "common/quiet_boxes.h"

namespace {

using fault_injection::QuietBoxes;

testbmp::Picture Sample() {
  testbmp::Picture picture(5, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      picture.at(x, y) = {static_cast<std::uint8_t>(x * 60), static_cast<std::uint8_t>(y * 100),
                          static_cast<std::uint8_t>(x == y ? 255 : 0)};
    }
  }
  return picture;
}

struct Kind {
  const char* name;
  std::vector<std::uint8_t> file;
};

// Run-length streams over a 4-entry palette, ended by end of bitmap.
std::vector<std::uint8_t> RunLengths(std::uint16_t bits, std::vector<std::uint8_t> stream) {
  return testbmp::RawBmp{5,
                         3,
                         bits,
                         bits == 8 ? 1u : 2u,
                         4,
                         testbmp::RawPalette({{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}}),
                         std::move(stream)}
      .Encode();
}

const std::vector<Kind> kKinds = {
    {"24 bits", testbmp::EncodeBmp(Sample(), {24})},
    {"8 bits with a palette", testbmp::EncodeBmp(Sample(), {8})},
    {"32 bits, fifth header, top-down", testbmp::EncodeBmp(Sample(), {32, true, 0, true})},
    {"16 bits", testbmp::EncodeBmp(Sample(), {16})},
    {"RLE8", RunLengths(8, {5, 1, 0, 0, 0, 2, 1, 0, 0, 3, 2, 3, 1, 0, 0, 0, 2, 3, 0, 1})},
    {"RLE4", RunLengths(4, {5, 0x12, 0, 0, 0, 3, 0x23, 0x10, 0, 0, 4, 0x33, 0, 1})},
};

std::vector<std::uint8_t> Pixels(const alphawed::Bitmap& bitmap) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t y = 0; y < bitmap.height(); ++y) {
    bytes.insert(bytes.end(), bitmap.Row(y), bitmap.Row(y) + bitmap.width() * 3);
  }
  return bytes;
}

TEST(AlphawedDamagedInput, EveryPrefixIsRefusedOrTheOriginalPicture) {
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    const auto& file = kind.file;
    const alphawed::LoadResult whole = alphawed::DecodeBmp(file);
    ASSERT_TRUE(whole.bitmap);
    for (const damage::Damaged& c : damage::Prefixes(file)) {
      SCOPED_TRACE(c.what);
      const alphawed::LoadResult cut = alphawed::DecodeBmp(c.bytes);
      if (cut.bitmap) {
        // The bytes after the last row's pixels are padding or a stream's
        // end; every pixel is there.
        EXPECT_EQ(cut.bitmap->width(), 5u);
        EXPECT_EQ(cut.bitmap->height(), 3u);
        EXPECT_EQ(Pixels(*cut.bitmap), Pixels(*whole.bitmap));
      } else {
        EXPECT_NE(cut.error, alphawed::LoadError::kTooLarge);
      }
    }
  }
}

TEST(AlphawedDamagedInput, BitFlipsMergeOrAreNamedInABox) {
  const alphawed_test::ScratchFolder folder;
  const std::string colour = folder / "colour.bmp";
  const std::string out = folder / "out.tga";
  QuietBoxes boxes;
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    for (const damage::Damaged& c : damage::BitFlips(kind.file, 100, 54)) {
      SCOPED_TRACE(c.what);
      testbmp::WriteFile(colour, c.bytes);
      std::filesystem::remove(out);
      boxes.Clear();
      alphawed::MergeAlpha({colour, "No alpha image", out});
      const alphawed::LoadResult decoded = alphawed::DecodeBmp(c.bytes);
      if (decoded.bitmap) {
        EXPECT_EQ(boxes.count(), 0);
        EXPECT_EQ(std::filesystem::file_size(out),
                  18u + std::uint64_t{decoded.bitmap->width()} * decoded.bitmap->height() * 3);
      } else {
        EXPECT_EQ(boxes.count(), 1);
        EXPECT_EQ(boxes.last_text(), decoded.error == alphawed::LoadError::kTooLarge
                                         ? alphawed::TooLargeBitmapText(colour)
                                         : alphawed::UnreadableBitmapText(colour));
        EXPECT_FALSE(std::filesystem::exists(out));
      }
      if (::testing::Test::HasFailure()) return;
    }
  }
}

}  // namespace
