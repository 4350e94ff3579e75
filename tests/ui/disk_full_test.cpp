// packrat-cli on a full disk and with outputs it cannot write: the failure
// is reported as the file's "couldn't be written" text with status 1, and the
// file of the output name, even when it is the input itself, is unchanged.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>

#include <filesystem>

#include "archive/archive_fixtures.h"
#include "common/limited_run.h"
#include "packrat/archive/codec.h"
#include "packrat/ui/disk_files.h"

namespace packrat {
namespace {

using fault_injection::RunWithFileSizeLimit;
using testing_support::Bytes;
using testing_support::FolderListing;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

const std::string kCli = std::string(ROADFIRE_BIN_DIR) + "/packrat-cli";

struct Scenario {
  const char* name;
  const char* command;  // unpack or pack
  const char* input;
  const char* output;  // derived by the program; may equal the input
  bool input_is_crp;   // what the input file holds
};

const Scenario kScenarios[] = {
    {"unpack beside", "unpack", "car.crp", "car.drp", true},
    {"pack beside", "pack", "car.drp", "car.crp", false},
    {"unpack over its input", "unpack", "same.drp", "same.drp", true},
    {"pack over its input", "pack", "same.crp", "same.crp", false},
};

class PackratDiskFull : public ::testing::Test {
 protected:
  void SetUp() override {
    archive_ = testing_support::RandomArchive(11, 6, 5, 6, 20000);
    ArchiveCodec(DiskFiles()).WriteCrp(archive_, reference_.file("ref.crp"));
    ArchiveCodec(DiskFiles()).WriteDrp(archive_, reference_.file("ref.drp"));
  }

  // Lays out the input and an existing file of the output name.
  void Arrange(const Scenario& s) {
    std::filesystem::remove_all(dir_.path());
    std::filesystem::create_directories(dir_.path());
    if (std::string(s.output) != s.input) WriteFileBytes(dir_.file(s.output), Bytes{'o', 'l', 'd'});
    WriteFileBytes(dir_.file(s.input),
                   ReadFileBytes(reference_.file(s.input_is_crp ? "ref.crp" : "ref.drp")));
  }

  Archive archive_;
  TempDir reference_;
  TempDir dir_;
};

TEST_F(PackratDiskFull, EveryFailurePointLeavesTheOutputNameAlone) {
  int cases = 0;
  for (const Scenario& s : kScenarios) {
    SCOPED_TRACE(s.name);
    const bool unpack = std::string(s.command) == "unpack";
    const std::uint64_t full_size =
        std::filesystem::file_size(reference_.file(unpack ? "ref.drp" : "ref.crp"));
    for (const std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{16}, full_size / 3,
                                      full_size / 2, full_size - 1, full_size}) {
      SCOPED_TRACE("limit " + std::to_string(limit));
      Arrange(s);
      const Bytes before = ReadFileBytes(dir_.file(s.output));
      const auto listing = FolderListing(dir_.path());
      const auto result = RunWithFileSizeLimit(kCli, {s.command, dir_.file(s.input)}, limit);
      ++cases;
      EXPECT_EQ(FolderListing(dir_.path()), listing);  // no temporary left behind
      if (limit == full_size) {
        EXPECT_EQ(result.exit_code, 0) << result.err;
        EXPECT_EQ(ReadFileBytes(dir_.file(s.output)),
                  ReadFileBytes(reference_.file(unpack ? "ref.drp" : "ref.crp")));
        continue;
      }
      EXPECT_EQ(result.exit_code, 1);
      EXPECT_EQ(result.err, "File " + dir_.file(s.output) + " couldn't be written\n");
      EXPECT_EQ(result.out, unpack ? "Decompressing CRP...\n" : "Compressing DRP...\n");
      EXPECT_EQ(ReadFileBytes(dir_.file(s.output)), before);
    }
  }
  RecordProperty("cases", cases);
}

TEST_F(PackratDiskFull, OutputNameTakenByAFolder) {
  Arrange(kScenarios[0]);
  std::filesystem::remove(dir_.file("car.drp"));
  std::filesystem::create_directory(dir_.file("car.drp"));
  WriteFileBytes(dir_.file("car.drp") + "/inside", Bytes{1});
  const auto listing = FolderListing(dir_.path());
  const auto result = RunWithFileSizeLimit(kCli, {"unpack", dir_.file("car.crp")}, RLIM_INFINITY);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "File " + dir_.file("car.drp") + " couldn't be written\n");
  EXPECT_EQ(FolderListing(dir_.path()), listing);
  EXPECT_EQ(ReadFileBytes(dir_.file("car.drp") + "/inside"), Bytes{1});
}

}  // namespace
}  // namespace packrat
#endif
