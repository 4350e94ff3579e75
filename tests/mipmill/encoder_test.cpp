#include "mipmill/encoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>

#include "mipmill/tga_reader.h"
#include "mipmill_test_support.h"

namespace {

namespace fs = std::filesystem;
using mipmill::RunEncoderProgram;
using mipmill_test::CapturedBoxes;
using mipmill_test::CommandLine;
using mipmill_test::ParsePtx;
using mipmill_test::ScratchFolder;
using roadfire_test::TgaPixel;

TgaPixel Gradient(int x, int row) { return {static_cast<uint8_t>(x), static_cast<uint8_t>(row), 7, 200}; }

std::set<std::string> NamesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

const char* const kUsageLines[] = {
    "File not found",
    "",
    "Command-line parameters:",
    "-x        number of mip-map levels to generate",
    "              (9 is the maximum) (optional),",
    "*.tga   TGA file to convert.",
    "",
    "Examples:",
    "mipmill.exe bmw.tga",
    "mipmill.exe -9 bmw.tga",
};

std::string ExpectedUsageText() {
  std::string text = kUsageLines[0];
  for (size_t i = 1; i < std::size(kUsageLines); ++i) {
    text += "\x0A\x0D";
    text += kUsageLines[i];
  }
  return text;
}

TEST(RunEncoder, ConvertsTheNamedTgaBesideItself) {
  ScratchFolder folder;
  fs::create_directories(folder.path() / "My Cars");
  const std::string tga = (folder.path() / "My Cars" / "car.tga").string();
  roadfire_test::WriteTga(tga, {64, 16, 32}, Gradient);
  CapturedBoxes boxes;
  EXPECT_EQ(RunEncoderProgram(CommandLine({"-3", tga})), 0);
  EXPECT_TRUE(boxes.boxes().empty());
  const auto ptx = ParsePtx(roadfire_test::ReadBytes(folder.path() / "My Cars" / "car.ptx"));
  EXPECT_EQ(ptx.header.level_count, 3);
  EXPECT_EQ(ptx.header.depth, 32);
  ASSERT_FALSE(ptx.levels.empty());
  // Row 0 of the texture is the last stored row of the TGA.
  EXPECT_EQ(ptx.levels[0].Byte(5, 0, 0), 5);
  EXPECT_EQ(ptx.levels[0].Byte(5, 0, 1), 15);
  EXPECT_EQ(ptx.levels[0].Byte(5, 15, 1), 0);
  EXPECT_EQ(ptx.levels[0].Byte(5, 0, 3), 200);
}

TEST(RunEncoder, ReadsTheTgaWhateverExtensionWasNamed) {
  ScratchFolder folder;
  roadfire_test::WriteTga(folder / "car.tga", {8, 8, 24}, Gradient);
  roadfire_test::WriteBytes(folder / "car.bmp", {1, 2, 3});
  CapturedBoxes boxes;
  EXPECT_EQ(RunEncoderProgram(CommandLine({folder / "car.bmp"})), 0);
  EXPECT_EQ(fs::file_size(folder.path() / "car.ptx"), 352u);
}

TEST(RunEncoder, MatchesNamesIgnoringLetterCase) {
  ScratchFolder folder;
  roadfire_test::WriteTga(folder / "Car.tga", {8, 8, 24}, Gradient);
  CapturedBoxes boxes;
  EXPECT_EQ(RunEncoderProgram(CommandLine({folder / "CAR.TGA"})), 0);
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(NamesIn(folder.path()), (std::set<std::string>{"Car.tga", "CAR.ptx"}));
}

TEST(RunEncoder, ReadOnlyTgaConverts) {
  ScratchFolder folder;
  roadfire_test::WriteTga(folder / "car.tga", {8, 8, 32}, Gradient);
  fs::permissions(folder.path() / "car.tga", fs::perms::owner_read);
  CapturedBoxes boxes;
  EXPECT_EQ(RunEncoderProgram(CommandLine({folder / "car.tga"})), 0);
  EXPECT_TRUE(fs::exists(folder.path() / "car.ptx"));
}

TEST(RunEncoder, UsageBoxWhenTheNamedFileIsNotThere) {
  ScratchFolder folder;
  roadfire_test::WriteTga(folder / "car.tga", {8, 8, 32}, Gradient);
  fs::create_directories(folder.path() / "folder.tga");
  const std::vector<std::string> lines = {
      "mipmill.exe",
      CommandLine({"x"}),
      CommandLine({folder / "missing.tga"}),
      CommandLine({folder / "folder.tga"}),
      CommandLine({"-12", folder / "car.tga"}),  // the name then starts with a space
  };
  for (const std::string& line : lines) {
    CapturedBoxes boxes;
    EXPECT_EQ(RunEncoderProgram(line), 0) << line;
    ASSERT_EQ(boxes.boxes().size(), 1u) << line;
    EXPECT_EQ(boxes.boxes()[0].title, "MIPMILL Error");
    EXPECT_EQ(boxes.boxes()[0].text, ExpectedUsageText());
    EXPECT_EQ(boxes.boxes()[0].icon, platform::MessageIcon::kNone);
  }
  EXPECT_EQ(NamesIn(folder.path()), (std::set<std::string>{"car.tga", "folder.tga"}));
}

TEST(RunEncoder, SizeBoxWritesNoPtx) {
  ScratchFolder folder;
  roadfire_test::WriteTga(folder / "car.tga", {8, 8, 16}, Gradient);
  CapturedBoxes boxes;
  EXPECT_EQ(RunEncoderProgram(CommandLine({folder / "car.tga"})), 0);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].title, "Error");
  EXPECT_EQ(boxes.boxes()[0].text, "TGA size must be 8,16,32...1024 x 24/32 bit");
  EXPECT_FALSE(fs::exists(folder.path() / "car.ptx"));
}

