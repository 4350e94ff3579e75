// The safe replace in this process, on both systems (under Wine for the
// Windows build): content streamed in pieces lands only at Commit, an
// abandoned replacement leaves the target and the folder as they were, links
// and attributes survive. The permission cases run as an unprivileged user
// in tests/programs/replace_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

using testing_support::FolderListing;
using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;

bool MakeHardLink(const std::string& existing, const std::string& link) {
#ifdef _WIN32
  return ::CreateHardLinkA(link.c_str(), existing.c_str(), nullptr) != FALSE;
#else
  return ::link(existing.c_str(), link.c_str()) == 0;
#endif
}

enum class End { kCommit, kAbandon, kFailedWrite };

struct Case {
  const char* name;
  bool existing;   // "old" is there under the target name
  bool hard_link;  // ... and under a second name, "twin"
  End end;
};

const Case kCases[] = {
    {"new file", false, false, End::kCommit},
    {"existing file", true, false, End::kCommit},
    {"hard link", true, true, End::kCommit},
    {"abandoned new file", false, false, End::kAbandon},
    {"abandoned existing file", true, false, End::kAbandon},
    {"abandoned hard link", true, true, End::kAbandon},
    {"write after commit", true, false, End::kFailedWrite},
};

TEST(SafeReplace, ContentLandsWholeAtCommitAndNowhereElse) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const testing_support::TempDir dir;
    const std::string target = dir.file("target.bin");
    if (c.existing) WriteWholeFile(target, "old");
    if (c.hard_link) {
      ASSERT_TRUE(MakeHardLink(target, dir.file("twin")));
    }
    const std::vector<std::string> before = FolderListing(dir.path());

    {
      const std::unique_ptr<platform::ReplacingFile> file = platform::BeginReplacing(target);
      ASSERT_NE(file, nullptr);
      ASSERT_TRUE(file->Write("new ", 4));
      ASSERT_TRUE(file->Write("content", 7));
      ASSERT_TRUE(file->Write("", 0));
      // Nothing shows under the target's names before the commit.
      EXPECT_EQ(ReadWholeFile(target), c.existing ? "old" : "");
      if (c.end != End::kAbandon) {
        ASSERT_TRUE(file->Commit());
        EXPECT_FALSE(file->Commit());
      }
      if (c.end == End::kFailedWrite) {
        EXPECT_FALSE(file->Write("more", 4));
      }
    }

    const bool replaced = c.end != End::kAbandon;
    const std::string expected = replaced ? "new content" : c.existing ? "old" : "";
    EXPECT_EQ(ReadWholeFile(target), expected);
    if (c.hard_link) {
      EXPECT_EQ(ReadWholeFile(dir.file("twin")), expected);
    }
    std::vector<std::string> after = before;
    if (replaced && !c.existing) after = {"target.bin"};
    EXPECT_EQ(FolderListing(dir.path()), after);
  }
}

TEST(SafeReplace, ShorterContentCutsTheFileInPlace) {
  // Written in place (a second name exists): the old tail must not survive.
  const testing_support::TempDir dir;
  const std::string target = dir.file("long.bin");
  WriteWholeFile(target, std::string(100000, 'x'));
  ASSERT_TRUE(MakeHardLink(target, dir.file("twin")));
  ASSERT_TRUE(platform::ReplaceFileContents(target, std::vector<std::uint8_t>{'s', 'h', 'o', 'r', 't'}));
  EXPECT_EQ(ReadWholeFile(dir.file("twin")), "short");
}

TEST(SafeReplace, RefusesAFolderAndAMissingFolder) {
  const testing_support::TempDir dir;
  EXPECT_EQ(platform::BeginReplacing(dir.path().string()), nullptr);
  EXPECT_EQ(platform::BeginReplacing(dir.file("missing") + platform::kPathSeparator + "x.bin"), nullptr);
  EXPECT_EQ(platform::BeginReplacing(""), nullptr);
  EXPECT_TRUE(FolderListing(dir.path()).empty());
}

TEST(SafeReplace, ALongNameLeavesRoomForTheTemporary) {
  const testing_support::TempDir dir;
  const std::string target = dir.file(std::string(120, 'n') + ".bin");
  WriteWholeFile(target, "old");
  ASSERT_TRUE(platform::ReplaceFileContents(target, std::vector<std::uint8_t>{'n', 'e', 'w'}));
  EXPECT_EQ(ReadWholeFile(target), "new");
  EXPECT_EQ(FolderListing(dir.path()).size(), 1u);
}

#ifdef _WIN32
TEST(SafeReplace, ReadOnlyIsRefusedAndHiddenIsKept) {
  const testing_support::TempDir dir;
  const std::string locked = dir.file("locked.bin");
  WriteWholeFile(locked, "old");
  ASSERT_TRUE(::SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(platform::BeginReplacing(locked), nullptr);
  EXPECT_EQ(ReadWholeFile(locked), "old");

  const std::string hidden = dir.file("hidden.bin");
  WriteWholeFile(hidden, "old");
  ASSERT_TRUE(::SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(platform::ReplaceFileContents(hidden, std::vector<std::uint8_t>{'n', 'e', 'w'}));
  EXPECT_EQ(ReadWholeFile(hidden), "new");
  EXPECT_NE(::GetFileAttributesA(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(FolderListing(dir.path()).size(), 2u);
}
#endif

}  // namespace
