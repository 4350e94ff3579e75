// Fails every allocation of an fshtool run in turn: each time the run ends
// with status 1 and its memory line, leaks nothing, and leaves no list and no
// half-written file in the work folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <sstream>
#include <streambuf>

#include "common/failing_allocator.h"
#include "common/fsh_writer.h"
#include "fshtool/cli.h"
#include "fshtool_test_support.h"

namespace {

using fault_injection::SweepAllocationFailures;
using fshtool_test::FileNames;
using fshtool_test::ReadBytes;

// Collects a stream's text in a fixed array, so writing the report never
// allocates and takes no part in the sweep.
class FixedBuffer final : public std::streambuf {
 public:
  FixedBuffer() { Clear(); }
  void Clear() { setp(text_, text_ + sizeof text_ - 1); }
  std::string Text() const { return std::string(pbase(), pptr()); }

 private:
  char text_[1024];
};

TEST(FshtoolAllocationFailure, RunEndsWithTheMemoryLineAndNoList) {
  const fshtool_test::ScratchFolder scratch;
  const std::string pack = scratch / "pack.fsh";
  const std::string work = scratch / "work";
  ASSERT_TRUE(fshtest::WriteFile(pack, fshtest::Compress(fshtest::Build(fshtest::SamplePack()))));
  const std::string reference = scratch / "reference";
  {
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(fshtool::RunFshtool({pack, reference}, out, err), 0) << err.str();
  }
  const std::vector<std::string> arguments = {pack, work};
  FixedBuffer out_buffer;
  FixedBuffer err_buffer;
  std::ostream out(&out_buffer);
  std::ostream err(&err_buffer);
  int status = -1;
  const auto sweep =
      SweepAllocationFailures({[&] {
                                 std::filesystem::remove_all(work);
                                 out_buffer.Clear();
                                 err_buffer.Clear();
                               },
                               [&] { status = fshtool::RunFshtool(arguments, out, err); },
                               [&](long) {
                                 EXPECT_EQ(status, 1);
                                 EXPECT_EQ(err_buffer.Text(), "fshtool: " + pack + ": not enough memory\n");
                                 if (!std::filesystem::exists(work)) return;
                                 for (const std::string& name : FileNames(work)) {
                                   EXPECT_NE(name, "index.fsh");
                                   EXPECT_EQ(ReadBytes(work + "/" + name), ReadBytes(reference + "/" + name))
                                       << name;
                                 }
                               }});
  ASSERT_TRUE(sweep.finished);
  EXPECT_GT(sweep.sites, 10);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(FileNames(work), FileNames(reference));
}

}  // namespace
