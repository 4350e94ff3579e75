// The 16-byte records of a CRP image. All words are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "packrat/archive/bytes.h"

namespace packrat {

inline constexpr std::size_t kRecordSize = 16;
inline constexpr std::uint32_t kArticleWordLowBits = 0x1A;  // written, ignored when read
inline constexpr std::uint32_t kHeaderWord3 = 1;             // written, never read
// A chunk entry keeps the length in 24 bits.
inline constexpr std::uint32_t kMaxChunkLength = (std::uint32_t{1} << 24) - 1;

struct ImageHeader {
  std::uint32_t header_word = 0;
  std::uint32_t article_word = 0;  // article count << 5, low five bits 26
  std::uint32_t entry_count = 0;
  std::uint32_t reserved = 0;

  std::uint32_t ArticleCount() const { return article_word >> 5; }

  static ImageHeader Read(const std::uint8_t* p) {
    return {LoadLe32(p), LoadLe32(p + 4), LoadLe32(p + 8), LoadLe32(p + 12)};
  }
  void Write(std::uint8_t* p) const {
    StoreLe32(p, header_word);
    StoreLe32(p + 4, article_word);
    StoreLe32(p + 8, entry_count);
    StoreLe32(p + 12, reserved);
  }
};

struct ArticleEntry {
  std::uint32_t magic = 0;
  std::uint32_t param = 0;
  std::uint32_t part_count = 0;
  std::uint32_t parts_offset = 0;  // in 16-byte units from this entry

  static ArticleEntry Read(const std::uint8_t* p) {
    return {LoadLe32(p), LoadLe32(p + 4), LoadLe32(p + 8), LoadLe32(p + 12)};
  }
  void Write(std::uint8_t* p) const {
    StoreLe32(p, magic);
    StoreLe32(p + 4, param);
    StoreLe32(p + 8, part_count);
    StoreLe32(p + 12, parts_offset);
  }
};

struct ChunkEntry {
  std::uint32_t id = 0;
  std::uint8_t tag = 0;
  std::uint32_t length = 0;       // 24 bits
  std::uint32_t param = 0;
  std::uint32_t data_offset = 0;  // in bytes from this entry

  static ChunkEntry Read(const std::uint8_t* p) {
    const std::uint32_t word1 = LoadLe32(p + 4);
    return {LoadLe32(p), static_cast<std::uint8_t>(word1), word1 >> 8, LoadLe32(p + 8), LoadLe32(p + 12)};
  }
  void Write(std::uint8_t* p) const {
    StoreLe32(p, id);
    StoreLe32(p + 4, length << 8 | tag);
    StoreLe32(p + 8, param);
    StoreLe32(p + 12, data_offset);
  }
};

}  // namespace packrat
