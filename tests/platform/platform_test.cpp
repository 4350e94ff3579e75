// The platform layer, run the same way on both back ends: what one system
// does natively (ignoring letter case, .exe names, parameter splitting) the
// other has to match.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "platform/platform.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using testing_support::kExeSuffix;
using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;

// A fresh folder under the system's temporary folder, removed afterwards.
class TempTree {
 public:
  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return platform::JoinPath(root_, relative); }
  std::string Folder(const std::string& relative) const {
    const std::string path = Path(relative);
    EXPECT_TRUE(platform::CreateFolder(path)) << path;
    return path;
  }
  std::string File(const std::string& relative, const std::string& bytes = "x") const {
    const std::string path = Path(relative);
    WriteWholeFile(path, bytes);
    return path;
  }

 private:
  testing_support::TempDir dir_;
  std::string root_ = dir_.path().string();
};

std::string ToUpper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string ToLower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The folder part of a path that still carries its own name.
std::string Dirname(const std::string& path) {
  return path.substr(0, path.find_last_of("\\/"));
}

std::string RecorderPath() {
  return platform::JoinPath(platform::ExecutableFolder(), std::string("argv_recorder") + kExeSuffix);
}

struct Record {
  std::string cwd;
  std::string raw;
  std::vector<std::string> args;
};

Record ReadRecord(const std::string& file) {
  Record record;
  std::istringstream in(ReadWholeFile(file));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("cwd=", 0) == 0) record.cwd = line.substr(4);
    if (line.rfind("raw=", 0) == 0) record.raw = line.substr(4);
    if (line.rfind("arg=", 0) == 0) record.args.push_back(line.substr(4));
  }
  return record;
}

// ---- Parameter strings --------------------------------------------------------

struct SplitCase {
  const char* line;
  std::vector<std::string> words;
};

const std::vector<SplitCase>& SplitCases() {
  static const std::vector<SplitCase> cases = {
      {"a b c", {"a", "b", "c"}},
      {"  a \t  b  ", {"a", "b"}},
      {"", {}},
      {"\"a b\" c", {"a b", "c"}},
      {"-5 \"D:\\My Cars\\car-5.tga\"", {"-5", "D:\\My Cars\\car-5.tga"}},
      {"ab\"c d\"e", {"abc de"}},
      {"\"\"", {""}},
      {"a \"\" b", {"a", "", "b"}},
      {"\"unterminated quote", {"unterminated quote"}},
      // Backslashes are literal unless they stand before a quote...
      {"C:\\a\\\\b\\", {"C:\\a\\\\b\\"}},
      // ...where each pair gives one backslash and an odd one escapes the quote.
      {"a\\\"b", {"a\"b"}},
      {"a\\\\\\\"b", {"a\\\"b"}},
      {"\"C:\\out dir\\\\\" next", {"C:\\out dir\\", "next"}},
      {"\"C:\\out dir\\\" next\"", {"C:\\out dir\" next"}},
      {"\"a\"\"b\"", {"a\"b"}},
  };
  return cases;
}

TEST(SplitWindowsCommandLine, FollowsTheWindowsStartUpRules) {
  for (const SplitCase& c : SplitCases()) {
    EXPECT_EQ(platform::SplitWindowsCommandLine(c.line), c.words) << "line: [" << c.line << "]";
  }
}

// The same table, through a real program start: on Windows this checks the
// table against the system's own start-up code, on POSIX it checks that the
// spawned program receives what a Windows program would.
TEST(StartAndWait, ChildReceivesTheParametersSplitLikeAWindowsProgram) {
  TempTree tree;
  const std::string record_file = tree.Path("record.txt");
  for (const SplitCase& c : SplitCases()) {
    platform::DeleteFileForced(record_file);
    ASSERT_TRUE(platform::StartAndWait(RecorderPath(), c.line, tree.root(), platform::WindowMode::kHidden))
        << RecorderPath();
    EXPECT_EQ(ReadRecord(record_file).args, c.words) << "parameters: [" << c.line << "]";
  }
}

