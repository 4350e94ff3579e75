// The archive explorer through packrat-cli's command handling: list, extract
// and build. A rebuilt archive must have exactly the bytes the engine writes
// for its model, and every refusal must name its cause and write nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "archive/archive_fixtures.h"
#include "packrat/archive/codec.h"
#include "packrat/archive/image_records.h"
#include "packrat/ui/cli.h"

#ifndef _WIN32
#include <unistd.h>

#include "common/limited_run.h"
#include "common/run_program.h"
#endif

namespace packrat {
namespace {

using Json = nlohmann::json;
using testing_support::Bytes;
using testing_support::FolderListing;
using testing_support::MakeArchive;
using testing_support::MakeArticle;
using testing_support::MakeChunk;
using testing_support::ReadFileBytes;
using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using testing_support::WriteWholeFile;

struct CliResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

CliResult Cli(const std::vector<std::string>& arguments) {
  std::ostringstream out;
  std::ostringstream err;
  const int code = RunPackratCli(arguments, out, err);
  return {code, out.str(), err.str()};
}

Bytes Pattern(std::size_t length, int seed) {
  Bytes bytes(length);
  for (std::size_t i = 0; i < length; ++i)
    bytes[i] = static_cast<std::uint8_t>(i * 31 / 7 + static_cast<std::size_t>(seed));
  return bytes;
}

Bytes CrpBytes(const Archive& archive) {
  TempDir dir;
  ArchiveCodec().WriteCrp(archive, dir.file("a.crp"));
  return ReadFileBytes(dir.file("a.crp"));
}

Bytes DrpBytes(const Archive& archive) {
  TempDir dir;
  ArchiveCodec().WriteDrp(archive, dir.file("a.drp"));
  return ReadFileBytes(dir.file("a.drp"));
}

Json ReadManifest(const std::string& folder) { return Json::parse(ReadWholeFile(folder + "/archive.json")); }

void WriteManifest(const std::string& folder, const Json& manifest) {
  // Dumped with the library's own layout: keys sorted, so in another order
  // than the program writes them, as a hand edit may leave them.
  WriteWholeFile(folder + "/archive.json", manifest.dump(4));
}

// One article of two parts, another of one, and two entries.
Archive SmallArchive() {
  return MakeArchive(
      32,
      {MakeArticle({MakeChunk(0x1000, 3, Pattern(5, 1)), MakeChunk(0x1001, 4, Pattern(300, 2), 0xDEADBEEF)},
                   7),
       MakeArticle({MakeChunk(0x2000, 255, Pattern(4096, 3), 1)}, 8)},
      {MakeChunk(7, 1, Pattern(17, 4)), MakeChunk(7, 0, {}, 2)});
}

struct Sample {
  const char* name;
  Archive archive;
};

std::vector<Sample> RoundTripSamples() {
  std::vector<Article> several;
  for (std::uint32_t a = 0; a < 12; ++a) {
    std::vector<Chunk> parts;
    for (std::uint32_t p = 0; p < a % 4; ++p) {
      parts.push_back(MakeChunk(a << 8 | p, static_cast<std::uint8_t>(a + p),
                                Pattern(a * 100 + p * 15, static_cast<int>(a)), p));
    }
    several.push_back(MakeArticle(std::move(parts), a * 3));
  }
  return {
      {"empty", MakeArchive(0, {}, {})},
      {"one chunk", MakeArchive(32, {MakeArticle({MakeChunk(0x1000, 3, Pattern(5, 9))}, 7)}, {})},
      {"zero-length chunks",
       MakeArchive(1,
                   {MakeArticle({MakeChunk(1, 0, {}), MakeChunk(2, 255, {}, 0xFFFFFFFF)}), MakeArticle({})},
                   {MakeChunk(3, 9, {})})},
      {"several articles", MakeArchive(0x12345678, std::move(several), {MakeChunk(9, 9, Pattern(33, 9))})},
      // The same id twice: the files must still be told apart.
      {"entries only", MakeArchive(0xFFFFFFFF, {},
                                   {MakeChunk(7, 1, Pattern(16, 1)), MakeChunk(7, 1, Pattern(15, 2)),
                                    MakeChunk(0xFFFFFFFF, 2, Pattern(17, 3), 0xFFFFFFFF)})},
      {"mixed", testing_support::RandomArchive(21, 6, 5, 6, 20000)},
  };
}

TEST(ArchiveExplorer, ExtractThenBuildGivesTheSameBytes) {
  for (const Sample& sample : RoundTripSamples()) {
    SCOPED_TRACE(sample.name);
    TempDir dir;
    const Bytes crp = CrpBytes(sample.archive);
    const Bytes drp = DrpBytes(sample.archive);
    WriteFileBytes(dir.file("game.crp"), crp);
    WriteFileBytes(dir.file("game.drp"), drp);

    const CliResult extracted = Cli({"extract", dir.file("game.crp"), dir.file("from-crp")});
    ASSERT_EQ(extracted.exit_code, 0) << extracted.err;
    EXPECT_EQ(Cli({"build", dir.file("from-crp"), dir.file("out.crp")}).err, "");
    EXPECT_EQ(Cli({"build", dir.file("from-crp"), dir.file("out.drp")}).err, "");
    EXPECT_EQ(ReadFileBytes(dir.file("out.crp")), crp);
    EXPECT_EQ(ReadFileBytes(dir.file("out.drp")), drp);

    // A .drp takes apart into the same folder.
    ASSERT_EQ(Cli({"extract", dir.file("game.drp"), dir.file("from-drp")}).exit_code, 0);
    EXPECT_EQ(FolderListing(dir.path() / "from-drp"), FolderListing(dir.path() / "from-crp"));
    EXPECT_EQ(ReadWholeFile(dir.file("from-drp/archive.json")),
              ReadWholeFile(dir.file("from-crp/archive.json")));
  }
}

TEST(ArchiveExplorer, ManifestDescribesTheArchiveAndNamesEveryChunkFile) {
  TempDir dir;
  const Archive archive = SmallArchive();
  WriteFileBytes(dir.file("game.crp"), CrpBytes(archive));
  // No folder given: the archive's name without its extension, beside it.
  const CliResult result = Cli({"extract", dir.file("game.crp")});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "Extracted 5 chunks into " + dir.file("game") + "\n");

