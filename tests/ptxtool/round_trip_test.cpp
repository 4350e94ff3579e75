// ptxtool against mipmill: what export shows of a texture mipmill made, and
// whether import makes the very file mipmill makes of the same pixels.
#include <gtest/gtest.h>

#include "common/bmp_writer.h"
#include "ptxtool_test_support.h"

namespace ptxtool_test {
namespace {

using testing_support::ReadFileBytes;
using testing_support::TempDir;

Rgba PixelOf(const ptxtool::PngPicture& png, int x, int y) {
  const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(png.width) + static_cast<size_t>(x)) * 4;
  return Rgba{png.rgba[at], png.rgba[at + 1], png.rgba[at + 2], png.rgba[at + 3]};
}

ptxtool::PngPicture ReadPng(const std::string& path) {
  const Bytes bytes = ReadFileBytes(path);
  auto png = ptxtool::DecodePng(bytes);
  if (!png) {
    ADD_FAILURE() << path << " is not a PNG";
    return {};
  }
  return *png;
}

// Level 2 from level 1: the mean of each 2 x 2 block, remainder dropped.
Rgba BlockMean(const Picture& picture, int x, int y) {
  int sum[4] = {};
  for (int dy = 0; dy < 2; ++dy) {
    for (int dx = 0; dx < 2; ++dx) {
      const Rgba c = picture.at(2 * x + dx, 2 * y + dy);
      sum[0] += c.red;
      sum[1] += c.green;
      sum[2] += c.blue;
      sum[3] += c.alpha;
    }
  }
  return Rgba{static_cast<uint8_t>(sum[0] / 4), static_cast<uint8_t>(sum[1] / 4), static_cast<uint8_t>(sum[2] / 4),
              static_cast<uint8_t>(sum[3] / 4)};
}

TEST(ExportOfMipmillTexture, Level1IsTheTgaAndLevel2ItsBlockMeans) {
  TempDir dir;
  const Picture picture{16, 8};
  WriteTga(dir.file("car.tga"), picture, 32);
  MipmillPtx(dir.file("car.tga"), 0);

  ASSERT_EQ(Ptxtool({"export", dir.file("car.ptx")}).exit_code, 0);
  ASSERT_EQ(Ptxtool({"export", dir.file("car.ptx"), "--level", "2"}).exit_code, 0);

  EXPECT_EQ(PngColourType(ReadFileBytes(dir.file("car.png"))), 6) << "a 32-bit source gives RGBA";
  const ptxtool::PngPicture level1 = ReadPng(dir.file("car.png"));
  ASSERT_EQ(level1.width, 16);
  ASSERT_EQ(level1.height, 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) ASSERT_EQ(PixelOf(level1, x, y), picture.at(x, y)) << x << "," << y;
  }

  const ptxtool::PngPicture level2 = ReadPng(dir.file("car-2.png"));
  ASSERT_EQ(level2.width, 8);
  ASSERT_EQ(level2.height, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) ASSERT_EQ(PixelOf(level2, x, y), BlockMean(picture, x, y)) << x << "," << y;
  }
}

TEST(ExportOfMipmillTexture, A24BitSourceGivesRgbWithoutItsZeroAlpha) {
  TempDir dir;
  const Picture picture{8, 8};
  WriteTga(dir.file("wheel.tga"), picture, 24);
  MipmillPtx(dir.file("wheel.tga"), 0);

  ASSERT_EQ(Ptxtool({"export", dir.file("wheel.ptx"), dir.file("shown.png")}).exit_code, 0);
  EXPECT_EQ(PngColourType(ReadFileBytes(dir.file("shown.png"))), 2);
  const ptxtool::PngPicture png = ReadPng(dir.file("shown.png"));
  ASSERT_EQ(png.width, 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      Rgba expected = picture.at(x, y);
      expected.alpha = 255;  // no alpha channel: the decoder reads it opaque
      ASSERT_EQ(PixelOf(png, x, y), expected) << x << "," << y;
    }
  }
}

TEST(ExportOfMipmillTexture, SheetHoldsEveryLevelSideBySideOnATransparentGround) {
  for (const int depth : {32, 24}) {
    SCOPED_TRACE(depth);
    TempDir dir;
    const Picture picture{16, 16};
    WriteTga(dir.file("car.tga"), picture, depth);
    MipmillPtx(dir.file("car.tga"), 0);
    for (const char* level : {"1", "2", "3"}) {
      ASSERT_EQ(Ptxtool({"export", dir.file("car.ptx"), dir.file(std::string("level") + level + ".png"), "--level",
                         level})
                    .exit_code,
                0);
    }
    ASSERT_EQ(Ptxtool({"export", dir.file("car.ptx"), "--sheet"}).exit_code, 0);

    const ptxtool::PngPicture sheet = ReadPng(dir.file("car-sheet.png"));
    ASSERT_EQ(sheet.width, 16 + 8 + 4);
    ASSERT_EQ(sheet.height, 16);
    int left = 0;
    for (const char* level : {"1", "2", "3"}) {
      const ptxtool::PngPicture alone = ReadPng(dir.file(std::string("level") + level + ".png"));
      for (int y = 0; y < sheet.height; ++y) {
        for (int x = 0; x < alone.width; ++x) {
          Rgba expected{0, 0, 0, 0};
          if (y < alone.height) {
            expected = PixelOf(alone, x, y);
            if (depth == 24) expected.alpha = 255;
          }
          ASSERT_EQ(PixelOf(sheet, left + x, y), expected) << "level " << level << " at " << x << "," << y;
        }
      }
      left += alone.width;
    }
  }
}

