#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "alphawed/alphawed.h"
#include "alphawed/bitmap.h"
#include "alphawed/tga_writer.h"
#include "alphawed_test_support.h"
#include "common/bmp_writer.h"

namespace alphawed {
namespace {

using alphawed_test::MessageCapture;
using alphawed_test::ReadBytes;
using alphawed_test::ScratchFolder;
using testbmp::BmpOptions;
using testbmp::Colour;
using testbmp::Picture;

class MergeAlphaTest : public testing::Test {
 protected:
  std::string Path(const std::string& name) const { return folder_ / name; }

  void Write(const std::string& name, const Picture& picture, const BmpOptions& options = {}) {
    testbmp::WriteBmp(Path(name), picture, options);
  }

  // Runs a merge into out.tga; returns the file's bytes (empty when none).
  std::vector<std::uint8_t> Merge(const std::string& colour, const std::string& alpha) {
    MergeAlpha(Arguments{colour, alpha, Path("out.tga")});
    return ReadBytes(Path("out.tga"));
  }

  bool OutputExists() const { return std::filesystem::exists(Path("out.tga")); }

  ScratchFolder folder_;
  MessageCapture messages_;
};

// Colour: top row red, green, blue; bottom row (10,20,30), black, white.
Picture SmallColour() {
  Picture p(3, 2);
  p.at(0, 0) = {255, 0, 0};
  p.at(1, 0) = {0, 255, 0};
  p.at(2, 0) = {0, 0, 255};
  p.at(0, 1) = {10, 20, 30};
  p.at(1, 1) = {0, 0, 0};
  p.at(2, 1) = {255, 255, 255};
  return p;
}

TEST_F(MergeAlphaTest, Writes32BitTgaWithAlphaFromRed) {
  Write("colour.bmp", SmallColour());
  Picture alpha(3, 2);
  // Green and blue differ from red everywhere, so using them would show.
  alpha.at(0, 0) = {1, 99, 99};
  alpha.at(1, 0) = {2, 0, 255};
  alpha.at(2, 0) = {3, 255, 0};
  alpha.at(0, 1) = {200, 10, 10};
  alpha.at(1, 1) = {0, 255, 255};
  alpha.at(2, 1) = {255, 0, 0};
  Write("alpha.bmp", alpha);

  const std::vector<std::uint8_t> want = {
      0,  0,  2,   0,   0,  0,   0, 0, 0,   0,   0,   0,
      3,  0,  2,   0,   32, 0,                              // header: 3 × 2, 32 bits, descriptor 0
      30, 20, 10,  200, 0,  0,   0, 0, 255, 255, 255, 255,  // bottom row first, blue-green-red-alpha
      0,  0,  255, 1,   0,  255, 0, 2, 255, 0,   0,   3};   // then the top row
  EXPECT_EQ(Merge(Path("colour.bmp"), Path("alpha.bmp")), want);
  EXPECT_TRUE(messages_.boxes.empty());
}

TEST_F(MergeAlphaTest, Writes24BitTgaWithTheMarker) {
  Write("colour.bmp", SmallColour());
  const std::vector<std::uint8_t> want = {0,   0,   2,   0, 0,  0,   0,  0,   0,  0,   0, 0,
                                          3,   0,   2,   0, 24, 0,   30, 20,  10, 0,   0, 0,
                                          255, 255, 255, 0, 0,  255, 0,  255, 0,  255, 0, 0};
  EXPECT_EQ(Merge(Path("colour.bmp"), "No alpha image"), want);
  EXPECT_TRUE(messages_.boxes.empty());
}

TEST_F(MergeAlphaTest, FullSizePicturesHaveTheDocumentedSizes) {
  Picture colour(256, 256, {7, 8, 9});
  colour.at(0, 255) = {1, 2, 3};  // bottom-left, the first pixel written
  Write("colour.bmp", colour);
  Write("alpha.bmp", Picture(256, 256, {128, 0, 0}), BmpOptions{8});

  const std::vector<std::uint8_t> with_alpha = Merge(Path("colour.bmp"), Path("alpha.bmp"));
  ASSERT_EQ(with_alpha.size(), 262162u);
  const TgaHeader header = TgaHeader::Read(std::span<const std::uint8_t, 18>(with_alpha.data(), 18));
  EXPECT_EQ(header.width, 256);
  EXPECT_EQ(header.height, 256);
  EXPECT_EQ(header.pixel_depth, 32);
  EXPECT_EQ(header.descriptor, 0);
  EXPECT_EQ(std::vector<std::uint8_t>(with_alpha.begin() + 18, with_alpha.begin() + 26),
            (std::vector<std::uint8_t>{3, 2, 1, 128, 9, 8, 7, 128}));

  const std::vector<std::uint8_t> without = Merge(Path("colour.bmp"), "No alpha image");
  ASSERT_EQ(without.size(), 196626u);
  EXPECT_EQ(without[16], 24);
  EXPECT_EQ(without[18], 3);
}

// Alpha byte of each pixel of the TGA, arranged top row first like the pictures.
std::vector<std::vector<int>> AlphaGrid(const std::vector<std::uint8_t>& tga, int width, int height) {
  std::vector<std::vector<int>> grid(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    const int stored_row = height - 1 - y;
    for (int x = 0; x < width; ++x) {
      grid[static_cast<size_t>(y)].push_back(tga[static_cast<size_t>(18 + (stored_row * width + x) * 4 + 3)]);
    }
  }
  return grid;
}

TEST_F(MergeAlphaTest, SmallerAlphaBitmapLeavesTheRestOpaque) {
  Write("colour.bmp", Picture(4, 3, {50, 50, 50}));
  Picture alpha(2, 2);
  alpha.at(0, 0) = {10, 0, 0};
  alpha.at(1, 0) = {20, 0, 0};
  alpha.at(0, 1) = {30, 0, 0};
  alpha.at(1, 1) = {40, 0, 0};
  Write("alpha.bmp", alpha);
  const std::vector<std::vector<int>> want = {{10, 20, 255, 255}, {30, 40, 255, 255}, {255, 255, 255, 255}};
  EXPECT_EQ(AlphaGrid(Merge(Path("colour.bmp"), Path("alpha.bmp")), 4, 3), want);
}

TEST_F(MergeAlphaTest, LargerAlphaBitmapGivesItsTopLeftCorner) {
  Write("colour.bmp", Picture(2, 2, {50, 50, 50}));
  Picture alpha(4, 3, {0, 0, 0});
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) alpha.at(x, y) = {static_cast<std::uint8_t>(10 * y + x), 0, 0};
  }
  Write("alpha.bmp", alpha, BmpOptions{24, /*top_down=*/true});
  const std::vector<std::vector<int>> want = {{0, 1}, {10, 11}};
  EXPECT_EQ(AlphaGrid(Merge(Path("colour.bmp"), Path("alpha.bmp")), 2, 2), want);
}

