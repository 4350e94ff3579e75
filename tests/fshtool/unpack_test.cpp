// Unpacking into a work folder: the bitmaps, index.fsh byte for byte, the
// entry names the pipeline reads, and what a failed run leaves behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "fshtool/pack.h"
#include "fshtool/unpack.h"
#include "fshtool_test_support.h"

namespace {

using fshtest::Colour;
using fshtest::Image;
using fshtest::Pack;
using fshtool_test::FileNames;
using fshtool_test::ReadBitmap;
using fshtool_test::ReadText;
using fshtool_test::ScratchFolder;

class UnpackTest : public testing::Test {
 protected:
  std::string WritePack(const Pack& pack, const std::string& name = "test.fsh") {
    const std::string path = scratch_ / name;
    EXPECT_TRUE(fshtest::WriteFile(path, fshtest::Build(pack)));
    return path;
  }
  std::string Work() const { return scratch_ / "work"; }

  ScratchFolder scratch_;
};

TEST_F(UnpackTest, WritesBitmapsAndTheListInDirectoryOrder) {
  using namespace fshtest;
  Pack pack;
  pack.objects.push_back({"img1", {Image(kBgra8888, 1, 1, {1, 2, 3, 4})}});
  pack.objects.push_back({"!pal", {Palette(kPalette888, 1, {0, 0, 0})}});
  pack.objects.push_back({"a b", {Image(kBgr888, 1, 1, {1, 2, 3})}});
  pack.objects.push_back({"bad0", {Image(0x12, 1, 1, {})}});
  Record mips = Image(kDxt1, 4, 4, Dxt1Block(0xFFFF, 0, 0));
  mips.mip_levels = 3;
  pack.objects.push_back({"mip0", {mips}});
  pack.objects.push_back({"img1", {Image(kRgb565, 1, 1, Words16({0}))}});

  const fshtool::UnpackReport report = fshtool::UnpackPack(WritePack(pack), Work());

  EXPECT_EQ(report.images, 4u);
  ASSERT_EQ(report.problems.size(), 1u);
  EXPECT_EQ(report.problems[0], "object 3 \"bad0\" has the unknown record code 0x12; skipped");
  // The broken object takes no number, and only the 32-bit image has alpha.
  EXPECT_EQ(FileNames(Work()),
            (std::set<std::string>{"index.fsh", "0000.BMP", "0000-a.BMP", "0001.BMP", "0002.BMP", "0003.BMP"}));
  EXPECT_EQ(ReadText(Work() + "/index.fsh"),
            "FSH pack test.fsh (directory id GIMX)\r\n"
            "img1 0000.BMP\r\n"
            "a_b 0001.BMP\r\n"
            "mip0-4 0002.BMP\r\n"
            "img1 0003.BMP\r\n");
}

TEST_F(UnpackTest, BitmapsAreBottomUpWithPaddedRowsAndAlphaAsGrey) {
  using namespace fshtest;
  // 3 x 2: rows of 9 bytes padded to 12.
  const std::vector<Colour> colours = {{1, 2, 3, 0},   {4, 5, 6, 50},    {7, 8, 9, 100},
                                       {10, 11, 12, 150}, {13, 14, 15, 200}, {16, 17, 18, 255}};
  Pack pack;
  pack.objects.push_back({"img0", {Image(kBgra8888, 3, 2, Bgra8888(colours))}});
  fshtool::UnpackPack(WritePack(pack), Work());

  const fshtool_test::Bitmap colour = ReadBitmap(Work() + "/0000.BMP");
  const fshtool_test::Bitmap alpha = ReadBitmap(Work() + "/0000-a.BMP");
  ASSERT_EQ(colour.width, 3);
  ASSERT_EQ(colour.height, 2);
  ASSERT_EQ(alpha.width, 3);
  ASSERT_EQ(alpha.height, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      const Colour c = colours[static_cast<std::size_t>(y * 3 + x)];
      EXPECT_EQ(colour.At(x, y), (Colour{c.r, c.g, c.b, 255})) << x << "," << y;
      EXPECT_EQ(alpha.At(x, y), (Colour{c.a, c.a, c.a, 255})) << x << "," << y;
    }
  }
}

