// make_fuzz_seeds <folder>: writes a small seed corpus for every fuzz target
// into <folder>/<target>/, made with the project's own writers so that the
// fuzzer starts from files the readers accept.
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive_fixtures.h"
#include "common/bmp_writer.h"
#include "common/fsh_writer.h"
#include "common/temp_dir.h"
#include "common/tga_writer.h"
#include "mipmill/texture_pixels.h"
#include "packrat/archive/codec.h"
#include "packrat/archive/lz.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

class Corpus {
 public:
  Corpus(const fs::path& root, const std::string& target) : folder_(root / target) {
    fs::create_directories(folder_);
  }
  void Add(const Bytes& bytes) {
    std::ofstream out(folder_ / ("seed-" + std::to_string(next_++)), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  void Add(const std::string& text) { Add(Bytes(text.begin(), text.end())); }

 private:
  fs::path folder_;
  int next_ = 0;
};

class VectorSink final : public packrat::ByteSink {
 public:
  void Append(const std::uint8_t* bytes, std::size_t count) override {
    data.insert(data.end(), bytes, bytes + count);
  }
  Bytes data;
};

Bytes Compress(const Bytes& image) {
  VectorSink sink;
  packrat::EncodeLz(image, sink);
  return sink.data;
}

std::vector<Bytes> SampleImages() {
  using namespace testing_support;
  const packrat::ArchiveCodec codec;
  std::vector<packrat::Archive> archives;
  archives.push_back(MakeArchive(0, {}, {}));
  archives.push_back(MakeArchive(7, {MakeArticle({MakeChunk(1, 2, Bytes{1, 2, 3, 4, 5})})}, {}));
  archives.push_back(
      MakeArchive(3, {MakeArticle({MakeChunk(1, 1, Bytes(40, 0xAA)), MakeChunk(2, 2, {})}), MakeArticle({})},
                  {MakeChunk(9, 9, Bytes{9, 8, 7}, 5)}));
  for (std::uint32_t seed = 1; seed <= 4; ++seed) archives.push_back(RandomArchive(seed, 3, 3, 3, 120));
  std::vector<Bytes> images;
  for (const packrat::Archive& archive : archives) {
    const packrat::ImageBuffer image = codec.BuildImage(archive);
    images.emplace_back(image.bytes.get(), image.bytes.get() + image.size);
  }
  return images;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds <folder>\n");
    return 2;
  }
  const fs::path root = argv[1];
  const std::vector<Bytes> images = SampleImages();

  Corpus parse_image(root, "fuzz_parse_image");
  for (const Bytes& image : images) parse_image.Add(image);
  parse_image.Add(Bytes(16, 0));

  Corpus read_crp(root, "fuzz_read_crp");
  for (const Bytes& image : images) {
    read_crp.Add(Compress(image));
    if (image.size() < 2 || image[0] != packrat::kLzMagic0 || image[1] != packrat::kLzMagic1)
      read_crp.Add(image);
  }

  Corpus round_trip(root, "fuzz_lz_round_trip");
  round_trip.Add(Bytes{});
  round_trip.Add(Text("abcabcabcabcabcabc, the quick brown fox jumps over the lazy dog"));
  round_trip.Add(Bytes(300, 0));
  Bytes noise(257);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 151 + 7);
  round_trip.Add(noise);
  round_trip.Add(images[2]);

  Corpus decode(root, "fuzz_lz_decode");
  for (const Bytes& plain : {Text("hello hello hello hello"), Bytes(1000, 7), noise}) {
    const Bytes stream = Compress(plain);
    Bytes seed{stream[2], stream[3], stream[4]};
    seed.insert(seed.end(), stream.begin() + packrat::kLzHeaderSize, stream.end());
    decode.Add(seed);
  }

