// Whole programs, started the way users and Skinferry start them: as child
// processes with a parameter string, on whichever system this build targets
// (under Wine for the Windows build).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "packrat/archive/codec.h"
#include "packrat/ui/disk_files.h"
#include "platform/platform.h"

namespace {

using testing_support::kExeSuffix;
using testing_support::ReadWholeFile;

// The programs lie in bin/ beside the folder of the test binaries.
std::string BinFolder() {
  const std::string tests = platform::ExecutableFolder();
  return platform::JoinPath(tests.substr(0, tests.find_last_of("\\/")), "bin");
}

std::string Program(const std::string& name) { return platform::JoinPath(BinFolder(), name + kExeSuffix); }

packrat::Chunk MakeChunk(std::uint32_t id, std::uint8_t tag, std::uint32_t param, std::size_t length, int seed) {
  packrat::Chunk chunk;
  chunk.id = id;
  chunk.tag = tag;
  chunk.param = param;
  chunk.length = static_cast<std::uint32_t>(length);
  chunk.data.emplace(length);
  // Repeats with variations, so the encoder finds both matches and literals.
  for (std::size_t i = 0; i < length; ++i) {
    (*chunk.data)[i] = static_cast<std::uint8_t>((i % 37 == 0) ? (i * 7 + static_cast<std::size_t>(seed)) : (i / 64 + static_cast<std::size_t>(seed)));
  }
  return chunk;
}

packrat::Archive MakeArchive() {
  packrat::Archive archive;
  archive.header_word = 0x1A2B3C4D;
  packrat::Article article;
  article.magic = packrat::Article::kMagic;
  article.param = 7;
  article.parts.emplace();
  article.parts->push_back(MakeChunk(0x100, 1, 3, 5000, 1));
  article.parts->push_back(MakeChunk(0x101, 2, 0, 17, 2));
  article.part_count = 2;
  archive.articles.emplace();
  archive.articles->push_back(article);
  archive.article_count = 1;
  archive.entries.emplace();
  archive.entries->push_back(MakeChunk(0x200, 3, 9, 300, 3));
  archive.entry_count = 1;
  return archive;
}

TEST(PackratCli, PacksAndUnpacksAnArchiveInAFolderWithSpaces) {
  if (!platform::Exists(Program("packrat-cli"))) GTEST_SKIP() << "packrat-cli is not built";
  const testing_support::TempDir tree;
  const std::string folder = tree.file("Car Pack");
  ASSERT_TRUE(platform::CreateFolder(folder));
  const std::string drp = platform::JoinPath(folder, "car.drp");
  const std::string crp = platform::JoinPath(folder, "car.crp");
  const packrat::ArchiveCodec codec(packrat::DiskFiles());
  const packrat::Archive archive = MakeArchive();
  codec.WriteDrp(archive, drp);
  const std::string image = ReadWholeFile(drp);
  ASSERT_FALSE(image.empty());

  ASSERT_TRUE(platform::StartAndWait(Program("packrat-cli"), "pack \"" + drp + "\"", folder,
                                     platform::WindowMode::kHidden));
  ASSERT_TRUE(platform::Exists(crp));
  EXPECT_TRUE(codec.ReadCrp(crp) == archive);

  ASSERT_TRUE(platform::DeleteFileForced(drp));
  ASSERT_TRUE(platform::StartAndWait(Program("packrat-cli"), "unpack \"" + crp + "\"", folder,
                                     platform::WindowMode::kHidden));
  EXPECT_EQ(ReadWholeFile(drp), image);
}

}  // namespace
