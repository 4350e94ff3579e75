// How the programs treat a file the user already has under the output name,
// met the way a user meets it: the programs run as the unprivileged user
// nobody (dropped to with setpriv when the tests run as root, so a root CI
// cannot write past a read-only bit and hide the fault). Each case lays out
// the target, runs every program that writes one, and checks the target,
// its links, mode, owner and identity, and that no temporary is left.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_fixtures.h"
#include "common/bmp_writer.h"
#include "common/limited_run.h"
#include "packrat/archive/codec.h"
#include "packrat/ui/disk_files.h"

namespace {

namespace fs = std::filesystem;
using fault_injection::kUnprivilegedId;
using fault_injection::LimitedResult;
using fault_injection::RunLimited;
using testing_support::Bytes;
using testing_support::FolderListing;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

const Bytes kOld{'o', 'l', 'd', ' ', 'b', 'y', 't', 'e', 's'};

// The user the programs run as, and who owns the case's files.
uid_t RunnerId() { return geteuid() == 0 ? kUnprivilegedId : geteuid(); }

// Hands a path to the runner (when the test is root) with the given mode;
// a symbolic link (mode 0) keeps the mode of what it points at.
void Own(const std::string& path, mode_t mode) {
  if (geteuid() == 0) {
    ASSERT_EQ(lchown(path.c_str(), kUnprivilegedId, kUnprivilegedId), 0) << path;
  }
  if (mode != 0) {
    ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
  }
}

struct stat Stat(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st;
}

// One program that writes a target: what it needs beside the target, how it
// is called, the bytes it writes, and whether it reports a failed write
// (packrat-cli does, with status 1; alphawed stays silent by its rules).
struct Program {
  const char* name;
  const char* extension;  // of the target
  bool reports;
  // Lays the input out in `folder` for an output called `target`; returns the arguments.
  std::function<std::vector<std::string>(const std::string& folder, const std::string& target)> arrange;
  Bytes expected;
};

enum class Setup {
  kNone,           // no file of that name
  kExisting,       // the runner's file, of `mode`
  kFolder,         // a folder of that name
  kSymlink,        // a link to sub/real (of `mode`)
  kDanglingLink,   // a link to sub/missing
  kHardLink,       // a file with a second name, other
  kLockedFolder,   // existing file of `mode` in a folder that admits no new file
  kLockedNoFile,   // no file, in a folder that admits no new file
  kOldTemporaries, // existing file, and files named as earlier versions named their temporaries
  kSizeLimit,      // existing file; writes past 100 bytes fail
};

struct Case {
  const char* name;
  Setup setup;
  mode_t mode;
  bool written;  // false: the program's failure path, the target unchanged
  bool long_name = false;
};

const Case kCases[] = {
    {"new file", Setup::kNone, 0, true},
    {"existing file", Setup::kExisting, 0644, true},
    {"private file keeps its mode", Setup::kExisting, 0600, true},
    {"group-readable file keeps its mode", Setup::kExisting, 0640, true},
    {"read-only file is refused", Setup::kExisting, 0444, false},
    {"folder is refused", Setup::kFolder, 0755, false},
    {"symbolic link is followed", Setup::kSymlink, 0640, true},
    {"dangling link creates its file", Setup::kDanglingLink, 0, true},
    {"link to a read-only file is refused", Setup::kSymlink, 0444, false},
    {"hard links all see the new content", Setup::kHardLink, 0644, true},
    {"locked folder: written in place", Setup::kLockedFolder, 0600, true},
    {"locked folder: no new file", Setup::kLockedNoFile, 0, false},
    {"255-byte name, new", Setup::kNone, 0, true, true},
    {"255-byte name, existing", Setup::kExisting, 0644, true, true},
    {"files named like temporaries are left alone", Setup::kOldTemporaries, 0644, true},
    {"file-size limit takes the error path", Setup::kSizeLimit, 0644, false},
};

class ReplaceTargets : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder the runner can reach whatever the test's own temporary folder is.
    char name[] = "/tmp/roadfire-replace-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    root_ = name;
    ASSERT_EQ(chmod(root_.c_str(), 0755), 0);