  const Json manifest = ReadManifest(dir.file("game"));
  EXPECT_EQ(manifest["format"], "crp-folder");
  EXPECT_EQ(manifest["version"], 1);
  EXPECT_EQ(manifest["header_word"], 32);
  ASSERT_EQ(manifest["articles"].size(), 2u);
  EXPECT_EQ(manifest["articles"][1]["param"], 8);
  const Json& part = manifest["articles"][0]["parts"][1];
  EXPECT_EQ(part["id"], 0x1001);
  EXPECT_EQ(part["tag"], 4);
  EXPECT_EQ(part["param"], 0xDEADBEEFu);
  EXPECT_EQ(ReadFileBytes(dir.file("game") + "/" + part["file"].get<std::string>()), Pattern(300, 2));
  ASSERT_EQ(manifest["entries"].size(), 2u);
  // Same id, different files; the empty chunk has an empty file.
  const std::string empty_file = manifest["entries"][1]["file"];
  EXPECT_NE(manifest["entries"][0]["file"], empty_file);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.file("game") + "/" + empty_file));
  EXPECT_EQ(std::filesystem::file_size(dir.file("game") + "/" + empty_file), 0u);
}

// Hand edits: each row changes the extracted folder and the model in the
// same way; the rebuilt file must be what the engine writes for the model.
struct Edit {
  const char* name;
  std::function<void(Json& manifest, Archive& model, const std::string& folder)> apply;
};

void Remove(std::optional<std::vector<Chunk>>& chunks, std::uint32_t& count, std::size_t index) {
  chunks->erase(chunks->begin() + static_cast<std::ptrdiff_t>(index));
  --count;
}

