#include "skinferry/driver.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fake_host.h"

namespace skinferry::testing {
namespace {

const char kSep = platform::kPathSeparator;
const std::string kProg = P({"prog"});
const std::string kWork = P({"temp", "TPC"});
const std::string kOut = P({"prog", "pack"});
const std::string kPack = P({"prog", "pack.fsh"});

std::string InWork(const std::string& name) { return platform::JoinPath(kWork, name); }
std::string InOut(const std::string& name) { return platform::JoinPath(kOut, name); }
bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A host whose tools behave: fshtool unpacks `list` and `bitmaps` into the
// work folder, alphawed writes the TGA it is given, mipmill the PTX beside it.
struct RunFixture : ::testing::Test {
  FakeHost host;
  std::string list;
  std::vector<std::string> bitmaps;
  int failing_merge = 0;  // the merge that fails to start, counting from 1
  int merges = 0;

  void SetUp() override {
    host.executable_path = platform::JoinPath(kProg, "Skinferry.exe");
    host.temp_folder = P({"temp"}) + kSep;
    host.AddFile(kPack, "FSH");
    host.on_start = [this](FakeHost& h, const Start& start) {
      const std::vector<std::string> args = platform::SplitWindowsCommandLine(start.parameters);
      if (EndsWith(start.program, "fshtool.exe")) {
        h.AddFolder(kWork);
        h.AddFile(InWork("index.fsh"), list);
        for (const std::string& b : bitmaps) h.AddFile(InWork(b), "BM");
      } else if (EndsWith(start.program, "alphawed.exe")) {
        if (++merges == failing_merge) return false;
        h.AddFile(args.at(2), "TGA");
      } else {
        std::string tga = args.back();
        h.AddFile(tga.substr(0, tga.size() - 4) + ".ptx", "PTX");
      }
      return true;
    };
  }

