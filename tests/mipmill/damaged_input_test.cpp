// Truncated and bit-flipped copies of a valid TGA through a whole mipmill
// run: each ends converted, with the size box, or with file error 100 for a
// file shorter than its header calls for, and a PTX appears only when the
// run converted.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/damage.h"
#include "common/quiet_boxes.h"
#include "common/tga_writer.h"
#include "mipmill/encoder.h"
#include "mipmill/file_failure.h"
#include "mipmill_test_support.h"

namespace {

using fault_injection::QuietBoxes;
using mipmill_test::ScratchFolder;

roadfire_test::TgaPixel Pattern(int x, int row) {
  return {static_cast<uint8_t>(x * 13), static_cast<uint8_t>(row * 29), static_cast<uint8_t>(x + row), 99};
}

void Check(const std::vector<damage::Damaged>& cases) {
  ScratchFolder folder;
  const std::string tga = folder / "car.tga";
  const std::string ptx = folder / "car.ptx";
  const std::string line = mipmill_test::CommandLine({tga});
  QuietBoxes boxes;
  for (const damage::Damaged& c : cases) {
    SCOPED_TRACE(c.what);
    roadfire_test::WriteBytes(tga, c.bytes);
    std::filesystem::remove(ptx);
    boxes.Clear();
    const int status = mipmill::RunEncoderProgram(line);
    if (status == 0 && boxes.count() == 0) {
      EXPECT_TRUE(std::filesystem::exists(ptx));
    } else if (status == 0) {
      EXPECT_EQ(boxes.last_text(), "TGA size must be 8,16,32...1024 x 24/32 bit");
      EXPECT_FALSE(std::filesystem::exists(ptx));
    } else {
      EXPECT_EQ(status, mipmill::FileLayerFailure::kShortRead);
      EXPECT_EQ(boxes.last_text(), "File error 100");
      EXPECT_FALSE(std::filesystem::exists(ptx));
    }
    EXPECT_LE(boxes.count(), 1);
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(MipmillDamagedInput, EveryPrefixIsAShortRead) {
  for (const int depth : {24, 32}) {
    const auto file = roadfire_test::EncodeTga({16, 8, depth}, Pattern);
    ScratchFolder folder;
    const std::string tga = folder / "cut.tga";
    QuietBoxes boxes;
    for (const damage::Damaged& c : damage::Prefixes(file)) {
      SCOPED_TRACE(c.what);
      roadfire_test::WriteBytes(tga, c.bytes);
      boxes.Clear();
      EXPECT_EQ(mipmill::RunEncoderProgram(mipmill_test::CommandLine({tga})),
                mipmill::FileLayerFailure::kShortRead);
      EXPECT_EQ(boxes.last_text(), "File error 100");
      EXPECT_FALSE(std::filesystem::exists(folder / "cut.ptx"));
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST(MipmillDamagedInput, BitFlipsConvertOrAreRefused) {
  Check(damage::BitFlips(roadfire_test::EncodeTga({16, 8, 32}, Pattern), 300, 18));
}

}  // namespace
