// alphawed on a full disk: by its rules an output that cannot be written
// ends the run without a word and with status 0; an earlier TGA of that name
// must still be whole, and no temporary file may be left.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <filesystem>
#include <set>

#include "alphawed_test_support.h"
#include "common/bmp_writer.h"
#include "common/limited_run.h"

namespace {

using fault_injection::RunWithFileSizeLimit;

const std::string kAlphawed = std::string(ROADFIRE_TOOLS_DIR) + "/alphawed";

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

TEST(AlphawedDiskFull, EndsSilentlyAndKeepsTheEarlierTga) {
  const alphawed_test::ScratchFolder folder;
  testbmp::WriteBmp(folder / "colour.bmp", testbmp::Picture(40, 30, {200, 100, 50}), {24});
  testbmp::WriteBmp(folder / "alpha.bmp", testbmp::Picture(40, 30, {128, 0, 0}), {8});
  const std::string out = folder / "out.tga";
  const std::vector<std::string> arguments = {folder / "colour.bmp", folder / "alpha.bmp", out};
  ASSERT_EQ(RunWithFileSizeLimit(kAlphawed, arguments, RLIM_INFINITY).exit_code, 0);
  const auto full = alphawed_test::ReadBytes(out);
  const std::vector<std::uint8_t> old{'o', 'l', 'd'};

  for (const rlim_t limit : {rlim_t{0}, rlim_t{1}, rlim_t{18}, rlim_t{full.size() / 2},
                             rlim_t{full.size() - 1}, rlim_t{full.size()}}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    testbmp::WriteFile(out, old);
    const auto names = Names(folder.path());
    const auto result = RunWithFileSizeLimit(kAlphawed, arguments, limit);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(Names(folder.path()), names);
    EXPECT_EQ(alphawed_test::ReadBytes(out), limit == full.size() ? full : old);
  }
}

}  // namespace
#endif