const Edit kEdits[] = {
    {"keys reordered only", [](Json&, Archive&, const std::string&) {}},
    {"a chunk file of another length",
     [](Json& manifest, Archive& model, const std::string& folder) {
       const Bytes longer = Pattern(40000, 5);
       WriteFileBytes(folder + "/" + manifest["articles"][1]["parts"][0]["file"].get<std::string>(), longer);
       (*(*model.articles)[1].parts)[0] = MakeChunk(0x2000, 255, longer, 1);
     }},
    {"a chunk file emptied",
     [](Json& manifest, Archive& model, const std::string& folder) {
       WriteFileBytes(folder + "/" + manifest["entries"][0]["file"].get<std::string>(), {});
       (*model.entries)[0] = MakeChunk(7, 1, {});
     }},
    {"chunks, an article and an entry removed",
     [](Json& manifest, Archive& model, const std::string&) {
       manifest["articles"][0]["parts"].erase(0);
       Article& first = (*model.articles)[0];
       Remove(first.parts, first.part_count, 0);
       manifest["articles"].erase(1);
       model.articles->erase(model.articles->begin() + 1);
       model.article_count = 1;
       manifest["entries"].erase(0);
       Remove(model.entries, model.entry_count, 0);
     }},
    {"an article and an entry added, with new files",
     [](Json& manifest, Archive& model, const std::string& folder) {
       std::filesystem::create_directory(folder + "/mine");
       WriteFileBytes(folder + "/mine/wheel.bin", Pattern(123, 6));
       WriteFileBytes(folder + "/extra.bin", Pattern(9, 7));
       const Json wheel = Json::object({{"file", "./mine//wheel.bin"}, {"id", 5}, {"tag", 6}, {"param", 7}});
       manifest["articles"].push_back(Json::object({{"param", 99}, {"parts", Json::array({wheel})}}));
       model.articles->push_back(MakeArticle({MakeChunk(5, 6, Pattern(123, 6), 7)}, 99));
       ++model.article_count;
       const Json extra = Json::object({{"id", 1}, {"tag", 2}, {"param", 3}, {"file", "extra.bin"}});
       manifest["entries"].insert(manifest["entries"].begin(), extra);
       model.entries->insert(model.entries->begin(), MakeChunk(1, 2, Pattern(9, 7), 3));
       ++model.entry_count;
     }},
    {"descriptors changed",
     [](Json& manifest, Archive& model, const std::string&) {
       manifest["header_word"] = 0xFFFFFFFFu;
       model.header_word = 0xFFFFFFFF;
       manifest["articles"][0]["parts"][0]["tag"] = 0;
       (*(*model.articles)[0].parts)[0].tag = 0;
     }},
};

TEST(ArchiveExplorer, BuildsHandEditedFoldersAsTheEngineWritesTheirModel) {
  for (const Edit& edit : kEdits) {
    SCOPED_TRACE(edit.name);
    TempDir dir;
    Archive model = SmallArchive();
    WriteFileBytes(dir.file("game.crp"), CrpBytes(model));
    ASSERT_EQ(Cli({"extract", dir.file("game.crp"), dir.file("game")}).exit_code, 0);
    Json manifest = ReadManifest(dir.file("game"));
    edit.apply(manifest, model, dir.file("game"));
    WriteManifest(dir.file("game"), manifest);

    const CliResult built = Cli({"build", dir.file("game"), dir.file("edited.crp")});
    ASSERT_EQ(built.exit_code, 0) << built.err;
    EXPECT_EQ(ReadFileBytes(dir.file("edited.crp")), CrpBytes(model));
  }
}

// Bad input for `build`. Each row spoils a freshly extracted SmallArchive
// folder; `expected` is the whole line on standard error, with FOLDER
// standing for the folder's path.
struct BadFolder {
  const char* name;
  std::function<void(Json& manifest, const std::string& folder)> spoil;
  std::string expected;
  bool manifest_text_replaced = false;  // `spoil` wrote archive.json itself
};

