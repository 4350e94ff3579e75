// Fails every allocation of an alphawed run in turn, the BMP decoder's
// included: each time the run must end with the memory box, leak nothing,
// and leave an earlier TGA of the output name, and nothing else, behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "alphawed/alphawed.h"
#include "alphawed_test_support.h"
#include "common/bmp_writer.h"
#include "common/failing_allocator.h"
#include "common/quiet_boxes.h"

namespace {

using fault_injection::QuietBoxes;
using fault_injection::SweepAllocationFailures;

std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

testbmp::Picture Checks(int width, int height) {
  testbmp::Picture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) picture.at(x, y) = {static_cast<std::uint8_t>((x + y) % 2 * 200), 40, 90};
  }
  return picture;
}

const std::vector<std::uint8_t> kOldTga{'o', 'l', 'd', ' ', 't', 'g', 'a'};

TEST(AlphawedAllocationFailure, MergeLeavesTheOldTgaAndShowsTheMemoryBox) {
  const alphawed_test::ScratchFolder folder;
  testbmp::WriteBmp(folder / "colour.bmp", Checks(6, 4), {24});
  testbmp::WriteBmp(folder / "alpha.bmp", Checks(4, 3), {8});
  const std::string out = folder / "out.tga";
  const std::string program_folder = folder.path();
  const std::string line = "alphawed colour.bmp alpha.bmp out.tga";

  for (const bool with_alpha : {true, false}) {
    const std::string run_line = with_alpha ? line : "alphawed colour.bmp \"No alpha image\" out.tga";
    testbmp::WriteFile(out, kOldTga);
    const std::set<std::string> before = Listing(folder.path());
    QuietBoxes boxes;
    const auto sweep =
        SweepAllocationFailures({[&] { boxes.Clear(); }, [&] { alphawed::Run(run_line, program_folder); },
                                 [&](long) {
                                   EXPECT_EQ(boxes.count(), 1);
                                   EXPECT_EQ(boxes.last_text(), "Memory couldn't be allocated");
                                   EXPECT_EQ(alphawed_test::ReadBytes(out), kOldTga);
                                   EXPECT_EQ(Listing(folder.path()), before);
                                 }});
    ASSERT_TRUE(sweep.finished);
    EXPECT_GT(sweep.sites, 4);
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(alphawed_test::ReadBytes(out).size(), 18u + 6 * 4 * (with_alpha ? 4 : 3));
  }
}

}  // namespace
