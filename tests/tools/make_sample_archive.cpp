// Writes a sample .drp archive of the kind a game keeps: articles whose parts
// hold texture-like pixels, vertex floats and names, plus a few data entries.
// Used by the demo script; deterministic, so every run makes the same file.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "packrat/archive/codec.h"
#include "packrat/ui/disk_files.h"
#include "packrat/archive/error.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

packrat::Chunk MakeChunk(std::uint32_t id, Bytes bytes) {
  packrat::Chunk chunk;
  chunk.id = id;
  chunk.tag = static_cast<std::uint8_t>(id);
  chunk.length = static_cast<std::uint32_t>(bytes.size());
  if (!bytes.empty()) chunk.data = std::move(bytes);
  return chunk;
}

Bytes Texture(int side, std::mt19937& rng) {
  Bytes pixels(static_cast<std::size_t>(side * side * 4));
  std::uniform_int_distribution<int> noise(0, 3);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const auto at = static_cast<std::size_t>((y * side + x) * 4);
      const bool stripe = (x / 16) % 2 == 0;
      pixels[at] = static_cast<std::uint8_t>(x + noise(rng));
      pixels[at + 1] = static_cast<std::uint8_t>(stripe ? 40 : y);
      pixels[at + 2] = static_cast<std::uint8_t>((x + y) / 2);
      pixels[at + 3] = 255;
    }
  }
  return pixels;
}

Bytes Vertices(int count) {
  Bytes bytes;
  for (int i = 0; i < count; ++i) {
    const float values[3] = {std::cos(static_cast<float>(i) * 0.1f), std::sin(static_cast<float>(i) * 0.1f),
                             static_cast<float>(i % 17) * 0.25f};
    std::uint8_t raw[sizeof values];
    std::memcpy(raw, values, sizeof values);
    bytes.insert(bytes.end(), raw, raw + sizeof raw);
  }
  return bytes;
}

Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_archive OUTPUT.drp\n");
    return 2;
  }
  std::mt19937 rng(2026);
  packrat::Archive archive;
  archive.header_word = 0x00000002;
  std::vector<packrat::Article> articles;
  for (int a = 0; a < 6; ++a) {
    packrat::Article article;
    article.magic = packrat::Article::kMagic;
    article.param = static_cast<std::uint32_t>(a);
    std::vector<packrat::Chunk> parts;
    parts.push_back(MakeChunk(1, Text(a % 2 == 0 ? "body_main.tex" : "wheel_front.tex")));
    parts.push_back(MakeChunk(2, Texture(64 << (a % 3), rng)));
    parts.push_back(MakeChunk(3, Vertices(500 + 100 * a)));
    article.part_count = static_cast<std::uint32_t>(parts.size());
    article.parts = std::move(parts);
    articles.push_back(std::move(article));
  }
  archive.article_count = static_cast<std::uint32_t>(articles.size());
  archive.articles = std::move(articles);
  std::vector<packrat::Chunk> entries;
  Bytes dense(3000);
  for (auto& b : dense) b = static_cast<std::uint8_t>(rng());
  entries.push_back(MakeChunk(10, dense));
  entries.push_back(MakeChunk(11, Text("; made by the sample writer\r\n")));
  entries.push_back(MakeChunk(12, {}));
  archive.entry_count = static_cast<std::uint32_t>(entries.size());
  archive.entries = std::move(entries);
  try {
    packrat::ArchiveCodec(packrat::DiskFiles()).WriteDrp(archive, argv[1]);
  } catch (const packrat::ArchiveError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