    const std::string reference = root_ + "/reference";
    fs::create_directory(reference);
    const packrat::Archive archive = testing_support::RandomArchive(5, 4, 4, 4, 6000);
    const packrat::ArchiveCodec codec(packrat::DiskFiles());
    codec.WriteCrp(archive, reference + "/ref.crp");
    codec.WriteDrp(archive, reference + "/ref.drp");
    const Bytes crp = ReadFileBytes(reference + "/ref.crp");
    const Bytes drp = ReadFileBytes(reference + "/ref.drp");
    const Bytes bmp = testbmp::EncodeBmp(testbmp::Picture(16, 8, {10, 20, 30}));

    // The input name differs from the output name in the third-last letter.
    auto packrat_input = [](const std::string& target, char letter) {
      std::string input = target;
      input[input.size() - 3] = letter;
      return input;
    };
    programs_.push_back({"packrat-cli unpack", ".drp", true,
                         [=](const std::string& folder, const std::string& target) {
                           const std::string input = folder + "/" + packrat_input(target, 'c');
                           WriteFileBytes(input, crp);
                           Own(input, 0644);
                           return std::vector<std::string>{"unpack", input};
                         },
                         drp});
    programs_.push_back({"packrat-cli pack", ".crp", true,
                         [=](const std::string& folder, const std::string& target) {
                           const std::string input = folder + "/" + packrat_input(target, 'd');
                           WriteFileBytes(input, drp);
                           Own(input, 0644);
                           return std::vector<std::string>{"pack", input};
                         },
                         crp});
    programs_.push_back({"alphawed", ".tga", false,
                         [=](const std::string& folder, const std::string& target) {
                           const std::string colour = folder + "/colour.bmp";
                           WriteFileBytes(colour, bmp);
                           Own(colour, 0644);
                           return std::vector<std::string>{colour, "No alpha image", folder + "/" + target};
                         },
                         {}});
    // alphawed's output as the Linux build writes it, for comparison.
    const std::vector<std::string> args = programs_.back().arrange(reference, "ref.tga");
    ASSERT_EQ(RunLimited({Path("alphawed"), args, RLIM_INFINITY, "", false}).exit_code, 0);
    programs_.back().expected = ReadFileBytes(reference + "/ref.tga");
    ASSERT_FALSE(programs_.back().expected.empty());
  }

  void TearDown() override {
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(root_, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) chmod(it->path().c_str(), 0755);
    }
    fs::remove_all(root_, ignored);
  }

  static std::string Path(const std::string& program) {
    return program == "alphawed" ? std::string(ROADFIRE_TOOLS_DIR) + "/alphawed"
                                 : std::string(ROADFIRE_BIN_DIR) + "/packrat-cli";
  }

  std::string root_;
  std::vector<Program> programs_;
};