  int Run(const std::string& argument = kPack) { return RunSkinferry(host, argument); }
  std::vector<std::string> StartsOf(const std::string& ending) const {
    std::vector<std::string> parameters;
    for (const Start& s : host.starts) {
      if (EndsWith(s.program, ending)) parameters.push_back(s.parameters);
    }
    return parameters;
  }
  std::string Q(const std::string& path) const { return "\"" + path + "\""; }
};

TEST(LongPathFormTest, SpellsComponentsAsStoredAndDropsTheTrailingSeparator) {
  FakeHost host;
  host.AddFolder(P({"Program Files", "Skin Ferry"}));
  EXPECT_EQ(LongPathForm(host, P({"PROGRAM FILES", "skin ferry"}) + kSep),
            P({"Program Files", "Skin Ferry"}));
  // A component that does not exist is kept as given.
  EXPECT_EQ(LongPathForm(host, P({"program files", "Nope", "x"})), P({"Program Files", "Nope", "x"}));

  // Runs of separators inside a path name the same folder; only those at
  // the end are dropped. Stopping at the first would put the work folder,
  // which every run empties, into a parent of the temporary folder.
  const std::string sep(1, kSep);
  struct Case {
    std::string path;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {P({"program files"}) + sep + sep + "skin ferry", P({"Program Files", "Skin Ferry"})},
      {P({"program files"}) + sep + sep + sep + "skin ferry" + sep + sep, P({"Program Files", "Skin Ferry"})},
      {P({"program files", "skin ferry"}) + sep + sep + sep, P({"Program Files", "Skin Ferry"})},
      // A network path keeps its two leading separators and its server.
      {sep + sep + "server" + sep + "share" + sep + "Temp" + sep, sep + sep + "server" + sep + "share" + sep + "Temp"},
  };
  for (const Case& c : cases) EXPECT_EQ(LongPathForm(host, c.path), c.expected) << c.path;
}

TEST(StartupValuesTest, FoldersAndNames) {
  FakeHost host;
  host.AddFolder(P({"Tools", "Skin"}));
  host.AddFolder(P({"Temp"}));
  host.executable_path = P({"TOOLS", "SKIN", "Skinferry.exe"});
  host.temp_folder = P({"TEMP"}) + kSep;
  const StartupValues v = WorkOutStartupValues(host, std::string("packs") + kSep + "Car.FSH");
  EXPECT_EQ(v.executable_name, "Skinferry.exe");
  EXPECT_EQ(v.program_folder, P({"Tools", "Skin"}));
  EXPECT_EQ(v.fsh_file_name, "Car.FSH");
  EXPECT_EQ(v.output_folder, P({"Tools", "Skin", "Car"}));
  EXPECT_EQ(v.work_folder, P({"Temp", "TPC"}));
}

TEST_F(RunFixture, NoArgumentCleansTheWorkFolderAndShowsUsage) {
  host.AddFile(InWork("old.bmp"));
  host.AddFile(InWork("index.fsh"));
  EXPECT_EQ(Run(""), 0);
  EXPECT_FALSE(host.Has(InWork("old.bmp")));
  EXPECT_FALSE(host.Has(kWork));
  EXPECT_EQ(host.title, "Skinferry");
  EXPECT_EQ(host.At(9, 2, 16), "Skinferry v1.0. ");
  EXPECT_EQ(host.At(9, 3, 43), std::string(42, '-') + " ");
  EXPECT_EQ(host.WritesAt(9, 9), std::vector<std::string>{"Usages: Skinferry.exe [the fsh file]"});
  EXPECT_EQ(host.WritesAt(9, 10), std::vector<std::string>{"The convertet ptx's will be made in this dir:"});
  EXPECT_EQ(host.WritesAt(9, 12), std::vector<std::string>{kProg + kSep + "[the fsh file]"});
  EXPECT_EQ(host.WritesAt(9, 15), std::vector<std::string>{"Press enter for exit:"});
  EXPECT_EQ(host.events.back(), "wait 9,16");
  EXPECT_EQ(host.enter_waits, 1);
  EXPECT_TRUE(host.starts.empty());
}

TEST_F(RunFixture, WorkFolderWithASubFolderStays) {
  host.AddFile(InWork("a.bmp"));
  host.AddFolder(InWork("sub"));
  host.AddFile(platform::JoinPath(InWork("sub"), "kept.bmp"));
  Run("");
  EXPECT_FALSE(host.Has(InWork("a.bmp")));
  EXPECT_TRUE(host.Has(platform::JoinPath(InWork("sub"), "kept.bmp")));
}

TEST_F(RunFixture, ArgumentCheck) {
  struct Case {
    std::string argument;
    std::vector<std::string> files;  // relative to the program folder; a trailing separator makes a folder
    bool accepted;
    std::string output_folder;
  };
  const std::string sub = std::string("packs") + kSep;
  const Case cases[] = {
      {"missing.fsh", {}, false, ""},
      {"pack.txt", {"pack.txt"}, false, ""},
      {"PACK.FSH", {"PACK.FSH"}, true, "PACK"},
      {"carfsh", {"carfsh"}, true, "ca"},
      {"dirfsh", {"dirfsh/"}, true, "di"},
      {sub + "x.fsh", {sub + "x.fsh"}, true, "x"},  // relative to the program folder
      {".fsh", {".fsh"}, false, ""},
      {"...fsh", {"...fsh"}, false, ""},
      {"fsh", {"fsh"}, false, ""},
  };
  for (const Case& c : cases) {
    FakeHost fresh;
    fresh.executable_path = platform::JoinPath(kProg, "Skinferry.exe");
    fresh.AddFile(platform::JoinPath(fresh.current_folder, "missing.fsh"));  // only beside the caller
    for (const std::string& f : c.files) {
      if (f.back() == '/') {
        fresh.AddFolder(platform::JoinPath(kProg, f.substr(0, f.size() - 1)));
      } else {
        fresh.AddFile(platform::JoinPath(kProg, f));
      }
    }
    EXPECT_EQ(RunSkinferry(fresh, c.argument), 0);
    if (c.accepted) {
      ASSERT_FALSE(fresh.starts.empty()) << c.argument;
      EXPECT_EQ(fresh.starts[0].parameters, Q(c.argument) + " " + Q(P({"temp", "TPC"}))) << c.argument;
      EXPECT_EQ(fresh.WritesAt(9, 11), std::vector<std::string>{platform::JoinPath(kProg, c.output_folder)});
    } else {
      EXPECT_TRUE(fresh.starts.empty()) << c.argument;
      EXPECT_EQ(fresh.WritesAt(9, 9),
                std::vector<std::string>{"The file dosen't exist or have wrong extension(not .fsh)"});
      EXPECT_EQ(fresh.WritesAt(9, 10), std::vector<std::string>{"Press Enter key to quit"});
      EXPECT_EQ(fresh.events.back(), "wait 9,11");
      EXPECT_FALSE(fresh.Has(platform::JoinPath(kProg, "index.txt")));
    }
  }
}

TEST_F(RunFixture, ThreeImagesEndToEnd) {
  list = "FSH list\r\ncar 0000.BMP\r\nwheel-4 0001.BMP\r\nAlpha 0002.BMP\r\ncar 0002.BMP\r\n";
  bitmaps = {"0000.BMP", "0000a.bmp", "0001.BMP", "0001-a.bmp", "0002.BMP"};
  host.AddFile(InOut("old.TGA"));  // a TGA from an earlier run: also deleted
  EXPECT_EQ(Run(), 0);

  ASSERT_EQ(host.starts.size(), 7u);
  EXPECT_EQ(host.starts[0].program, std::string("needed_Exes") + kSep + "fshtool.exe");
  EXPECT_EQ(host.starts[0].parameters, Q(kPack) + " " + Q(kWork));
  EXPECT_EQ(host.starts[0].working_folder, kProg);
  EXPECT_EQ(StartsOf("alphawed.exe"),
            (std::vector<std::string>{
                Q(InWork("0000.BMP")) + " " + Q(InWork("0000a.bmp")) + " " + Q(InOut("car.tga")),
                Q(InWork("0001.BMP")) + " " + Q(InWork("0001-a.bmp")) + " " + Q(InOut("wheel-4.tga")),
                Q(InWork("0002.BMP")) + " \"No alpha image\" " + Q(InOut("car(1).tga")),
            }));
  EXPECT_EQ(StartsOf("MIPMILL.exe"),
            (std::vector<std::string>{Q(InOut("car.tga")), "-4 " + Q(InOut("wheel-4.tga")),
                                      Q(InOut("car(1).tga"))}));

  EXPECT_EQ(host.Data(InOut("index.txt")),
            "; Index file made by Skinferry\r\ncar.ptx\r\nwheel-4.ptx\r\ncar(1).ptx\r\n");
  EXPECT_EQ(host.Data(InOut("index_old.txt")), list);
  EXPECT_TRUE(host.Has(InOut("car(1).ptx")));
  for (const char* gone : {"car.tga", "wheel-4.tga", "car(1).tga", "old.TGA"})
    EXPECT_FALSE(host.Has(InOut(gone)));
  EXPECT_FALSE(host.Has(kWork));

  EXPECT_EQ(host.WritesAt(58, 22), (std::vector<std::string>{"0%", "50%", "100%"}));
  EXPECT_EQ(host.At(27, 15, 13), "0002.BMP     ");
  EXPECT_EQ(host.At(27, 16, 19), "No Alpha Image     ");
  EXPECT_EQ(host.At(27, 17, 15), "car(1).tga     ");
  EXPECT_EQ(host.At(27, 18, 18), "car(1).ptx        ");
  EXPECT_EQ(host.At(27, 20, 22), std::string(22, ' '));
  EXPECT_EQ(host.sleeps, (std::vector<unsigned>{500, 50, 50, 50}));
  EXPECT_EQ(host.At(9, 8, 25), "Name of fshfile: pack.fsh");
  EXPECT_EQ(host.At(9, 9, 40), "Covertet PTX's will be made in this dir:");
  EXPECT_EQ(host.WritesAt(9, 11), std::vector<std::string>{kOut});
  EXPECT_EQ(host.events.back(), "wait 9,24");
  EXPECT_EQ(host.enter_waits, 1);
}

TEST_F(RunFixture, StatusTextsWithTheirSpaces) {
  list = "a 0000.BMP\nb 0001.BMP\n";
  bitmaps = {"0000.BMP", "0001.BMP"};
  Run();
  EXPECT_EQ(host.WritesAt(17, 13), (std::vector<std::string>{
                                       "Converting the fsh file to bmp's....      ",
                                       "Finished converting the fsh file to bmp's     ",
                                       "Opening the index file(filelist)...              ",
                                       "Starts converting bmps to ptxs    ",
                                       "Converting bmp's to tga                      ",
                                       "Converting to ptx finished!              ",
                                   }));
  // Each text blanked out the longer one before it.
  EXPECT_EQ(host.At(17, 13, 53), "Converting to ptx finished!" + std::string(26, ' '));
}

TEST_F(RunFixture, ClosingStepsInOrder) {
  list = "a 0000.BMP\n";
  bitmaps = {"0000.BMP"};
  Run();
  auto position = [&](const std::string& event) {
    return std::find(host.events.begin(), host.events.end(), event) - host.events.begin();
  };
  const auto copy = position("copy " + InWork("index.fsh") + " " + InOut("index_old.txt"));
  const auto work_gone = position("rmdir " + kWork);
  const auto tga_gone = position("delete " + InOut("a.tga"));
  const auto end = static_cast<std::ptrdiff_t>(host.events.size());
  EXPECT_LT(copy, work_gone);
  EXPECT_LT(work_gone, tga_gone);
  EXPECT_LT(tga_gone, end - 1);
  EXPECT_EQ(host.events.back(), "wait 9,24");
}

TEST_F(RunFixture, SingleImageEndsNormally) {
  list = "only 0000.BMP";
  bitmaps = {"0000.BMP"};
  Run();
  EXPECT_EQ(host.Data(InOut("index.txt")), "; Index file made by Skinferry\r\nonly.ptx\r\n");
  EXPECT_EQ(host.WritesAt(17, 13).back(), "Converting to ptx finished!              ");
  EXPECT_TRUE(host.WritesAt(27, 20).empty());
}

TEST_F(RunFixture, MergeFailureOnSecondImage) {
  list = "a 0000.BMP\nb 0001.BMP\nc 0002.BMP\n";
  bitmaps = {"0000.BMP", "0001.BMP", "0001a.bmp", "0002.BMP"};
  failing_merge = 2;
  Run();
  EXPECT_EQ(host.Data(InOut("index.txt")),
            "; Index file made by Skinferry\r\na.ptx\r\n"
            "An error has occurred while converting bmp to tga!: BMPfile: 0001.BMP Alphafile: 0001a.bmp "
            "TGA-file: b.tga\r\n");
  EXPECT_EQ(StartsOf("MIPMILL.exe").size(), 1u);
  EXPECT_EQ(StartsOf("alphawed.exe").size(), 2u);
  EXPECT_EQ(host.WritesAt(27, 20), std::vector<std::string>{"An error has occurred!"});
  EXPECT_EQ(host.WritesAt(17, 13).back(), "Converting bmp's to tga                      ");
  EXPECT_TRUE(host.Has(InOut("index_old.txt")));
  EXPECT_FALSE(host.Has(kWork));
  EXPECT_EQ(host.events.back(), "wait 9,24");
}

TEST_F(RunFixture, ListErrors) {
  struct Case {
    std::string list;
    std::vector<std::string> bitmaps;
    std::string last_line;
    size_t merges;
  };
  const std::string prefix = "An error has occurred while reading th index.fsh file!: BMPfile: ";
  const Case cases[] = {
      {"no image lines\r\n", {}, prefix + " Alphafile:  TGA-file: ", 0},
      {"car img%d.BMP\n", {"img20.BMP"}, prefix + " Alphafile:  TGA-file: car.tga", 0},
      {"a 0000.BMP\nb 0009.BMP\n", {"0000.BMP"}, prefix + " Alphafile:  TGA-file: b.tga", 1},
  };
  for (const Case& c : cases) {
    FakeHost fresh;
    fresh.executable_path = host.executable_path;
    fresh.temp_folder = host.temp_folder;
    fresh.AddFile(kPack);
    fresh.on_start = host.on_start;
    list = c.list;
    bitmaps = c.bitmaps;
    merges = 0;
    RunSkinferry(fresh, kPack);
    const std::string index = fresh.Data(InOut("index.txt"));
    EXPECT_TRUE(EndsWith(index, "\r\n" + c.last_line + "\r\n")) << index;
    EXPECT_EQ(fresh.WritesAt(27, 20), std::vector<std::string>{"An error has occurred!"});
    EXPECT_EQ(static_cast<size_t>(merges), c.merges);
    EXPECT_NE(fresh.WritesAt(17, 13).back(), "Converting to ptx finished!              ");
  }
}

TEST_F(RunFixture, MissingListIsAListErrorAndNeverCreated) {
  host.on_start = [](FakeHost&, const Start&) { return false; };  // no fshtool at all
  Run();
  EXPECT_EQ(host.Data(InOut("index.txt")),
            "; Index file made by Skinferry\r\n"
            "An error has occurred while reading th index.fsh file!: BMPfile:  Alphafile:  TGA-file: \r\n");
  EXPECT_FALSE(host.Has(InWork("index.fsh")));
  EXPECT_FALSE(host.Has(InOut("index_old.txt")));
  EXPECT_EQ(host.starts.size(), 1u);
}

TEST_F(RunFixture, RepeatedBitmapEndsTheList) {
  // The comparison starts from "first", so the second image may repeat the
  // first one's bitmap; a line repeating the one just converted ends the list.
  list = "a 0000.BMP\nb 0000.BMP\nc 0001.BMP\nd 0001.BMP\ne 0002.BMP\n";
  bitmaps = {"0000.BMP", "0001.BMP", "0002.BMP"};
  Run();
  EXPECT_EQ(host.Data(InOut("index.txt")), "; Index file made by Skinferry\r\na.ptx\r\nb.ptx\r\nc.ptx\r\n");
  EXPECT_EQ(host.WritesAt(17, 13).back(), "Converting to ptx finished!              ");
}

TEST_F(RunFixture, TgaDeletionTouchesOnlyTheOutputFolder) {
  // Handed to a command interpreter unquoted, "my pack" would also name
  // the folder "my" beside it.
  host.AddFile(P({"prog", "my pack.fsh"}));
  host.AddFile(P({"prog", "my", "keep.tga"}));
  host.AddFile(P({"prog", "my pack", "mine.Tga"}));
  // del passes read-only and hidden files over.
  host.AddFile(P({"prog", "my pack", "read-only.tga"}), "mine", true, false);
  host.AddFile(P({"prog", "my pack", "hidden.tga"}), "mine", false, true);
  host.AddFolder(P({"prog", "my pack", "folder.tga"}));
  list = "car 0000.BMP\n";
  bitmaps = {"0000.BMP"};
  Run(P({"prog", "my pack.fsh"}));
  EXPECT_TRUE(host.Has(P({"prog", "my", "keep.tga"})));
  EXPECT_FALSE(host.Has(P({"prog", "my pack", "mine.Tga"})));
  EXPECT_FALSE(host.Has(P({"prog", "my pack", "car.tga"})));
  EXPECT_TRUE(host.Has(P({"prog", "my pack", "car.ptx"})));
  EXPECT_TRUE(host.Has(P({"prog", "my pack", "folder.tga"})));
  EXPECT_EQ(host.Data(P({"prog", "my pack", "read-only.tga"})), "mine");
  EXPECT_EQ(host.Data(P({"prog", "my pack", "hidden.tga"})), "mine");
  for (const std::string& e : host.events) EXPECT_EQ(e.find("start cmd"), std::string::npos);
}

// A link in place of the work folder is removed as a link, on every start,
// and a real folder is made before fshtool fills it.
TEST_F(RunFixture, WorkFolderThatIsALinkIsReplacedByAFolder) {
  host.AddLink(kWork);
  Run("");
  EXPECT_FALSE(host.Has(kWork));
  EXPECT_EQ(host.events.front(), "cd " + kProg);
  EXPECT_EQ(host.events.at(1), "unlink " + kWork);

  host.events.clear();
  host.AddLink(kWork);
  list = "car 0000.BMP\n";
  bitmaps = {"0000.BMP"};
  host.on_start = [behave = host.on_start](FakeHost& h, const Start& start) {
    if (EndsWith(start.program, "fshtool.exe")) {
      EXPECT_TRUE(h.Has(kWork) && !h.IsLinkNode(kWork)) << "fshtool must find a real folder";
    }
    return behave(h, start);
  };
  Run();
  EXPECT_EQ(host.Data(InOut("index.txt")), "; Index file made by Skinferry\r\ncar.ptx\r\n");
}

// One this user may not remove (another user's, in a shared temporary
// folder) is never used: fshtool is not started and the run ends in the
// list error without reading a list through it.
TEST_F(RunFixture, WorkFolderLinkThatCannotBeRemovedEndsInTheListError) {
  host.AddLink(kWork, false);
  Run();
  EXPECT_TRUE(StartsOf("fshtool.exe").empty());
  EXPECT_EQ(host.Data(InOut("index.txt")),
            "; Index file made by Skinferry\r\n"
            "An error has occurred while reading th index.fsh file!: BMPfile:  Alphafile:  TGA-file: \r\n");
  EXPECT_EQ(host.WritesAt(27, 20), std::vector<std::string>{"An error has occurred!"});
  EXPECT_FALSE(host.Has(InOut("index_old.txt")));
  EXPECT_EQ(host.events.back(), "wait 9,24");
}

// On a system where the tools share Skinferry's terminal, what they print is
// collected and shown in rows of its own, so the box and its fields stay
// exactly as a quiet run leaves them.
TEST_F(RunFixture, ToolMessagesGoToTheirOwnRowsAndLeaveTheBoxAlone) {
  list = "car 0000.BMP\n";
  bitmaps = {"0000.BMP"};
  const std::string long_line(100, 'x');
  FakeHost quiet;
  quiet.executable_path = host.executable_path;
  quiet.temp_folder = host.temp_folder;
  quiet.AddFile(kPack, "FSH");
  quiet.on_start = host.on_start;
  RunSkinferry(quiet, kPack);

  host.on_start = [behave = host.on_start, &long_line](FakeHost& h, const Start& start) {
    const bool started = behave(h, start);
    if (EndsWith(start.program, "fshtool.exe")) h.tool_output = "fshtool: pack.fsh: object 3 skipped\n";
    if (EndsWith(start.program, "alphawed.exe")) h.tool_output = "\x1b[14;1HAlphawed: sneaky\r\n";
    if (EndsWith(start.program, "MIPMILL.exe")) {
      h.tool_output = "MIPMILL Error: File not found\n\r\n\rCommand-line parameters:\n\r" + long_line;
    }
    return started;
  };
  Run();
  for (int row = 8; row < FakeHost::kRows; ++row) EXPECT_EQ(host.Row(row), quiet.Row(row)) << "row " << row;
  // The newest four lines, blank lines left out, a long one cut at the width.
  const std::vector<std::string> shown = {" [14;1HAlphawed: sneaky", "MIPMILL Error: File not found",
                                          "Command-line parameters:", long_line.substr(0, 70)};
  for (int i = 0; i < 4; ++i) {
    std::string expected = shown[static_cast<size_t>(i)];
    expected.resize(70, ' ');
    EXPECT_EQ(host.At(9, 4 + i, 70), expected) << "row " << 4 + i;
  }
  for (const Write& w : host.writes) EXPECT_EQ(w.text.find('\x1b'), std::string::npos) << w.text;

  // A log keeps every line, in order.
  FakeHost& log = quiet;
  log.screen = false;
  log.log_lines.clear();
  log.on_start = host.on_start;
  RunSkinferry(log, kPack);
  const std::vector<std::string>& lines = log.log_lines;
  const auto at = std::find(lines.begin(), lines.end(), "fshtool: pack.fsh: object 3 skipped");
  ASSERT_NE(at, lines.end());
  EXPECT_EQ(*(at + 1), "Info: Finished converting the fsh file to bmp's");
  EXPECT_NE(std::find(lines.begin(), lines.end(), long_line), lines.end());
}

TEST_F(RunFixture, SecondRunReplacesTheListsAndStartsNamesAfresh) {
  list = "car 0000.BMP\n";
  bitmaps = {"0000.BMP"};
  Run();
  list = "car 0000.BMP\r\nbus 0001.BMP\r\n";
  bitmaps = {"0000.BMP", "0001.BMP"};
  Run();
  EXPECT_EQ(host.Data(InOut("index.txt")), "; Index file made by Skinferry\r\ncar.ptx\r\nbus.ptx\r\n");
  EXPECT_EQ(host.Data(InOut("index_old.txt")), list);
}

TEST_F(RunFixture, UnwritableOutputFolderDoesNotStopTheRun) {
  host.AddFile(kOut, "a file where the folder should be");
  list = "car 0000.BMP\nbus 0001.BMP\n";
  bitmaps = {"0000.BMP", "0001.BMP"};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(StartsOf("MIPMILL.exe").size(), 2u);
  EXPECT_EQ(host.WritesAt(17, 13).back(), "Converting to ptx finished!              ");
  EXPECT_EQ(host.events.back(), "wait 9,24");
}

TEST_F(RunFixture, LogOfARun) {
  host.screen = false;
  list = "car 0000.BMP\n";
  bitmaps = {"0000.BMP"};
  Run();
  const std::vector<std::string> expected = {
      "Skinferry v1.0.",
      std::string(42, '-'),
      "Name of fshfile: pack.fsh",
      "Covertet PTX's will be made in this dir:",
      kOut,
      "Info: Converting the fsh file to bmp's....",
      "Info: Finished converting the fsh file to bmp's",
      "Info: Opening the index file(filelist)...",
      "Info: Starts converting bmps to ptxs",
      "BMP file: 0000.BMP",
      "Alpha BMP file: No Alpha Image",
      "TGA file: car.tga",
      "Prosent done of converting files: 0%",
      "PTX file: car.ptx",
      "Info: Converting bmp's to tga",
      "Info: Converting to ptx finished!",
  };
  EXPECT_EQ(host.log_lines, expected);
}

}  // namespace
}  // namespace skinferry::testing
