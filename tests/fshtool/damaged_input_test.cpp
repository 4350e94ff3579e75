// Truncated and bit-flipped copies of a valid FSH pack, stored and
// compressed: the reader refuses the pack, or decodes each object or skips
// it as broken (a cut-short pack never yields a picture other than the
// original's), and an unpack either fails touching nothing or writes a list
// whose every bitmap is there.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "common/damage.h"
#include "fshtool/pack.h"
#include "fshtool/unpack.h"
#include "fshtool_test_support.h"

namespace {

using fshtool::ObjectKind;

std::vector<std::uint8_t> SmallPack() {
  using namespace fshtest;
  std::vector<Colour> pixels;
  for (unsigned i = 0; i < 16; ++i) {
    pixels.push_back({static_cast<std::uint8_t>(i * 16), 9, static_cast<std::uint8_t>(255 - i),
                      static_cast<std::uint8_t>(i % 3 == 0 ? 0 : 255)});
  }
  std::vector<std::uint16_t> words;
  for (unsigned i = 0; i < 16; ++i) words.push_back(Pack565(i, i * 4, 31 - i));
  std::vector<std::uint8_t> palette;
  for (unsigned i = 0; i < 4; ++i)
    palette.insert(palette.end(), {static_cast<std::uint8_t>(i * 60), 1, 2, 255});
  std::vector<std::uint8_t> indexes;
  for (unsigned i = 0; i < 16; ++i) indexes.push_back(static_cast<std::uint8_t>(i % 4));

  Pack pack;
  pack.objects.push_back({"bgra", {Image(kBgra8888, 4, 4, Bgra8888(pixels))}});
  pack.objects.push_back({"w565", {Image(kRgb565, 4, 4, Words16(words))}});
  pack.objects.push_back({"dxt1", {Image(kDxt1, 4, 4, Dxt1Block(Pack565(31, 0, 0), 0, 0x1B1B1B1B))}});
  pack.objects.push_back({"idx8", {Image(kIndexed8, 4, 4, indexes), Palette(kPalette8888, 4, palette)}});
  Record squeezed = Image(kBgr888, 4, 4, Bgr888(pixels));
  squeezed.compressed = true;
  pack.objects.push_back({"lz", {squeezed}});
  return Build(pack);
}

struct Read {
  bool refused = false;
  std::vector<fshtool::DecodedObject> objects;
};

Read ReadPack(const std::vector<std::uint8_t>& bytes) {
  Read read;
  try {
    const fshtool::PackReader pack(bytes);
    for (std::size_t i = 0; i < pack.Entries().size(); ++i) read.objects.push_back(pack.DecodeObject(i));
  } catch (const fshtool::FshError&) {
    read.refused = true;
  }
  return read;
}

std::vector<std::vector<std::uint8_t>> Forms() {
  const std::vector<std::uint8_t> stored = SmallPack();
  return {stored, fshtest::Compress(stored)};
}

TEST(FshtoolDamagedInput, EveryPrefixIsRefusedOrDecodesOnlyOriginalPictures) {
  for (const auto& file : Forms()) {
    const Read whole = ReadPack(file);
    ASSERT_FALSE(whole.refused);
    for (const damage::Damaged& c : damage::Prefixes(file)) {
      SCOPED_TRACE(c.what);
      const Read cut = ReadPack(c.bytes);
      if (cut.refused) continue;
      ASSERT_LE(cut.objects.size(), whole.objects.size());
      for (std::size_t i = 0; i < cut.objects.size(); ++i) {
        if (cut.objects[i].kind != ObjectKind::kImage) continue;
        EXPECT_EQ(whole.objects[i].kind, ObjectKind::kImage);
        EXPECT_EQ(cut.objects[i].picture.rgba, whole.objects[i].picture.rgba) << "object " << i;
      }
    }
  }
}

TEST(FshtoolDamagedInput, BitFlipsUnpackToACompleteListOrFailTouchingNothing) {
  const fshtool_test::ScratchFolder scratch;
  const std::string pack_path = scratch / "pack.fsh";
  const std::string work = scratch / "work";
  for (const auto& file : Forms()) {
    for (const damage::Damaged& c : damage::BitFlips(file, 150, 64)) {
      SCOPED_TRACE(c.what);
      fshtest::WriteFile(pack_path, c.bytes);
      // A pack that cannot be read touches nothing: the list of the run
      // before stays as it was.
      const std::string index = work + "/index.fsh";
      const bool had_list = std::filesystem::exists(index);
      const std::string list_before = had_list ? fshtool_test::ReadText(index) : "";
      bool failed = false;
      try {
        const fshtool::UnpackReport report = fshtool::UnpackPack(pack_path, work);
        EXPECT_LE(report.images + report.problems.size(), 5u + 10000u);
      } catch (const fshtool::FshError&) {
        failed = true;
      }
      if (failed) {
        EXPECT_EQ(std::filesystem::exists(index), had_list);
        if (had_list) {
          EXPECT_EQ(fshtool_test::ReadText(index), list_before);
        }
        continue;
      }
      std::istringstream lines(fshtool_test::ReadText(index));
      std::string line;
      std::getline(lines, line);  // the header line
      while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string bitmap = line.substr(line.rfind(' ') + 1);
        EXPECT_TRUE(std::filesystem::exists(work + "/" + bitmap)) << line;
      }
      if (::testing::Test::HasFailure()) return;
    }
  }
}

}  // namespace