// The same pixels handed over as a PNG, a TGA and a BMP, with and without a
// level request: the PTX must be mipmill's, byte for byte. BMP carries no
// alpha, nor does a three-channel PNG: those are compared with mipmill's
// file of a 24-bit TGA.
struct ImportCase {
  const char* name;
  const char* file;
  int width;
  int height;
  int source_depth;  // of the TGA mipmill is given
  int levels;        // 0: no --levels
};

void PrintTo(const ImportCase& c, std::ostream* os) { *os << c.name; }

class ImportGivesMipmillBytes : public ::testing::TestWithParam<ImportCase> {};

TEST_P(ImportGivesMipmillBytes, ForTheSamePixels) {
  const ImportCase& c = GetParam();
  TempDir dir;
  const Picture picture{c.width, c.height};
  WriteTga(dir.file("reference.tga"), picture, c.source_depth);
  const Bytes expected = MipmillPtx(dir.file("reference.tga"), c.levels);
  ASSERT_FALSE(expected.empty());

  const std::string input = dir.file(c.file);
  const std::string extension = input.substr(input.size() - 3);
  if (extension == "png") {
    WritePng(input, picture, c.source_depth / 8);
  } else if (extension == "tga") {
    WriteTga(input, picture, c.source_depth);
  } else {
    testbmp::Picture bmp(c.width, c.height);
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const Rgba p = picture.at(x, y);
        bmp.at(x, y) = {p.red, p.green, p.blue};
      }
    }
    testbmp::WriteBmp(input, bmp);
  }

  std::vector<std::string> arguments = {"import", input};
  if (c.levels != 0) arguments.insert(arguments.end(), {"--levels", std::to_string(c.levels)});
  const Outcome outcome = Ptxtool(arguments);
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(ReadFileBytes(input.substr(0, input.size() - 3) + "ptx"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, ImportGivesMipmillBytes,
    ::testing::Values(ImportCase{"Png", "car.png", 16, 8, 32, 0}, ImportCase{"PngLevels2", "car.png", 16, 8, 32, 2},
                      ImportCase{"PngWithoutAlpha", "car.png", 32, 32, 24, 0},
                      ImportCase{"Tga", "car.tga", 16, 8, 32, 0}, ImportCase{"TgaLevels1", "car.tga", 16, 8, 32, 1},
                      ImportCase{"Tga24", "car.tga", 8, 16, 24, 0}, ImportCase{"Bmp", "car.bmp", 16, 8, 24, 0},
                      ImportCase{"BmpLevels3", "car.bmp", 16, 8, 24, 3},
                      // Sides eight to one: the last levels are a single row.
                      ImportCase{"NarrowPng", "strip.png", 64, 8, 32, 0},
                      // More levels asked for than the size allows: every one.
                      ImportCase{"PngLevels9", "car.png", 16, 16, 32, 9}),
    [](const auto& test) { return std::string(test.param.name); });

// Grey pictures are spread over red, green and blue; grey with alpha is a
// picture with alpha.
TEST(ImportOfGreyPng, GivesTheColourPictureOfTheSameGreys) {
  TempDir dir;
  const Picture grey{8, 8, [](int x, int y) {
                       const auto v = static_cast<uint8_t>(x * 30 + y);
                       return Rgba{v, v, v, static_cast<uint8_t>(y * 30)};
                     }};
  WriteTga(dir.file("with_alpha.tga"), grey, 32);
  WriteTga(dir.file("opaque.tga"), grey, 24);
  const Bytes with_alpha = MipmillPtx(dir.file("with_alpha.tga"), 0);
  const Bytes opaque = MipmillPtx(dir.file("opaque.tga"), 0);

  Bytes grey_only;
  Bytes grey_alpha;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const Rgba c = grey.at(x, y);
      grey_only.push_back(c.red);
      grey_alpha.insert(grey_alpha.end(), {c.red, c.alpha});
    }
  }
  testing_support::WriteFileBytes(dir.file("g.png"), ptxtool::EncodePng(8, 8, 1, grey_only));
  testing_support::WriteFileBytes(dir.file("ga.png"), ptxtool::EncodePng(8, 8, 2, grey_alpha));
  ASSERT_EQ(Ptxtool({"import", dir.file("g.png")}).exit_code, 0);
  ASSERT_EQ(Ptxtool({"import", dir.file("ga.png")}).exit_code, 0);
  EXPECT_EQ(ReadFileBytes(dir.file("g.ptx")), opaque);
  EXPECT_EQ(ReadFileBytes(dir.file("ga.ptx")), with_alpha);
}

// Export then import: the level-1 PNG of a texture makes the texture again.
TEST(ExportThenImport, GivesTheTextureBack) {
  for (const int depth : {32, 24}) {
    SCOPED_TRACE(depth);
    TempDir dir;
    WriteTga(dir.file("car.tga"), Picture{32, 16}, depth);
    const Bytes original = MipmillPtx(dir.file("car.tga"), 0);
    ASSERT_EQ(Ptxtool({"export", dir.file("car.ptx"), dir.file("shown.png")}).exit_code, 0);
    ASSERT_EQ(Ptxtool({"import", dir.file("shown.png"), dir.file("again.ptx")}).exit_code, 0);
    EXPECT_EQ(ReadFileBytes(dir.file("again.ptx")), original);
  }
}

}  // namespace
}  // namespace ptxtool_test
