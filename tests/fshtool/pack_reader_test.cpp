// The pack reader: every pixel and palette kind decoded to RGBA, the
// compressed forms, and objects that must be skipped without harm.
#include <gtest/gtest.h>

#include "fshtool/pack.h"
#include "fshtool_test_support.h"

namespace {

using fshtest::Colour;
using fshtest::Image;
using fshtest::Pack;
using fshtest::Palette;
using fshtest::Record;
using fshtool::DecodedObject;
using fshtool::ObjectKind;
using fshtool::PackReader;

std::vector<Colour> Pixels(const fshtool::Picture& picture) {
  std::vector<Colour> out;
  for (std::size_t i = 0; i + 3 < picture.rgba.size(); i += 4)
    out.push_back({picture.rgba[i], picture.rgba[i + 1], picture.rgba[i + 2], picture.rgba[i + 3]});
  return out;
}

DecodedObject DecodeOnly(const Pack& pack, std::size_t index = 0) {
  return PackReader(fshtest::Build(pack)).DecodeObject(index);
}

Pack OneObject(std::vector<Record> records, std::string name = "img0") {
  Pack pack;
  pack.objects.push_back({std::move(name), std::move(records)});
  return pack;
}

// Six distinct pixels in a 3 x 2 picture, so a swapped width and height or a
// wrong row stride shows up.
struct KindCase {
  const char* label;
  Record record;
  std::vector<Colour> expected;
  bool has_alpha;
};

TEST(PackReaderTest, DecodesEveryDirectPixelKind) {
  using namespace fshtest;
  const std::vector<Colour> colours = {{1, 2, 3, 4}, {10, 20, 30, 40}, {255, 0, 128, 255},
                                       {0, 0, 0, 0}, {9, 8, 7, 6},     {100, 150, 200, 250}};
  std::vector<Colour> opaque = colours;
  for (Colour& c : opaque) c.a = 255;
  const KindCase cases[] = {
      {"32-bit BGRA", Image(kBgra8888, 3, 2, Bgra8888(colours)), colours, true},
      {"24-bit BGR", Image(kBgr888, 3, 2, Bgr888(colours)), opaque, false},
      {"A1R5G5B5",
       Image(kArgb1555, 3, 2,
             Words16({Pack1555(1, 31, 0, 16), Pack1555(0, 1, 2, 3), Pack1555(1, 0, 31, 0), Pack1555(0, 0, 0, 0),
                      Pack1555(1, 16, 16, 16), Pack1555(1, 31, 31, 31)})),
       {{255, 0, 132, 255}, {8, 16, 24, 0}, {0, 255, 0, 255}, {0, 0, 0, 0}, {132, 132, 132, 255},
        {255, 255, 255, 255}},
       true},
      {"R5G6B5",
       Image(kRgb565, 3, 2,
             Words16({Pack565(31, 63, 0), Pack565(1, 1, 1), Pack565(0, 32, 31), Pack565(0, 0, 0),
                      Pack565(16, 16, 16), Pack565(31, 63, 31)})),
       {{255, 255, 0, 255}, {8, 4, 8, 255}, {0, 130, 255, 255}, {0, 0, 0, 255}, {132, 65, 132, 255},
        {255, 255, 255, 255}},
       false},
      {"A4R4G4B4",
       Image(kArgb4444, 3, 2,
             Words16({Pack4444(8, 15, 0, 1), Pack4444(0, 1, 2, 3), Pack4444(15, 15, 15, 15), Pack4444(0, 0, 0, 0),
                      Pack4444(1, 2, 4, 8), Pack4444(15, 0, 0, 0)})),
       {{255, 0, 17, 136}, {17, 34, 51, 0}, {255, 255, 255, 255}, {0, 0, 0, 0}, {34, 68, 136, 17},
        {0, 0, 0, 255}},
       true},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.label);
    const DecodedObject object = DecodeOnly(OneObject({c.record}));
    ASSERT_EQ(object.kind, ObjectKind::kImage) << object.problem;
    EXPECT_EQ(object.picture.width, 3u);
    EXPECT_EQ(object.picture.height, 2u);
    EXPECT_EQ(Pixels(object.picture), c.expected);
    EXPECT_EQ(object.picture.has_alpha, c.has_alpha);
  }
}

