#include <gtest/gtest.h>

#include "archive/archive_fixtures.h"
#include "common/run_program.h"
#include "packrat/archive/codec.h"
#include "packrat/ui/disk_files.h"

namespace packrat {
namespace {

#ifndef _WIN32
using testing_support::Bytes;
using testing_support::ReadFileBytes;
using testing_support::RunProgram;
using testing_support::TempDir;

const std::string kCli = std::string(ROADFIRE_BIN_DIR) + "/packrat-cli";

TEST(PackratCli, PackThenUnpackRoundTripsByteExact) {
  TempDir dir;
  const Archive archive = testing_support::RandomArchive(5, 8, 6, 8, 30000);
  ArchiveCodec(DiskFiles()).WriteDrp(archive, dir.file("game.drp"));
  const Bytes drp = ReadFileBytes(dir.file("game.drp"));

  auto packed = RunProgram(kCli, {"pack", dir.file("game.drp")});
  EXPECT_EQ(packed.exit_code, 0) << packed.err;
  EXPECT_EQ(packed.out, "Compressing DRP...\nCompressed DRP. Ready...\n");
  std::filesystem::remove(dir.file("game.drp"));

  auto unpacked = RunProgram(kCli, {"unpack", dir.file("game.crp")});
  EXPECT_EQ(unpacked.exit_code, 0) << unpacked.err;
  EXPECT_EQ(unpacked.out, "Decompressing CRP...\nDecompressed CRP. Ready...\n");
  EXPECT_EQ(ReadFileBytes(dir.file("game.drp")), drp);
}

TEST(PackratCli, GoesOnAfterAFailureAndReportsIt) {
  TempDir dir;
  ArchiveCodec(DiskFiles()).WriteCrp(Archive{}, dir.file("good.crp"));
  const std::string missing = dir.file("missing.crp");
  auto result = RunProgram(kCli, {"unpack", missing, dir.file("good.crp")});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "File " + missing + " couldn't be opened\n");
  EXPECT_TRUE(std::filesystem::exists(dir.file("good.drp")));
}

TEST(PackratCli, UsageErrors) {
  EXPECT_EQ(RunProgram(kCli, {}).exit_code, 2);
  EXPECT_EQ(RunProgram(kCli, {"unpack"}).exit_code, 2);
  EXPECT_EQ(RunProgram(kCli, {"squash", "a.crp"}).exit_code, 2);
  auto help = RunProgram(kCli, {"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("packrat-cli unpack"), std::string::npos);
}
#endif

}  // namespace
}  // namespace packrat
