#include <gtest/gtest.h>

#include "archive/archive_fixtures.h"
#include "packrat/archive/codec.h"
#include "packrat/ui/disk_files.h"
#include "packrat/archive/error.h"
#include "packrat/ui/commands.h"

namespace packrat {
namespace {

using testing_support::Bytes;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

class RecordingReporter final : public CommandReporter {
 public:
  void ShowStatus(const std::string& text) override { events.push_back("status: " + text); }
  void ShowError(const std::string& text) override { events.push_back("error: " + text); }
  std::vector<std::string> events;
};

TEST(DeriveOutputName, ReplacesTheThirdCharacterFromTheEnd) {
  struct Case {
    const char* name;
    char letter;
    const char* expected;
  };
  for (const Case& c : {Case{"car.crp", 'd', "car.drp"}, Case{"CAR.CRP", 'd', "CAR.dRP"},
                        Case{"x.cr", 'd', "xdcr"}, Case{"D:\\cars\\a.drp", 'c', "D:\\cars\\a.crp"},
                        Case{"abc", 'd', "dbc"}, Case{"a.drp", 'd', "a.drp"}}) {
    EXPECT_EQ(DeriveOutputName(c.name, c.letter), c.expected) << c.name;
  }
  for (const char* short_name : {"", "a", "ab"}) {
    EXPECT_THROW(DeriveOutputName(short_name, 'd'), ArchiveError) << short_name;
  }
}

class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    archive_ = testing_support::RandomArchive(42);
    ArchiveCodec(DiskFiles()).WriteCrp(archive_, dir_.file("a.crp"));
  }
  TempDir dir_;
  Archive archive_;
  RecordingReporter reporter_;
};

TEST_F(Commands, UnpackThenPackReproducesTheArchive) {
  const Bytes original = ReadFileBytes(dir_.file("a.crp"));
  EXPECT_TRUE(UnpackArchive(dir_.file("a.crp"), reporter_));
  EXPECT_EQ(ArchiveCodec(DiskFiles()).ReadDrp(dir_.file("a.drp")), archive_);
  std::filesystem::remove(dir_.file("a.crp"));
  EXPECT_TRUE(PackArchive(dir_.file("a.drp"), reporter_));
  EXPECT_EQ(ReadFileBytes(dir_.file("a.crp")), original);
  EXPECT_EQ(reporter_.events, (std::vector<std::string>{"status: Decompressing CRP...",
                                                        "status: Decompressed CRP. Ready...",
                                                        "status: Compressing DRP...",
                                                        "status: Compressed DRP. Ready..."}));
}

TEST_F(Commands, ReaderFailureLeavesTheWorkingStatusAndNoOutput) {
  const std::string missing = dir_.file("none.crp");
  EXPECT_FALSE(UnpackArchive(missing, reporter_));
  EXPECT_EQ(reporter_.events, (std::vector<std::string>{"status: Decompressing CRP...",
                                                        "error: File " + missing + " couldn't be opened"}));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("none.drp")));

  reporter_.events.clear();
  EXPECT_FALSE(PackArchive(dir_.file("none.drp"), reporter_));
  EXPECT_EQ(reporter_.events.front(), "status: Compressing DRP...");
  EXPECT_EQ(reporter_.events.size(), 2u);
}

TEST_F(Commands, WriterFailureIsReported) {
  // The output name is a folder, so the writer cannot replace it.
  std::filesystem::create_directory(dir_.file("b.drp"));
  std::filesystem::copy_file(dir_.file("a.crp"), dir_.file("b.crp"));
  EXPECT_FALSE(UnpackArchive(dir_.file("b.crp"), reporter_));
  EXPECT_EQ(reporter_.events.back(), "error: File " + dir_.file("b.drp") + " couldn't be written");
  EXPECT_TRUE(std::filesystem::is_directory(dir_.file("b.drp")));
}

TEST_F(Commands, OutputEqualToInputReplacesTheInput) {
  // A .drp chosen for unpacking derives the same name: it is read, then replaced.
  std::filesystem::copy_file(dir_.file("a.crp"), dir_.file("same.drp"));
  EXPECT_TRUE(UnpackArchive(dir_.file("same.drp"), reporter_));
  EXPECT_EQ(ArchiveCodec(DiskFiles()).ReadDrp(dir_.file("same.drp")), archive_);
  EXPECT_NE(ReadFileBytes(dir_.file("same.drp")), ReadFileBytes(dir_.file("a.crp")));

  // And a .crp chosen for packing that cannot be read as an image is kept as it was.
  const Bytes before = ReadFileBytes(dir_.file("a.crp"));
  EXPECT_FALSE(PackArchive(dir_.file("a.crp"), reporter_));
  EXPECT_EQ(ReadFileBytes(dir_.file("a.crp")), before);
}

TEST_F(Commands, ShortNamesAreRefusedWithAText) {
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  std::filesystem::copy_file("a.crp", "ab");
  EXPECT_FALSE(UnpackArchive("ab", reporter_));
  std::filesystem::current_path(old);
  EXPECT_EQ(reporter_.events.back(), "error: File name ab is too short to derive the output name");
}

}  // namespace
}  // namespace packrat
