#include "mipmill/ptx_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <random>

#include "mipmill/file_failure.h"
#include "mipmill_test_support.h"

namespace {

using mipmill::LevelSize;
using mipmill::MipPlanes;
using mipmill::SourcePicture;
using mipmill_test::ParsePtx;
using mipmill_test::PtxFile;
using mipmill_test::ScratchFolder;

using Rgba = std::array<int32_t, 4>;

void Fill(SourcePicture& picture, int width, int height, int depth,
          const std::function<Rgba(int, int)>& value) {
  picture.width = width;
  picture.height = height;
  picture.depth = depth;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgba v = value(x, y);
      picture.red.At(x, y) = v[0];
      picture.green.At(x, y) = v[1];
      picture.blue.At(x, y) = v[2];
      picture.alpha.At(x, y) = v[3];
    }
  }
}

// Writes the picture and returns the file's bytes.
std::vector<uint8_t> WriteToBytes(const SourcePicture& picture, int request) {
  ScratchFolder folder;
  MipPlanes work;
  mipmill::WritePtx(picture, request, folder / "out.ptx", work);
  return roadfire_test::ReadBytes(folder / "out.ptx");
}

Rgba Flat(int, int) { return {10, 20, 30, 40}; }

struct SizeCase {
  int width;
  int height;
  int request;
  int levels;
  LevelSize last;
  size_t file_size;
};

void PrintTo(const SizeCase& c, std::ostream* out) {
  *out << c.width << "x" << c.height << "_request_" << c.request;
}

class PtxSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(PtxSizeTest, LevelCountAndFileSize) {
  const SizeCase& c = GetParam();
  SourcePicture picture;
  Fill(picture, c.width, c.height, 32, Flat);
  const std::vector<uint8_t> bytes = WriteToBytes(picture, c.request);
  EXPECT_EQ(bytes.size(), c.file_size);
  const PtxFile file = ParsePtx(bytes);
  EXPECT_EQ(file.header.level_count, c.levels);
  ASSERT_EQ(file.levels.size(), static_cast<size_t>(c.levels));
  EXPECT_EQ(file.levels.back().width, c.last.width);
  EXPECT_EQ(file.levels.back().height, c.last.height);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PtxSizeTest,
    ::testing::Values(SizeCase{8, 8, 0, 2, {4, 4}, 352}, SizeCase{8, 8, 3, 2, {4, 4}, 352},
                      SizeCase{8, 8, 1, 1, {8, 8}, 280}, SizeCase{256, 256, 0, 7, {4, 4}, 349576},
                      SizeCase{1024, 1024, 0, 9, {4, 4}, 5592472},
                      SizeCase{128, 128, 1, 1, {128, 128}, 65560}, SizeCase{64, 64, 9, 5, {4, 4}, 21880},
                      SizeCase{64, 64, -15, 5, {4, 4}, 21880}, SizeCase{64, 64, 49, 5, {4, 4}, 21880},
                      SizeCase{512, 512, 3, 3, {128, 128}, 1376296}, SizeCase{256, 64, 0, 7, {4, 1}, 87448},
                      SizeCase{64, 8, 0, 5, {4, 1}, 2792}, SizeCase{1024, 8, 0, 9, {4, 1}, 44104},
                      SizeCase{8, 1024, 0, 9, {1, 4}, 44104}));

TEST(PtxWriter, LevelSizesOfLongPictures) {
  const std::vector<LevelSize> wide = {{256, 64}, {128, 32}, {64, 16}, {32, 8}, {16, 4}, {8, 2}, {4, 1}};
  const std::vector<LevelSize> thin = {{8, 1024}, {4, 512}, {2, 256}, {1, 128}, {1, 64},
                                       {1, 32},   {1, 16},  {1, 8},   {1, 4}};
  for (const auto& expected : {wide, thin}) {
    SourcePicture picture;
    Fill(picture, expected[0].width, expected[0].height, 24, Flat);
    const PtxFile file = ParsePtx(WriteToBytes(picture, 0));
    ASSERT_EQ(file.levels.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(LevelSize({file.levels[i].width, file.levels[i].height}), expected[i]) << i;
    }
  }
}

TEST(PtxWriter, CountMipLevelsFollowsTheLongerSide) {
  const std::vector<std::pair<int, int>> longer_side_levels = {{8, 2},   {16, 3},  {32, 4},  {64, 5},
                                                               {128, 6}, {256, 7}, {512, 8}, {1024, 9}};
  for (const auto& [side, levels] : longer_side_levels) {
    EXPECT_EQ(mipmill::CountMipLevels(side, 8), levels) << side;
    EXPECT_EQ(mipmill::CountMipLevels(8, side), levels) << side;
  }
}