// The alpha bitmap's size is not checked: beyond what this program would
// hold as a colour bitmap it still merges, and only its corner over the
// colour bitmap is kept (a 70,000 × 70,000 picture would not fit in memory).
TEST_F(MergeAlphaTest, AlphaBitmapOfAnySizeGivesItsCorner) {
  Write("colour.bmp", Picture(8, 8, {50, 50, 50}));
  Picture wide(70000, 1, {0, 0, 0});
  for (int x = 0; x < 8; ++x) wide.at(x, 0) = {static_cast<std::uint8_t>(10 + x), 0, 0};
  // A 70,000-square RLE8 bitmap: deltas climb to the top row, where a run
  // paints red 77 into five columns; everything else is skipped, black.
  std::vector<std::uint8_t> climb;
  for (int rows = 69999; rows > 0; rows -= 255)
    climb.insert(climb.end(), {0, 2, 0, std::uint8_t(std::min(rows, 255))});
  climb.insert(climb.end(), {5, 1, 0, 1});
  const std::vector<std::uint8_t> huge =
      testbmp::RawBmp{70000, 70000, 8, 1, 2, testbmp::RawPalette({{0, 0, 0}, {77, 0, 0}}), climb}.Encode();

  struct Case {
    const char* what;
    std::vector<std::uint8_t> alpha;
    std::vector<int> top_row;     // alpha bytes of the picture's top row
    std::vector<int> other_rows;  // and of each row below it
  };
  const std::vector<int> opaque(8, 255);
  const Case cases[] = {
      {"70,000 × 1", testbmp::EncodeBmp(wide), {10, 11, 12, 13, 14, 15, 16, 17}, opaque},
      {"20,000 × 10,000, a file longer than a colour bitmap may be",
       {},
       {20, 21, 22, 23, 24, 25, 26, 27},
       std::vector<int>(8, 0)},
      {"1 × 70,000, top-down",
       testbmp::EncodeBmp(Picture(1, 70000, {99, 0, 0}), BmpOptions{8, true}),
       {99, 255, 255, 255, 255, 255, 255, 255},
       {99, 255, 255, 255, 255, 255, 255, 255}},
      {"70,000 × 70,000, run-length", huge, {77, 77, 77, 77, 77, 0, 0, 0}, std::vector<int>(8, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.alpha.empty()) {
      testbmp::WriteFile(Path("alpha.bmp"), c.alpha);
    } else {
      // 600 MB of 24-bit rows, all black (a hole in the file, taking no
      // room on disk) but for the top row, stored last.
      const std::uint64_t stride = 20000 * 3;
      std::vector<std::uint8_t> file = testbmp::RawBmp{20000, 10000, 24, 0, 0, {}, {}}.Encode();
      const std::uint64_t top_row_at = file.size() + stride * 9999;
      testbmp::WriteFile(Path("alpha.bmp"), file);
      std::filesystem::resize_file(Path("alpha.bmp"), top_row_at);
      std::vector<std::uint8_t> top(stride, 0);
      for (size_t x = 0; x < 8; ++x) top[x * 3 + 2] = static_cast<std::uint8_t>(20 + x);
      std::ofstream(Path("alpha.bmp"), std::ios::binary | std::ios::app)
          .write(reinterpret_cast<const char*>(top.data()), static_cast<std::streamsize>(top.size()));
      ASSERT_GT(std::filesystem::file_size(Path("alpha.bmp")), kMaxFileBytes);
    }
    const std::vector<std::uint8_t> tga = Merge(Path("colour.bmp"), Path("alpha.bmp"));
    EXPECT_TRUE(messages_.boxes.empty());
    ASSERT_EQ(tga.size(), 18u + 8 * 8 * 4);
    const std::vector<std::vector<int>> grid = AlphaGrid(tga, 8, 8);
    EXPECT_EQ(grid[0], c.top_row);
    for (size_t y = 1; y < 8; ++y) EXPECT_EQ(grid[y], c.other_rows) << "row " << y;
  }
}

TEST_F(MergeAlphaTest, TooLargeColourBitmapIsNamedEvenBesideAsLargeAnAlphaBitmap) {
  const std::vector<std::uint8_t> wide = testbmp::EncodeBmp(Picture(70000, 1, {9, 9, 9}), BmpOptions{8});
  testbmp::WriteFile(Path("colour.bmp"), wide);
  testbmp::WriteFile(Path("alpha.bmp"), wide);
  EXPECT_TRUE(Merge(Path("colour.bmp"), Path("alpha.bmp")).empty());
  ASSERT_EQ(messages_.boxes.size(), 1u);
  EXPECT_EQ(messages_.boxes[0].text, "File " + Path("colour.bmp") + " holds too large a bitmap");
}

TEST_F(MergeAlphaTest, MissingInputShowsTheSyntaxBoxAndWritesNothing) {
  Write("colour.bmp", SmallColour());
  Write("alpha.bmp", SmallColour());
  struct Case {
    const char* what;
    std::string colour;
    std::string alpha;
  };
  const Case cases[] = {
      {"missing colour", Path("nothing.bmp"), Path("alpha.bmp")},
      {"missing alpha", Path("colour.bmp"), Path("nothing.bmp")},
      {"missing colour, no alpha", Path("nothing.bmp"), "No alpha image"},
      {"empty colour", "", Path("alpha.bmp")},
      {"empty alpha", Path("colour.bmp"), ""},
      {"marker in other capitals", Path("colour.bmp"), "No Alpha Image"},
      {"path ending in the marker", Path("colour.bmp"), Path("No alpha image")},
  };
  for (const Case& c : cases) {
    messages_.boxes.clear();
    EXPECT_TRUE(Merge(c.colour, c.alpha).empty()) << c.what;
    EXPECT_FALSE(OutputExists()) << c.what;
    ASSERT_EQ(messages_.boxes.size(), 1u) << c.what;
    EXPECT_EQ(messages_.boxes[0].title, "Error");
    EXPECT_EQ(messages_.boxes[0].text,
              "Non of the inputfiles dose exists\r\nSyntax: image.bmp alpha.bmp output.tga");
    EXPECT_EQ(messages_.boxes[0].icon, platform::MessageIcon::kNone);
    EXPECT_EQ(messages_.boxes[0].owner, nullptr);
  }
}

TEST_F(MergeAlphaTest, PathEndingInTheMarkerIsAnAlphaBitmap) {
  Write("colour.bmp", SmallColour());
  Write("No alpha image", Picture(3, 2, {77, 0, 0}));
  const std::vector<std::uint8_t> tga = Merge(Path("colour.bmp"), Path("No alpha image"));
  ASSERT_EQ(tga.size(), 18u + 3 * 2 * 4);
  EXPECT_EQ(tga[16], 32);
  EXPECT_EQ(tga[21], 77);
}

TEST_F(MergeAlphaTest, InputThatIsNoBitmapIsNamedInABox) {
  Write("colour.bmp", SmallColour());
  Write("alpha.bmp", SmallColour());
  testbmp::WriteFile(Path("notes.txt"), {'B', 'M', 'x'});
  testbmp::WriteFile(Path("photo.jpg"), {0xFF, 0xD8, 0xFF, 0xE0});
  std::filesystem::create_directory(Path("folder.bmp"));
  testbmp::WriteFile(Path("out.tga"), {'o', 'l', 'd'});

  struct Case {
    std::string colour;
    std::string alpha;
    std::string named;
  };
  const Case cases[] = {
      {Path("photo.jpg"), Path("alpha.bmp"), Path("photo.jpg")},
      {Path("colour.bmp"), Path("notes.txt"), Path("notes.txt")},
      {Path("folder.bmp"), "No alpha image", Path("folder.bmp")},
      {Path("colour.bmp"), Path("folder.bmp"), Path("folder.bmp")},
      // The alpha bitmap is loaded first, so it is the one named.
      {Path("photo.jpg"), Path("notes.txt"), Path("notes.txt")},
  };
  for (const Case& c : cases) {
    messages_.boxes.clear();
    // An earlier output is left alone.
    EXPECT_EQ(Merge(c.colour, c.alpha), (std::vector<std::uint8_t>{'o', 'l', 'd'})) << c.named;
    ASSERT_EQ(messages_.boxes.size(), 1u) << c.named;
    EXPECT_EQ(messages_.boxes[0].title, "Error");
    EXPECT_EQ(messages_.boxes[0].text, "File " + c.named + " couldn't be read as a bitmap");
  }
}

TEST_F(MergeAlphaTest, ReplacesAnEarlierOutputCompletely) {
  Write("colour.bmp", SmallColour());
  testbmp::WriteFile(Path("out.tga"), std::vector<std::uint8_t>(1000, 0xEE));
  EXPECT_EQ(Merge(Path("colour.bmp"), "No alpha image").size(), 18u + 3 * 2 * 3);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 2)
      << "no temporary file is left beside the output";
}

