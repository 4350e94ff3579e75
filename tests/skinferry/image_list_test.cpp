#include "skinferry/image_list.h"

#include <gtest/gtest.h>

#include "fake_host.h"

namespace skinferry::testing {
namespace {

const std::string kWork = P({"temp", "TPC"});
const std::string kOut = P({"prog", "pack"});

std::string InWork(const std::string& name) { return platform::JoinPath(kWork, name); }
std::string InOut(const std::string& name) { return platform::JoinPath(kOut, name); }

struct ListFixture : ::testing::Test {
  FakeHost host;
  ImageListReader reader{host, kWork, kOut};
  ImageEntry entry;

  void SetUp() override { host.AddFolder(kOut); }
  void List(const std::string& text) { host.AddFile(InWork("index.fsh"), text); }
};

TEST(LineSourceTest, EveryLineEndReadsAlike) {
  const std::string bytes("a\rb\nc\r\nd\0e", 10);
  LineSource lines(bytes);
  for (const char* expected : {"a", "b", "c", "d", "e"}) EXPECT_EQ(lines.Next(), expected);
  EXPECT_EQ(lines.Next(), std::nullopt);
  EXPECT_EQ(lines.Next(), std::nullopt);
}

TEST(LineSourceTest, EmptyLinesAndTheEnd) {
  LineSource lines("\r\r\n\n\r\nx\r\n");
  for (const char* expected : {"", "", "", "", "x"}) EXPECT_EQ(lines.Next(), expected);
  EXPECT_EQ(lines.Next(), std::nullopt);
  EXPECT_EQ(LineSource("").Next(), std::nullopt);
}

TEST(ImageLineTest, EndingMustBeCapitalBmp) {
  EXPECT_TRUE(IsImageLine("car 0000.BMP"));
  EXPECT_TRUE(IsImageLine(".BMP"));
  EXPECT_FALSE(IsImageLine("car 0000.bmp"));
  EXPECT_FALSE(IsImageLine("car 0000.BMP "));
  EXPECT_FALSE(IsImageLine("BMP"));
}

TEST_F(ListFixture, FirstImageResolvesAllThreeNames) {
  List("header\r\n\r\ncar 0000.BMP\r\n");
  host.AddFile(InWork("0000.BMP"));
  host.AddFile(InWork("0000a.bmp"));
  EXPECT_EQ(reader.ReadFirstImage(entry), ReadResult::kFound);
  EXPECT_EQ(entry.bmp_name, "0000.BMP");
  EXPECT_EQ(entry.alpha_name, "0000a.bmp");
  EXPECT_EQ(entry.tga_name, "car.tga");
}

TEST_F(ListFixture, ListEndingWithoutLineBreakIsRead) {
  List("car 0000.BMP\nwheel 0001.BMP");
  host.AddFile(InWork("0000.BMP"));
  host.AddFile(InWork("0001.BMP"));
  ASSERT_EQ(reader.ReadFirstImage(entry), ReadResult::kFound);
  ASSERT_EQ(reader.ReadNextImage(entry), ReadResult::kFound);
  EXPECT_EQ(entry.tga_name, "wheel.tga");
}

TEST_F(ListFixture, PatternTakesHighestExistingNumberAndEveryMarker) {
  List("a img%d.BMP\nb x%d_%d.BMP\nc plain.BMP\n");
  for (int n = 0; n <= 4; ++n) host.AddFile(InWork("img" + std::to_string(n) + ".BMP"));
  host.AddFile(InWork("x7_7.bmp"));  // found ignoring letter case, named as the pattern says
  host.AddFile(InWork("x19_3.BMP"));
  host.AddFile(InWork("plain.BMP"));
  ASSERT_EQ(reader.ReadFirstImage(entry), ReadResult::kFound);
  EXPECT_EQ(entry.bmp_name, "img4.BMP");
  ASSERT_EQ(reader.ReadNextImage(entry), ReadResult::kFound);
  EXPECT_EQ(entry.bmp_name, "x7_7.BMP");
  ASSERT_EQ(reader.ReadNextImage(entry), ReadResult::kFound);
  EXPECT_EQ(entry.bmp_name, "plain.BMP");
}

TEST_F(ListFixture, BitmapUnderNoNumberIsReportedWithEmptyNames) {
  List("car img%d.BMP\n");
  host.AddFile(InWork("img20.BMP"));  // above the highest number searched
  EXPECT_EQ(reader.ReadFirstImage(entry), ReadResult::kNoBitmap);
  EXPECT_EQ(entry.bmp_name, "");
  EXPECT_EQ(entry.alpha_name, "");
  EXPECT_EQ(entry.tga_name, "car.tga");
}

TEST_F(ListFixture, FieldsAreCutAtEverySingleSpace) {
  // Two spaces give an empty pattern, and no space gives none: neither may
  // resolve to the work folder itself.
  List("a  0000.BMP\nb.BMP\nc 0000.BMP 0001.BMP\n");
  host.AddFile(InWork("0000.BMP"));
  host.AddFile(InWork("0001.BMP"));
  EXPECT_EQ(reader.ReadFirstImage(entry), ReadResult::kNoBitmap);
  EXPECT_EQ(reader.ReadNextImage(entry), ReadResult::kNoBitmap);
  EXPECT_EQ(entry.tga_name, "b.BMP.tga");
  EXPECT_EQ(reader.ReadNextImage(entry), ReadResult::kFound);
  EXPECT_EQ(entry.bmp_name, "0000.BMP");
  EXPECT_EQ(entry.tga_name, "c.tga");
}

TEST_F(ListFixture, TgaNameAvoidsFilesInTheOutputFolder) {
  List("car 0000.BMP\ncar 0000.BMP\n");
  host.AddFile(InWork("0000.BMP"));
  host.AddFile(InOut("CAR.TGA"));
  host.AddFile(InOut("car(1).tga"));
  ASSERT_EQ(reader.ReadFirstImage(entry), ReadResult::kFound);
  EXPECT_EQ(entry.tga_name, "car(2).tga");
  host.AddFile(InOut("car(2).tga"));  // what alphawed would have written
  ASSERT_EQ(reader.ReadNextImage(entry), ReadResult::kFound);
  EXPECT_EQ(entry.tga_name, "car(3).tga");
}

TEST_F(ListFixture, AlphaProbeOrder) {
  struct Case {
    std::vector<std::string> files;
    std::string expected;
  };
  const Case cases[] = {
      {{"0003a.bmp", "0003-a.bmp"}, "0003a.bmp"},
      {{"0003-a.bmp"}, "0003-a.bmp"},
      {{"0003A.BMP"}, "0003a.bmp"},
      {{}, "No Alpha Image"},
  };
  for (const Case& c : cases) {
    FakeHost fresh;
    fresh.AddFolder(kOut);
    fresh.AddFile(InWork("index.fsh"), "x 0003.BMP");
    fresh.AddFile(InWork("0003.BMP"));
    for (const std::string& f : c.files) fresh.AddFile(InWork(f));
    ImageListReader r(fresh, kWork, kOut);
    ImageEntry e;
    ASSERT_EQ(r.ReadFirstImage(e), ReadResult::kFound);
    EXPECT_EQ(e.alpha_name, c.expected) << c.files.size();
  }
}

TEST_F(ListFixture, NextReadExaminesAtMostSixLines) {
  List("a 0000.BMP\n1\n2\n3\n4\n5\nb 0001.BMP\n1\n2\n3\n4\n5\n6\nc 0002.BMP\nd 0003.BMP\n");
  for (const char* f : {"0000.BMP", "0001.BMP", "0002.BMP", "0003.BMP"}) host.AddFile(InWork(f));
  ASSERT_EQ(reader.ReadFirstImage(entry), ReadResult::kFound);
  ASSERT_EQ(reader.ReadNextImage(entry), ReadResult::kFound);
  EXPECT_EQ(entry.bmp_name, "0001.BMP");
  const ImageEntry before = entry;
  EXPECT_EQ(reader.ReadNextImage(entry), ReadResult::kEndOfList);
  EXPECT_EQ(entry.bmp_name, before.bmp_name);
  EXPECT_EQ(entry.alpha_name, before.alpha_name);
  EXPECT_EQ(entry.tga_name, before.tga_name);
  // The seventh line (image c) was consumed unseen; the next read goes on after it.
  ASSERT_EQ(reader.ReadNextImage(entry), ReadResult::kFound);
  EXPECT_EQ(entry.bmp_name, "0003.BMP");
}

TEST_F(ListFixture, AlphaLinesOnlyTheFirstReadAccepts) {
  List("Alpha 0000.BMP\nALPHAx 0001.BMP\nalpha 0001.BMP\ncar 0002.BMP\n");
  for (const char* f : {"0000.BMP", "0001.BMP", "0002.BMP"}) host.AddFile(InWork(f));
  ASSERT_EQ(reader.ReadFirstImage(entry), ReadResult::kFound);
  EXPECT_EQ(entry.tga_name, "Alpha.tga");
  ASSERT_EQ(reader.ReadNextImage(entry), ReadResult::kFound);
  EXPECT_EQ(entry.tga_name, "car.tga");
}

TEST_F(ListFixture, PastTheEndEveryReadFindsNothing) {
  List("car 0000.BMP");
  host.AddFile(InWork("0000.BMP"));
  ASSERT_EQ(reader.ReadFirstImage(entry), ReadResult::kFound);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(reader.ReadNextImage(entry), ReadResult::kEndOfList);
  EXPECT_EQ(entry.bmp_name, "0000.BMP");
}

TEST_F(ListFixture, ListWithoutImagesOrMissingEndsAndIsNotCreated) {
  List("no images\r\nhere.bmp\r\n");
  EXPECT_EQ(reader.ReadFirstImage(entry), ReadResult::kEndOfList);

  FakeHost empty;
  ImageListReader missing(empty, kWork, kOut);
  EXPECT_EQ(missing.ReadFirstImage(entry), ReadResult::kEndOfList);
  EXPECT_EQ(missing.ReadNextImage(entry), ReadResult::kEndOfList);
  EXPECT_FALSE(empty.Has(InWork("index.fsh")));
}

}  // namespace
}  // namespace skinferry::testing