TEST(PtxWriter, HeaderBytes) {
  SourcePicture picture;
  Fill(picture, 8, 8, 32, Flat);
  std::vector<uint8_t> bytes = WriteToBytes(picture, 0);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 24),
            (std::vector<uint8_t>{0, 32,   0,    0,    8, 0, 0, 0, 8, 0, 0, 0,
                                  2, 0x80, 0x80, 0x80, 0, 1, 0, 0, 0, 0, 0, 0}));

  Fill(picture, 1024, 512, 24, Flat);
  bytes = WriteToBytes(picture, 4);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 24),
            (std::vector<uint8_t>{0, 24,   0,    0,    0, 4, 0,    0, 0, 2, 0, 0,
                                  4, 0x80, 0x80, 0x80, 0, 0, 0x20, 0, 0, 0, 0, 0}));
}

TEST(PtxWriter, AveragesEachChannelByItselfDroppingTheRemainder) {
  // Level 2 pixels 0, 1 and 2 of row 0 come from these 2 x 2 blocks.
  const std::array<Rgba, 3> top_left = {Rgba{0, 1, 255, 1}, Rgba{1, 1, 255, 0}, Rgba{255, 3, 255, 255}};
  const std::array<Rgba, 3> other = {Rgba{0, 1, 255, 1}, Rgba{1, 1, 255, 0}, Rgba{255, 2, 255, 255}};
  const std::array<Rgba, 3> bottom_right = {Rgba{3, 2, 255, 2}, Rgba{2, 2, 255, 3}, Rgba{255, 2, 255, 255}};
  SourcePicture picture;
  Fill(picture, 8, 8, 32, [&](int x, int y) -> Rgba {
    const size_t block = static_cast<size_t>(x / 2);
    if (y >= 2 || block >= 3) return {0, 0, 0, 0};
    if (x % 2 == 0 && y == 0) return top_left[block];
    if (x % 2 == 1 && y == 1) return bottom_right[block];
    return other[block];
  });
  const PtxFile file = ParsePtx(WriteToBytes(picture, 0));
  ASSERT_EQ(file.levels.size(), 2u);
  const auto& level = file.levels[1];
  // Bytes are blue, green, red, alpha.
  const std::array<Rgba, 3> expected = {Rgba{0, 1, 255, 1},       // red 0,0,0,3 -> 0; alpha 1,1,1,2 -> 1
                                        Rgba{1, 1, 255, 0},       // red 1,1,1,2 -> 1; alpha 0,0,0,3 -> 0
                                        Rgba{255, 2, 255, 255}};  // green 3,2,2,2 -> 2
  for (int x = 0; x < 3; ++x) {
    const Rgba& e = expected[static_cast<size_t>(x)];
    EXPECT_EQ(level.Byte(x, 0, 2), e[0]) << x;
    EXPECT_EQ(level.Byte(x, 0, 1), e[1]) << x;
    EXPECT_EQ(level.Byte(x, 0, 0), e[2]) << x;
    EXPECT_EQ(level.Byte(x, 0, 3), e[3]) << x;
  }
}

// The chain computed one level at a time into fresh arrays, so that nothing
// a level leaves behind can reach the next.
std::vector<std::vector<Rgba>> ReferenceChain(const SourcePicture& picture, int levels) {
  std::vector<std::vector<Rgba>> chain;
  int w = picture.width;
  int h = picture.height;
  std::vector<Rgba> level(static_cast<size_t>(w * h));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      level[static_cast<size_t>(y * w + x)] = {picture.red.At(x, y), picture.green.At(x, y),
                                               picture.blue.At(x, y),
                                               picture.depth == 32 ? picture.alpha.At(x, y) : 0};
    }
  }
  chain.push_back(level);
  for (int l = 1; l < levels; ++l) {
    const int nw = std::max(1, w / 2);
    const int nh = std::max(1, h / 2);
    std::vector<Rgba> next(static_cast<size_t>(nw * nh));
    for (int y = 0; y < nh; ++y) {
      for (int x = 0; x < nw; ++x) {
        for (size_t c = 0; c < 4; ++c) {
          int sum = 0;
          int count = 0;
          for (int dy = 0; dy < std::min(2, h); ++dy) {
            for (int dx = 0; dx < std::min(2, w); ++dx) {
              sum += level[static_cast<size_t>((2 * y + dy) * w + 2 * x + dx)][c];
              ++count;
            }
          }
          next[static_cast<size_t>(y * nw + x)][c] = sum / count;
        }
      }
    }
    level = std::move(next);
    w = nw;
    h = nh;
    chain.push_back(level);
  }
  return chain;
}

struct ChainCase {
  int width;
  int height;
  int depth;
  int request;
};

void PrintTo(const ChainCase& c, std::ostream* out) {
  *out << c.width << "x" << c.height << "x" << c.depth << "_request_" << c.request;
}

class PtxChainTest : public ::testing::TestWithParam<ChainCase> {};

