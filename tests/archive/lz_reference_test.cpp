// The encoder's shortcuts (candidate rejection, wide comparison, whatever
// indexing it uses) must never change a byte of its output: many inputs of
// different texture, each compared with the plain reference transcription.
#include <gtest/gtest.h>

#include <random>

#include "common/temp_dir.h"
#include "packrat/archive/lz.h"
#include "reference_encoder.h"

namespace packrat {
namespace {

using testing_support::Bytes;

class VectorSink final : public ByteSink {
 public:
  void Append(const std::uint8_t* bytes, std::size_t count) override { data.insert(data.end(), bytes, bytes + count); }
  Bytes data;
};

// Inputs built from pieces: noise over a small or full alphabet, runs, and
// copies of earlier stretches from near, middle and far back (up to and just
// past the window), so every copy kind and every refusal rule is exercised.
Bytes Generate(std::uint32_t seed, std::size_t size) {
  std::mt19937 rng(seed);
  auto pick = [&](std::size_t lo, std::size_t hi) { return std::uniform_int_distribution<std::size_t>(lo, hi)(rng); };
  Bytes out;
  out.reserve(size);
  const int alphabet = static_cast<int>(pick(2, 256));
  while (out.size() < size) {
    const std::size_t kind = pick(0, 9);
    std::size_t n = pick(1, kind < 3 ? 40 : 1500);
    n = std::min(n, size - out.size());
    if (kind <= 3 || out.empty()) {
      for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(rng() % static_cast<unsigned>(alphabet)));
    } else if (kind == 4) {
      out.insert(out.end(), n, static_cast<std::uint8_t>(rng()));
    } else {
      const std::size_t reach = kind == 5 ? 16 : kind == 6 ? 1100 : kind == 7 ? 17000 : 132000;
      const std::size_t distance = pick(1, std::min(reach, out.size()));
      const std::size_t from = out.size() - distance;
      for (std::size_t i = 0; i < n; ++i) out.push_back(out[from + i]);
      if (pick(0, 1) == 0 && !out.empty()) out.back() ^= 0x5A;  // break the match at a random length
    }
  }
  return out;
}

TEST(EncoderAgainstReference, ManyShapesOfInput) {
  for (std::uint32_t seed = 1; seed <= 240; ++seed) {
    const std::size_t size = seed % 40 == 0 ? 180000 : seed % 7 == 0 ? 30000 : 1 + seed * 37 % 4000;
    const Bytes input = Generate(seed, size);
    VectorSink sink;
    EncodeLz(input, sink);
    ASSERT_EQ(sink.data, testing_support::ReferenceEncode(input)) << "seed " << seed << " size " << size;
    Bytes back(input.size());
    ASSERT_EQ(DecodeLz(std::span(sink.data).subspan(kLzHeaderSize), back), LzStatus::kComplete);
    ASSERT_EQ(back, input) << "seed " << seed;
  }
}

}  // namespace
}  // namespace packrat
