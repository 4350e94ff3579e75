// Runs the built skinferry with stand-in tools in a private program folder,
// so real process starts, files and clean-up are exercised.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef SKINFERRY_REAL_TOOLS
#include "common/bmp_writer.h"
#endif
#ifdef SKINFERRY_REAL_FSHTOOL
#include "common/fsh_writer.h"
#endif

#include "text_files.h"

namespace fs = std::filesystem;

namespace {

using skinferry_test::ReadAll;
using skinferry_test::WriteAll;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ShellQuoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// The text of `count` screen columns from `column` on; one UTF-8 character
// fills one column, and columns past the captured text are blank.
std::string Columns(const std::string& line, size_t column, size_t count) {
  std::vector<std::string> cells;
  for (size_t i = 0; i < line.size();) {
    size_t length = 1;
    const auto lead = static_cast<unsigned char>(line[i]);
    if (lead >= 0xF0) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = 3;
    } else if (lead >= 0xC0) {
      length = 2;
    }
    cells.push_back(line.substr(i, length));
    i += length;
  }
  std::string text;
  for (size_t c = column; c < column + count; ++c) text += c < cells.size() ? cells[c] : " ";
  return text;
}

// The double-line box of rows 12 to 23, columns 9 to 70, whole.
void ExpectBoxFrame(const std::vector<std::string>& screen) {
  std::string rule;
  for (int i = 0; i < 60; ++i) rule += "═";
  EXPECT_EQ(Columns(screen[12], 9, 62), "╔" + rule + "╗");
  EXPECT_EQ(Columns(screen[14], 9, 62), "╠" + rule + "╣");
  EXPECT_EQ(Columns(screen[21], 9, 62), "╠" + rule + "╣");
  EXPECT_EQ(Columns(screen[23], 9, 62), "╚" + rule + "╝");
  for (int row : {13, 15, 16, 17, 18, 19, 20, 22}) {
    EXPECT_EQ(Columns(screen[static_cast<size_t>(row)], 9, 1), "║") << row;
    EXPECT_EQ(Columns(screen[static_cast<size_t>(row)], 70, 1), "║") << row;
  }
}

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const std::string kPackText =
    "#make 0000.BMP\n#make 0000a.bmp\n#make 0001.BMP\n#make 0002.BMP\n#make 0002-a.bmp\n"
    "FSH index\r\ncar 0000.BMP\r\nwheel-4 0001.BMP\r\ncar 0002.BMP\r\n";
const std::string kIndexFsh = "FSH index\r\ncar 0000.BMP\r\nwheel-4 0001.BMP\r\ncar 0002.BMP\r\n";

// A program folder with skinferry and the stand-in tools (named as on disk,
// with and without ".exe"), a private temporary folder and a caller folder.
struct EndToEnd : ::testing::Test {
  fs::path root, prog, tmp, caller, log, tool_log;

  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "skinferry-e2e-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = fs::canonical(pattern);
    prog = root / "prog";
    tmp = root / "tmp";
    caller = root / "caller";
    log = root / "out.txt";
    tool_log = root / "tools.txt";
    for (const fs::path& p : {prog / "needed_Exes", tmp, caller}) fs::create_directories(p);
    fs::copy_file(SKINFERRY_PROGRAM, prog / "skinferry");
    fs::copy_file(FAKE_TOOL, prog / "needed_Exes" / "fshtool");
    fs::copy_file(FAKE_TOOL, prog / "needed_Exes" / "alphawed.exe");
    fs::copy_file(FAKE_TOOL, prog / "needed_Exes" / "mipmill");
    WriteAll(prog / "my pack.fsh", kPackText);
    fs::create_directories(prog / "my");
    WriteAll(prog / "my" / "keep.tga", "not ours");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  // The built alphawed and mipmill in place of their stand-ins; fshtool stays
  // the stand-in.
  void UseRealMergerAndEncoder() const {
    const fs::path tools = prog / "needed_Exes";
    fs::remove(tools / "alphawed.exe");
    fs::remove(tools / "mipmill");
    fs::copy_file(fs::path(ROADFIRE_TOOLS_DIR) / "alphawed", tools / "alphawed");
    fs::copy_file(fs::path(ROADFIRE_TOOLS_DIR) / "mipmill", tools / "mipmill");
  }

