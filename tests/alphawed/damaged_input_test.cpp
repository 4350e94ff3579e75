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
  testbmp::BmpOptions options;
};

const Kind kKinds[] = {
    {"24 bits", {24}},
    {"8 bits with a palette", {8}},
    {"32 bits, fifth header, top-down", {32, true, 0, true}},
    {"16 bits", {16}},
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
    const auto file = testbmp::EncodeBmp(Sample(), kind.options);
    const alphawed::LoadResult whole = alphawed::DecodeBmp(file);
    ASSERT_TRUE(whole.bitmap);
    for (const damage::Damaged& c : damage::Prefixes(file)) {
      SCOPED_TRACE(c.what);
      const alphawed::LoadResult cut = alphawed::DecodeBmp(c.bytes);
      if (cut.bitmap) {
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
    for (const damage::Damaged& c : damage::BitFlips(testbmp::EncodeBmp(Sample(), kind.options), 100, 54)) {
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
