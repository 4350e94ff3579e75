#include "mipmill/tga_reader.h"

#include <gtest/gtest.h>

#include "mipmill/file_failure.h"
#include "mipmill_test_support.h"

namespace {

using mipmill::LoadResult;
using mipmill::LoadTga;
using mipmill::SourcePicture;
using mipmill_test::CapturedBoxes;
using mipmill_test::ScratchFolder;
using roadfire_test::TgaLayout;
using roadfire_test::TgaPixel;

TgaPixel Pattern(int x, int row) {
  return {static_cast<uint8_t>(x), static_cast<uint8_t>(row), static_cast<uint8_t>(x ^ row),
          static_cast<uint8_t>(255 - x)};
}

struct Shape {
  int width;
  int height;
  int depth;
};

void PrintTo(const Shape& s, std::ostream* out) { *out << s.width << "x" << s.height << "x" << s.depth; }

class AcceptedShapeTest : public ::testing::TestWithParam<Shape> {};

TEST_P(AcceptedShapeTest, LoadsWithoutABox) {
  const Shape s = GetParam();
  ScratchFolder folder;
  roadfire_test::WriteTga(folder / "a.tga", {s.width, s.height, s.depth}, Pattern);
  CapturedBoxes boxes;
  SourcePicture picture;
  ASSERT_EQ(LoadTga(folder / "a.tga", picture), LoadResult::kLoaded);
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(picture.width, s.width);
  EXPECT_EQ(picture.height, s.height);
  EXPECT_EQ(picture.depth, s.depth);
  // The last pixel of the last stored row lands at the top-right corner.
  const TgaPixel last = Pattern(s.width - 1, s.height - 1);
  EXPECT_EQ(picture.blue.At(s.width - 1, 0), last.blue);
  EXPECT_EQ(picture.red.At(s.width - 1, 0), last.red);
}

INSTANTIATE_TEST_SUITE_P(Shapes, AcceptedShapeTest,
                         ::testing::Values(Shape{1024, 1024, 32}, Shape{8, 8, 24}, Shape{1024, 8, 24},
                                           Shape{8, 1024, 32}, Shape{16, 512, 24}));

class RejectedShapeTest : public ::testing::TestWithParam<Shape> {};

TEST_P(RejectedShapeTest, ShowsTheSizeBox) {
  const Shape s = GetParam();
  ScratchFolder folder;
  roadfire_test::WriteTga(folder / "a.tga", {s.width, s.height, s.depth}, Pattern);
  CapturedBoxes boxes;
  SourcePicture picture;
  EXPECT_EQ(LoadTga(folder / "a.tga", picture), LoadResult::kRejected);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].title, "Error");
  EXPECT_EQ(boxes.boxes()[0].text, "TGA size must be 8,16,32...1024 x 24/32 bit");
  EXPECT_EQ(boxes.boxes()[0].icon, platform::MessageIcon::kNone);
  EXPECT_EQ(picture.width, 0);
}

INSTANTIATE_TEST_SUITE_P(Shapes, RejectedShapeTest,
                         ::testing::Values(Shape{8, 8, 16}, Shape{8, 8, 8}, Shape{4, 8, 32}, Shape{8, 4, 24},
                                           Shape{100, 64, 24}, Shape{2048, 8, 32}, Shape{0, 8, 24},
                                           Shape{8, 0, 32}, Shape{12, 8, 32}));

TEST(LoadTga, FirstStoredRowBecomesTheBottomRowAndBytesArriveUnchanged) {
  ScratchFolder folder;
  roadfire_test::WriteTga(folder / "a.tga", {8, 16, 32}, Pattern);
  SourcePicture picture;
  ASSERT_EQ(LoadTga(folder / "a.tga", picture), LoadResult::kLoaded);
  for (int row = 0; row < 16; ++row) {
    for (int x = 0; x < 8; ++x) {
      const TgaPixel p = Pattern(x, row);
      const int y = 15 - row;
      ASSERT_EQ(picture.blue.At(x, y), p.blue) << x << "," << row;
      ASSERT_EQ(picture.green.At(x, y), p.green) << x << "," << row;
      ASSERT_EQ(picture.red.At(x, y), p.red) << x << "," << row;
      ASSERT_EQ(picture.alpha.At(x, y), p.alpha) << x << "," << row;
    }
  }
}

TEST(LoadTga, TwentyFourBitPictureHasZeroAlpha) {
  ScratchFolder folder;
  roadfire_test::WriteTga(folder / "a.tga", {16, 8, 24}, Pattern);
  SourcePicture picture;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) picture.alpha.At(x, y) = 77;  // left over from elsewhere
  }
  ASSERT_EQ(LoadTga(folder / "a.tga", picture), LoadResult::kLoaded);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      ASSERT_EQ(picture.alpha.At(x, y), 0);
      ASSERT_EQ(picture.blue.At(x, y), Pattern(x, 7 - y).blue);
      ASSERT_EQ(picture.red.At(x, y), Pattern(x, 7 - y).red);
    }
  }
}

TEST(LoadTga, ExtraBytesAfterThePixelsAreIgnored) {
  ScratchFolder folder;
  auto bytes = roadfire_test::EncodeTga({8, 8, 24}, Pattern);
  bytes.resize(bytes.size() + 26, 0xEE);  // a footer
  roadfire_test::WriteBytes(folder / "a.tga", bytes);
  SourcePicture picture;
  EXPECT_EQ(LoadTga(folder / "a.tga", picture), LoadResult::kLoaded);
}

TEST(LoadTga, ReadOnlyFileLoads) {
  ScratchFolder folder;
  roadfire_test::WriteTga(folder / "a.tga", {8, 8, 32}, Pattern);
  std::filesystem::permissions(folder / "a.tga",
                               std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  SourcePicture picture;
  EXPECT_EQ(LoadTga(folder / "a.tga", picture), LoadResult::kLoaded);
}

int FailureCodeOf(const std::string& path) {
  SourcePicture picture;
  try {
    LoadTga(path, picture);
  } catch (const mipmill::FileLayerFailure& failure) {
    return failure.code();
  }
  return -1;
}

TEST(LoadTga, FileLayerFailures) {
  ScratchFolder folder;
  CapturedBoxes boxes;
  // ENOENT and ERROR_FILE_NOT_FOUND are both 2.
  EXPECT_EQ(FailureCodeOf(folder / "missing.tga"), 2);

  auto bytes = roadfire_test::EncodeTga({8, 8, 32}, Pattern);
  roadfire_test::WriteBytes(folder / "header.tga", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 17));
  EXPECT_EQ(FailureCodeOf(folder / "header.tga"), 100);

  bytes.pop_back();  // one byte short of the last row
  roadfire_test::WriteBytes(folder / "pixels.tga", bytes);
  EXPECT_EQ(FailureCodeOf(folder / "pixels.tga"), 100);

  EXPECT_TRUE(boxes.boxes().empty()) << "the library leaves the failure box to the program";
}

}  // namespace