TEST(StartAndWait, QuotedProgramPathWithSpacesRunsInTheGivenFolder) {
  TempTree tree;
  const std::string folder = tree.Folder("Dir With Spaces");
  const std::string work = tree.Folder("Dir With Spaces/Work Dir");
  const std::string program = platform::JoinPath(folder, std::string("Rec Order") + kExeSuffix);
  ASSERT_TRUE(platform::CopyFileReplacing(RecorderPath(), program));

  // The working folder is named in other letter cases than on disk, and the
  // program with an upper-case ".EXE" ending, as Windows users and tools do.
  const std::string work_other_case = platform::JoinPath(Dirname(work), ToUpper("Work Dir"));
  const std::string program_named = platform::JoinPath(folder, "REC ORDER.EXE");
  const std::string parameters = "\"C:\\My Cars\\car-5.tga\" -5 plain";
  ASSERT_TRUE(platform::StartAndWait(program_named, parameters, work_other_case, platform::WindowMode::kNormal));

  const Record record = ReadRecord(platform::JoinPath(work, "record.txt"));
  EXPECT_TRUE(platform::SameFileName(record.cwd, work) || platform::SameFileName(record.cwd, work_other_case))
      << record.cwd;
  EXPECT_EQ(record.args, (std::vector<std::string>{"C:\\My Cars\\car-5.tga", "-5", "plain"}));
  // The raw command line keeps the parameters as one string after the program.
  ASSERT_GE(record.raw.size(), parameters.size());
  EXPECT_EQ(record.raw.substr(record.raw.size() - parameters.size()), parameters) << record.raw;
}

TEST(StartAndWait, RelativeProgramPathIsTakenFromTheCurrentFolder) {
  TempTree tree;
  const std::string tools = tree.Folder("needed_Exes");
  ASSERT_TRUE(platform::CopyFileReplacing(RecorderPath(), platform::JoinPath(tools, std::string("tool") + kExeSuffix)));
  const std::string before = platform::CurrentFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(tree.root()));
  const bool started = platform::StartAndWait("needed_exes\\TOOL.exe", "x", tools, platform::WindowMode::kNormal);
  platform::SetCurrentFolder(before);
  ASSERT_TRUE(started);
  EXPECT_EQ(ReadRecord(platform::JoinPath(tools, "record.txt")).args, std::vector<std::string>{"x"});
}

TEST(StartAndWait, MissingProgramOrFolderIsReported) {
  TempTree tree;
  EXPECT_FALSE(platform::StartAndWait(tree.Path("no-such-program.exe"), "", "", platform::WindowMode::kHidden));
  EXPECT_FALSE(platform::StartAndWait(RecorderPath(), "", tree.Path("no-such-folder"), platform::WindowMode::kHidden));
}

// ---- File system -----------------------------------------------------------------

TEST(FindEntry, FindsFilesAndFoldersIgnoringLetterCase) {
  TempTree tree;
  tree.Folder("Pack");
  tree.File("Pack/Car.BMP");
  const std::string root = tree.root();
  struct Case {
    std::string path;
    platform::EntryKind kind;
  };
  const std::vector<Case> cases = {
      {tree.Path("Pack"), platform::EntryKind::kFolder},
      {tree.Path("PACK"), platform::EntryKind::kFolder},
      {tree.Path("pack") + platform::kPathSeparator, platform::EntryKind::kFolder},
      {tree.Path("Pack/Car.BMP"), platform::EntryKind::kFile},
      {platform::JoinPath(platform::JoinPath(root, "pAcK"), "car.bmp"), platform::EntryKind::kFile},
      {tree.Path("Pack/car.bmp/inner"), platform::EntryKind::kMissing},
      {tree.Path("Pack/Car.BMP.old"), platform::EntryKind::kMissing},
      {tree.Path("Pack/*.bmp"), platform::EntryKind::kMissing},
      {tree.Path("Pack/C?r.BMP"), platform::EntryKind::kMissing},
      {tree.Path("Missing/Car.BMP"), platform::EntryKind::kMissing},
      {"", platform::EntryKind::kMissing},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::FindEntry(c.path), c.kind) << c.path;
  }
}

TEST(FindEntry, RelativeNamesAreTakenFromTheCurrentFolder) {
  TempTree tree;
  tree.File("Index.FSH");
  const std::string before = platform::CurrentFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(tree.root()));
  const auto kind = platform::FindEntry("index.fsh");
  const std::string now = platform::CurrentFolder();
  platform::SetCurrentFolder(before);
  EXPECT_EQ(kind, platform::EntryKind::kFile);
  EXPECT_TRUE(platform::SameFileName(now, tree.root())) << now;
}

