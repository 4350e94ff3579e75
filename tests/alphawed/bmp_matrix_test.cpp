// Every kind of BMP in the matrix decodes to the colours ImageMagick reads
// from it (or, where its reading is not our rule, to the colours the case
// gives), whole and as a top-left corner.
#include "bmp_matrix.h"

#include <gtest/gtest.h>

#include "alphawed/bitmap.h"
#include "alphawed_test_support.h"

namespace alphawed {
namespace {

std::vector<std::uint8_t> Pixels(const Bitmap& bitmap) {
  std::vector<std::uint8_t> rgb;
  for (std::uint32_t y = 0; y < bitmap.height(); ++y) {
    rgb.insert(rgb.end(), bitmap.Row(y), bitmap.Row(y) + size_t{bitmap.width()} * 3);
  }
  return rgb;
}

// The top-left w × h of a picture of `width` columns.
std::vector<std::uint8_t> Corner(const std::vector<std::uint8_t>& rgb, std::uint32_t width, std::uint32_t w,
                                 std::uint32_t h) {
  std::vector<std::uint8_t> corner;
  for (std::uint32_t y = 0; y < h; ++y) {
    const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(size_t{y} * width * 3);
    corner.insert(corner.end(), row, row + static_cast<std::ptrdiff_t>(size_t{w} * 3));
  }
  return corner;
}

TEST(BmpMatrix, EveryKindGivesTheReferenceColours) {
  const alphawed_test::ScratchFolder folder;
  const std::vector<bmp_matrix::Entry> entries = bmp_matrix::WriteMatrix(folder.path());
  std::vector<std::string> references;
  std::vector<size_t> pixel_counts;
  for (const bmp_matrix::Entry& entry : entries) {
    if (entry.reference.empty()) continue;
    references.push_back(folder / entry.reference);
    pixel_counts.push_back(size_t{entry.width} * entry.height);
  }
  const std::vector<std::vector<std::uint8_t>> readings =
      bmp_matrix::ImageMagickRgb(references, pixel_counts);

  size_t next_reading = 0;
  for (const bmp_matrix::Entry& entry : entries) {
    SCOPED_TRACE(entry.name);
    std::vector<std::uint8_t> want = entry.expected_rgb;
    if (!entry.reference.empty()) {
      std::vector<std::uint8_t> reference = readings[next_reading++];
      ASSERT_EQ(reference.size(), size_t{entry.width} * entry.height * 3)
          << "ImageMagick could not read them";
      if (entry.four_bit_fields) {
        for (std::uint8_t& v : reference) v = static_cast<std::uint8_t>(v | v >> 4);
      }
      if (want.empty()) {
        want = reference;
      } else {
        EXPECT_EQ(reference, want) << "ImageMagick reads it otherwise";
      }
    }

    const LoadResult whole = LoadBmpFile(folder / entry.name);
    ASSERT_TRUE(whole.bitmap.has_value());
    ASSERT_EQ(whole.bitmap->width(), entry.width);
    ASSERT_EQ(whole.bitmap->height(), entry.height);
    EXPECT_EQ(Pixels(*whole.bitmap), want);

    // Only a corner, as the alpha bitmap is kept.
    const std::uint32_t w = std::min(entry.width, 4u), h = std::min(entry.height, 2u);
    const LoadResult corner = LoadBmpFile(folder / entry.name, Sides{4, 2});
    ASSERT_TRUE(corner.bitmap.has_value());
    ASSERT_EQ(corner.bitmap->width(), w);
    ASSERT_EQ(corner.bitmap->height(), h);
    EXPECT_EQ(Pixels(*corner.bitmap), Corner(want, entry.width, w, h));
  }
}

}  // namespace
}  // namespace alphawed
