// A deliberately plain transcription of the stream encoder's rules: one
// position at a time, byte-by-byte comparison, no shortcuts. The real encoder
// takes shortcuts for speed; comparing the two on many inputs shows that the
// shortcuts never change a byte of the output.
#pragma once

#include <cstdint>
#include <vector>

namespace testing_support {

inline std::vector<std::uint8_t> ReferenceEncode(const std::vector<std::uint8_t>& in) {
  const long size = static_cast<long>(in.size());
  std::vector<std::uint8_t> out = {0x10, 0xFB, static_cast<std::uint8_t>(size >> 16),
                                   static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)};
  std::vector<long> head(65536, -1);
  std::vector<long> chain(131072, -1);
  long emitted = 0;
  auto flush_runs = [&](long upto) {
    while (upto - emitted >= 4) {
      long n = (upto - emitted) / 4 * 4;
      if (n > 112) n = 112;
      out.push_back(static_cast<std::uint8_t>(0xE0 + n / 4 - 1));
      for (long k = 0; k < n; ++k) out.push_back(in[static_cast<size_t>(emitted + k)]);
      emitted += n;
    }
  };
  for (long pos = 0; pos < size; ++pos) {
    long first = -1;
    if (pos <= size - 2) {
      const long key = in[static_cast<size_t>(pos)] * 256 + in[static_cast<size_t>(pos + 1)];
      first = head[static_cast<size_t>(key)];
      chain[static_cast<size_t>(pos % 131072)] = first;
      head[static_cast<size_t>(key)] = pos;
    }
    if (pos < emitted || size - pos < 3) continue;
    const long cap = size - pos < 1028 ? size - pos : 1028;
    long best = 0;
    long best_distance = 0;
    long candidate = first;
    int examined = 0;
    while (candidate != -1 && pos - candidate < 131072 && examined < 50) {
      long length = 0;
      while (length < cap && in[static_cast<size_t>(candidate + length)] == in[static_cast<size_t>(pos + length)]) {
        ++length;
      }
      if (length > best) {
        best = length;
        best_distance = pos - candidate;
      }
      ++examined;
      candidate = chain[static_cast<size_t>(candidate % 131072)];
    }
    const bool accepted =
        best >= 5 || (best == 4 && best_distance <= 16384) || (best == 3 && best_distance <= 1024);
    if (!accepted) continue;
    flush_runs(pos);
    const long r = pos - emitted;
    const long d = best_distance - 1;
    const long l = best;
    if (l <= 10 && best_distance <= 1024) {
      out.push_back(static_cast<std::uint8_t>(32 * (d >> 8) + 4 * (l - 3) + r));
      out.push_back(static_cast<std::uint8_t>(d & 0xFF));
    } else if (l <= 67 && best_distance <= 16384) {
      out.push_back(static_cast<std::uint8_t>(0x80 + (l - 4)));
      out.push_back(static_cast<std::uint8_t>(64 * r + (d >> 8)));
      out.push_back(static_cast<std::uint8_t>(d & 0xFF));
    } else {
      out.push_back(static_cast<std::uint8_t>(0xC0 + 16 * (d >> 16) + 4 * ((l - 5) >> 8) + r));
      out.push_back(static_cast<std::uint8_t>((d >> 8) & 0xFF));
      out.push_back(static_cast<std::uint8_t>(d & 0xFF));
      out.push_back(static_cast<std::uint8_t>((l - 5) & 0xFF));
    }
    for (long k = 0; k < r; ++k) out.push_back(in[static_cast<size_t>(emitted + k)]);
    emitted = pos + best;
  }
  flush_runs(size);
  const long r = size - emitted;
  out.push_back(static_cast<std::uint8_t>(0xFC + r));
  for (long k = 0; k < r; ++k) out.push_back(in[static_cast<size_t>(emitted + k)]);
  return out;
}

}  // namespace testing_support
