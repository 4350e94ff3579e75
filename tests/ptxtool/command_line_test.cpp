// ptxtool's commands as a user meets them: refusals with one line on
// standard error and no output left behind, usage errors, output names.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "common/bmp_writer.h"
#include "common/run_program.h"
#include "ptxtool/commands.h"
#include "ptxtool_test_support.h"

namespace ptxtool_test {
namespace {

using testing_support::FolderListing;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

int LineCount(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// Each case prepares its inputs in a fresh folder and names the command;
// the refusal must say what was found, in one line, and leave the folder as
// it was (an earlier output of the same name included).
struct RefusalCase {
  const char* name;
  std::function<void(const TempDir&)> prepare;
  std::vector<std::string> arguments;  // "@" at the start of a word stands for the folder
  const char* message;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, SayWhyAndLeaveNoOutput) {
  const RefusalCase& c = GetParam();
  TempDir dir;
  c.prepare(dir);
  WriteFileBytes(dir.file("earlier.out"), Bytes{1, 2, 3});
  const auto before = FolderListing(dir.path());
  std::vector<std::string> arguments;
  for (const std::string& word : c.arguments) {
    arguments.push_back(!word.empty() && word[0] == '@' ? dir.file(word.substr(1)) : word);
  }

  const Outcome outcome = Ptxtool(arguments);
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(LineCount(outcome.err), 1) << outcome.err;
  EXPECT_EQ(outcome.err.rfind("ptxtool: ", 0), 0u) << outcome.err;
  EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
  EXPECT_EQ(FolderListing(dir.path()), before);
  EXPECT_EQ(ReadFileBytes(dir.file("earlier.out")), (Bytes{1, 2, 3}));
}

void Ptx8x8(const TempDir& dir) {
  WriteTga(dir.file("car.tga"), Picture{8, 8}, 32);
  MipmillPtx(dir.file("car.tga"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Refusals,
    ::testing::Values(
        RefusalCase{"PngOf100x100", [](const TempDir& d) { WritePng(d.file("big.png"), Picture{100, 100}, 4); },
                    {"import", "@big.png", "@earlier.out"},
                    "the picture is 100 x 100 pixels; each side must be 8, 16, 32, 64, 128, 256, 512 or 1024"},
        RefusalCase{"PngOf2048", [](const TempDir& d) { WritePng(d.file("big.png"), Picture{2048, 8}, 3); },
                    {"import", "@big.png"}, "2048 x 8 pixels"},
        RefusalCase{"TgaOf8x12", [](const TempDir& d) { WriteTga(d.file("odd.tga"), Picture{8, 12}, 32); },
                    {"import", "@odd.tga"}, "the picture is 8 x 12 pixels"},
        RefusalCase{"Tga16Bit", [](const TempDir& d) { WriteTga(d.file("odd.tga"), Picture{8, 8}, 16); },
                    {"import", "@odd.tga"}, "a TGA of 16 bits a pixel"},
        RefusalCase{"TgaCutShort",
                    [](const TempDir& d) {
                      WriteTga(d.file("cut.tga"), Picture{8, 8}, 32);
                      std::filesystem::resize_file(d.file("cut.tga"), 100);
                    },
                    {"import", "@cut.tga"}, "ends before all its pixels"},
        RefusalCase{"BmpOf100x100",
                    [](const TempDir& d) { testbmp::WriteBmp(d.file("big.bmp"), testbmp::Picture(100, 100)); },
                    {"import", "@big.bmp"}, "100 x 100 pixels"},
        RefusalCase{"NotAPicture", [](const TempDir& d) { testing_support::WriteWholeFile(d.file("notes.png"), "hello\n"); },
                    {"import", "@notes.png"}, "not a PNG, TGA or BMP picture"},
        RefusalCase{"DamagedPng",
                    [](const TempDir& d) {
                      WritePng(d.file("car.png"), Picture{8, 8}, 4);
                      std::filesystem::resize_file(d.file("car.png"), 40);
                    },
                    {"import", "@car.png"}, "a damaged PNG"},
        RefusalCase{"MissingPicture", [](const TempDir&) {}, {"import", "@none.png"}, "no such file"},
        RefusalCase{"TruncatedPtx",
                    [](const TempDir& d) {
                      Ptx8x8(d);
                      std::filesystem::resize_file(d.file("car.ptx"), 200);
                    },
                    {"export", "@car.ptx", "@earlier.out"}, "level 1 is missing or damaged"},
        RefusalCase{"PtxClaimingMoreLevelsThanHeld",
                    [](const TempDir& d) {
                      Ptx8x8(d);
                      Bytes bytes = ReadFileBytes(d.file("car.ptx"));
                      bytes[12] = 3;
                      WriteFileBytes(d.file("car.ptx"), bytes);
                    },
                    {"export", "@car.ptx", "--level", "3"}, "level 3 is missing or damaged"},
        RefusalCase{"SheetOfPtxClaimingMoreLevelsThanHeld",
                    [](const TempDir& d) {
                      Ptx8x8(d);
                      Bytes bytes = ReadFileBytes(d.file("car.ptx"));
                      bytes[12] = 3;
                      WriteFileBytes(d.file("car.ptx"), bytes);
                    },
                    {"export", "@car.ptx", "--sheet"}, "level 3 is missing or damaged"},
        RefusalCase{"LevelBeyondTheChain", Ptx8x8, {"export", "@car.ptx", "--level", "3"},
                    "there is no level 3; the texture has 2 levels"},
        RefusalCase{"PictureAsPtx", [](const TempDir& d) { WritePng(d.file("car.png"), Picture{8, 8}, 4); },
                    {"export", "@car.png", "@earlier.out"}, "the source depth is 80 bits, not 24 or 32"},
        RefusalCase{"InfoOfTruncatedPtx",
                    [](const TempDir& d) {
                      Ptx8x8(d);
                      std::filesystem::resize_file(d.file("car.ptx"), 351);
                    },
                    {"info", "@car.ptx"}, "car.ptx: not consistent"},
        RefusalCase{"OutputFolderMissing", Ptx8x8, {"export", "@car.ptx", "@no/such/folder/car.png"},
                    "couldn't be written"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Info, DescribesAConsistentTexture) {
  TempDir dir;
  WriteTga(dir.file("car.tga"), Picture{16, 8}, 24);
  MipmillPtx(dir.file("car.tga"), 2);
  const Outcome outcome = Ptxtool({"info", dir.file("car.ptx")});
  EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.out, dir.file("car.ptx") +
                             "\n"
                             "  16 x 8, source depth 24 bits, 2 levels\n"
                             "  level 1: 16 x 8, 512 bytes\n"
                             "  level 2: 8 x 4, 128 bytes\n"
                             "  consistent\n");
}

TEST(Info, ListsWhatIsWrongWithADamagedTexture) {
  TempDir dir;
  Ptx8x8(dir);
  Bytes bytes = ReadFileBytes(dir.file("car.ptx"));
  bytes.resize(300);
  WriteFileBytes(dir.file("car.ptx"), bytes);
  const Outcome outcome = Ptxtool({"info", dir.file("car.ptx")});
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_NE(outcome.out.find("  level 2: 4 x 4, damaged or missing\n"
                             "  not consistent:\n"
                             "  - level 2 (4 x 4) is cut short: 12 bytes of 64 are there\n"),
            std::string::npos)
      << outcome.out;
}

TEST(Outputs, ReplaceAnEarlierFileAndLeaveNoTemporary) {
  TempDir dir;
  WritePng(dir.file("car.png"), Picture{8, 8}, 4);
  WriteFileBytes(dir.file("car.ptx"), Bytes(5000, 9));
  ASSERT_EQ(Ptxtool({"import", dir.file("car.png")}).exit_code, 0);
  EXPECT_EQ(ReadFileBytes(dir.file("car.ptx")).size(), 352u);
  EXPECT_EQ(FolderListing(dir.path()), (std::vector<std::string>{"car.png", "car.ptx"}));
}

struct UsageCase {
  const char* name;
  std::vector<std::string> arguments;
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

class UsageErrors : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageErrors, ExitWith2AndOneLine) {
  const Outcome outcome = Ptxtool(GetParam().arguments);
  EXPECT_EQ(outcome.exit_code, 2);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(LineCount(outcome.err), 1) << outcome.err;
  EXPECT_NE(outcome.err.find("ptxtool --help"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, UsageErrors,
    ::testing::Values(UsageCase{"Nothing", {}}, UsageCase{"UnknownCommand", {"show", "car.ptx"}},
                      UsageCase{"InfoWithoutName", {"info"}}, UsageCase{"InfoTwoNames", {"info", "a.ptx", "b.ptx"}},
                      UsageCase{"InfoWithOption", {"info", "a.ptx", "--sheet"}},
                      UsageCase{"ExportThreeNames", {"export", "a.ptx", "a.png", "b.png"}},
                      UsageCase{"LevelZero", {"export", "a.ptx", "--level", "0"}},
                      UsageCase{"LevelNotANumber", {"export", "a.ptx", "--level", "2x"}},
                      UsageCase{"LevelWithoutNumber", {"export", "a.ptx", "--level"}},
                      UsageCase{"SheetAndLevel", {"export", "a.ptx", "--sheet", "--level", "2"}},
                      UsageCase{"ExportWithLevels", {"export", "a.ptx", "--levels", "2"}},
                      UsageCase{"LevelsTen", {"import", "a.png", "--levels", "10"}},
                      UsageCase{"LevelsNegative", {"import", "a.png", "--levels", "-1"}},
                      UsageCase{"ImportWithSheet", {"import", "a.png", "--sheet"}},
                      UsageCase{"UnknownOption", {"import", "a.png", "--resize"}},
                      UsageCase{"ImportWithoutName", {"import", "--levels", "3"}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Help, GoesToStandardOutput) {
  const Outcome outcome = Ptxtool({"--help"});
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(outcome.out.rfind("Usage: ptxtool info FILE.ptx\n", 0), 0u);
  EXPECT_EQ(outcome.err, "");
}

TEST(OutputNames, FollowTheInputName) {
  struct Case {
    std::string ptx;
    int level;
    bool sheet;
    std::string png;
  };
  for (const Case& c : {Case{"car.ptx", 1, false, "car.png"}, Case{"car.ptx", 3, false, "car-3.png"},
                        Case{"car.PTX", 1, true, "car-sheet.png"}, Case{"old.cars/car", 2, false, "old.cars/car-2.png"},
                        Case{"car.v2.ptx", 1, false, "car.v2.png"}, Case{".ptx", 1, false, ".ptx.png"}}) {
    EXPECT_EQ(ptxtool::DefaultExportName(c.ptx, c.level, c.sheet), c.png) << c.ptx;
  }
  EXPECT_EQ(ptxtool::DefaultImportName("cars/car.PNG"), "cars/car.ptx");
  EXPECT_EQ(ptxtool::DefaultImportName("car"), "car.ptx");
}

#ifndef _WIN32
const std::string kProgram = std::string(ROADFIRE_BIN_DIR) + "/ptxtool";

TEST(Program, ExitStatusesReachTheSystem) {
  TempDir dir;
  WritePng(dir.file("big.png"), Picture{100, 100}, 4);
  EXPECT_EQ(testing_support::RunProgram(kProgram, {"--help"}).exit_code, 0);
  EXPECT_EQ(testing_support::RunProgram(kProgram, {"import"}).exit_code, 2);
  const auto refused = testing_support::RunProgram(kProgram, {"import", dir.file("big.png")});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("100 x 100"), std::string::npos) << refused.err;
}

// Run as an unprivileged user (the tests run as root): a folder it may not
// write to refuses the output, and nothing is left there.
TEST(Program, AFolderTheUserMayNotWriteRefusesTheOutput) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "locked");
  WritePng(dir.file("car.png"), Picture{8, 8}, 4);
  WriteFileBytes(dir.file("locked/car.ptx"), Bytes{7});
  chmod(dir.path().c_str(), 0755);
  chmod(dir.file("car.png").c_str(), 0644);
  chmod(dir.file("locked/car.ptx").c_str(), 0644);
  chmod(dir.file("locked").c_str(), 0555);

  const auto outcome = testing_support::RunProgram(
      "/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", kProgram, "import", dir.file("car.png"),
                           dir.file("locked/car.ptx")});
  EXPECT_EQ(outcome.exit_code, 1) << outcome.err;
  EXPECT_NE(outcome.err.find("locked/car.ptx: couldn't be written"), std::string::npos) << outcome.err;
  EXPECT_EQ(FolderListing(dir.path() / "locked"), std::vector<std::string>{"car.ptx"});
  EXPECT_EQ(ReadFileBytes(dir.file("locked/car.ptx")), Bytes{7});
}
#endif

}  // namespace
}  // namespace ptxtool_test
