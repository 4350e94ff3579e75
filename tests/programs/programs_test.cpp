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
#include "platform/platform.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

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
  const packrat::ArchiveCodec codec;
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

// The explorer the way a user runs it: extract next to the archive, then
// build from the folder, in a folder whose name is outside ASCII (one byte
// of the ANSI code page on Windows).
TEST(PackratCli, ExtractsAndRebuildsAnArchiveInAFolderWithAnAccentedName) {
  if (!platform::Exists(Program("packrat-cli"))) GTEST_SKIP() << "packrat-cli is not built";
  const testing_support::TempDir tree;
  const std::string folder = tree.file("Caf\xE9 Pack");
  ASSERT_TRUE(platform::CreateFolder(folder));
  const std::string crp = platform::JoinPath(folder, "car.crp");
  const packrat::ArchiveCodec codec;
  const packrat::Archive archive = MakeArchive();
  codec.WriteCrp(archive, crp);
  codec.WriteDrp(archive, platform::JoinPath(folder, "car.drp"));

  ASSERT_TRUE(platform::StartAndWait(Program("packrat-cli"), "extract \"" + crp + "\"", folder,
                                     platform::WindowMode::kHidden));
  const std::string extracted = platform::JoinPath(folder, "car");
  ASSERT_EQ(platform::FindEntry(platform::JoinPath(extracted, "archive.json")), platform::EntryKind::kFile);
  for (const char* output : {"rebuilt.crp", "rebuilt.drp"}) {
    ASSERT_TRUE(platform::StartAndWait(Program("packrat-cli"),
                                       "build \"" + extracted + "\" \"" + platform::JoinPath(folder, output) + "\"",
                                       folder, platform::WindowMode::kHidden));
  }
  EXPECT_EQ(ReadWholeFile(platform::JoinPath(folder, "rebuilt.crp")), ReadWholeFile(crp));
  EXPECT_EQ(ReadWholeFile(platform::JoinPath(folder, "rebuilt.drp")), ReadWholeFile(platform::JoinPath(folder, "car.drp")));
  EXPECT_FALSE(ReadWholeFile(crp).empty());

  // A chunk file renamed by hand to an accented name: the manifest spells it
  // in UTF-8, the disk in the system's own way.
  const std::string manifest_path = platform::JoinPath(extracted, "archive.json");
  std::string manifest = ReadWholeFile(manifest_path);
  const std::string generated = "entries/00-00000200.bin";
  const std::size_t at = manifest.find(generated);
  ASSERT_NE(at, std::string::npos) << manifest;
  manifest.replace(at, generated.size(), "caf\xC3\xA9.bin");
  testing_support::WriteWholeFile(manifest_path, manifest);
#ifdef _WIN32
  const std::string on_disk = "caf\xE9.bin";  // Windows-1252, the ANSI code page under Wine
#else
  const std::string on_disk = "caf\xC3\xA9.bin";
#endif
  ASSERT_TRUE(platform::MoveFileReplacing(platform::JoinPath(platform::JoinPath(extracted, "entries"), "00-00000200.bin"),
                                          platform::JoinPath(extracted, on_disk)));
  ASSERT_TRUE(platform::StartAndWait(Program("packrat-cli"),
                                     "build \"" + extracted + "\" \"" + platform::JoinPath(folder, "renamed.crp") + "\"",
                                     folder, platform::WindowMode::kHidden));
  EXPECT_EQ(ReadWholeFile(platform::JoinPath(folder, "renamed.crp")), ReadWholeFile(crp));
}

#ifdef _WIN32
// Programs whose texts are fixed (mipmill's usage box, alphawed's boxes, the
// Packrat dialog) carry the version where Windows shows it, in the file's
// properties; every program carries the one the project records.
TEST(Programs, EveryProgramCarriesTheProjectVersion) {
  for (const std::string name : {"Packrat", "packrat-cli", "Skinferry", "needed_Exes\\fshtool",
                                 "needed_Exes\\alphawed", "needed_Exes\\mipmill"}) {
    const std::string path = Program(name);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_NE(size, 0u) << path;
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, info.data())) << path;
    for (const char* field : {"ProductVersion", "FileVersion"}) {
      void* value = nullptr;
      UINT length = 0;
      const std::string query = std::string("\\StringFileInfo\\040904B0\\") + field;
      ASSERT_TRUE(::VerQueryValueA(info.data(), query.c_str(), &value, &length)) << path << " " << field;
      EXPECT_STREQ(static_cast<const char*>(value), ROADFIRE_PROJECT_VERSION) << path << " " << field;
    }
  }
}
#endif

}  // namespace