  std::string Environment() const {
    return "TMPDIR=" + ShellQuoted(tmp.string()) + " FAKE_TOOL_LOG=" + ShellQuoted(tool_log.string()) + " ";
  }
  // Runs from the caller folder with input closed; the final wait must not hang.
  int Run(const std::string& arguments) const {
    return Shell("cd " + ShellQuoted(caller.string()) + " && " + Environment() + "timeout 60 " +
                 ShellQuoted((prog / "skinferry").string()) + " " + arguments + " </dev/null >" +
                 ShellQuoted(log.string()) + " 2>&1");
  }
};

TEST_F(EndToEnd, ConvertsAPackAndLogsReadableLines) {
  // Relative to the program folder, not to the caller's folder.
  ASSERT_EQ(Run("'my pack.fsh'"), 0) << ReadAll(log);
  const fs::path out = prog / "my pack";
  const std::string work = (tmp / "TPC").string();

  const std::vector<std::string> expected = {
      "Skinferry v1.0.",
      std::string(42, '-'),
      "Name of fshfile: my pack.fsh",
      "Covertet PTX's will be made in this dir:",
      out.string(),
      "Info: Converting the fsh file to bmp's....",
      "Info: Finished converting the fsh file to bmp's",
      "Info: Opening the index file(filelist)...",
      "Info: Starts converting bmps to ptxs",
      "BMP file: 0000.BMP",
      "Alpha BMP file: 0000a.bmp",
      "TGA file: car.tga",
      "Prosent done of converting files: 0%",
      "PTX file: car.ptx",
      "Info: Converting bmp's to tga",
      "BMP file: 0001.BMP",
      "Alpha BMP file: No Alpha Image",
      "TGA file: wheel-4.tga",
      "Prosent done of converting files: 50%",
      "PTX file: wheel-4.ptx",
      "BMP file: 0002.BMP",
      "Alpha BMP file: 0002-a.bmp",
      "TGA file: car(1).tga",
      "Prosent done of converting files: 100%",
      "PTX file: car(1).ptx",
      "Info: Converting to ptx finished!",
  };
  EXPECT_EQ(Lines(ReadAll(log)), expected);

  EXPECT_EQ(ReadAll(out / "index.txt"),
            "; Index file made by Skinferry\r\ncar.ptx\r\nwheel-4.ptx\r\ncar(1).ptx\r\n");
  EXPECT_EQ(ReadAll(out / "index_old.txt"), kIndexFsh);
  EXPECT_EQ(ReadAll(out / "car.ptx"), "PTX none TGA 0000.BMP " + work + "/0000a.bmp");
  EXPECT_EQ(ReadAll(out / "wheel-4.ptx"), "PTX -4 TGA 0001.BMP No alpha image");
  EXPECT_EQ(ReadAll(out / "car(1).ptx"), "PTX none TGA 0002.BMP " + work + "/0002-a.bmp");
  for (const auto& entry : fs::directory_iterator(out)) EXPECT_NE(entry.path().extension(), ".tga");
  EXPECT_EQ(ReadAll(prog / "my" / "keep.tga"), "not ours");
  EXPECT_FALSE(fs::exists(tmp / "TPC"));

  const std::vector<std::string> starts = Lines(ReadAll(tool_log));
  ASSERT_EQ(starts.size(), 7u);
  EXPECT_EQ(starts[0], "fshtool|" + prog.string() + "|my pack.fsh|" + work);
  const std::string tools = (prog / "needed_Exes").string();
  EXPECT_EQ(starts[1], "alphawed|" + tools + "|" + work + "/0000.BMP|" + work + "/0000a.bmp|" +
                           (out / "car.tga").string());
  EXPECT_EQ(starts[2], "mipmill|" + tools + "|" + (out / "car.tga").string());
  EXPECT_EQ(starts[3],
            "alphawed|" + tools + "|" + work + "/0001.BMP|No alpha image|" + (out / "wheel-4.tga").string());
  EXPECT_EQ(starts[4], "mipmill|" + tools + "|-4|" + (out / "wheel-4.tga").string());
}

TEST_F(EndToEnd, UsageWithoutArgumentAndStaleWorkFolderRemoved) {
  fs::create_directories(tmp / "TPC");
  WriteAll(tmp / "TPC" / "stale.bmp", "old");
  ASSERT_EQ(Run(""), 0);
  EXPECT_FALSE(fs::exists(tmp / "TPC"));
  const std::vector<std::string> expected = {
      "Skinferry v1.0.",
      std::string(42, '-'),
      "Usages: skinferry [the fsh file]",
      "The convertet ptx's will be made in this dir:",
      (prog / "[the fsh file]").string(),
      "Press enter for exit:",
  };
  EXPECT_EQ(Lines(ReadAll(log)), expected);
}