const std::string kPart1 = "articles[0].parts[1]";

std::vector<BadFolder> BadFolders() {
  auto set = [](const char* key, Json value) {
    return [key, value](Json& m, const std::string&) { m[Json::json_pointer(key)] = value; };
  };
  auto text = [](std::string content) {
    return [content](Json&, const std::string& folder) { WriteWholeFile(folder + "/archive.json", content); };
  };
  std::vector<BadFolder> rows = {
      {"broken JSON", text("{\n  \"format\": \"crp-folder\",\n  \"version\" 1\n}\n"),
       "archive.json: line 3, column 13: syntax error while parsing object separator - unexpected number "
       "literal; expected ':'",
       true},
      {"not an object", text("[]"), "archive.json: expected an object, found an array", true},
      {"missing key at the top", [](Json& m, const std::string&) { m.erase("entries"); },
       "archive.json: missing key \"entries\""},
      {"missing key in a chunk",
       [](Json& m, const std::string&) { m["articles"][0]["parts"][1].erase("param"); },
       "archive.json: " + kPart1 + ": missing key \"param\""},
      {"unknown key", set("/entries/0/lenght", 5), "archive.json: entries[0].lenght: unknown key"},
      {"wrong type of number", set("/header_word", "32"),
       "archive.json: header_word: expected a whole number, found a string"},
      {"wrong type of list", set("/articles/0/parts", Json::object()),
       "archive.json: articles[0].parts: expected an array, found an object"},
      {"wrong type of file", set("/entries/1/file", 12),
       "archive.json: entries[1].file: expected a string, found a whole number"},
      {"tag out of range", set("/articles/0/parts/1/tag", 300),
       "archive.json: " + kPart1 + ".tag: 300 is not 0..255"},
      {"negative id", set("/entries/0/id", -1), "archive.json: entries[0].id: -1 is not 0..4294967295"},
      {"param past 32 bits", set("/articles/1/param", 4294967296u),
       "archive.json: articles[1].param: 4294967296 is not 0..4294967295"},
      {"fraction", set("/articles/1/parts/0/id", 1.5),
       "archive.json: articles[1].parts[0].id: 1.5 is not a whole number"},
      {"another format", set("/format", "zip"), "archive.json: format: \"zip\" is not \"crp-folder\""},
      {"another version", set("/version", 2),
       "archive.json: version: 2 is not supported; this program reads version 1"},
      {"chunk file missing",
       [](Json& m, const std::string& folder) {
         std::filesystem::remove(folder + "/" + m["entries"][0]["file"].get<std::string>());
       },
       "archive.json: entries[0].file: entries/00-00000007.bin doesn't exist"},
      {"chunk file is a folder", set("/entries/0/file", "articles/001"),
       "archive.json: entries[0].file: articles/001 is a folder, not a file"},
      {"absolute path", set("/entries/0/file", "/etc/hostname"),
       "archive.json: entries[0].file: /etc/hostname is an absolute path, not one inside the folder"},
      {"parent folder", set("/entries/0/file", "../outside.bin"),
       "archive.json: entries[0].file: ../outside.bin leaves the folder through .."},
      {"parent folder further in", set("/articles/0/parts/0/file", "articles/../../outside.bin"),
       "archive.json: articles[0].parts[0].file: articles/../../outside.bin leaves the folder through .."},
      {"backslash", set("/entries/0/file", "..\\outside.bin"),
       "archive.json: entries[0].file: ..\\outside.bin holds a backslash; names are separated by /"},
      {"drive", set("/entries/0/file", "C:outside.bin"),
       "archive.json: entries[0].file: C:outside.bin holds a colon, which Windows reads as a drive or a "
       "stream"},
      {"name Windows would change", set("/entries/0/file", "entries./00-00000007.bin"),
       "archive.json: entries[0].file: entries./00-00000007.bin: the name \"entries.\" ends in a dot or a "
       "space"},
      {"empty path", set("/entries/0/file", ""), "archive.json: entries[0].file: the path is empty"},
      {"chunk file longer than a chunk",
       [](Json& m, const std::string& folder) {
         WriteFileBytes(folder + "/" + m["entries"][1]["file"].get<std::string>(),
                        Bytes(kMaxChunkLength + 1));
       },
       "archive.json: entries[1].file: entries/01-00000007.bin is longer than a chunk can be (16777215 "
       "bytes)"},
      // The largest chunk fits an image, but that image does not fit a compressed file.
      {"model the engine refuses",
       [](Json& m, const std::string& folder) {
         WriteFileBytes(folder + "/" + m["entries"][1]["file"].get<std::string>(), Bytes(kMaxChunkLength));
       },
       "Archive is too large for a compressed CRP file"},
      {"no manifest",
       [](Json&, const std::string& folder) { std::filesystem::remove(folder + "/archive.json"); },
       "File FOLDER" + std::string(1, std::filesystem::path::preferred_separator) +
           "archive.json couldn't be opened",
       true},
  };
#ifndef _WIN32
  rows.push_back({"chunk file is a link out of the folder",
                  [](Json& m, const std::string& folder) {
                    const std::string file = folder + "/" + m["entries"][0]["file"].get<std::string>();
                    std::filesystem::remove(file);
                    std::filesystem::create_symlink(folder + "/../outside.bin", file);
                  },
                  "archive.json: entries[0].file: entries/00-00000007.bin is a link, which could lead out of "
                  "the folder"});
  rows.push_back(
      {"folder on the way is a link out of the folder",
       [](Json& m, const std::string& folder) {
         std::filesystem::create_directory_symlink(folder + "/..", folder + "/up");
         m["entries"][0]["file"] = "up/outside.bin";
       },
       "archive.json: entries[0].file: up/outside.bin: up is a link, which could lead out of the folder"});
#endif
  return rows;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(ArchiveExplorer, RefusesBadFoldersAndWritesNothing) {
  TempDir reference;
  WriteFileBytes(reference.file("game.crp"), CrpBytes(SmallArchive()));
  for (const BadFolder& row : BadFolders()) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const std::string folder = dir.file("game");
    ASSERT_EQ(Cli({"extract", reference.file("game.crp"), folder}).exit_code, 0);
    // A file the manifest must never reach: were it read, the build would succeed.
    WriteFileBytes(dir.file("outside.bin"), Bytes{1, 2, 3});
    Json manifest = ReadManifest(folder);
    row.spoil(manifest, folder);
    if (!row.manifest_text_replaced) WriteManifest(folder, manifest);

    // Existing outputs of both kinds keep their content.
    WriteWholeFile(dir.file("out.crp"), "old crp");
    WriteWholeFile(dir.file("out.drp"), "old drp");
    const auto listing = FolderListing(dir.path());
    for (const char* output : {"out.crp", "out.drp"}) {
      if (row.expected.starts_with("Archive is too large") && std::string(output) == "out.drp") continue;
      const CliResult result = Cli({"build", folder, dir.file(output)});
      EXPECT_EQ(result.exit_code, 1) << output;
      EXPECT_EQ(result.err, Replace(row.expected, "FOLDER", folder) + "\n") << output;
      EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(ReadWholeFile(dir.file("out.crp")), "old crp");
    EXPECT_EQ(ReadWholeFile(dir.file("out.drp")), "old drp");
    EXPECT_EQ(FolderListing(dir.path()), listing);
  }
}

TEST(ArchiveExplorer, BuildRefusesAnOutputNameOfNoKnownKind) {
  TempDir dir;
  WriteFileBytes(dir.file("game.crp"), CrpBytes(SmallArchive()));
  ASSERT_EQ(Cli({"extract", dir.file("game.crp"), dir.file("game")}).exit_code, 0);
  const CliResult result = Cli({"build", dir.file("game"), dir.file("game.zip")});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "Output name " + dir.file("game.zip") + " ends neither in .crp nor in .drp\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("game.zip")));
  // Letter case does not matter, as for any Windows name.
  EXPECT_EQ(Cli({"build", dir.file("game"), dir.file("GAME.DRP")}).exit_code, 0);
}

TEST(ArchiveExplorer, ExtractRefusesAFolderInUseAndABrokenArchive) {
  TempDir dir;
  WriteFileBytes(dir.file("game.crp"), CrpBytes(SmallArchive()));
  WriteFileBytes(dir.file("short.crp"), Bytes(15));
  std::filesystem::create_directory(dir.file("busy"));
  WriteWholeFile(dir.file("busy/notes.txt"), "mine");
  WriteWholeFile(dir.file("taken"), "a file");
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    std::string expected;
  } rows[] = {
      {"folder holds a file",
       {"extract", dir.file("game.crp"), dir.file("busy")},
       "Folder " + dir.file("busy") + " is not empty"},
      {"folder name is a file",
       {"extract", dir.file("game.crp"), dir.file("taken")},
       "Folder " + dir.file("taken") + " can't be made: a file has that name"},
      {"archive the engine refuses",
       {"extract", dir.file("short.crp")},
       "File " + dir.file("short.crp") + " has invalid file size"},
      {"archive missing",
       {"extract", dir.file("none.crp"), dir.file("none")},
       "File " + dir.file("none.crp") + " couldn't be opened"},
  };
  const auto listing = FolderListing(dir.path());
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const CliResult result = Cli(row.arguments);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, row.expected + "\n");
    EXPECT_EQ(FolderListing(dir.path()), listing);
    EXPECT_EQ(FolderListing(dir.path() / "busy"), std::vector<std::string>{"notes.txt"});
  }
  // An empty folder is as good as none.
  std::filesystem::create_directory(dir.file("empty"));
  EXPECT_EQ(Cli({"extract", dir.file("game.crp"), dir.file("empty")}).exit_code, 0);
  EXPECT_TRUE(std::filesystem::exists(dir.file("empty/archive.json")));
}