TEST(PackReaderTest, DecodesEveryPaletteKindAndOnlyA32BitPaletteCarriesAlpha) {
  using namespace fshtest;
  const std::vector<std::uint8_t> indices = {1, 0, 2};
  const KindCase cases[] = {
      {"32-bit", Palette(kPalette8888, 3, {1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 11, 255}),
       {{7, 6, 5, 0}, {3, 2, 1, 4}, {11, 10, 9, 255}}, true},
      {"24-bit", Palette(kPalette888, 3, {1, 2, 3, 5, 6, 7, 9, 10, 11}),
       {{7, 6, 5, 255}, {3, 2, 1, 255}, {11, 10, 9, 255}}, false},
      {"16-bit", Palette(kPalette1555, 3, Words16({Pack1555(0, 31, 0, 0), Pack1555(1, 0, 31, 0), Pack1555(0, 0, 0, 31)})),
       {{0, 255, 0, 255}, {255, 0, 0, 0}, {0, 0, 255, 0}}, false},
      {"24-bit of 6-bit components", Palette(kPalette666, 3, {63, 32, 1, 0, 0, 63, 1, 2, 3}),
       {{255, 0, 0, 255}, {4, 130, 255, 255}, {12, 8, 4, 255}}, false},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.label);
    const DecodedObject object = DecodeOnly(OneObject({Image(kIndexed8, 3, 1, indices), c.record}));
    ASSERT_EQ(object.kind, ObjectKind::kImage) << object.problem;
    EXPECT_EQ(Pixels(object.picture), c.expected);
    EXPECT_EQ(object.picture.has_alpha, c.has_alpha);
  }
}

TEST(PackReaderTest, IndexedImagesFallBackToTheGlobalPalette) {
  using namespace fshtest;
  Pack pack;
  pack.objects.push_back({"own0", {Image(kIndexed8, 2, 1, {0, 5}), Palette(kPalette888, 1, {1, 2, 3})}});
  pack.objects.push_back({"glob", {Image(kIndexed8, 2, 1, {0, 1})}});
  pack.objects.push_back({"!pal", {Palette(kPalette8888, 2, {10, 20, 30, 40, 50, 60, 70, 80})}});
  const PackReader reader(fshtest::Build(pack));

  // The attached palette wins; an index past its entries reads as opaque black.
  const DecodedObject own = reader.DecodeObject(0);
  ASSERT_EQ(own.kind, ObjectKind::kImage) << own.problem;
  EXPECT_EQ(Pixels(own.picture), (std::vector<Colour>{{3, 2, 1, 255}, {0, 0, 0, 255}}));
  EXPECT_FALSE(own.picture.has_alpha);

  const DecodedObject global = reader.DecodeObject(1);
  ASSERT_EQ(global.kind, ObjectKind::kImage) << global.problem;
  EXPECT_EQ(Pixels(global.picture), (std::vector<Colour>{{30, 20, 10, 40}, {70, 60, 50, 80}}));
  EXPECT_TRUE(global.picture.has_alpha);

  EXPECT_EQ(reader.DecodeObject(2).kind, ObjectKind::kPalette);
}

TEST(PackReaderTest, Dxt1FourColourAndThreeColourBlocks) {
  using namespace fshtest;
  const std::uint16_t red = Pack565(31, 0, 0);
  const std::uint16_t blue = Pack565(0, 0, 31);
  // Top row of the block uses indices 0, 1, 2, 3; the rest index 0.
  const std::uint32_t indices = 0xE4;

  const DecodedObject four = DecodeOnly(OneObject({Image(kDxt1, 4, 4, Dxt1Block(red, blue, indices))}));
  ASSERT_EQ(four.kind, ObjectKind::kImage) << four.problem;
  const std::vector<Colour> pixels = Pixels(four.picture);
  EXPECT_EQ(std::vector<Colour>(pixels.begin(), pixels.begin() + 5),
            (std::vector<Colour>{{255, 0, 0, 255}, {0, 0, 255, 255}, {170, 0, 85, 255}, {85, 0, 170, 255},
                                 {255, 0, 0, 255}}));
  EXPECT_FALSE(four.picture.has_alpha);

  // c0 <= c1 (equal endpoints included): index 2 is the midpoint, index 3 transparent black.
  for (const std::uint16_t c1 : {red, blue}) {
    const DecodedObject three = DecodeOnly(OneObject({Image(kDxt1, 4, 4, Dxt1Block(blue, c1, indices))}));
    ASSERT_EQ(three.kind, ObjectKind::kImage) << three.problem;
    const std::vector<Colour> p = Pixels(three.picture);
    const Colour b{0, 0, 255, 255};
    const Colour other = c1 == red ? Colour{255, 0, 0, 255} : b;
    const Colour middle = c1 == red ? Colour{127, 0, 127, 255} : b;
    EXPECT_EQ(std::vector<Colour>(p.begin(), p.begin() + 4), (std::vector<Colour>{b, other, middle, {0, 0, 0, 0}}));
    EXPECT_TRUE(three.picture.has_alpha);
  }
}