// The names and contents of the files directly in a folder.
std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) files[entry.path().filename().string()] = ReadAll(entry.path());
  return files;
}

// A work folder planted as a link to another folder must lead neither the
// clean-up nor fshtool into that folder: the link goes, a folder of the
// run's own takes its place.
TEST_F(EndToEnd, WorkFolderThatIsALinkIsNotFollowed) {
  const fs::path elsewhere = root / "elsewhere";
  fs::create_directories(elsewhere);
  WriteAll(elsewhere / "precious.txt", "keep me");
  WriteAll(elsewhere / "0000.BMP", "the user's own picture");
  WriteAll(elsewhere / "index.fsh", "the user's own list");
  fs::permissions(elsewhere / "precious.txt", fs::perms::owner_read);
  const auto before = Contents(elsewhere);
  fs::create_directory_symlink(elsewhere, tmp / "TPC");
  ASSERT_EQ(Run(""), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(tmp / "TPC")));
  EXPECT_EQ(fs::status(elsewhere / "precious.txt").permissions() & fs::perms::all, fs::perms::owner_read);

  fs::create_directory_symlink(elsewhere, tmp / "TPC");
  ASSERT_EQ(Run("'my pack.fsh'"), 0) << ReadAll(log);
  EXPECT_EQ(Contents(elsewhere), before);
  EXPECT_EQ(ReadAll(prog / "my pack" / "index.txt"),
            "; Index file made by Skinferry\r\ncar.ptx\r\nwheel-4.ptx\r\ncar(1).ptx\r\n");
  EXPECT_FALSE(fs::exists(fs::symlink_status(tmp / "TPC")));
}

// In a shared temporary folder (sticky, like /tmp) a link of another user's
// cannot be removed; the run then never starts fshtool and ends in the list
// error, and the folder the link leads to stays as it was.
TEST_F(EndToEnd, WorkFolderLinkOfAnotherUserStopsTheRun) {
  ASSERT_EQ(::geteuid(), 0u) << "needs root to plant a link that the run's user may not remove";
  const fs::path shared = root / "shared";
  const fs::path elsewhere = root / "elsewhere";
  fs::create_directories(shared);
  fs::create_directories(elsewhere);
  WriteAll(elsewhere / "0000.BMP", "the user's own picture");
  fs::create_directory_symlink(elsewhere, shared / "TPC");
  const auto before = Contents(elsewhere);
  // The run's user may go everywhere, and write to the program folder and
  // the shared one, but only root may remove root's link in the sticky one.
  for (const fs::path& p : {root, prog, caller, elsewhere}) fs::permissions(p, fs::perms::all);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  WriteAll(log, "");
  WriteAll(tool_log, "");
  fs::permissions(log, fs::perms::all);
  fs::permissions(tool_log, fs::perms::all);

  const int status = Shell("cd " + ShellQuoted(caller.string()) + " && TMPDIR=" + ShellQuoted(shared.string()) +
                           " FAKE_TOOL_LOG=" + ShellQuoted(tool_log.string()) +
                           " setpriv --reuid=65534 --regid=65534 --clear-groups timeout 60 " +
                           ShellQuoted((prog / "skinferry").string()) + " 'my pack.fsh' </dev/null >" +
                           ShellQuoted(log.string()) + " 2>&1");
  ASSERT_EQ(status, 0) << ReadAll(log);
  EXPECT_TRUE(fs::is_symlink(shared / "TPC"));
  EXPECT_EQ(Contents(elsewhere), before);
  EXPECT_EQ(ReadAll(tool_log), "");
  EXPECT_EQ(ReadAll(prog / "my pack" / "index.txt"),
            "; Index file made by Skinferry\r\n"
            "An error has occurred while reading th index.fsh file!: BMPfile:  Alphafile:  TGA-file: \r\n");
}

