// Small archives made in code for the engine's tests.
#pragma once

#include <random>

#include "common/temp_dir.h"
#include "packrat/archive/lz.h"
#include "packrat/archive/model.h"

namespace testing_support {

inline packrat::Chunk MakeChunk(std::uint32_t id, std::uint8_t tag, const Bytes& bytes, std::uint32_t param = 0) {
  packrat::Chunk chunk;
  chunk.id = id;
  chunk.tag = tag;
  chunk.param = param;
  chunk.length = static_cast<std::uint32_t>(bytes.size());
  if (!bytes.empty()) chunk.data = bytes;
  return chunk;
}

inline packrat::Article MakeArticle(std::vector<packrat::Chunk> parts, std::uint32_t param = 0) {
  packrat::Article article;
  article.magic = packrat::Article::kMagic;
  article.param = param;
  article.part_count = static_cast<std::uint32_t>(parts.size());
  article.parts = std::move(parts);
  return article;
}

inline packrat::Archive MakeArchive(std::uint32_t header_word, std::vector<packrat::Article> articles,
                                    std::vector<packrat::Chunk> entries) {
  packrat::Archive archive;
  archive.header_word = header_word;
  archive.article_count = static_cast<std::uint32_t>(articles.size());
  archive.entry_count = static_cast<std::uint32_t>(entries.size());
  archive.articles = std::move(articles);
  archive.entries = std::move(entries);
  return archive;
}

// An archive with a mix of empty, tiny, aligned and odd-sized blocks, and
// content that compresses (repeats) next to content that does not (noise).
inline packrat::Archive RandomArchive(std::uint32_t seed, int max_articles = 6, int max_parts = 5,
                                      int max_entries = 6, int max_length = 5000) {
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto block = [&]() {
    Bytes bytes(static_cast<std::size_t>(pick(0, 3) == 0 ? pick(0, 17) : pick(0, max_length)));
    const int kind = pick(0, 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] = kind == 0 ? static_cast<std::uint8_t>(rng()) : static_cast<std::uint8_t>(i / 7 % static_cast<std::size_t>(kind * 5));
    }
    return bytes;
  };
  std::vector<packrat::Article> articles;
  for (int a = pick(0, max_articles); a > 0; --a) {
    std::vector<packrat::Chunk> parts;
    for (int p = pick(0, max_parts); p > 0; --p) {
      parts.push_back(MakeChunk(static_cast<std::uint32_t>(rng()), static_cast<std::uint8_t>(rng()), block(),
                                static_cast<std::uint32_t>(rng())));
    }
    articles.push_back(MakeArticle(std::move(parts), static_cast<std::uint32_t>(rng())));
  }
  std::vector<packrat::Chunk> entries;
  for (int e = pick(0, max_entries); e > 0; --e) {
    entries.push_back(MakeChunk(static_cast<std::uint32_t>(rng()), static_cast<std::uint8_t>(rng()), block(),
                                static_cast<std::uint32_t>(rng())));
  }
  return MakeArchive(static_cast<std::uint32_t>(rng()), std::move(articles), std::move(entries));
}

inline void PutLe32(Bytes& image, std::size_t at, std::uint32_t value) {
  if (image.size() < at + 4) image.resize(at + 4);
  for (int i = 0; i < 4; ++i) image[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// ---- Hostile images and streams -------------------------------------------------

// An image whose `entries` data entries all point at one block of `length`
// bytes (0x5A each), placed after the directory: the model it describes holds
// `entries` copies of the block.
inline Bytes SharedBlockImage(std::uint32_t entries, std::uint32_t length) {
  const std::size_t block = (16 * (std::size_t{entries} + 1) + 4095) / 4096 * 4096;
  Bytes image(block + length, 0x5A);
  std::fill(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(block), std::uint8_t{0});
  PutLe32(image, 4, 26);
  PutLe32(image, 8, entries);
  for (std::uint32_t k = 0; k < entries; ++k) {
    const std::size_t at = 16 * (std::size_t{k} + 1);
    PutLe32(image, at, k);
    PutLe32(image, at + 4, length << 8);
    PutLe32(image, at + 12, static_cast<std::uint32_t>(block - at));
  }
  return image;
}

// An image whose `articles` articles each claim the same run of `parts`
// empty parts: the model holds articles x parts chunk records.
inline Bytes SharedPartsImage(std::uint32_t articles, std::uint32_t parts) {
  const std::size_t run = 16 * (std::size_t{articles} + 1);
  Bytes image(run + 16 * std::size_t{parts}, 0);
  PutLe32(image, 4, articles << 5 | 26);
  for (std::uint32_t i = 0; i < articles; ++i) {
    const std::size_t at = 16 * (std::size_t{i} + 1);
    PutLe32(image, at, packrat::Article::kMagic);
    PutLe32(image, at + 8, parts);
    PutLe32(image, at + 12, static_cast<std::uint32_t>((run - at) / 16));
  }
  return image;
}

// The complete compressed file of `image`.
inline Bytes Compressed(const Bytes& image) {
  struct Sink final : packrat::ByteSink {
    void Append(const std::uint8_t* bytes, std::size_t count) override { data.insert(data.end(), bytes, bytes + count); }
    Bytes data;
  } sink;
  packrat::EncodeLz(image, sink);
  return sink.data;
}

// A compressed file that announces all of `image` but whose stream stops, at
// a stop operation, once it has produced the first `produced` bytes.
inline Bytes StoppedEarly(const Bytes& image, std::size_t produced) {
  Bytes file = Compressed(Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(produced)));
  file[2] = static_cast<std::uint8_t>(image.size() >> 16);
  file[3] = static_cast<std::uint8_t>(image.size() >> 8);
  file[4] = static_cast<std::uint8_t>(image.size());
  if (file.size() < 16) file.resize(16, 0);  // a file shorter than a header is refused for that alone
  return file;
}

}  // namespace testing_support
