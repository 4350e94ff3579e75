// CRP image parsing and building.
#include <cstring>
#include <new>

#include "packrat/archive/codec.h"
#include "packrat/archive/error.h"
#include "packrat/archive/image_records.h"

namespace packrat {

namespace {

constexpr std::uint64_t kDirectoryAlign = 4096;
constexpr std::uint64_t kBlockAlign = 16;
constexpr std::uint64_t kMaxArticles = (std::uint64_t{1} << 27) - 1;
// Offsets inside an image are 32-bit, so no image may reach 4 GiB.
constexpr std::uint64_t kMaxImageSize = 0xFFFFFFFFull;

constexpr std::uint64_t RoundUp(std::uint64_t value, std::uint64_t align) {
  return (value + align - 1) / align * align;
}

// True when [start, start + length) lies inside an image of `size` bytes.
bool Inside(std::uint64_t start, std::uint64_t length, std::size_t size) {
  return start <= size && length <= size - start;
}

// Reads the chunk entry at `position` (already known to lie in the image)
// and copies its block, which must lie in the image too.
void ReadChunk(const std::uint8_t* image, std::size_t size, std::uint32_t position, Chunk& chunk) {
  const ChunkEntry entry = ChunkEntry::Read(image + position);
  chunk.id = entry.id;
  chunk.tag = entry.tag;
  chunk.length = entry.length;
  chunk.param = entry.param;
  // Positions are 32-bit, as in every image ever written.
  // A chunk without data copies nothing, wherever its offset points.
  if (entry.length == 0) return;
  const std::uint32_t start = position + entry.data_offset;
  if (!Inside(start, entry.length, size)) throw ArchiveError(texts::kInvalidCrp);
  chunk.data.emplace(image + start, image + start + entry.length);
}

Archive Parse(const std::uint8_t* image, std::size_t size) {
  const ImageHeader header = ImageHeader::Read(image);
  Archive archive;
  archive.header_word = header.header_word;
  archive.article_count = header.ArticleCount();
  archive.entry_count = header.entry_count;

  // The article and data entries sit at fixed places after the header; an
  // image that cannot hold them is damaged, whatever the counts promise.
  const std::uint64_t entries_end =
      kRecordSize * (1 + std::uint64_t{archive.article_count} + archive.entry_count);
  if (entries_end > size) throw ArchiveError(texts::kInvalidCrp);

  archive.articles.emplace(archive.article_count);
  archive.entries.emplace(archive.entry_count);

  for (std::uint32_t i = 0; i < archive.article_count; ++i) {
    const std::uint32_t position = static_cast<std::uint32_t>(kRecordSize * (1 + i));
    const ArticleEntry entry = ArticleEntry::Read(image + position);
    Article& article = (*archive.articles)[i];
    article.magic = entry.magic;
    article.param = entry.param;
    article.part_count = entry.part_count;
    if (article.magic != Article::kMagic) throw ArchiveError(texts::kInvalidCrp);

    const std::uint32_t parts_start = position + 16u * entry.parts_offset;
    if (entry.part_count != 0 && !Inside(parts_start, kRecordSize * entry.part_count, size)) {
      throw ArchiveError(texts::kInvalidCrp);
    }
    article.parts.emplace(article.part_count);
    for (std::uint32_t j = 0; j < article.part_count; ++j) {
      ReadChunk(image, size, parts_start + 16u * j, (*article.parts)[j]);
    }
  }

  const std::uint64_t data_entries = kRecordSize * (1 + std::uint64_t{archive.article_count});
  for (std::uint32_t k = 0; k < archive.entry_count; ++k) {
    ReadChunk(image, size, static_cast<std::uint32_t>(data_entries + kRecordSize * k), (*archive.entries)[k]);
  }

  if (!archive.IsValid()) throw ArchiveError(texts::kInvalidCrp);
  return archive;
}

}  // namespace

Archive ArchiveCodec::ParseImage(const std::uint8_t* image, std::size_t size) const {
  if (image == nullptr) throw ArchiveError(texts::kNoData);
  if (size < kRecordSize) throw ArchiveError(texts::kInvalidLength);
  return TranslatingMemoryFailure([&] { return Parse(image, size); });
}

namespace {

ImageBuffer Build(const Archive& archive) {
  if (!archive.IsValid()) throw ArchiveError(texts::kInvalidCrp);

  const std::uint32_t article_count = archive.article_count;
  const std::uint32_t entry_count = archive.entry_count;
  if (article_count > kMaxArticles) throw ArchiveError(texts::kTooLargeForImage);

  // Sizes first, in 64 bits, so that no model can wrap them.
  std::uint64_t part_total = 0;
  std::uint64_t data_size = 0;
  auto add_block = [&](const Chunk& chunk) {
    if (chunk.length > kMaxChunkLength) throw ArchiveError(texts::kTooLargeForImage);
    data_size = RoundUp(data_size + chunk.length, kBlockAlign);
  };
  for (std::uint32_t i = 0; i < article_count; ++i) {
    const Article& article = (*archive.articles)[i];
    part_total += article.part_count;
    for (std::uint32_t j = 0; j < article.part_count; ++j) add_block((*article.parts)[j]);
  }
  for (std::uint32_t k = 0; k < entry_count; ++k) add_block((*archive.entries)[k]);

  const std::uint64_t directory_size =
      RoundUp(kRecordSize * (1 + std::uint64_t{article_count} + entry_count + part_total), kDirectoryAlign);
  data_size = RoundUp(data_size, kDirectoryAlign);
  const std::uint64_t total = directory_size + data_size;
  if (total > kMaxImageSize || total > SIZE_MAX) throw ArchiveError(texts::kTooLargeForImage);

  ImageBuffer image;
  image.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(total));
  image.size = static_cast<std::size_t>(total);
  std::uint8_t* const out = image.bytes.get();