TEST(ArchiveExplorer, ListShowsTheTreeAndTheSummary) {
  TempDir dir;
  const Archive archive = SmallArchive();
  const Bytes crp = CrpBytes(archive);
  WriteFileBytes(dir.file("game.crp"), crp);
  WriteFileBytes(dir.file("game.drp"), DrpBytes(archive));
  WriteFileBytes(dir.file("stored.crp"), DrpBytes(archive));

  const CliResult listed = Cli({"list", dir.file("game.crp")});
  ASSERT_EQ(listed.exit_code, 0) << listed.err;
  EXPECT_EQ(listed.out,
            "header word 0x00000020\n"
            "article 0: param 0x00000007, 2 parts\n"
            "  part 0: id 0x00001000, param 0x00000000, tag 3, length 5\n"
            "  part 1: id 0x00001001, param 0xdeadbeef, tag 4, length 300\n"
            "article 1: param 0x00000008, 1 part\n"
            "  part 0: id 0x00002000, param 0x00000001, tag 255, length 4096\n"
            "entry 0: id 0x00000007, param 0x00000000, tag 1, length 17\n"
            "entry 1: id 0x00000007, param 0x00000002, tag 0, length 0\n"
            "2 articles, 2 entries, 5 chunks, 4418 data bytes, image 12288 bytes, compressed " +
                std::to_string(crp.size()) + " bytes\n");

  const auto summary = [&](const std::string& name) {
    const std::string out = Cli({"list", dir.file(name)}).out;
    return out.substr(out.rfind('\n', out.size() - 2) + 1);
  };
  EXPECT_EQ(summary("game.drp"), "2 articles, 2 entries, 5 chunks, 4418 data bytes, image 12288 bytes\n");
  EXPECT_EQ(
      summary("stored.crp"),
      "2 articles, 2 entries, 5 chunks, 4418 data bytes, image 12288 bytes, stored without compression\n");

  const CliResult json = Cli({"list", "--json", dir.file("game.crp")});
  ASSERT_EQ(json.exit_code, 0) << json.err;
  const Json listed_json = Json::parse(json.out);
  EXPECT_EQ(listed_json["header_word"], 32);
  ASSERT_EQ(listed_json["articles"].size(), 2u);
  EXPECT_EQ(listed_json["articles"][0]["param"], 7);
  EXPECT_EQ(listed_json["articles"][0]["parts"][1],
            Json({{"id", 0x1001}, {"tag", 4}, {"param", 0xDEADBEEFu}, {"length", 300}}));
  EXPECT_EQ(listed_json["articles"][1]["parts"][0]["length"], 4096);
  ASSERT_EQ(listed_json["entries"].size(), 2u);
  EXPECT_EQ(listed_json["entries"][1], Json({{"id", 7}, {"tag", 0}, {"param", 2}, {"length", 0}}));
  EXPECT_EQ(Cli({"list", "--json", dir.file("game.drp")}).out, json.out);

  const CliResult missing = Cli({"list", dir.file("none.crp")});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err, "File " + dir.file("none.crp") + " couldn't be opened\n");
}