  Corpus tga(root, "fuzz_tga_reader");
  auto gradient = [](int x, int y) {
    return roadfire_test::TgaPixel{static_cast<std::uint8_t>(x * 16), static_cast<std::uint8_t>(y * 16),
                                   static_cast<std::uint8_t>(x + y), static_cast<std::uint8_t>(255 - x)};
  };
  tga.Add(roadfire_test::EncodeTga({8, 8, 32}, gradient));
  tga.Add(roadfire_test::EncodeTga({8, 8, 24}, gradient));
  tga.Add(roadfire_test::EncodeTga({16, 8, 32}, gradient));
  tga.Add(roadfire_test::EncodeTga({8, 32, 24, 3, 2, 0x20}, gradient));
  tga.Add(roadfire_test::EncodeTga({12, 8, 24}, gradient));  // refused: not a power of two

  // Textures as mipmill writes them, and two it would not: one cut short,
  // one with a level too many in its header.
  Corpus ptx(root, "fuzz_ptx_reader");
  const fs::path ptx_file = root / "seed.ptx";
  for (const auto& [width, height, depth, levels] :
       {std::array<int, 4>{8, 8, 32, 0}, {16, 8, 24, 0}, {64, 8, 32, 0}, {32, 32, 32, 2}}) {
    mipmill::TexturePixels pixels{width, height, depth, Bytes(static_cast<std::size_t>(width * height * 4))};
    for (std::size_t i = 0; i < pixels.bgra.size(); ++i) pixels.bgra[i] = static_cast<std::uint8_t>(i * 7);
    mipmill::WritePtxPixels(pixels, levels, ptx_file.string());
    Bytes bytes = testing_support::ReadFileBytes(ptx_file.string());
    ptx.Add(bytes);
    if (width == 8) {
      ptx.Add(Bytes(bytes.begin(), bytes.end() - 1));
      bytes[12] = 3;
      ptx.Add(bytes);
    }
  }
  fs::remove(ptx_file);