  ImageHeader{archive.header_word, article_count << 5 | kArticleWordLowBits, entry_count, kHeaderWord3}.Write(out);

  // Every total is below 4 GiB now, so 32-bit cursors cannot wrap.
  std::uint32_t entry_cursor = kRecordSize;
  std::uint32_t part_cursor = static_cast<std::uint32_t>(kRecordSize * (1 + std::uint64_t{article_count} + entry_count));
  std::uint32_t data_cursor = static_cast<std::uint32_t>(directory_size);

  auto place_chunk = [&](const Chunk& chunk, std::uint32_t entry_position) {
    ChunkEntry{chunk.id, chunk.tag, chunk.length, chunk.param, data_cursor - entry_position}.Write(out + entry_position);
    if (chunk.length != 0) std::memcpy(out + data_cursor, chunk.data->data(), chunk.length);
    data_cursor += chunk.length;
    const std::uint32_t padded = static_cast<std::uint32_t>(RoundUp(data_cursor, kBlockAlign));
    std::memset(out + data_cursor, 0, padded - data_cursor);
    data_cursor = padded;
  };

  for (std::uint32_t i = 0; i < article_count; ++i) {
    const Article& article = (*archive.articles)[i];
    ArticleEntry{article.magic, article.param, article.part_count, (part_cursor - entry_cursor) / 16}.Write(
        out + entry_cursor);
    for (std::uint32_t j = 0; j < article.part_count; ++j) {
      place_chunk((*article.parts)[j], part_cursor);
      part_cursor += kRecordSize;
    }
    entry_cursor += kRecordSize;
  }
  for (std::uint32_t k = 0; k < entry_count; ++k) {
    place_chunk((*archive.entries)[k], entry_cursor);
    entry_cursor += kRecordSize;
  }

  std::memset(out + part_cursor, 0, directory_size - part_cursor);
  std::memset(out + data_cursor, 0, image.size - data_cursor);
  return image;
}

}  // namespace

ImageBuffer ArchiveCodec::BuildImage(const Archive& archive) const {
  return TranslatingMemoryFailure([&] { return Build(archive); });
}

}  // namespace packrat