// index.txt (and index_old.txt) are found the way every other name is,
// ignoring letter case: an output folder that exists as DUMMY gets its list
// replaced, and no second folder appears.
TEST_F(EndToEnd, ListsAreReplacedInAnOutputFolderSpelledOtherwise) {
  WriteAll(prog / "dummy.fsh", kPackText);
  fs::create_directories(prog / "DUMMY");
  WriteAll(prog / "DUMMY" / "index.txt", "; Index file made by Skinferry\r\nold.ptx\r\n");
  WriteAll(prog / "DUMMY" / "INDEX_OLD.TXT", "old list");
  ASSERT_EQ(Run("dummy.fsh"), 0) << ReadAll(log);
  // The stand-in tools take the paths they get exactly, so no TGA lands in
  // DUMMY and the third image's name gets no "(1)"; the lists are the point.
  EXPECT_EQ(ReadAll(prog / "DUMMY" / "index.txt"),
            "; Index file made by Skinferry\r\ncar.ptx\r\nwheel-4.ptx\r\ncar.ptx\r\n");
  EXPECT_EQ(ReadAll(prog / "DUMMY" / "INDEX_OLD.TXT"), kIndexFsh);
  EXPECT_FALSE(fs::exists(prog / "dummy"));
  EXPECT_EQ(Contents(prog / "DUMMY").size(), 2u);
}

// The clean-up deletes TGA files as del *.tga would: a read-only one (no
// write bit for its owner) and a hidden one are the user's and stay.
TEST_F(EndToEnd, TgaCleanUpLeavesReadOnlyAndHiddenFiles) {
  const fs::path out = prog / "my pack";
  fs::create_directories(out);
  WriteAll(out / "keep.tga", "read-only");
  fs::permissions(out / "keep.tga", fs::perms::owner_read | fs::perms::group_read);
  WriteAll(out / ".hidden.tga", "hidden");
  WriteAll(out / "old.tga", "an ordinary leftover");
  ASSERT_EQ(Run("'my pack.fsh'"), 0) << ReadAll(log);
  EXPECT_EQ(ReadAll(out / "keep.tga"), "read-only");
  EXPECT_EQ(ReadAll(out / ".hidden.tga"), "hidden");
  EXPECT_FALSE(fs::exists(out / "old.tga"));
  EXPECT_FALSE(fs::exists(out / "car.tga"));
  EXPECT_TRUE(fs::exists(out / "car.ptx"));
}

TEST_F(EndToEnd, MissingToolsEndInTheListError) {
  fs::remove_all(prog / "needed_Exes");
  ASSERT_EQ(Run(ShellQuoted((prog / "my pack.fsh").string())), 0);
  EXPECT_EQ(ReadAll(prog / "my pack" / "index.txt"),
            "; Index file made by Skinferry\r\n"
            "An error has occurred while reading th index.fsh file!: BMPfile:  Alphafile:  TGA-file: \r\n");
  EXPECT_FALSE(fs::exists(prog / "my pack" / "index_old.txt"));
  EXPECT_NE(ReadAll(log).find("An error has occurred!"), std::string::npos);
}

// Runs skinferry on `argument` in a tmux terminal of 80 columns and `rows`
// rows until its status line says it has finished, then types `keys` (no
// Enter) and returns the screen as it then is; Enter ends the run.
std::vector<std::string> ScreenOfARun(const EndToEnd& test, int rows, const std::string& argument,
                                      const std::string& keys) {
  const std::string socket = "skinferry-e2e-" + std::to_string(::getpid());
  const std::string tmux = "LANG=C.UTF-8 tmux -u -L " + socket + " ";
  const std::string command = "cd " + ShellQuoted(test.caller.string()) + " && " + test.Environment() +
                              "LANG=C.UTF-8 " + ShellQuoted((test.prog / "skinferry").string()) + " " + argument;
  const fs::path capture = test.root / "screen.txt";
  EXPECT_EQ(Shell(tmux + "new-session -d -x 80 -y " + std::to_string(rows) + " " + ShellQuoted(command)), 0);
  std::vector<std::string> screen;
  for (int attempt = 0; attempt < 150; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Shell(tmux + "capture-pane -p > " + ShellQuoted(capture.string()));
    screen = Lines(ReadAll(capture));
    if (screen.size() > 13 && screen[13].find("finished!") != std::string::npos) break;
  }
  if (!keys.empty()) {
    Shell(tmux + "send-keys -l " + ShellQuoted(keys));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Shell(tmux + "capture-pane -p > " + ShellQuoted(capture.string()));
    screen = Lines(ReadAll(capture));
  }
  Shell(tmux + "send-keys Enter");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Shell(tmux + "kill-server >/dev/null 2>&1");
  return screen;
}