TEST_F(ReplaceTargets, EveryProgramKeepsTheRulesOfReplacingAUsersFile) {
  int number = 0;
  for (const Case& c : kCases) {
    for (const Program& program : programs_) {
      SCOPED_TRACE(std::string(program.name) + ": " + c.name);
      const std::string folder = root_ + "/" + std::to_string(number++);
      fs::create_directory(folder);
      Own(folder, 0755);
      const std::string target_name =
          (c.long_name ? std::string(255 - 4, 'n') : std::string("out")) + program.extension;
      const std::string target = folder + "/" + target_name;
      const std::vector<std::string> arguments = program.arrange(folder, target_name);

      // Where the bytes are meant to land, and what else must stay as it is.
      std::string content = target;
      switch (c.setup) {
        case Setup::kNone:
        case Setup::kLockedNoFile:
          break;
        case Setup::kExisting:
        case Setup::kLockedFolder:
        case Setup::kSizeLimit:
          WriteFileBytes(target, kOld);
          Own(target, c.mode);
          break;
        case Setup::kOldTemporaries:
          WriteFileBytes(target, kOld);
          Own(target, c.mode);
          for (const char* suffix : {".~0", ".alphawed-tmp", ".part"}) {
            WriteFileBytes(target + suffix, kOld);
            Own(target + suffix, 0644);
          }
          break;
        case Setup::kFolder:
          fs::create_directory(target);
          Own(target, c.mode);
          break;
        case Setup::kSymlink:
        case Setup::kDanglingLink:
          fs::create_directory(folder + "/sub");
          Own(folder + "/sub", 0755);
          content = folder + (c.setup == Setup::kSymlink ? "/sub/real" : "/sub/missing");
          if (c.setup == Setup::kSymlink) {
            WriteFileBytes(content, kOld);
            Own(content, c.mode);
          }
          fs::create_symlink(c.setup == Setup::kSymlink ? "sub/real" : "sub/missing", target);
          Own(target, 0);
          break;
        case Setup::kHardLink:
          WriteFileBytes(target, kOld);
          Own(target, c.mode);
          fs::create_hard_link(target, folder + "/other");
          break;
      }
      const bool existed = fs::exists(content);
      struct stat before {};
      if (existed) before = Stat(content);
      if (c.setup == Setup::kLockedFolder || c.setup == Setup::kLockedNoFile) Own(folder, 0555);
      const std::vector<std::string> listing = FolderListing(folder);

      const LimitedResult result =
          RunLimited({Path(program.name), arguments, c.setup == Setup::kSizeLimit ? 100 : RLIM_INFINITY, "", true});

      // The program always ends by itself, never killed by a signal.
      const int success_code = 0;
      const int failure_code = program.reports ? 1 : 0;
      EXPECT_EQ(result.exit_code, c.written ? success_code : failure_code) << result.err;
      const std::string failure_text = "File " + target + " couldn't be written\n";
      EXPECT_EQ(result.err, c.written || !program.reports ? std::string() : failure_text);

      // No temporary is left; only a new target joins the folder.
      std::vector<std::string> expected_listing = listing;
      if (c.written && std::find(listing.begin(), listing.end(), target_name) == listing.end()) {
        expected_listing.push_back(target_name);
        std::sort(expected_listing.begin(), expected_listing.end());
      }
      EXPECT_EQ(FolderListing(folder), expected_listing);

      if (c.setup == Setup::kFolder) {
        EXPECT_TRUE(fs::is_directory(target));
        continue;
      }
      if (!c.written) {
        if (existed) {
          EXPECT_EQ(ReadFileBytes(content), kOld);
          EXPECT_EQ(Stat(content).st_mode & 07777, c.mode);
        } else {
          EXPECT_FALSE(fs::exists(content));
        }
        continue;
      }
      EXPECT_EQ(ReadFileBytes(content), program.expected);
      const struct stat after = Stat(content);
      EXPECT_EQ(after.st_uid, RunnerId());
      if (existed) {
        EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
      }
      if (c.setup == Setup::kSymlink || c.setup == Setup::kDanglingLink) {
        EXPECT_TRUE(fs::is_symlink(target));
      }
      if (c.setup == Setup::kHardLink) {
        EXPECT_EQ(ReadFileBytes(folder + "/other"), program.expected);
        EXPECT_EQ(after.st_ino, before.st_ino);
      }
      if (c.setup == Setup::kLockedFolder) {
        EXPECT_EQ(after.st_ino, before.st_ino);
      }
      if (c.setup == Setup::kOldTemporaries) {
        for (const char* suffix : {".~0", ".alphawed-tmp", ".part"}) EXPECT_EQ(ReadFileBytes(target + suffix), kOld);
      }
    }
  }
}

}  // namespace
#endif
