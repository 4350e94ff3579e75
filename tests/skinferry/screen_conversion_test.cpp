#include <gtest/gtest.h>

#include "fake_host.h"
#include "skinferry/conversion.h"
#include "skinferry/screen.h"

namespace skinferry::testing {
namespace {

const std::string kWork = P({"temp", "TPC"});
const std::string kProg = P({"my prog"});
const std::string kOut = P({"my prog", "my pack"});

TEST(ScreenTest, FrameAndLabels) {
  FakeHost host;
  Screen(host).DrawProgressFrame();
  const std::string rule = std::string(60, '\xCD');
  EXPECT_EQ(host.At(9, 12, 62), "\xC9" + rule + "\xBB");
  EXPECT_EQ(host.At(9, 14, 62), "\xCC" + rule + "\xB9");
  EXPECT_EQ(host.At(9, 21, 62), "\xCC" + rule + "\xB9");
  EXPECT_EQ(host.At(9, 23, 62), "\xC8" + rule + "\xBC");
  for (int row : {13, 15, 16, 17, 18, 19, 20, 22}) {
    EXPECT_EQ(host.At(9, row, 1), "\xBA") << row;
    EXPECT_EQ(host.At(70, row, 1), "\xBA") << row;
  }
  EXPECT_EQ(host.At(10, 13, 6), "Info: ");
  EXPECT_EQ(host.At(10, 15, 10), "BMP file: ");
  EXPECT_EQ(host.At(10, 16, 16), "Alpha BMP file: ");
  EXPECT_EQ(host.At(10, 17, 10), "TGA file: ");
  EXPECT_EQ(host.At(10, 18, 10), "PTX file: ");
  EXPECT_EQ(host.At(10, 22, 34), "Prosent done of converting files: ");
  // Nothing outside the box, and no field contents inside it.
  EXPECT_EQ(host.Row(11), std::string(80, ' '));
  EXPECT_EQ(host.Row(24), std::string(80, ' '));
  EXPECT_EQ(host.At(27, 15, 43), std::string(43, ' '));
  // Only the drawing characters go out as code page 437; the labels (and
  // every name later) are texts in the system's code page.
  EXPECT_EQ(host.box_writes.size(), 4u + 2u * 8u);
  for (const Write& w : host.writes) {
    for (const char c : w.text) EXPECT_LT(static_cast<unsigned char>(c), 0x80u) << w.text;
  }
}

TEST(ScreenTest, FieldsCarryTheirBlankingSpaces) {
  FakeHost host;
  Screen screen(host);
  screen.ShowField(Field::kBmp, "0000.BMP");
  screen.ShowField(Field::kAlpha, "0000a.bmp");
  screen.ShowField(Field::kTga, "car.tga");
  screen.ShowField(Field::kPtx, "car.ptx");
  screen.ShowPercent(34);
  screen.ShowError();
  EXPECT_EQ(host.WritesAt(27, 15), std::vector<std::string>{"0000.BMP     "});
  EXPECT_EQ(host.WritesAt(27, 16), std::vector<std::string>{"0000a.bmp     "});
  EXPECT_EQ(host.WritesAt(27, 17), std::vector<std::string>{"car.tga     "});
  EXPECT_EQ(host.WritesAt(27, 18), std::vector<std::string>{"car.ptx        "});
  EXPECT_EQ(host.WritesAt(58, 22), std::vector<std::string>{"34%"});
  EXPECT_EQ(host.WritesAt(27, 20), std::vector<std::string>{"An error has occurred!"});
}

TEST(ScreenTest, ShorterNameLeavesOldCharactersPastItsBlanks) {
  FakeHost host;
  Screen screen(host);
  screen.ShowField(Field::kTga, "averyveryverylongname.tga");
  screen.ShowField(Field::kTga, "a.tga");
  EXPECT_EQ(host.At(27, 17, 30), "a.tga     erylongname.tga     ");
}

TEST(ScreenTest, LogGetsLabelledLinesAndNoBox) {
  FakeHost host;
  host.screen = false;
  Screen screen(host);
  screen.DrawProgressFrame();
  screen.ShowStatus("Converting bmp's to tga                      ");
  screen.ShowField(Field::kPtx, "car.ptx");
  screen.ShowPercent(100);
  EXPECT_EQ(host.log_lines, (std::vector<std::string>{"Info: Converting bmp's to tga", "PTX file: car.ptx",
                                                      "Prosent done of converting files: 100%"}));
}

std::vector<int> Percentages(const std::vector<std::string>& bitmaps, int calls) {
  FakeHost host;
  host.AddFolder(kWork);
  for (const std::string& b : bitmaps) host.AddFile(platform::JoinPath(kWork, b));
  ProgressCounter counter;
  std::vector<int> got;
  for (int i = 0; i < calls; ++i) got.push_back(counter.ProgressPercent(host, kWork));
  return got;
}

TEST(ProgressTest, Percentages) {
  EXPECT_EQ(Percentages({"0000.bmp", "0001.bmp", "0002.bmp", "0003.bmp"}, 4),
            (std::vector<int>{0, 34, 67, 100}));
  EXPECT_EQ(Percentages({"0000.BMP", "0001.BMP", "0002-1.bmp"}, 3), (std::vector<int>{0, 50, 100}));
  EXPECT_EQ(Percentages({"0012-1.bmp"}, 2), (std::vector<int>{0, 9}));
  EXPECT_EQ(Percentages({"0000.bmp"}, 3), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(Percentages({}, 3), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(Percentages({"0250.bmp"}, 2), (std::vector<int>{0, 0}));  // above the search
  EXPECT_EQ(Percentages({"0249.bmp"}, 2), (std::vector<int>{0, 1}));
  // More images than the highest number: the display stops at 100.
  EXPECT_EQ(Percentages({"0000.bmp", "0001.bmp"}, 4), (std::vector<int>{0, 100, 100, 100}));
}

TEST(ConversionTest, EncodePtxParameters) {
  const std::string tga_dir = kOut + platform::kPathSeparator;
  struct Case {
    const char* tga;
    std::string parameters;
    const char* ptx;
  };
  const Case cases[] = {
      {"wheel-4.tga", "-4 \"" + tga_dir + "wheel-4.tga\"", "wheel-4.ptx"},
      {"car.tga", "\"" + tga_dir + "car.tga\"", "car.ptx"},
      {"car-x.tga", "-0 \"" + tga_dir + "car-x.tga\"", "car-x.ptx"},
      {"car(1).tga", "\"" + tga_dir + "car(1).tga\"", "car(1).ptx"},
      {"-9.tga", "-9 \"" + tga_dir + "-9.tga\"", "-9.ptx"},
      {"car-4(1).tga", "\"" + tga_dir + "car-4(1).tga\"", "car-4(1).ptx"},
      {"9.tga", "\"" + tga_dir + "9.tga\"", "9.ptx"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodePtxParameters(c.tga, kOut), c.parameters) << c.tga;
    EXPECT_EQ(PtxNameFor(c.tga), c.ptx);
  }
}

TEST(ConversionTest, ToolsStartInTheirFolderWithQuotedPaths) {
  FakeHost host;
  Screen screen(host);
  Converter converter(host, screen, kProg);
  const std::string bmp = platform::JoinPath(kWork, "0000.BMP");
  const std::string tga = platform::JoinPath(kOut, "wheel-4.tga");
  ASSERT_TRUE(converter.MergeAlpha(bmp, AlphaArgument(kWork, "0000a.bmp"), tga));
  ASSERT_TRUE(converter.MergeAlpha(bmp, AlphaArgument(kWork, "No Alpha Image"), tga));
  EXPECT_EQ(converter.EncodePtx("wheel-4.tga", kOut), "wheel-4.ptx");

  const char sep = platform::kPathSeparator;
  ASSERT_EQ(host.starts.size(), 3u);
  EXPECT_EQ(host.starts[0].program, kProg + sep + "needed_Exes" + sep + "alphawed.exe");
  EXPECT_EQ(host.starts[0].working_folder, kProg + sep + "needed_Exes" + sep);
  EXPECT_EQ(host.starts[0].parameters,
            "\"" + bmp + "\" \"" + platform::JoinPath(kWork, "0000a.bmp") + "\" \"" + tga + "\"");
  // Without an alpha bitmap alphawed gets its own marker, not a missing file.
  EXPECT_EQ(host.starts[1].parameters, "\"" + bmp + "\" \"No alpha image\" \"" + tga + "\"");
  EXPECT_EQ(host.starts[2].program, kProg + sep + "needed_exes" + sep + "MIPMILL.exe");
  EXPECT_EQ(host.starts[2].working_folder, kProg + sep + "needed_exes" + sep);
  EXPECT_EQ(host.starts[2].parameters, "-4 \"" + tga + "\"");
  EXPECT_EQ(host.WritesAt(27, 18), std::vector<std::string>{"wheel-4.ptx        "});
}

TEST(ConversionTest, FailedStartOnlyMattersForTheMerge) {
  FakeHost host;
  host.on_start = [](FakeHost&, const Start&) { return false; };
  Screen screen(host);
  Converter converter(host, screen, kProg);
  EXPECT_FALSE(converter.MergeAlpha("a", "b", "c"));
  EXPECT_EQ(converter.EncodePtx("car.tga", kOut), "car.ptx");
}

}  // namespace
}  // namespace skinferry::testing