// The screen as a user sees it, in an 80 x 25 terminal.
TEST_F(EndToEnd, ScreenInATerminal) {
  const std::vector<std::string> screen = ScreenOfARun(*this, 25, "'my pack.fsh'", "");
  ASSERT_GT(screen.size(), 23u);
  EXPECT_EQ(Columns(screen[2], 9, 16), "Skinferry v1.0. ");
  EXPECT_EQ(Columns(screen[3], 9, 43), std::string(42, '-') + " ");
  EXPECT_EQ(Columns(screen[8], 9, 29), "Name of fshfile: my pack.fsh ");
  const std::string out = (prog / "my pack").string().substr(0, 71);
  EXPECT_EQ(Columns(screen[11], 9, out.size()), out);
  ExpectBoxFrame(screen);
  EXPECT_EQ(Columns(screen[13], 10, 6), "Info: ");
  EXPECT_EQ(Columns(screen[13], 17, 28), "Converting to ptx finished! ");
  EXPECT_EQ(Columns(screen[15], 10, 26), "BMP file:        0002.BMP ");
  EXPECT_EQ(Columns(screen[16], 10, 28), "Alpha BMP file:  0002-a.bmp ");
  EXPECT_EQ(Columns(screen[17], 10, 28), "TGA file:        car(1).tga ");
  EXPECT_EQ(Columns(screen[18], 10, 28), "PTX file:        car(1).ptx ");
  EXPECT_EQ(Columns(screen[20], 10, 60), std::string(60, ' '));
  EXPECT_EQ(Columns(screen[22], 10, 34), "Prosent done of converting files: ");
  EXPECT_EQ(Columns(screen[22], 58, 5), "100% ");
}

#ifdef SKINFERRY_REAL_TOOLS
unsigned U32At(const std::string& bytes, size_t at) {
  return static_cast<unsigned>(static_cast<unsigned char>(bytes.at(at))) |
         static_cast<unsigned>(static_cast<unsigned char>(bytes.at(at + 1))) << 8 |
         static_cast<unsigned>(static_cast<unsigned char>(bytes.at(at + 2))) << 16 |
         static_cast<unsigned>(static_cast<unsigned char>(bytes.at(at + 3))) << 24;
}

// The real alphawed and mipmill; fshtool is still the stand-in, which copies
// bitmaps made here into the work folder.
TEST_F(EndToEnd, RealMergerAndEncoder) {
  UseRealMergerAndEncoder();
  const fs::path src = root / "src";
  fs::create_directories(src);
  testbmp::WriteBmp((src / "colour.bmp").string(), testbmp::Picture(8, 8, {200, 10, 20}));
  testbmp::WriteBmp((src / "alpha.bmp").string(), testbmp::Picture(8, 8, {128, 0, 0}));
  testbmp::WriteBmp((src / "wheel.bmp").string(), testbmp::Picture(64, 64, {0, 0, 255}));
  WriteAll(prog / "real.fsh", "#copy 0000.BMP " + (src / "colour.bmp").string() + "\n#copy 0000a.bmp " +
                                  (src / "alpha.bmp").string() + "\n#copy 0001.BMP " +
                                  (src / "wheel.bmp").string() +
                                  "\nFSH\r\ncar 0000.BMP\r\nwheel-4 0001.BMP\r\n");

  ASSERT_EQ(Run("real.fsh"), 0);
  const std::string output = ReadAll(log);
  // Message boxes of the tools would show up here as extra lines.
  const std::vector<std::string> lines = Lines(output);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Info: Converting to ptx finished!") << output;
  EXPECT_EQ(lines.size(), 21u) << output;

  const fs::path out = prog / "real";
  EXPECT_EQ(ReadAll(out / "index.txt"), "; Index file made by Skinferry\r\ncar.ptx\r\nwheel-4.ptx\r\n");
  // Header: depth at byte 1, width and height, the level count at byte 12;
  // then each level's 8-byte block head and its blue, green, red, alpha pixels.
  auto expected_size = [](const std::string& ptx) {
    size_t size = 16, side = U32At(ptx, 4);
    for (int level = 0; level < ptx[12]; ++level, side = std::max<size_t>(side / 2, 1))
      size += 8 + 4 * side * side;
    return size;
  };
  const std::string car = ReadAll(out / "car.ptx");
  ASSERT_GT(car.size(), 28u);
  EXPECT_EQ(car[1], 32);
  EXPECT_EQ(U32At(car, 4), 8u);
  EXPECT_EQ(car.size(), expected_size(car));
  EXPECT_EQ(car.substr(24, 3), std::string("\x14\x0A\xC8", 3));
  const std::string wheel = ReadAll(out / "wheel-4.ptx");
  ASSERT_GT(wheel.size(), 28u);
  EXPECT_EQ(wheel[1], 24);  // written without an alpha bitmap
  EXPECT_EQ(U32At(wheel, 4), 64u);
  EXPECT_EQ(wheel[12], 4);  // the level count its name asks for
  EXPECT_EQ(wheel.size(), expected_size(wheel));
  for (const auto& entry : fs::directory_iterator(out)) EXPECT_NE(entry.path().extension(), ".tga");
}
#endif

