// Runs the built program as callers do: a separate process with a command line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "alphawed_test_support.h"
#include "common/bmp_writer.h"
#include "platform/platform.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

using alphawed_test::ReadBytes;
using alphawed_test::ScratchFolder;
using testbmp::Picture;

#ifdef _WIN32
constexpr const char* kProgramName = "alphawed.exe";
#else
constexpr const char* kProgramName = "alphawed";
#endif

// A copy of the built program in a folder of its own, and a separate folder
// to call it from.
class EndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(scratch_ / "prog");
    std::filesystem::create_directory(scratch_ / "caller");
    program_ = scratch_ / "prog" + "/" + kProgramName;
    std::filesystem::copy_file(std::string(ROADFIRE_TOOLS_DIR) + "/" + kProgramName, program_);
  }

  std::string Prog(const std::string& name) const { return scratch_ / ("prog/" + name); }
  std::string Caller(const std::string& name) const { return scratch_ / ("caller/" + name); }

  bool Start(const std::string& parameters) {
    return platform::StartAndWait(program_, parameters, scratch_ / "caller", platform::WindowMode::kHidden);
  }

  ScratchFolder scratch_;
  std::string program_;
};

TEST_F(EndToEndTest, RelativeNamesAreTakenFromTheProgramFolder) {
  testbmp::WriteBmp(Prog("colour.bmp"), Picture(4, 4, {1, 2, 3}));
  testbmp::WriteBmp(Prog("alpha.bmp"), Picture(4, 4, {9, 0, 0}));
  // Same names in the caller's folder, with other contents, must not be used.
  testbmp::WriteBmp(Caller("colour.bmp"), Picture(2, 2));
  ASSERT_TRUE(Start("colour.bmp alpha.bmp out.tga"));

  EXPECT_FALSE(std::filesystem::exists(Caller("out.tga")));
  const std::vector<std::uint8_t> tga = ReadBytes(Prog("out.tga"));
  ASSERT_EQ(tga.size(), 18u + 4 * 4 * 4);
  EXPECT_EQ(tga[12], 4);
  EXPECT_EQ(std::vector<std::uint8_t>(tga.begin() + 18, tga.begin() + 22),
            (std::vector<std::uint8_t>{3, 2, 1, 9}));
}

TEST_F(EndToEndTest, QuotedMarkerAndPathsWithSpaces) {
  std::filesystem::create_directory(scratch_ / "my pictures");
  const std::string colour = scratch_ / "my pictures/colour 1.bmp";
  const std::string output = scratch_ / "my pictures/out 1.tga";
  testbmp::WriteBmp(colour, Picture(256, 256, {40, 50, 60}));
  ASSERT_TRUE(Start("\"" + colour + "\" \"No alpha image\" \"" + output + "\""));
  const std::vector<std::uint8_t> tga = ReadBytes(output);
  ASSERT_EQ(tga.size(), 196626u);
  EXPECT_EQ(tga[16], 24);
  EXPECT_EQ(tga[18], 60);
}

#ifndef _WIN32
// On Windows the box would wait for a user; on POSIX it goes to standard error.
TEST_F(EndToEndTest, ProblemsAreReportedAndTheStatusIsStillZero) {
  testbmp::WriteFile(Prog("text.bmp"), {'h', 'i'});
  struct Case {
    std::string arguments;
    std::string message;
  };
  const Case cases[] = {
      {"missing.bmp \"No alpha image\" out.tga",
       "Error: Non of the inputfiles dose exists\r\nSyntax: image.bmp alpha.bmp output.tga\n"},
      {"text.bmp \"No alpha image\" out.tga", "Error: File text.bmp couldn't be read as a bitmap\n"},
      {"", "Error: Non of the inputfiles dose exists\r\nSyntax: image.bmp alpha.bmp output.tga\n"},
  };
  for (const Case& c : cases) {
    const std::string command = "'" + program_ + "' " + c.arguments + " 2>'" + Caller("stderr.txt") + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << c.arguments;
    EXPECT_EQ(WEXITSTATUS(status), 0) << c.arguments;
    const std::vector<std::uint8_t> err = ReadBytes(Caller("stderr.txt"));
    EXPECT_EQ(std::string(err.begin(), err.end()), c.message) << c.arguments;
    EXPECT_FALSE(std::filesystem::exists(Prog("out.tga")));
  }
}
#endif

}  // namespace
