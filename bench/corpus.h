// Deterministic benchmark inputs, made in code so that every machine measures
// the same bytes: CRP images filled with the kinds of blocks a game's archives
// hold, and the extreme inputs that stress one path of a codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packrat/archive/model.h"

namespace bench {

using Bytes = std::vector<std::uint8_t>;

// A small, fast generator whose sequence is fixed by its seed on every
// platform (the standard distributions are not).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform enough in [0, bound) for test data.
  std::uint32_t Below(std::uint32_t bound) {
    return static_cast<std::uint32_t>((Next() >> 32) * bound >> 32);
  }

 private:
  std::uint64_t state_;
};

// A model whose built image is exactly `image_size` bytes (a multiple of
// 4096, at least 64 KiB): textures (gradients with noise, flat areas, sharp
// edges), vertex and index arrays, text and names, and some random blocks.
packrat::Archive MixedArchive(std::size_t image_size, std::uint64_t seed);

// The built image of MixedArchive.
Bytes MixedImage(std::size_t image_size, std::uint64_t seed);

Bytes Zeros(std::size_t size);
Bytes RandomBytes(std::size_t size, std::uint64_t seed);
// A short pattern (13 bytes) over and over.
Bytes Pattern(std::size_t size);

// One named input of the codec benchmarks.
struct Corpus {
  std::string name;
  Bytes bytes;
};

// The mixed images of 1, 4 and 15 MiB, then all zeros, random bytes and a
// repeated pattern of 4 MiB each.
std::vector<Corpus> CodecCorpora();

// 32-bit BGRA pixels of a texture-like picture, rows in the order given.
Bytes TexturePixels(int width, int height, int channels, std::uint64_t seed);

}  // namespace bench
