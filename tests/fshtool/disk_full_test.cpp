// fshtool on a full disk: status 1 with one line on standard error, no list
// and no half-written file left in the work folder, and the pack and the
// work folder's other files untouched. (By its rules the bitmaps and list of
// an earlier run are cleared first, so no stale list can outlive a failure.)
#include <gtest/gtest.h>

#ifndef _WIN32
#include <algorithm>
#include <filesystem>

#include "common/fsh_writer.h"
#include "common/limited_run.h"
#include "fshtool_test_support.h"

namespace {

namespace fs = std::filesystem;
using fault_injection::RunWithFileSizeLimit;
using fshtool_test::FileNames;
using fshtool_test::ReadBytes;

const std::string kFshtool = std::string(ROADFIRE_TOOLS_DIR) + "/fshtool";

TEST(FshtoolDiskFull, FailsWithOneLineAndLeavesNoListOrPartialFile) {
  const fshtool_test::ScratchFolder scratch;
  const std::string pack = scratch / "pack.fsh";
  const std::string work = scratch / "work";
  ASSERT_TRUE(fshtest::WriteFile(pack, fshtest::Build(fshtest::SamplePack())));
  const auto pack_bytes = ReadBytes(pack);

  ASSERT_EQ(RunWithFileSizeLimit(kFshtool, {pack, work}, RLIM_INFINITY).exit_code, 0);
  std::uintmax_t largest = 0;
  for (const auto& entry : fs::directory_iterator(work)) largest = std::max(largest, entry.file_size());
  const auto complete = FileNames(work);

  for (const rlim_t limit :
       {rlim_t{0}, rlim_t{1}, rlim_t{54}, rlim_t{largest / 2}, rlim_t{largest - 1}, rlim_t{largest}}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    fs::remove_all(work);
    fs::create_directories(work);
    // The list of an earlier run, which this run replaces.
    const std::string old = "FSH pack old.fsh (directory id GIMX)\r\n";
    fshtest::WriteFile(work + "/index.fsh", std::vector<std::uint8_t>(old.begin(), old.end()));
    fshtest::WriteFile(work + "/notes.txt", std::vector<std::uint8_t>{'m', 'i', 'n', 'e'});
    const auto result = RunWithFileSizeLimit(kFshtool, {pack, work}, limit);
    EXPECT_EQ(ReadBytes(pack), pack_bytes);
    EXPECT_EQ(fshtool_test::ReadText(work + "/notes.txt"), "mine");
    if (limit == largest) {
      EXPECT_EQ(result.exit_code, 0) << result.err;
      auto expected = complete;
      expected.insert("notes.txt");
      EXPECT_EQ(FileNames(work), expected);
      continue;
    }
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.err.rfind("fshtool: cannot write ", 0), 0u) << result.err;
    // No list, no partial file, and none of the run's own bitmaps: left
    // without a list they could not be told from the user's files.
    EXPECT_EQ(FileNames(work), std::set<std::string>{"notes.txt"});
  }
}

}  // namespace
#endif
