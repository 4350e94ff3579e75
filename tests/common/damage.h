// Damaged copies of a valid file: every prefix (as a download or a write cut
// short leaves it) and copies with a few bits flipped (seeded, so a failing
// case can be replayed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace damage {

using Bytes = std::vector<std::uint8_t>;

struct Damaged {
  std::string what;  // "prefix 17" or "flips seed 3"
  Bytes bytes;
};

// Every prefix shorter than the file, from the empty one up.
inline std::vector<Damaged> Prefixes(const Bytes& file) {
  std::vector<Damaged> cases;
  for (std::size_t length = 0; length < file.size(); ++length) {
    cases.push_back({"prefix " + std::to_string(length),
                     Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length))});
  }
  // The count of cases run, for the reliability figures.
  std::printf("[ DAMAGED  ] %zu prefixes\n", cases.size());
  return cases;
}

// `count` copies, each with 1 to 8 random bits flipped; half of them only
// within the first `header_bytes`, where a flip changes the most.
inline std::vector<Damaged> BitFlips(const Bytes& file, int count, std::size_t header_bytes) {
  std::vector<Damaged> cases;
  if (file.empty()) return cases;
  for (int seed = 0; seed < count; ++seed) {
    std::mt19937 rng(static_cast<std::uint32_t>(seed));
    Bytes copy = file;
    const std::size_t span = seed % 2 == 0 ? std::min(header_bytes, file.size()) : file.size();
    const int flips = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < flips; ++i) {
      const std::size_t at = rng() % span;
      copy[at] = static_cast<std::uint8_t>(copy[at] ^ (1u << (rng() % 8)));
    }
    cases.push_back({"flips seed " + std::to_string(seed), std::move(copy)});
  }
  std::printf("[ DAMAGED  ] %zu bit-flipped copies\n", cases.size());
  return cases;
}

}  // namespace damage