TEST(LongPathName, SpellsEachComponentAsStored) {
  TempTree tree;
  tree.Folder("Long Folder Name");
  const std::string file = tree.File("Long Folder Name/Texture File.tga");
  const auto same = platform::LongPathName(file);
  ASSERT_TRUE(same.has_value());
  EXPECT_TRUE(platform::SameFileName(*same, file)) << *same;
  EXPECT_FALSE(platform::LongPathName(tree.Path("Long Folder Name/missing.tga")).has_value());
#ifdef _WIN32
  // The temporary folder may come in 8.3 form; the long form spells it out.
  char short_path[MAX_PATH] = {};
  ASSERT_NE(::GetShortPathNameA(file.c_str(), short_path, MAX_PATH), 0u);
  const auto expanded = platform::LongPathName(short_path);
  ASSERT_TRUE(expanded.has_value()) << short_path;
  EXPECT_TRUE(platform::SameFileName(*expanded, file)) << short_path << " -> " << *expanded;
#else
  const auto respelled = platform::LongPathName(tree.Path("long folder name/TEXTURE FILE.TGA"));
  ASSERT_TRUE(respelled.has_value());
  EXPECT_EQ(*respelled, file);
#endif
}

TEST(FileSystem, CopyReplacesAndDeleteClearsReadOnly) {
  TempTree tree;
  const std::string source = tree.File("index.fsh", "new list\r\n");
  const std::string target = tree.File("index_old.txt", "an older and longer list\r\n");
  EXPECT_TRUE(platform::CopyFileReplacing(source, target));
  EXPECT_EQ(ReadWholeFile(target), "new list\r\n");
  EXPECT_FALSE(platform::CopyFileReplacing(tree.Path("missing.fsh"), tree.Path("copy.txt")));
  EXPECT_FALSE(platform::Exists(tree.Path("copy.txt")));

  // The existing target is replaced whatever letter case the caller uses.
  EXPECT_TRUE(platform::CopyFileReplacing(tree.File("other", "other"), tree.Path("INDEX_OLD.TXT")));
  EXPECT_EQ(platform::ListFolder(tree.root()).size(), 3u);
  EXPECT_EQ(ReadWholeFile(target), "other");

#ifdef _WIN32
  ASSERT_TRUE(::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
#else
  ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
#endif
  EXPECT_TRUE(platform::DeleteFileForced(target));
  EXPECT_FALSE(platform::Exists(target));
  EXPECT_FALSE(platform::DeleteFileForced(target));
}

#ifndef _WIN32
TEST(FileSystem, CopyKeepsTheProgramRunnable) {
  TempTree tree;
  const std::string copy = tree.Path("copied-recorder");
  ASSERT_TRUE(platform::CopyFileReplacing(RecorderPath(), copy));
  struct stat st {};
  ASSERT_EQ(::stat(copy.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);
}

TEST(FileSystem, LinksAreToldFromFilesAndFolders) {
  TempTree tree;
  const std::string file = tree.File("real.bin");
  const std::string folder = tree.Folder("Real");
  ASSERT_EQ(::symlink(file.c_str(), tree.Path("to-file").c_str()), 0);
  ASSERT_EQ(::symlink(folder.c_str(), tree.Path("to-folder").c_str()), 0);
  ASSERT_EQ(::symlink(tree.Path("gone").c_str(), tree.Path("dangling").c_str()), 0);
  EXPECT_TRUE(platform::IsLink(tree.Path("to-file")));
  EXPECT_TRUE(platform::IsLink(tree.Path("TO-FOLDER")));  // matched ignoring case, as elsewhere
  EXPECT_TRUE(platform::IsLink(tree.Path("dangling")));
  EXPECT_FALSE(platform::IsLink(file));
  EXPECT_FALSE(platform::IsLink(folder));
  EXPECT_FALSE(platform::IsLink(tree.Path("missing")));
  // Only the last name counts: a file reached through a linked folder is not itself a link.
  tree.File("Real/inside.bin");
  EXPECT_FALSE(platform::IsLink(tree.Path("to-folder/inside.bin")));
}

TEST(FileSystem, DeleteFindsTheFileIgnoringCase) {
  TempTree tree;
  const std::string file = tree.File("Car.TGA");
  EXPECT_TRUE(platform::DeleteFileForced(tree.Path("car.tga")));
  EXPECT_FALSE(platform::Exists(file));
}
#endif

// del *.tga passes read-only and hidden files over; the listing tells them,
// and the plain delete refuses a read-only file even to an administrator.
TEST(FileSystem, PlainDeleteLeavesReadOnlyFilesAndTheListingTellsThem) {
  TempTree tree;
  const std::string plain = tree.File("plain.tga");
  const std::string read_only = tree.File("read-only.tga");
#ifdef _WIN32
  const std::string hidden = tree.File("hidden.tga");
  ASSERT_TRUE(::SetFileAttributesA(read_only.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(::SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
#else
  const std::string hidden = tree.File(".hidden.tga");
  ASSERT_EQ(::chmod(read_only.c_str(), 0444), 0);
#endif
  for (const platform::FolderEntry& entry : platform::ListFolder(tree.root())) {
    EXPECT_EQ(entry.read_only, entry.name == "read-only.tga") << entry.name;
    EXPECT_EQ(entry.hidden, entry.name.find("hidden") != std::string::npos) << entry.name;
  }
  EXPECT_FALSE(platform::DeleteFileUnlessReadOnly(read_only));
  EXPECT_TRUE(platform::Exists(read_only));
  EXPECT_TRUE(platform::DeleteFileUnlessReadOnly(plain));
  EXPECT_FALSE(platform::Exists(plain));
  EXPECT_TRUE(platform::DeleteFileForced(read_only));
}

#ifndef _WIN32
// A name written in another letter case lands on the existing entry, in a
// folder found the same way; a new name keeps its own spelling.
TEST(FileSystem, PathForWritingFindsExistingNamesIgnoringCase) {
  TempTree tree;
  tree.Folder("DUMMY");
  const std::string existing = tree.File("DUMMY/Index.TXT");
  EXPECT_EQ(platform::PathForWriting(tree.Path("dummy/index.txt")), existing);
  EXPECT_EQ(platform::PathForWriting(tree.Path("dummy/new.ptx")), tree.Path("DUMMY/new.ptx"));
  EXPECT_EQ(platform::PathForWriting(tree.Path("missing/new.ptx")), tree.Path("missing/new.ptx"));
}

// A link is seen and removed as a link; what it leads to stays.
TEST(FileSystem, LinksAreRemovedNotFollowed) {
  TempTree tree;
  tree.Folder("target");
  const std::string kept = tree.File("target/kept.bmp");
  const std::string link = tree.Path("TPC");
  ASSERT_EQ(::symlink(tree.Path("target").c_str(), link.c_str()), 0);
  EXPECT_TRUE(platform::IsLink(tree.Path("tpc")));
  EXPECT_FALSE(platform::IsLink(tree.Path("target")));
  EXPECT_FALSE(platform::RemoveLink(tree.Path("target")));
  EXPECT_TRUE(platform::RemoveLink(tree.Path("tpc")));
  EXPECT_FALSE(platform::Exists(link));
  EXPECT_TRUE(platform::Exists(kept));
}

// Output meant for the terminal is collected instead, both streams in the
// order written, and a program that writes more than a pipe holds never
// blocks.
TEST(StartAndWait, CollectsWhatTheProgramPrints) {
  std::string output = "stale";
  ASSERT_TRUE(platform::StartAndWait("/bin/sh", "-c \"echo out; echo err >&2\"", "", platform::WindowMode::kNormal,
                                     &output));
  EXPECT_EQ(output, "out\nerr\n");
  ASSERT_TRUE(platform::StartAndWait("/bin/sh", "-c \"head -c 300000 /dev/zero | tr '\\\\0' x; echo end\"", "",
                                     platform::WindowMode::kNormal, &output));
  EXPECT_EQ(output.size(), 64u * 1024u);
  EXPECT_EQ(output.substr(output.size() - 4), "end\n");
}
#endif

TEST(FileSystem, FoldersAreCreatedListedAndRemoved) {
  TempTree tree;
  const std::string folder = tree.Path("TPC");
  EXPECT_TRUE(platform::CreateFolder(folder));
  EXPECT_FALSE(platform::CreateFolder(folder));  // exists already
  EXPECT_FALSE(platform::CreateFolder(tree.Path("no/such/parent")));
  tree.File("TPC/0000.bmp");
  tree.File("TPC/index.fsh");
  tree.Folder("TPC/sub");

  auto entries = platform::ListFolder(folder);
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "0000.bmp");
  EXPECT_FALSE(entries[0].is_folder);
  EXPECT_EQ(entries[1].name, "index.fsh");
  EXPECT_EQ(entries[2].name, "sub");
  EXPECT_TRUE(entries[2].is_folder);
  EXPECT_TRUE(platform::ListFolder(tree.Path("missing")).empty());

  EXPECT_FALSE(platform::RemoveEmptyFolder(folder));  // not empty
  EXPECT_TRUE(platform::RemoveEmptyFolder(tree.Path("TPC/sub")));
}

TEST(FileSystem, TemporaryAndProgramFolders) {
  const std::string temp = platform::TempFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), platform::kPathSeparator);
  EXPECT_EQ(platform::FindEntry(temp), platform::EntryKind::kFolder);

  const std::string exe = platform::ExecutablePath();
  EXPECT_EQ(platform::FindEntry(exe), platform::EntryKind::kFile) << exe;
  const std::string folder = platform::ExecutableFolder();
  EXPECT_EQ(platform::FindEntry(folder), platform::EntryKind::kFolder) << folder;
  EXPECT_EQ(Dirname(exe), folder);
  EXPECT_TRUE(platform::Exists(RecorderPath())) << RecorderPath();
}

TEST(FileSystem, JoinPathAddsOneSeparator) {
  const std::string sep(1, platform::kPathSeparator);
  EXPECT_EQ(platform::JoinPath("out", "car.ptx"), "out" + sep + "car.ptx");
  EXPECT_EQ(platform::JoinPath("out" + sep, "car.ptx"), "out" + sep + "car.ptx");
  EXPECT_EQ(platform::JoinPath("", "car.ptx"), "car.ptx");
}

TEST(SameFileName, IgnoresLetterCaseOnly) {
  EXPECT_TRUE(platform::SameFileName("needed_Exes", "NEEDED_exes"));
  EXPECT_FALSE(platform::SameFileName("car.tga", "car.tg"));
  EXPECT_FALSE(platform::SameFileName("car-1.bmp", "car_1.bmp"));
  EXPECT_EQ(ToLower("MIPMILL.exe"), "mipmill.exe");
}

// ---- Messages and command line -----------------------------------------------------

TEST(ShowMessage, GoesToTheInstalledHandlerUntilItIsRemoved) {
  std::vector<platform::MessageRequest> seen;
  auto previous = platform::SetMessageHandler([&](const platform::MessageRequest& r) { seen.push_back(r); });
  platform::ShowMessage({"MIPMILL Error", "File not found", platform::MessageIcon::kNone, nullptr});
  platform::ShowMessage({"Error", "Error 5", platform::MessageIcon::kError, nullptr});
  const auto mine = platform::SetMessageHandler(std::move(previous));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].title, "MIPMILL Error");
  EXPECT_EQ(seen[0].text, "File not found");
  EXPECT_EQ(seen[1].icon, platform::MessageIcon::kError);
  EXPECT_TRUE(static_cast<bool>(mine));
}