TEST(PackReaderTest, DxtEdgeBlocksAreCroppedToTheImage) {
  using namespace fshtest;
  // 6 x 5: two by two blocks, each a solid colour of its own.
  std::vector<std::uint8_t> data;
  const std::uint16_t solid[] = {Pack565(31, 0, 0), Pack565(0, 63, 0), Pack565(0, 0, 31), Pack565(31, 63, 31)};
  for (std::uint16_t c : solid) {
    const std::vector<std::uint8_t> block = Dxt1Block(c, 0, AllTexels(0));
    data.insert(data.end(), block.begin(), block.end());
  }
  const DecodedObject object = DecodeOnly(OneObject({Image(kDxt1, 6, 5, data)}));
  ASSERT_EQ(object.kind, ObjectKind::kImage) << object.problem;
  const std::vector<Colour> p = Pixels(object.picture);
  ASSERT_EQ(p.size(), 30u);
  EXPECT_EQ(p[0 * 6 + 3], (Colour{255, 0, 0, 255}));
  EXPECT_EQ(p[0 * 6 + 4], (Colour{0, 255, 0, 255}));
  EXPECT_EQ(p[4 * 6 + 3], (Colour{0, 0, 255, 255}));
  EXPECT_EQ(p[4 * 6 + 5], (Colour{255, 255, 255, 255}));
  EXPECT_FALSE(object.picture.has_alpha);

  // One byte short of the four blocks is a truncated image.
  data.pop_back();
  EXPECT_EQ(DecodeOnly(OneObject({Image(kDxt1, 6, 5, data)})).kind, ObjectKind::kBroken);
}

TEST(PackReaderTest, Dxt3TakesExplicitAlphaAndAlwaysFourColours) {
  using namespace fshtest;
  // Alpha of texels 0, 1, 2: 0, 15, 8. Endpoints with c0 < c1, which in DXT1
  // would make index 3 transparent.
  const std::uint64_t alpha = 0xFFFFFFFFFFFFF8F0ull;
  const DecodedObject object =
      DecodeOnly(OneObject({Image(kDxt3, 4, 4, Dxt3Block(alpha, Pack565(0, 0, 31), Pack565(31, 0, 0), 0xE4))}));
  ASSERT_EQ(object.kind, ObjectKind::kImage) << object.problem;
  const std::vector<Colour> p = Pixels(object.picture);
  EXPECT_EQ(std::vector<Colour>(p.begin(), p.begin() + 4),
            (std::vector<Colour>{{0, 0, 255, 0}, {255, 0, 0, 255}, {85, 0, 170, 136}, {170, 0, 85, 255}}));
  EXPECT_TRUE(object.picture.has_alpha);
}

TEST(PackReaderTest, CompressedRecordsAndPacksDecodeLikeStoredOnes) {
  using namespace fshtest;
  std::vector<Colour> colours;
  for (int i = 0; i < 64; ++i) colours.push_back({static_cast<std::uint8_t>(i), 7, 7, static_cast<std::uint8_t>(i * 3)});
  Record stored = Image(kBgra8888, 8, 8, Bgra8888(colours));
  stored.mip_levels = 3;
  Record compressed = stored;
  compressed.compressed = true;
  Pack pack;
  pack.objects.push_back({"st00", {stored}});
  pack.objects.push_back({"cmp0", {compressed}});

  for (const bool whole_file : {false, true}) {
    SCOPED_TRACE(whole_file ? "compressed pack" : "stored pack");
    std::vector<std::uint8_t> bytes = fshtest::Build(pack);
    if (whole_file) bytes = fshtest::Compress(bytes);
    const PackReader reader(bytes);
    EXPECT_EQ(reader.WasCompressed(), whole_file);
    EXPECT_EQ(reader.DirectoryId(), "GIMX");
    for (std::size_t i = 0; i < 2; ++i) {
      const DecodedObject object = reader.DecodeObject(i);
      ASSERT_EQ(object.kind, ObjectKind::kImage) << object.problem;
      EXPECT_EQ(Pixels(object.picture), colours);
      EXPECT_EQ(object.mip_levels, 3u);
    }
  }
}