TEST(ArchiveExplorer, UsageNamesAllCommands) {
  for (const std::vector<std::string>& wrong :
       std::vector<std::vector<std::string>>{{"list"},
                                             {"list", "--json"},
                                             {"list", "--xml", "a.crp"},
                                             {"extract"},
                                             {"extract", "a", "b", "c"},
                                             {"build", "folder"},
                                             {"build", "a", "b", "c"}}) {
    EXPECT_EQ(Cli(wrong).exit_code, 2) << wrong[0] << " with " << wrong.size() - 1 << " arguments";
  }
  const CliResult help = Cli({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const char* command : {"packrat-cli unpack", "packrat-cli pack", "packrat-cli list [--json] FILE",
                              "packrat-cli extract FILE [FOLDER]", "packrat-cli build FOLDER OUTPUT"}) {
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  }
}

#ifndef _WIN32
const std::string kCli = std::string(ROADFIRE_BIN_DIR) + "/packrat-cli";

// A disk that fills up part way through: the folder it made goes away
// again, and a folder that was there stays, empty.
TEST(ArchiveExplorer, FailedExtractionTakesAwayWhatItWrote) {
  TempDir dir;
  WriteFileBytes(dir.file("game.crp"), CrpBytes(SmallArchive()));
  std::filesystem::create_directory(dir.file("empty"));
  for (const std::string& folder : {dir.file("new"), dir.file("empty")}) {
    SCOPED_TRACE(folder);
    // Room for the small chunks, not for the 4096-byte one.
    const auto result =
        fault_injection::RunWithFileSizeLimit(kCli, {"extract", dir.file("game.crp"), folder}, 1000);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, "File " + folder + "/articles/001/00-00002000.bin couldn't be written\n");
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("new")));
  EXPECT_EQ(FolderListing(dir.path() / "empty"), std::vector<std::string>{});
}

// A user who may not write the folder is told so, by name.
TEST(ArchiveExplorer, ExtractAsAUserWhoMayNotWriteThere) {
  TempDir dir;
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  WriteFileBytes(dir.file("game.crp"), CrpBytes(SmallArchive()));
  std::filesystem::permissions(dir.file("game.crp"), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::group_read |
                                                         std::filesystem::perms::others_read);
  std::filesystem::create_directory(dir.file("locked"));
  std::filesystem::permissions(dir.file("locked"),
                               std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                   std::filesystem::perms::others_read | std::filesystem::perms::group_exec |
                                   std::filesystem::perms::others_exec);
  const auto result = testing_support::RunProgram(
      "/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", kCli, "extract",
                           dir.file("game.crp"), dir.file("locked/game")});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "Folder " + dir.file("locked/game") + " couldn't be created\n");
  EXPECT_EQ(FolderListing(dir.path() / "locked"), std::vector<std::string>{});
}
#endif

}  // namespace
}  // namespace packrat