#ifdef SKINFERRY_REAL_TOOLS
// The real tools share the terminal: mipmill's box for a picture it cannot
// take (10 x 10) is a line on standard error. It must appear in the message
// rows and leave the box whole, in the smallest terminal that holds the box,
// where the final cursor row lies below the screen and the text the user
// types before Enter must not land on the box's corner. The pack's name
// outside ASCII shows as itself.
TEST_F(EndToEnd, ToolMessagesAndTypedTextLeaveTheBoxWhole) {
  UseRealMergerAndEncoder();
  const fs::path src = root / "src";
  fs::create_directories(src);
  testbmp::WriteBmp((src / "odd.bmp").string(), testbmp::Picture(10, 10, {200, 10, 20}));
  testbmp::WriteBmp((src / "good.bmp").string(), testbmp::Picture(8, 8, {0, 0, 255}));
  WriteAll(prog / "\xC3\xA5re.fsh", "#copy 0000.BMP " + (src / "odd.bmp").string() + "\n#copy 0001.BMP " +
                                         (src / "good.bmp").string() + "\nFSH\r\nodd 0000.BMP\r\ngood 0001.BMP\r\n");

  const std::vector<std::string> screen = ScreenOfARun(*this, 24, "\xC3\xA5re.fsh", "typed");
  ASSERT_EQ(screen.size(), 24u) << ReadAll(root / "screen.txt");
  EXPECT_EQ(Columns(screen[8], 9, 25), "Name of fshfile: \u00e5re.fsh ");
  ExpectBoxFrame(screen);
  EXPECT_EQ(Columns(screen[13], 17, 27), "Converting to ptx finished!");
  EXPECT_EQ(Columns(screen[18], 10, 26), "PTX file:        good.ptx ");
  EXPECT_EQ(Columns(screen[22], 58, 5), "100% ");
  EXPECT_EQ(screen[23].find("typed"), std::string::npos);
  bool shown = false;
  for (int row = 4; row < 8; ++row) {
    shown = shown || Columns(screen[static_cast<size_t>(row)], 9, 58) ==
                         "Error: TGA size must be 8,16,32...1024 x 24/32 bit        ";
  }
  EXPECT_TRUE(shown) << ReadAll(root / "screen.txt");
}
#endif

#ifdef SKINFERRY_REAL_FSHTOOL
// All three real tools on a sample pack: every image listed must come out as
// a well-formed PTX, with no error line, no message and nothing left behind.
TEST_F(EndToEnd, RealToolsOnASamplePack) {
  const fs::path tools = prog / "needed_Exes";
  fs::remove_all(tools);
  fs::create_directories(tools);
  for (const char* tool : {"fshtool", "alphawed", "mipmill"}) {
    fs::copy_file(fs::path(ROADFIRE_TOOLS_DIR) / tool, tools / tool);
  }
  ASSERT_TRUE(fshtest::WriteFile((prog / "sample pack.fsh").string(), fshtest::Build(fshtest::SamplePack())));

  ASSERT_EQ(Run("'sample pack.fsh'"), 0);
  const std::string output = ReadAll(log);
  const std::vector<std::string> lines = Lines(output);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Info: Converting to ptx finished!") << output;
  EXPECT_EQ(output.find("rror"), std::string::npos) << output;

  const fs::path out = prog / "sample pack";
  const std::vector<std::string> index = Lines(ReadAll(out / "index.txt"));
  ASSERT_GE(index.size(), 2u);
  EXPECT_EQ(index[0], "; Index file made by Skinferry\r");
  for (size_t i = 1; i < index.size(); ++i) {
    const std::string name = index[i].substr(0, index[i].size() - 1);
    const std::string ptx = ReadAll(out / name);
    ASSERT_GT(ptx.size(), 16u) << name;
    EXPECT_TRUE(ptx[1] == 24 || ptx[1] == 32) << name;
    EXPECT_GE(ptx[12], 1) << name;
  }
  EXPECT_FALSE(ReadAll(out / "index_old.txt").empty());
  for (const auto& entry : fs::directory_iterator(out)) EXPECT_NE(entry.path().extension(), ".tga");
  EXPECT_FALSE(fs::exists(tmp / "TPC"));
}
#endif

}  // namespace
