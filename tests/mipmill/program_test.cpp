// Runs of the built program, on TGAs written here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "mipmill_test_support.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <process.h>
#else
#include <sys/wait.h>
#endif

namespace {

namespace fs = std::filesystem;
using mipmill_test::ParsePtx;
using mipmill_test::ScratchFolder;
using roadfire_test::TgaPixel;

const std::string kProgram = ROADFIRE_TOOLS_DIR "/mipmill";

struct ProgramRun {
  int status = -1;
  std::string messages;  // the boxes, as the POSIX build prints them
};

#ifdef _WIN32
ProgramRun RunMipmill(const ScratchFolder&, const std::vector<std::string>& arguments) {
  std::vector<std::string> quoted{"\"" + kProgram + ".exe\""};
  for (const auto& a : arguments) quoted.push_back(a.find(' ') != std::string::npos ? "\"" + a + "\"" : a);
  std::vector<const char*> argv;
  for (const auto& q : quoted) argv.push_back(q.c_str());
  argv.push_back(nullptr);
  const std::string program = kProgram + ".exe";
  return {static_cast<int>(_spawnv(_P_WAIT, program.c_str(), argv.data())), {}};
}
#else
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

ProgramRun RunMipmill(const ScratchFolder& folder, const std::vector<std::string>& arguments) {
  const fs::path messages = folder.path().parent_path() / (folder.path().filename().string() + ".err");
  std::string command = ShellQuoted(kProgram);
  for (const auto& a : arguments) command += " " + ShellQuoted(a);
  command += " 2>" + ShellQuoted(messages.string());
  const int result = std::system(command.c_str());
  ProgramRun run;
  run.status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  const auto bytes = roadfire_test::ReadBytes(messages);
  run.messages.assign(bytes.begin(), bytes.end());
  fs::remove(messages);
  return run;
}
#endif

TgaPixel Gradient(int x, int row) {
  return {static_cast<uint8_t>(x), static_cast<uint8_t>(row), static_cast<uint8_t>(x + row), 99};
}

TEST(MipmillProgram, ConvertsAQuotedPathWithALevelRequest) {
  ScratchFolder folder;
  fs::create_directories(folder.path() / "My Cars");
  const fs::path tga = folder.path() / "My Cars" / "car.tga";
  roadfire_test::WriteTga(tga, {256, 64, 32}, Gradient);
  const ProgramRun run = RunMipmill(folder, {"-3", tga.string()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.messages, "");
  const auto bytes = roadfire_test::ReadBytes(folder.path() / "My Cars" / "car.ptx");
  EXPECT_EQ(bytes.size(), 16u + (8 + 65536) + (8 + 16384) + (8 + 4096));
  const auto ptx = ParsePtx(bytes);
  ASSERT_EQ(ptx.levels.size(), 3u);
  EXPECT_EQ(ptx.levels[0].Byte(200, 0, 1), 63);  // last stored row on top
  EXPECT_EQ(ptx.levels[0].Byte(200, 63, 2), 200);
}

// The batch converter starts mipmill with a parameter string of its own; a
// name ending in -2 comes with the option -2 and the quoted path, and must
// convert on every system.
TEST(MipmillProgram, StartedWithTheBatchConvertersParameterString) {
  ScratchFolder folder;
  const fs::path tga = folder.path() / "wheel-2.tga";
  roadfire_test::WriteTga(tga, {16, 16, 32}, Gradient);
  const std::string program = kProgram + (platform::kPathSeparator == '\\' ? ".exe" : "");
  ASSERT_TRUE(platform::StartAndWait(program, "-2 \"" + tga.string() + "\"", folder.path().string(),
                                     platform::WindowMode::kHidden));
  const auto ptx = ParsePtx(roadfire_test::ReadBytes(folder.path() / "wheel-2.ptx"));
  EXPECT_EQ(ptx.levels.size(), 2u);
}

TEST(MipmillProgram, TwentyFourBitTgaWithAllLevels) {
  ScratchFolder folder;
  roadfire_test::WriteTga(folder / "car.tga", {8, 8, 24}, Gradient);
  const ProgramRun run = RunMipmill(folder, {folder / "car.tga"});
  EXPECT_EQ(run.status, 0);
  const auto bytes = roadfire_test::ReadBytes(folder / "car.ptx");
  ASSERT_EQ(bytes.size(), 352u);
  EXPECT_EQ(bytes[1], 24);
  EXPECT_EQ(bytes[12], 2);
}

#ifndef _WIN32
// On Windows these runs would stop at a box that waits for a user.

std::set<std::string> NamesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

TEST(MipmillProgram, UsageAndSizeRejectionsEndWithStatusZero) {
  ScratchFolder folder;
  roadfire_test::WriteTga(folder / "small.tga", {8, 8, 8}, Gradient);

  ProgramRun run = RunMipmill(folder, {});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.messages.find("MIPMILL Error"), std::string::npos) << run.messages;
  EXPECT_NE(run.messages.find("mipmill.exe -9 bmw.tga"), std::string::npos) << run.messages;

  run = RunMipmill(folder, {folder / "small.tga"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.messages.find("TGA size must be 8,16,32...1024 x 24/32 bit"), std::string::npos)
      << run.messages;
  EXPECT_EQ(NamesIn(folder.path()), (std::set<std::string>{"small.tga"}));
}

TEST(MipmillProgram, FileLayerFailuresEndWithTheirNumber) {
  ScratchFolder folder;
  roadfire_test::WriteBytes(folder / "car.bmp", {1, 2, 3});
  ProgramRun run = RunMipmill(folder, {folder / "car.bmp"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.messages.find("File error 2"), std::string::npos) << run.messages;

  auto bytes = roadfire_test::EncodeTga({8, 8, 32}, Gradient);
  bytes.pop_back();
  roadfire_test::WriteBytes(folder / "short.tga", bytes);
  run = RunMipmill(folder, {folder / "short.tga"});
  EXPECT_EQ(run.status, 100);
  EXPECT_NE(run.messages.find("File error 100"), std::string::npos) << run.messages;
  EXPECT_FALSE(fs::exists(folder.path() / "short.ptx"));
}
#endif

}  // namespace
