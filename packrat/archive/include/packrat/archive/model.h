// The in-memory form of one archive: a header word, articles made of parts,
// and trailing data entries. Every block is owned by the model and copies are
// deep. Counts are kept apart from storage, so a count without storage behind
// it is representable and IsValid can reject it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace packrat {

// One block of data with its descriptor: a part of an article or a data entry.
struct Chunk {
  std::uint32_t id = 0;
  std::uint8_t tag = 0;
  std::uint32_t length = 0;
  std::uint32_t param = 0;
  std::optional<std::vector<std::uint8_t>> data;  // absent, or `length` bytes

  Chunk() = default;
  Chunk(const Chunk& other);
  Chunk& operator=(const Chunk& other);
  Chunk(Chunk&&) noexcept = default;
  Chunk& operator=(Chunk&&) noexcept = default;

  bool IsValid() const;
};

struct Article {
  static constexpr std::uint32_t kMagic = 0x41727469;

  std::uint32_t magic = 0;
  std::uint32_t param = 0;
  std::uint32_t part_count = 0;
  std::optional<std::vector<Chunk>> parts;  // absent, or `part_count` chunks

  Article() = default;
  Article(const Article& other);
  Article& operator=(const Article& other);
  Article(Article&&) noexcept = default;
  Article& operator=(Article&&) noexcept = default;

  bool IsValid() const;
};

struct Archive {
  std::uint32_t header_word = 0;
  std::uint32_t article_count = 0;
  std::uint32_t entry_count = 0;
  std::optional<std::vector<Article>> articles;  // absent, or `article_count` articles
  std::optional<std::vector<Chunk>> entries;     // absent, or `entry_count` chunks

  Archive() = default;
  Archive(const Archive& other);
  Archive& operator=(const Archive& other);
  Archive(Archive&&) noexcept = default;
  Archive& operator=(Archive&&) noexcept = default;

  bool IsValid() const;
};

bool operator==(const Chunk& a, const Chunk& b);
bool operator==(const Article& a, const Article& b);
bool operator==(const Archive& a, const Archive& b);

}  // namespace packrat