// Each damaged object is reported and skipped; the good object after it
// still decodes.
TEST(PackReaderTest, DamagedObjectsAreReportedAndSkipped) {
  using namespace fshtest;
  const Record good = Image(kBgr888, 1, 1, {1, 2, 3});
  Record bad_stream = Image(kBgr888, 1, 1, {1, 2, 3});
  bad_stream.code = kBgr888 | 0x80;  // flagged compressed, stored plain
  struct Case {
    const char* label;
    Record record;
    std::string problem;
  };
  const Case cases[] = {
      {"unknown code", Image(0x12, 1, 1, {0, 0, 0, 0}), "unknown record code 0x12"},
      {"zero width", Image(kBgr888, 0, 1, {1, 2, 3}), "no pixels"},
      {"pixels cut short", Image(kBgr888, 2, 2, {1, 2, 3}), "cut short (12 bytes needed"},
      {"not a compressed stream", bad_stream, "no compressed stream"},
      {"indexed, no palette", Image(kIndexed8, 1, 1, {0}), "without a palette"},
      {"palette cut short", Image(kIndexed8, 1, 1, {0}), "palette cut short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<Record> records = {c.record};
    if (std::string(c.label) == "palette cut short") records.push_back(Palette(kPalette888, 4, {1, 2, 3}));
    Pack pack;
    pack.objects.push_back({"bad0", records});
    pack.objects.push_back({"good", {good}});
    const PackReader reader(fshtest::Build(pack));
    const DecodedObject bad = reader.DecodeObject(0);
    EXPECT_EQ(bad.kind, ObjectKind::kBroken);
    EXPECT_NE(bad.problem.find(c.problem), std::string::npos) << bad.problem;
    EXPECT_EQ(reader.DecodeObject(1).kind, ObjectKind::kImage);
  }
}

TEST(PackReaderTest, OffsetsOutsideTheFileAreNeverFollowed) {
  using namespace fshtest;
  Pack pack;
  pack.objects.push_back({"img0", {Image(kBgr888, 1, 1, {1, 2, 3}), Image(kText, 0, 0, {'x', 0})}});
  pack.objects.push_back({"img1", {Image(kBgr888, 2, 1, {1, 2, 3, 4, 5, 6})}});
  const std::vector<std::uint8_t> base = fshtest::Build(pack);

  struct Case {
    const char* label;
    std::vector<std::uint8_t> bytes;
    std::size_t object;
    std::string problem;
  };
  std::vector<Case> cases;
  {
    std::vector<std::uint8_t> b = base;
    SetObjectOffset(b, 1, static_cast<std::uint32_t>(b.size()));
    cases.push_back({"directory offset at the end", b, 1, "outside the file"});
    SetObjectOffset(b, 1, 0xFFFFFFFF);
    cases.push_back({"directory offset far away", b, 1, "outside the file"});
  }
  {
    std::vector<std::uint8_t> b = base;
    const std::size_t next = ObjectOffset(b, 0) + 1;
    b[next] = 0xFF, b[next + 1] = 0xFF, b[next + 2] = 0xFF;
    cases.push_back({"attached record outside", b, 0, "attached record"});
    b[next] = 4, b[next + 1] = 0, b[next + 2] = 0;
    cases.push_back({"next record inside the header", b, 0, "overlaps"});
  }
  {
    // The last object's record header itself cut in half.
    std::vector<std::uint8_t> b = base;
    b.resize(ObjectOffset(b, 1) + 8);
    cases.push_back({"record header cut short", b, 1, "outside the file"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const PackReader reader(c.bytes);
    const DecodedObject object = reader.DecodeObject(c.object);
    EXPECT_EQ(object.kind, ObjectKind::kBroken);
    EXPECT_NE(object.problem.find(c.problem), std::string::npos) << object.problem;
  }
}

TEST(PackReaderTest, FilesThatAreNoPackAreRefused) {
  using namespace fshtest;
  Pack pack;
  pack.objects.push_back({"img0", {Image(kBgr888, 1, 1, {1, 2, 3})}});
  const std::vector<std::uint8_t> good = fshtest::Build(pack);

  std::vector<std::uint8_t> wrong_magic = good;
  wrong_magic[0] = 'X';
  std::vector<std::uint8_t> long_directory = good;
  long_directory[8] = 0xFF;  // entry count 255
  std::vector<std::uint8_t> damaged_stream = fshtest::Compress(good);
  damaged_stream.resize(damaged_stream.size() / 2);
  const struct {
    const char* label;
    std::vector<std::uint8_t> bytes;
    std::string message;
  } cases[] = {
      {"empty", {}, "no SHPI header"},
      {"header cut short", std::vector<std::uint8_t>(good.begin(), good.begin() + 15), "no SHPI header"},
      {"wrong magic", wrong_magic, "no SHPI header"},
      {"directory past the end", long_directory, "directory of 255 entries"},
      {"compressed header only", {0x10, 0xFB, 0x00}, "compressed pack is cut short"},
      {"damaged compressed pack", damaged_stream, "compressed pack is damaged"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    try {
      PackReader reader(c.bytes);
      ADD_FAILURE() << "accepted";
    } catch (const fshtool::FshError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
  }
}

}  // namespace
