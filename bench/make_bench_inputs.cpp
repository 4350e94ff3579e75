// Writes the inputs of the whole-program timings into a folder:
//   unpack/archive.crp   the 15 MiB mixed image, compressed
//   pack/archive.drp     the same image, bare
//   texture.tga          1024 x 1024, 32 bits
//   colour.bmp, alpha.bmp  1024 x 1024, 24 bits
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "corpus.h"
#include "packrat/archive/lz.h"

namespace {

using bench::Bytes;

class VectorSink final : public packrat::ByteSink {
 public:
  void Append(const std::uint8_t* bytes, std::size_t count) override {
    data.insert(data.end(), bytes, bytes + count);
  }
  Bytes data;
};

void Save(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

void PutLe(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// An uncompressed true-colour TGA, rows bottom-up; `pixels` are BGR(A) top row first.
Bytes Tga(int side, int channels, const Bytes& pixels) {
  Bytes out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  PutLe(out, static_cast<std::uint32_t>(side), 2);
  PutLe(out, static_cast<std::uint32_t>(side), 2);
  out.push_back(static_cast<std::uint8_t>(channels * 8));
  out.push_back(channels == 4 ? 8 : 0);
  const auto row = static_cast<std::size_t>(side * channels);
  for (std::size_t y = static_cast<std::size_t>(side); y-- > 0;) {
    out.insert(out.end(), pixels.begin() + static_cast<std::ptrdiff_t>(y * row),
               pixels.begin() + static_cast<std::ptrdiff_t>((y + 1) * row));
  }
  return out;
}

// A 24-bit BMP, rows bottom-up; `pixels` are BGR top row first, rows a multiple of 4 bytes.
Bytes Bmp(int side, const Bytes& pixels) {
  const auto row = static_cast<std::uint32_t>(side * 3);
  const std::uint32_t pixel_bytes = row * static_cast<std::uint32_t>(side);
  Bytes out = {'B', 'M'};
  PutLe(out, 54 + pixel_bytes, 4);
  PutLe(out, 0, 4);
  PutLe(out, 54, 4);
  PutLe(out, 40, 4);
  PutLe(out, static_cast<std::uint32_t>(side), 4);
  PutLe(out, static_cast<std::uint32_t>(side), 4);
  PutLe(out, 1, 2);
  PutLe(out, 24, 2);
  for (int i = 0; i < 6; ++i) PutLe(out, 0, 4);
  for (std::size_t y = static_cast<std::size_t>(side); y-- > 0;) {
    out.insert(out.end(), pixels.begin() + static_cast<std::ptrdiff_t>(y * row),
               pixels.begin() + static_cast<std::ptrdiff_t>((y + 1) * row));
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_bench_inputs FOLDER\n";
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder / "unpack");
  std::filesystem::create_directories(folder / "pack");

  const Bytes image = bench::MixedImage(15u << 20, 15);
  VectorSink stream;
  packrat::EncodeLz(image, stream);
  Save(folder / "unpack" / "archive.crp", stream.data);
  Save(folder / "pack" / "archive.drp", image);

  constexpr int kSide = 1024;
  Save(folder / "texture.tga", Tga(kSide, 4, bench::TexturePixels(kSide, kSide, 4, 7)));
  Save(folder / "colour.bmp", Bmp(kSide, bench::TexturePixels(kSide, kSide, 3, 8)));
  Save(folder / "alpha.bmp", Bmp(kSide, bench::TexturePixels(kSide, kSide, 3, 9)));
  std::cout << "image " << image.size() << " bytes, stream " << stream.data.size() << " bytes\n";
  return 0;
}
