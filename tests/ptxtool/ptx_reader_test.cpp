// The PTX reader on whole and damaged files: what info calls consistent,
// which levels export, and that no size in a file is trusted before the
// bytes behind it are there.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "mipmill/texture_pixels.h"
#include "ptxtool/errors.h"
#include "ptxtool/ptx_reader.h"
#include "ptxtool_test_support.h"

namespace ptxtool_test {
namespace {

using testing_support::TempDir;

// What mipmill writes for an 8 x 8 picture: two levels, 352 bytes.
Bytes EightByEightPtx(int depth) {
  TempDir dir;
  WriteTga(dir.file("small.tga"), Picture{8, 8}, depth);
  return MipmillPtx(dir.file("small.tga"), 0);
}

void PutU32(Bytes& bytes, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool Exports(const Bytes& bytes, const ptxtool::PtxContents& contents, int level) {
  try {
    const ptxtool::LevelPicture picture = ptxtool::ExtractLevel(bytes, contents, level);
    EXPECT_EQ(picture.pixels.size(),
              static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) *
                  static_cast<size_t>(picture.channels));
    return true;
  } catch (const ptxtool::Refusal&) {
    return false;
  }
}

struct DamageCase {
  const char* name;
  std::function<void(Bytes&)> damage;
  const char* problem;         // part of a problem named; "" for a consistent file
  std::vector<int> exporting;  // the levels that still export
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

class PtxReader : public ::testing::TestWithParam<DamageCase> {};

TEST_P(PtxReader, ReportsTheDamageAndExportsWhatIsIntact) {
  const DamageCase& c = GetParam();
  Bytes bytes = EightByEightPtx(32);
  ASSERT_EQ(bytes.size(), 352u);
  c.damage(bytes);

  const ptxtool::PtxContents contents = ptxtool::InspectPtx(bytes);
  if (std::string(c.problem).empty()) {
    EXPECT_TRUE(contents.Consistent()) << ::testing::PrintToString(contents.problems);
  } else {
    const auto& problems = contents.problems;
    EXPECT_TRUE(std::any_of(problems.begin(), problems.end(),
                            [&](const std::string& p) { return p.find(c.problem) != std::string::npos; }))
        << ::testing::PrintToString(problems);
  }
  std::vector<int> exporting;
  for (int level = 1; level <= 12; ++level) {
    if (Exports(bytes, contents, level)) exporting.push_back(level);
  }
  EXPECT_EQ(exporting, c.exporting);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PtxReader,
    ::testing::Values(
        DamageCase{"Whole", [](Bytes&) {}, "", {1, 2}},
        DamageCase{"CutInTheHeader", [](Bytes& b) { b.resize(15); }, "shorter than the 16-byte header", {}},
        DamageCase{"HeaderOnly", [](Bytes& b) { b.resize(16); }, "level 1 (8 x 8) is missing", {}},
        DamageCase{"CutInALevelBlock", [](Bytes& b) { b.resize(16 + 8 + 256 + 5); }, "level 2 (4 x 4) is missing",
                   {1}},
        DamageCase{"CutInTheFirstPixels", [](Bytes& b) { b.resize(16 + 8 + 255); }, "255 bytes of 256", {}},
        DamageCase{"CutInTheLastPixels", [](Bytes& b) { b.pop_back(); }, "63 bytes of 64", {1}},
        DamageCase{"OneByteTooMany", [](Bytes& b) { b.push_back(0); }, "1 byte follows the last level", {1, 2}},
        DamageCase{"WrongByteCount", [](Bytes& b) { PutU32(b, 16 + 8 + 256, 60); },
                   "level 2 (4 x 4) says it holds 60 bytes; its size needs 64", {1}},
        DamageCase{"NonZeroWordAfterTheCount", [](Bytes& b) { b[16 + 5] = 1; }, "four bytes after its byte count",
                   {1, 2}},
        DamageCase{"Depth16", [](Bytes& b) { b[1] = 16; }, "source depth is 16 bits", {}},
        DamageCase{"OtherTrailerBytes", [](Bytes& b) { b[14] = 0; }, "bytes 13 to 15", {1, 2}},
        DamageCase{"NoLevels", [](Bytes& b) { b.resize(16); b[12] = 0; }, "claims no levels", {}},
        // Sides that would ask for gigabytes: refused by the length, never allocated.
        DamageCase{"HugeSides",
                   [](Bytes& b) {
                     PutU32(b, 4, 0xFFFFFFFF);
                     PutU32(b, 8, 0x40000000);
                   },
                   "4294967295 x 1073741824", {}},
        DamageCase{"ZeroHeight", [](Bytes& b) { PutU32(b, 8, 0); }, "8 x 0", {}}),
    [](const auto& test) { return std::string(test.param.name); });

// Several problems at once are all named.
TEST(PtxReader, NamesEveryProblemOfAFile) {
  Bytes bytes = EightByEightPtx(32);
  bytes[12] = 3;  // a third level the file does not hold, and more than 8 x 8 allows
  const ptxtool::PtxContents contents = ptxtool::InspectPtx(bytes);
  ASSERT_EQ(contents.problems.size(), 2u) << ::testing::PrintToString(contents.problems);
  EXPECT_EQ(contents.problems[0], "the header claims 3 levels; a texture of 8 x 8 has at most 2");
  EXPECT_EQ(contents.problems[1], "level 3 (2 x 2) is missing: the file ends at byte 352");

  bytes = EightByEightPtx(32);
  PutU32(bytes, 4, 0xFFFFFFFF);
  PutU32(bytes, 8, 0);
  EXPECT_GE(ptxtool::InspectPtx(bytes).problems.size(), 2u);
}

TEST(PtxReader, LevelsOf24BitSourceExportAsRgb) {
  const Bytes bytes = EightByEightPtx(24);
  const ptxtool::PtxContents contents = ptxtool::InspectPtx(bytes);
  ASSERT_TRUE(contents.Consistent());
  const ptxtool::LevelPicture level = ptxtool::ExtractLevel(bytes, contents, 2);
  EXPECT_EQ(level.channels, 3);
  EXPECT_EQ(level.width, 4);
  EXPECT_EQ(level.pixels.size(), 4u * 4u * 3u);
}

// A 1024 x 8 texture reaches one pixel high after three levels; the reader
// follows the halving rule down to 4 x 1.
TEST(PtxReader, FollowsLevelsDownToASinglePixelRow) {
  mipmill::TexturePixels pixels;
  pixels.width = 1024;
  pixels.height = 8;
  pixels.depth = 32;
  pixels.bgra.assign(1024 * 8 * 4, 7);
  TempDir dir;
  mipmill::WritePtxPixels(pixels, 0, dir.file("wide.ptx"));
  const Bytes bytes = testing_support::ReadFileBytes(dir.file("wide.ptx"));
  const ptxtool::PtxContents contents = ptxtool::InspectPtx(bytes);
  ASSERT_TRUE(contents.Consistent()) << ::testing::PrintToString(contents.problems);
  ASSERT_EQ(contents.levels.size(), 9u);
  EXPECT_EQ(contents.levels[3].height, 1);
  EXPECT_EQ(contents.levels[8].width, 4);
  EXPECT_EQ(contents.levels[8].height, 1);
  EXPECT_EQ(ptxtool::ExtractSheet(bytes, contents).width, 1024 + 512 + 256 + 128 + 64 + 32 + 16 + 8 + 4);
}

}  // namespace
}  // namespace ptxtool_test