TEST(RunEncoder, MissingTgaBesideTheNamedFileEndsWithItsErrorCode) {
  ScratchFolder folder;
  roadfire_test::WriteBytes(folder / "car.bmp", {1, 2, 3});
  CapturedBoxes boxes;
  EXPECT_EQ(RunEncoderProgram(CommandLine({folder / "car.bmp"})), 2);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].title, "Error");
  EXPECT_EQ(boxes.boxes()[0].text, "File error 2");
  EXPECT_FALSE(fs::exists(folder.path() / "car.ptx"));
}

TEST(RunEncoder, ShortTgaEndsWith100AndCreatesNoPtx) {
  ScratchFolder folder;
  auto bytes = roadfire_test::EncodeTga({16, 16, 32}, Gradient);
  bytes.resize(bytes.size() - 100);
  roadfire_test::WriteBytes(folder / "car.tga", bytes);
  CapturedBoxes boxes;
  EXPECT_EQ(RunEncoderProgram(CommandLine({folder / "car.tga"})), 100);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, "File error 100");
  EXPECT_FALSE(fs::exists(folder.path() / "car.ptx"));
}

TEST(RunEncoder, PtxThatCannotBeCreatedEndsWithItsErrorCode) {
  ScratchFolder folder;
  roadfire_test::WriteTga(folder / "car.tga", {8, 8, 32}, Gradient);
  fs::create_directories(folder.path() / "car.ptx");  // a folder where the PTX would go
  CapturedBoxes boxes;
  const int status = RunEncoderProgram(CommandLine({folder / "car.tga"}));
#ifdef _WIN32
  EXPECT_EQ(status, 5);  // ERROR_ACCESS_DENIED
#else
  EXPECT_EQ(status, 21);  // EISDIR
#endif
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].title, "Error");
}

// The program converts through a compact pixel buffer rather than the
// library's channel planes; both must give the same file, byte for byte.
TEST(RunEncoder, WritesTheSameFileAsTheLibraryInterface) {
  struct Shape {
    int width, height, depth;
    const char* option;
  };
  for (const Shape& shape : {Shape{64, 64, 32, nullptr}, Shape{32, 16, 24, nullptr}, Shape{1024, 8, 32, nullptr},
                             Shape{8, 64, 24, nullptr}, Shape{128, 256, 32, "-4"}}) {
    SCOPED_TRACE(std::to_string(shape.width) + "x" + std::to_string(shape.height) + "x" +
                 std::to_string(shape.depth));
    ScratchFolder folder;
    const std::string tga = folder / "pic.tga";
    std::mt19937 random(static_cast<unsigned>(shape.width * 31 + shape.height));
    roadfire_test::WriteTga(tga, {shape.width, shape.height, shape.depth}, [&](int, int) {
      const auto bits = static_cast<uint32_t>(random());
      return TgaPixel{static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits >> 16),
                      static_cast<uint8_t>(bits >> 24)};
    });
    std::vector<std::string> arguments;
    if (shape.option != nullptr) arguments.push_back(shape.option);
    arguments.push_back(tga);
    ASSERT_EQ(RunEncoderProgram(CommandLine(arguments)), 0);

    mipmill::SourcePicture picture;
    ASSERT_EQ(mipmill::LoadTga(tga, picture), mipmill::LoadResult::kLoaded);
    mipmill::MipPlanes work;
    mipmill::WritePtx(picture, shape.option != nullptr ? shape.option[1] - '0' : 0, folder / "library.ptx", work);
    EXPECT_EQ(roadfire_test::ReadBytes(folder / "pic.ptx"), roadfire_test::ReadBytes(folder / "library.ptx"));
  }
}

TEST(RunEncoder, ExitStatusKeepsTheLowEightBits) {
  EXPECT_EQ(mipmill::FileLayerFailure(0x1234).ExitStatus(), 0x34);
}

}  // namespace