TEST_F(MergeAlphaTest, NamesDifferingInCapitalsMeanTheSameFiles) {
  Write("Colour.bmp", SmallColour());
  std::filesystem::create_directory(Path("Out"));
  testbmp::WriteFile(Path("Out/Picture.TGA"), {'o', 'l', 'd'});
  MergeAlpha(Arguments{Path("COLOUR.BMP"), "No alpha image", Path("OUT/picture.tga")});
  MergeAlpha(Arguments{Path("colour.bmp"), "No alpha image", Path("out/new.tga")});
  EXPECT_TRUE(messages_.boxes.empty());
  EXPECT_EQ(ReadBytes(Path("Out/Picture.TGA")).size(), 18u + 3 * 2 * 3);
  EXPECT_EQ(ReadBytes(Path("Out/new.tga")).size(), 18u + 3 * 2 * 3);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("Out")), {}), 2);
}

TEST_F(MergeAlphaTest, OutputThatCannotBeWrittenEndsSilently) {
  Write("colour.bmp", SmallColour());
  std::filesystem::create_directory(Path("taken.tga"));
  for (const std::string& output : {Path("no such folder/out.tga"), Path("taken.tga"), std::string()}) {
    MergeAlpha(Arguments{Path("colour.bmp"), "No alpha image", output});
    EXPECT_TRUE(messages_.boxes.empty()) << output;
  }
  EXPECT_TRUE(std::filesystem::is_directory(Path("taken.tga")));
  EXPECT_TRUE(std::filesystem::is_empty(Path("taken.tga")));
  // Nothing but the colour bitmap and the untouched folder: no temporary file left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 2);
}

TEST_F(MergeAlphaTest, RunTakesRelativeNamesFromTheProgramFolder) {
  const std::string caller_folder = platform::CurrentFolder();
  Write("colour.bmp", SmallColour());
  Write("No Alpha Image", Picture(3, 2, {5, 0, 0}));
  // Quoted, "No Alpha Image" is one word, and not the marker: a file name.
  alphawed::Run("alphawed colour.bmp \"No Alpha Image\" out.tga", folder_.path());
  platform::SetCurrentFolder(caller_folder);
  const std::vector<std::uint8_t> tga = ReadBytes(Path("out.tga"));
  ASSERT_EQ(tga.size(), 18u + 3 * 2 * 4);
  EXPECT_EQ(tga[21], 5);
  EXPECT_TRUE(messages_.boxes.empty());
}

}  // namespace
}  // namespace alphawed