  Corpus bmp(root, "fuzz_bmp_loader");
  testbmp::Picture picture(5, 3);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      picture.at(x, y) = {static_cast<std::uint8_t>(x * 50), static_cast<std::uint8_t>(y * 80),
                          static_cast<std::uint8_t>((x + y) % 2 * 255)};
    }
  }
  for (const int bits : {1, 4, 8}) {
    testbmp::Picture two(4, 3);
    two.at(1, 1) = {255, 255, 255};
    bmp.Add(testbmp::EncodeBmp(bits == 1 ? two : picture, {bits}));
  }
  for (const int bits : {16, 24, 32}) {
    bmp.Add(testbmp::EncodeBmp(picture, {bits}));
    bmp.Add(testbmp::EncodeBmp(picture, {bits, true, 0, bits != 24}));
  }
  // Run-length streams with every escape: end of line, delta, literal runs
  // with their padding, end of bitmap.
  const Bytes rle_palette = testbmp::RawPalette({{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}});
  bmp.Add(
      testbmp::RawBmp{6, 3, 8, 1, 4, rle_palette, {3, 1, 0, 0, 0, 2, 1, 1, 0, 3, 0, 1, 2, 0, 0, 1}}.Encode());
  bmp.Add(testbmp::RawBmp{6, 3, 4, 2, 4, rle_palette, {5, 0x12, 0, 0, 0, 2, 1, 0, 0, 3, 0x30, 0x10, 0, 1}}
              .Encode());
  bmp.Add(
      testbmp::RawBmp{3, 1, 32, 3, 0, {0, 0xF0, 0, 0, 0x0F, 0, 0, 0, 0xFF, 0xFF, 0x0F, 0}, Bytes(12, 0x5A)}
          .Encode());

  Corpus encoder_line(root, "fuzz_encoder_command_line");
  for (const char* line : {"mipmill.exe car.tga", "mipmill.exe -5 car.tga",
                           "\"C:\\My Tools\\mipmill.exe\" -9 \"D:\\My Cars\\car-5.tga\"", "mipmill -",
                           "mipmill  x", "\"unclosed program part"}) {
    encoder_line.Add(std::string(line));
  }

  Corpus alphawed_line(root, "fuzz_alphawed_command_line");
  for (const char* line : {"alphawed a.bmp b.bmp c.tga", "alphawed a.bmp \"No alpha image\" c.tga",
                           "\"C:\\x y\\alphawed.exe\"   \"D:\\a b.bmp\" \"unclosed", "alphawed"}) {
    alphawed_line.Add(std::string(line));
  }

  Corpus fsh(root, "fuzz_fsh_reader");
  {
    using namespace fshtest;
    std::vector<Colour> pixels;
    for (unsigned i = 0; i < 64; ++i) {
      pixels.push_back({static_cast<std::uint8_t>(i * 4), static_cast<std::uint8_t>(255 - i), 9,
                        static_cast<std::uint8_t>(i % 3 == 0 ? 0 : 255)});
    }
    std::vector<std::uint16_t> words;
    for (unsigned i = 0; i < 64; ++i) words.push_back(Pack565(i % 32, i, 31 - i % 32));
    std::vector<std::uint8_t> dxt1;
    for (int block = 0; block < 4; ++block) {
      const auto b =
          Dxt1Block(Pack565(31, 0, 0), block == 0 ? 0xFFFF : 0x0000, block == 0 ? AllTexels(3) : 0x1B1B1B1B);
      dxt1.insert(dxt1.end(), b.begin(), b.end());
    }
    std::vector<std::uint8_t> palette;
    for (unsigned i = 0; i < 256; ++i) {
      palette.insert(palette.end(),
                     {static_cast<std::uint8_t>(i), 7, 7, static_cast<std::uint8_t>(i < 4 ? 0 : 255)});
    }
    std::vector<std::uint8_t> indexes;
    for (unsigned i = 0; i < 64; ++i) indexes.push_back(static_cast<std::uint8_t>(i % 6));

    Pack small;
    small.objects.push_back({"bgra", {Image(kBgra8888, 8, 8, Bgra8888(pixels))}});
    small.objects.push_back({"bgr", {Image(kBgr888, 8, 8, Bgr888(pixels))}});
    small.objects.push_back({"w565", {Image(kRgb565, 8, 8, Words16(words))}});
    Record mipped = Image(kDxt1, 8, 8, dxt1);
    mipped.mip_levels = 0;
    small.objects.push_back({"dxt1", {mipped, Image(kText, 0, 0, {'h', 'i', 0})}});
    small.objects.push_back({"idx8", {Image(kIndexed8, 8, 8, indexes), Palette(kPalette8888, 256, palette)}});
    const Bytes built = Build(small);
    fsh.Add(built);
    fsh.Add(Compress(built));
    Pack packed_record;
    Record squeezed = Image(kBgra8888, 8, 8, Bgra8888(pixels));
    squeezed.compressed = true;
    packed_record.objects.push_back({"lz", {squeezed}});
    fsh.Add(Build(packed_record));
    fsh.Add(Build(Pack{}));
  }

  Corpus image_list(root, "fuzz_image_list");
  auto list_seed = [&](const std::string& list, const std::string& files) {
    std::string seed = list;
    seed += std::string("\0\0", 2);
    seed += files;
    image_list.Add(seed);
  };
  list_seed("FSH index\r\ncar 0000.BMP\r\nwheel-4 0001.BMP\r\ncar 0002.BMP\r\n",
            "0000.BMP\n0000a.bmp\n0001.BMP\n0002.BMP\n0002-a.bmp\no:car.tga");
  list_seed("header\nalpha 0001.BMP\nx 0000.BMP\n\n\n\n\n\n\ny 0001.BMP", "0000.BMP\n0001.BMP\n0001-1.BMP");
  list_seed("a 0007.BMP\rb 0007.BMP\r", "0007.BMP\no:a.tga\no:a(1).tga");
  list_seed("", "");
  return 0;
}
