// Fails every allocation of a mipmill run in turn: each time the run must
// end with the memory box, leak nothing, and leave the PTX of a previous run
// exactly as it was (no half-written texture in its place).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/failing_allocator.h"
#include "common/quiet_boxes.h"
#include "common/tga_writer.h"
#include "mipmill/encoder.h"
#include "mipmill_test_support.h"

namespace {

using fault_injection::QuietBoxes;
using fault_injection::SweepAllocationFailures;
using mipmill_test::ScratchFolder;

roadfire_test::TgaPixel Pattern(int x, int row) {
  return {static_cast<uint8_t>(x * 9), static_cast<uint8_t>(row * 5), 3, static_cast<uint8_t>(x ^ row)};
}

const std::vector<uint8_t> kOldPtx{'o', 'l', 'd', ' ', 'p', 't', 'x'};

TEST(MipmillAllocationFailure, ConversionLeavesTheOldPtxAndShowsTheMemoryBox) {
  ScratchFolder folder;
  const std::string tga = folder / "car one.tga";
  const std::string ptx = folder / "car one.ptx";
  roadfire_test::WriteTga(tga, {32, 16, 32}, Pattern);
  const std::string line = mipmill_test::CommandLine({"-4", tga});

  QuietBoxes boxes;
  int status = -1;
  const auto sweep = SweepAllocationFailures({[&] {
                                                roadfire_test::WriteBytes(ptx, kOldPtx);
                                                boxes.Clear();
                                              },
                                              [&] { status = mipmill::RunEncoderProgram(line); },
                                              [&](long) {
                                                EXPECT_EQ(status, 1);
                                                EXPECT_EQ(boxes.count(), 1);
                                                EXPECT_EQ(boxes.last_text(), "Memory couldn't be allocated");
                                                EXPECT_EQ(roadfire_test::ReadBytes(ptx), kOldPtx);
                                              }});
  ASSERT_TRUE(sweep.finished);
  EXPECT_GT(sweep.sites, 5);
  // The last run, with no failure, converted.
  EXPECT_EQ(status, 0);
  EXPECT_EQ(boxes.count(), 0);
  EXPECT_EQ(mipmill_test::ParsePtx(roadfire_test::ReadBytes(ptx)).header.level_count, 4);
}

TEST(MipmillAllocationFailure, RefusalsShowEitherTheirOwnBoxOrTheMemoryBox) {
  ScratchFolder folder;
  const std::string odd = folder / "odd.tga";
  roadfire_test::WriteTga(odd, {12, 8, 24}, Pattern);  // not a power of two
  QuietBoxes boxes;
  for (const std::string& named : {odd, folder / "missing.tga"}) {
    int status = -1;
    const std::string line = mipmill_test::CommandLine({named});
    const auto sweep = SweepAllocationFailures(
        {[&] { boxes.Clear(); }, [&] { status = mipmill::RunEncoderProgram(line); },
         [&](long) {
           EXPECT_EQ(boxes.count(), 1);
           if (boxes.last_text() == "Memory couldn't be allocated") {
             EXPECT_EQ(status, 1);
           } else {
             EXPECT_EQ(status, 0) << boxes.last_text();
           }
           EXPECT_FALSE(std::filesystem::exists(named.substr(0, named.size() - 3) + "ptx"));
         }});
    ASSERT_TRUE(sweep.finished) << named;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(boxes.count(), 1);
  }
}

}  // namespace