TEST_F(UnpackTest, AlphaBitmapsFollowTheKind) {
  using namespace fshtest;
  Pack pack;
  pack.objects.push_back({"1555", {Image(kArgb1555, 1, 1, Words16({0xFFFF}))}});
  pack.objects.push_back({"4444", {Image(kArgb4444, 1, 1, Words16({0xFFFF}))}});
  pack.objects.push_back({"dxt3", {Image(kDxt3, 4, 4, Dxt3Block(~0ull, 0, 0, 0))}});
  pack.objects.push_back({"opq1", {Image(kDxt1, 4, 4, Dxt1Block(1, 0, AllTexels(3)))}});
  pack.objects.push_back({"trn1", {Image(kDxt1, 4, 4, Dxt1Block(0, 1, AllTexels(3)))}});
  pack.objects.push_back({"pal8", {Image(kIndexed8, 1, 1, {0}), Palette(kPalette8888, 1, {0, 0, 0, 255})}});
  pack.objects.push_back({"pal6", {Image(kIndexed8, 1, 1, {0}), Palette(kPalette666, 1, {0, 0, 0})}});
  pack.objects.push_back({"565 ", {Image(kRgb565, 1, 1, Words16({0}))}});
  fshtool::UnpackPack(WritePack(pack), Work());
  EXPECT_EQ(FileNames(Work()),
            (std::set<std::string>{"index.fsh", "0000.BMP", "0000-a.BMP", "0001.BMP", "0001-a.BMP", "0002.BMP",
                                   "0002-a.BMP", "0003.BMP", "0004.BMP", "0004-a.BMP", "0005.BMP", "0005-a.BMP",
                                   "0006.BMP", "0007.BMP"}));
  // Transparent DXT1 texels become alpha 0.
  EXPECT_EQ(ReadBitmap(Work() + "/0004-a.BMP").At(2, 2), (Colour{0, 0, 0, 255}));
}

TEST(EntryNameTest, NamesAreSafeAndReadAsIntended) {
  const struct {
    std::string directory_name;
    unsigned mips;
    std::string entry;
  } cases[] = {
      {"abcd", 0, "abcd"},
      {"ab c", 0, "ab_c"},          // a space would end the field
      {"a/\\:", 0, "a___"},         // path characters
      {"*?<>", 0, "____"},
      {"a\"|\x01", 0, "a___"},
      {"", 0, "_"},
      {"con", 0, "_con"},           // devices on Windows, whatever the extension
      {"Nul.", 0, "_Nul."},
      {"COM1", 0, "_COM1"},
      {"lpt9", 0, "_lpt9"},
      {"COMA", 0, "COMA"},
      {"alphabet", 0, "_alphabet"},  // later "alpha" lines would be skipped
      {"ALPHA", 0, "_ALPHA"},
      {"alph", 0, "alph"},
      {"tr-1", 0, "tr_1"},           // would read as a request for one level
      {"-x", 0, "_x"},
      {"tr-1", 2, "tr-1-3"},
      {"abcd", 1, "abcd-2"},
      {"abcd", 8, "abcd-9"},
      {"abcd", 12, "abcd-9"},        // no more than the encoder can make
      {"x\xE9y", 0, "x\xE9y"},       // code-page letters are kept
  };
  for (const auto& c : cases) EXPECT_EQ(fshtool::EntryName(c.directory_name, c.mips), c.entry) << c.directory_name;
}

TEST(IndexHeaderLineTest, NamesThePackAndIsNeverAnImageLine) {
  EXPECT_EQ(fshtool::IndexHeaderLine("car.fsh", "GIMX"), "FSH pack car.fsh (directory id GIMX)");
  const std::string tricky = fshtool::IndexHeaderLine("a\r\nb.BMP", std::string(".BMP", 4));
  EXPECT_EQ(tricky, "FSH pack a??b.BMP (directory id .BMP)");
  EXPECT_EQ(fshtool::IndexHeaderLine("x", std::string("\0\0\0\0", 4)), "FSH pack x (directory id \?\?\?\?)");
}

