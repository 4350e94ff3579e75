// Runs the built programs as the pipeline and a user do: make_sample_fsh
// writes a pack, fshtool unpacks it in a process of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "fshtool_test_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

using fshtest::Colour;
using fshtool_test::FileNames;
using fshtool_test::ReadBitmap;
using fshtool_test::ReadBytes;
using fshtool_test::ReadText;
using fshtool_test::ScratchFolder;

#ifdef _WIN32
const std::string kFshtool = std::string(ROADFIRE_TOOLS_DIR) + "/fshtool.exe";
#else
const std::string kFshtool = std::string(ROADFIRE_TOOLS_DIR) + "/fshtool";
#endif

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

class EndToEndTest : public testing::Test {
 protected:
  RunResult Run(const std::string& program, const std::vector<std::string>& arguments) {
    std::string command = Quoted(program);
    for (const std::string& argument : arguments) command += " " + Quoted(argument);
    command += " >" + Quoted(scratch_ / "out.txt") + " 2>" + Quoted(scratch_ / "err.txt");
#ifdef _WIN32
    command = Quoted(command);  // cmd /c drops the outer pair
#endif
    const int raw = std::system(command.c_str());
    RunResult result;
#ifdef _WIN32
    result.status = raw;
#else
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    result.out = ReadText(scratch_ / "out.txt");
    result.err = ReadText(scratch_ / "err.txt");
    return result;
  }

  static std::size_t Lines(const std::string& text) {
    std::size_t count = 0;
    for (char c : text) count += c == '\n' ? 1 : 0;
    return count;
  }

  ScratchFolder scratch_;
};

const char* const kSampleIndexLines =
    "sky1 0000.BMP\r\n"
    "car0 0001.BMP\r\n"
    "whl1-3 0002.BMP\r\n"
    "dsh0 0003.BMP\r\n"
    "lgt0 0004.BMP\r\n";

const std::set<std::string> kSampleFiles = {"index.fsh",  "0000.BMP", "0000-a.BMP", "0001.BMP", "0002.BMP",
                                            "0002-a.BMP", "0003.BMP", "0003-a.BMP", "0004.BMP", "0004-a.BMP"};

TEST_F(EndToEndTest, UnpacksTheSamplePackInFoldersWithSpaces) {
  std::filesystem::create_directories(scratch_ / "my packs");
  const std::string pack = scratch_ / "my packs/sample.fsh";
  ASSERT_EQ(Run(MAKE_SAMPLE_FSH, {pack}).status, 0);
  const std::string work = scratch_ / "my temp/TPC";

  const RunResult result = Run(kFshtool, {pack, work});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(FileNames(work), kSampleFiles);
  EXPECT_EQ(ReadText(work + "/index.fsh"), std::string("FSH pack sample.fsh (directory id GIMX)\r\n") + kSampleIndexLines);

  const fshtool_test::Bitmap sky = ReadBitmap(work + "/0000.BMP");
  ASSERT_EQ(sky.width, 64);
  EXPECT_EQ(sky.At(1, 2), (Colour{4, 8, 200, 255}));
  EXPECT_EQ(ReadBitmap(work + "/0000-a.BMP").At(1, 2), (Colour{247, 247, 247, 255}));
  const fshtool_test::Bitmap wheel_alpha = ReadBitmap(work + "/0002-a.BMP");
  ASSERT_EQ(wheel_alpha.width, 32);
  EXPECT_EQ(wheel_alpha.At(0, 0), (Colour{0, 0, 0, 255}));
  EXPECT_EQ(wheel_alpha.At(16, 16), (Colour{255, 255, 255, 255}));
  const fshtool_test::Bitmap light_alpha = ReadBitmap(work + "/0004-a.BMP");
  ASSERT_EQ(light_alpha.width, 8);
  EXPECT_EQ(light_alpha.At(3, 7), (Colour{255, 255, 255, 255}));
  EXPECT_EQ(light_alpha.At(4, 7), (Colour{0, 0, 0, 255}));
}

TEST_F(EndToEndTest, ACompressedPackGivesTheSameBitmaps) {
  const std::string stored = scratch_ / "a.fsh";
  const std::string compressed = scratch_ / "b.fsh";
  ASSERT_EQ(Run(MAKE_SAMPLE_FSH, {stored}).status, 0);
  ASSERT_EQ(Run(MAKE_SAMPLE_FSH, {compressed, "--compressed"}).status, 0);
  ASSERT_EQ(ReadBytes(compressed)[0], 0x10);

  ASSERT_EQ(Run(kFshtool, {stored, scratch_ / "wa"}).status, 0);
  ASSERT_EQ(Run(kFshtool, {compressed, scratch_ / "wb"}).status, 0);
  EXPECT_EQ(ReadText(scratch_ / "wb/index.fsh"), std::string("FSH pack b.fsh (directory id GIMX)\r\n") + kSampleIndexLines);
  for (const std::string& name : kSampleFiles) {
    if (name == "index.fsh") continue;
    EXPECT_EQ(ReadBytes(scratch_ / ("wa/" + name)), ReadBytes(scratch_ / ("wb/" + name))) << name;
  }
}

TEST_F(EndToEndTest, SkippedObjectsAreReportedLineByLineAndTheRestIsWritten) {
  fshtest::Pack pack = fshtest::SamplePack();
  pack.objects.insert(pack.objects.begin() + 1, {"odd0", {fshtest::Image(0x12, 1, 1, {0, 0, 0})}});
  pack.objects.push_back({"cut0", {fshtest::Image(fshtest::kBgr888, 64, 64, {1, 2, 3})}});
  ASSERT_TRUE(fshtest::WriteFile(scratch_ / "p.fsh", fshtest::Build(pack)));

  const RunResult result = Run(kFshtool, {scratch_ / "p.fsh", scratch_ / "work"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(Lines(result.err), 2u) << result.err;
  EXPECT_NE(result.err.find("object 1 \"odd0\" has the unknown record code 0x12; skipped"), std::string::npos);
  EXPECT_NE(result.err.find("object 7 \"cut0\" has its pixels cut short"), std::string::npos);
  EXPECT_EQ(FileNames(scratch_ / "work"), kSampleFiles);
  EXPECT_EQ(ReadText(scratch_ / "work/index.fsh"), std::string("FSH pack p.fsh (directory id GIMX)\r\n") + kSampleIndexLines);
}

TEST_F(EndToEndTest, FailuresGiveOneLineAndANonzeroStatus) {
  ASSERT_TRUE(fshtest::WriteFile(scratch_ / "text.fsh", std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'}));
  const struct {
    const char* label;
    std::vector<std::string> arguments;
    std::string message;
  } cases[] = {
      {"not a pack", {scratch_ / "text.fsh", scratch_ / "work"}, "not an FSH pack"},
      {"missing pack", {scratch_ / "none.fsh", scratch_ / "work"}, "cannot find the pack"},
      {"no arguments", {}, "expected two arguments"},
      {"one argument", {scratch_ / "text.fsh"}, "expected two arguments"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const RunResult result = Run(kFshtool, c.arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(Lines(result.err), 1u) << result.err;
    EXPECT_EQ(result.err.rfind("fshtool: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(scratch_ / "work"));

  const RunResult help = Run(kFshtool, {"--help"});
  EXPECT_EQ(help.status, 0);
  // Windows writes the line end of text-mode output as CR LF.
  EXPECT_EQ(help.out.rfind("Usage: fshtool PACK.fsh WORKFOLDER", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
}

}  // namespace