#ifndef _WIN32
TEST(ShowMessage, PosixSystemMessageGoesToStandardError) {
  testing::internal::CaptureStderr();
  platform::ShowMessage({"MIPMILL Error", "File not found\n\rline 2", platform::MessageIcon::kNone, nullptr});
  platform::ShowMessage({"", "no title", platform::MessageIcon::kError, nullptr});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "MIPMILL Error: File not found\n\rline 2\nno title\n");
}

TEST(RawCommandLine, PosixRebuildsTheLineQuotingWhatHoldsSpaces) {
  std::vector<std::string> args = {"/opt/my tools/mipmill", "-5", "D:/My Cars/car-5.tga", "", "plain"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  EXPECT_EQ(platform::RawCommandLine(static_cast<int>(argv.size()), argv.data()),
            "\"/opt/my tools/mipmill\" -5 \"D:/My Cars/car-5.tga\" \"\" plain");
}
#endif

}  // namespace

namespace {

// Large buffers: every byte writable and kept, small and odd sizes too, and
// pages given back in the middle leave the bytes around them alone.
TEST(LargeBuffer, HoldsWhatIsWrittenAndGivesPagesBackInPlace) {
  EXPECT_EQ(platform::AllocateLargeBuffer(0), nullptr);
  for (const std::size_t size : {std::size_t{1}, std::size_t{4097}, std::size_t{(5u << 20) + 123}}) {
    auto* bytes = static_cast<unsigned char*>(platform::AllocateLargeBuffer(size));
    ASSERT_NE(bytes, nullptr) << size;
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i % 251);
    // Give back a stretch that does not start or end on a page boundary:
    // only the whole pages inside it may go.
    const std::size_t from = size / 3 + 1;
    const std::size_t length = size / 3;
    platform::DiscardLargeBufferPages(bytes + from, length);
    const std::size_t page = 4096;  // the pages around the stretch are at least this large
    for (std::size_t i = 0; i < size; ++i) {
      if (i >= from && i < from + length) {
        if (i >= (from + page - 1) / page * page) continue;  // may be gone
      }
      ASSERT_EQ(bytes[i], i % 251) << size << " at " << i;
    }
    for (std::size_t i = from + length; i < size; ++i) bytes[i] = 0;  // still writable after the discard
    platform::ReleaseLargeBuffer(bytes, size);
  }
}

}  // namespace