TEST_P(PtxChainTest, EveryLevelMatchesAFreshComputation) {
  const ChainCase& c = GetParam();
  std::mt19937 random(static_cast<unsigned>(c.width * 7919 + c.height));
  std::uniform_int_distribution<int> byte(0, 255);
  SourcePicture picture;
  Fill(picture, c.width, c.height, c.depth, [&](int, int) -> Rgba {
    return {byte(random), byte(random), byte(random), byte(random)};
  });
  const PtxFile file = ParsePtx(WriteToBytes(picture, c.request));
  EXPECT_EQ(file.header.depth, c.depth);
  const auto chain = ReferenceChain(picture, static_cast<int>(file.levels.size()));
  for (size_t l = 0; l < file.levels.size(); ++l) {
    const auto& level = file.levels[l];
    for (int y = 0; y < level.height; ++y) {
      for (int x = 0; x < level.width; ++x) {
        const Rgba& e = chain[l][static_cast<size_t>(y * level.width + x)];
        ASSERT_EQ(level.Byte(x, y, 0), e[2]) << "level " << l + 1 << " at " << x << "," << y;
        ASSERT_EQ(level.Byte(x, y, 1), e[1]) << "level " << l + 1 << " at " << x << "," << y;
        ASSERT_EQ(level.Byte(x, y, 2), e[0]) << "level " << l + 1 << " at " << x << "," << y;
        ASSERT_EQ(level.Byte(x, y, 3), e[3]) << "level " << l + 1 << " at " << x << "," << y;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Pictures, PtxChainTest,
                         ::testing::Values(ChainCase{16, 16, 32, 0}, ChainCase{256, 64, 32, 0},
                                           ChainCase{32, 128, 24, 0}, ChainCase{64, 8, 32, 0},
                                           ChainCase{8, 64, 32, 0}, ChainCase{1024, 8, 32, 0},
                                           ChainCase{8, 1024, 24, 0}, ChainCase{128, 128, 32, 3}));

// Once a level is one row high, the next averages only that row: the row
// below it still holds the 200s of an earlier, larger level, which must not
// count (they would make 150 instead of 100).
TEST(PtxWriter, SingleRowOrColumnLevelsAverageOnlyTheirOwnPixels) {
  for (const bool wide : {true, false}) {
    SourcePicture picture;
    const int w = wide ? 64 : 8;
    const int h = wide ? 8 : 64;
    Fill(picture, w, h, 32, [&](int x, int y) -> Rgba {
      const int v = (wide ? y : x) >= 4 ? 200 : 0;
      return {v, v, v, v};
    });
    const PtxFile file = ParsePtx(WriteToBytes(picture, 0));
    ASSERT_EQ(file.levels.size(), 5u);
    const auto& last = file.levels[4];
    for (uint8_t value : last.pixels) ASSERT_EQ(value, 100) << (wide ? "64 x 8" : "8 x 64");
  }
}

TEST(PtxWriter, TwentyFourBitSourceWritesZeroAlphaInEveryLevel) {
  SourcePicture picture;
  Fill(picture, 32, 16, 24, [](int x, int y) -> Rgba { return {x * 8, y * 8, 100, 255}; });
  const PtxFile file = ParsePtx(WriteToBytes(picture, 0));
  EXPECT_EQ(file.header.depth, 24);
  ASSERT_EQ(file.levels.size(), 4u);
  for (const auto& level : file.levels) {
    for (size_t i = 3; i < level.pixels.size(); i += 4) ASSERT_EQ(level.pixels[i], 0);
    EXPECT_EQ(level.pixels[0], 100);  // blue first
  }
}

TEST(PtxWriter, ReplacesALongerFile) {
  ScratchFolder folder;
  roadfire_test::WriteBytes(folder / "out.ptx", std::vector<uint8_t>(5000, 0xAB));
  SourcePicture picture;
  Fill(picture, 8, 8, 32, Flat);
  MipPlanes work;
  mipmill::WritePtx(picture, 0, folder / "out.ptx", work);
  EXPECT_EQ(roadfire_test::ReadBytes(folder / "out.ptx").size(), 352u);
}

int WriteFailureCode(const std::string& path) {
  SourcePicture picture;
  Fill(picture, 256, 256, 32, Flat);
  MipPlanes work;
  try {
    mipmill::WritePtx(picture, 0, path, work);
  } catch (const mipmill::FileLayerFailure& failure) {
    return failure.code();
  }
  return -1;
}

TEST(PtxWriter, CreateFailureCarriesTheSystemCode) {
  ScratchFolder folder;
#ifdef _WIN32
  const int path_not_found = 3;  // ERROR_PATH_NOT_FOUND
#else
  const int path_not_found = 2;  // ENOENT
#endif
  EXPECT_EQ(WriteFailureCode(folder / "no such folder/out.ptx"), path_not_found);
}

#ifndef _WIN32
TEST(PtxWriter, WriteFailureCarriesTheSystemCode) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  EXPECT_EQ(WriteFailureCode("/dev/full"), 28);  // ENOSPC
}
#endif

}  // namespace