// What a run removes from a folder that already holds files: only what an
// earlier run wrote (its list marks the folder as ours, and only our exact
// names go); a user's file under a name the run would write stops it before
// anything is written or removed.
TEST_F(UnpackTest, OnlyAnEarlierRunsOutputIsRemovedAndUserFilesStopTheRun) {
  using namespace fshtest;
  // Its image lines name what it wrote: 0007.BMP (and its alpha 0007-a.BMP).
  const std::string ours = "FSH pack old.fsh (directory id GIMX)\r\nold 0007.BMP\r\nother 0001.BMP\r\n";
  const std::set<std::string> users = {"2023.bmp", "20230101.BMP", "7a.bmp", "0099.bmp", "00007.BMP",
                                       "keep.txt", "12.txt", "car.bmp", "x0001.bmp", "0003-1.bmp"};
  struct Case {
    const char* what;
    std::string index;  // empty: no index.fsh
    std::set<std::string> earlier;
    std::set<std::string> extra;  // besides `users`
    bool stops;
    std::set<std::string> removed;
  };
  const std::vector<Case> cases = {
      {"no list: numbered files of the user's stay", "", {}, {}, false, {}},
      {"our list: what it names goes, the user's stay", ours, {"0007.BMP", "0007-a.BMP", "0001.BMP.part"},
       {"0002.BMP"}, false, {"0007.BMP", "0007-a.BMP", "0001.BMP.part"}},
      {"a list that is not ours", "my own notes\r\n", {}, {}, true, {}},
      {"our list, but the user's own bitmap under the name the run writes", ours, {"0007.BMP"}, {"0000.bmp"}, true,
       {}},
      {"an alpha the pipeline would take for the new bitmap's", "", {}, {"0000a.bmp"}, true, {}},
  };
  Pack pack;
  pack.objects.push_back({"img0", {Image(kBgr888, 1, 1, {1, 2, 3})}});
  const std::string pack_path = WritePack(pack);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Work());
    std::filesystem::create_directories(Work() + "/0000.BMP.dir");
    std::set<std::string> before = users;
    before.insert(c.earlier.begin(), c.earlier.end());
    before.insert(c.extra.begin(), c.extra.end());
    for (const std::string& name : before) WriteFile(Work() + "/" + name, std::vector<std::uint8_t>{7});
    if (!c.index.empty()) {
      WriteFile(Work() + "/index.fsh", std::vector<std::uint8_t>(c.index.begin(), c.index.end()));
      before.insert("index.fsh");
    }
    before.insert("0000.BMP.dir");

    std::set<std::string> expected = before;
    if (c.stops) {
      EXPECT_THROW(fshtool::UnpackPack(pack_path, Work()), fshtool::OutputError);
      for (const std::string& name : c.removed) expected.erase(name);
    } else {
      fshtool::UnpackPack(pack_path, Work());
      for (const std::string& name : c.removed) expected.erase(name);
      expected.insert({"0000.BMP", "index.fsh"});
    }
    EXPECT_EQ(FileNames(Work()), expected);
    for (const std::string& name : users) EXPECT_EQ(ReadText(Work() + "/" + name), "\x07") << name;
    if (c.stops && !c.index.empty() && c.index != ours) {
      EXPECT_EQ(ReadText(Work() + "/index.fsh"), c.index);
    }
  }
}

TEST_F(UnpackTest, CreatesMissingFoldersAndFindsThePackIgnoringCase) {
  using namespace fshtest;
  Pack pack;
  pack.objects.push_back({"img0", {Image(kBgr888, 1, 1, {1, 2, 3})}});
  WritePack(pack, "Pack.FSH");
  const std::string work = scratch_ / "deep/er/work/";
  fshtool::UnpackPack(scratch_ / "pack.fsh", work);
  EXPECT_EQ(FileNames(work), (std::set<std::string>{"0000.BMP", "index.fsh"}));
  EXPECT_EQ(ReadText(work + "index.fsh"), "FSH pack pack.fsh (directory id GIMX)\r\nimg0 0000.BMP\r\n");
}

TEST_F(UnpackTest, AFailedRunLeavesNoList) {
  using namespace fshtest;
  std::filesystem::create_directories(Work());
  const std::string old = "FSH pack old.fsh (directory id GIMX)\r\n";
  WriteFile(Work() + "/index.fsh", std::vector<std::uint8_t>(old.begin(), old.end()));

  // An unreadable pack touches nothing.
  WriteFile(scratch_ / "bad.fsh", std::vector<std::uint8_t>{'S', 'H', 'P'});
  EXPECT_THROW(fshtool::UnpackPack(scratch_ / "bad.fsh", Work()), fshtool::FshError);
  EXPECT_THROW(fshtool::UnpackPack(scratch_ / "missing.fsh", Work()), fshtool::OutputError);
  EXPECT_EQ(ReadText(Work() + "/index.fsh"), old);

  // A bitmap that cannot be written stops the run before the list is written,
  // and the bitmaps it did write go with it.
  Pack pack;
  pack.objects.push_back({"img0", {Image(kBgr888, 1, 1, {1, 2, 3})}});
  pack.objects.push_back({"img1", {Image(kBgra8888, 1, 1, {1, 2, 3, 4})}});
  std::filesystem::create_directories(Work() + "/0001-a.BMP.part");
  EXPECT_THROW(fshtool::UnpackPack(WritePack(pack), Work()), fshtool::OutputError);
  EXPECT_EQ(FileNames(Work()), std::set<std::string>{"0001-a.BMP.part"});

  // A work folder that is a file cannot be made.
  WriteFile(scratch_ / "file", std::vector<std::uint8_t>{1});
  EXPECT_THROW(fshtool::UnpackPack(WritePack(pack), scratch_ / "file"), fshtool::OutputError);
}

}  // namespace
