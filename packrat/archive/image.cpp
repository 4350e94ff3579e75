// CRP image parsing and building.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "image_stream.h"
#include "packrat/archive/codec.h"
#include "packrat/archive/error.h"
#include "packrat/archive/image_records.h"

namespace packrat {

namespace {

constexpr std::uint64_t kDirectoryAlign = 4096;
constexpr std::uint64_t kBlockAlign = 16;
constexpr std::uint64_t kMaxChunkLength = (std::uint64_t{1} << 24) - 1;
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

// A chunk whose entry has been read and whose block, checked to lie in the
// image, is still to be copied.
struct PendingBlock {
  Chunk* chunk;
  std::uint32_t start;
};

// Reads the chunk entry at `position` (already known to lie in the image)
// and checks where its block lies; the block is copied later.
void ReadChunk(const std::uint8_t* image, std::size_t size, std::uint32_t position, Chunk& chunk,
               std::vector<PendingBlock>& blocks) {
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
  blocks.push_back({&chunk, start});
}

// Below this many bytes, memory that the parser has finished with is not
// worth a call to give back.
constexpr std::size_t kDiscardStep = std::size_t{2} << 20;

// Reads every entry first, then copies the blocks in directory order. When
// `buffers` is given, the image is the caller's to spend: whatever lies below
// every block still to be copied is handed back to it as the copying moves
// on, so an image laid out in order (as the builder lays it out) never
// stands in memory beside a whole copy of itself.
Archive Parse(const std::uint8_t* image, std::size_t size, BufferAllocator* buffers) {
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
  std::vector<PendingBlock> blocks;

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
      ReadChunk(image, size, parts_start + 16u * j, (*article.parts)[j], blocks);
    }
  }

  const std::uint64_t data_entries = kRecordSize * (1 + std::uint64_t{archive.article_count});
  for (std::uint32_t k = 0; k < archive.entry_count; ++k) {
    ReadChunk(image, size, static_cast<std::uint32_t>(data_entries + kRecordSize * k), (*archive.entries)[k],
              blocks);
  }

  // still_needed[b]: the lowest start among blocks b and after.
  std::vector<std::uint32_t> still_needed;
  if (buffers != nullptr) {
    still_needed.resize(blocks.size() + 1);
    still_needed[blocks.size()] = static_cast<std::uint32_t>(std::min<std::size_t>(size, 0xFFFFFFFFu));
    for (std::size_t b = blocks.size(); b-- > 0;) still_needed[b] = std::min(blocks[b].start, still_needed[b + 1]);
  }
  std::size_t discarded = 0;
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    const PendingBlock& block = blocks[b];
    const std::uint8_t* const data = image + block.start;
    block.chunk->data.emplace(data, data + block.chunk->length);
    if (buffers != nullptr && still_needed[b + 1] >= discarded + kDiscardStep) {
      buffers->Discard(const_cast<std::uint8_t*>(image) + discarded, still_needed[b + 1] - discarded);
      discarded = still_needed[b + 1];
    }
  }

  if (!archive.IsValid()) throw ArchiveError(texts::kInvalidCrp);
  return archive;
}

}  // namespace

Archive ArchiveCodec::ParseImage(const std::uint8_t* image, std::size_t size) const {
  if (image == nullptr) throw ArchiveError(texts::kNoData);
  if (size < kRecordSize) throw ArchiveError(texts::kInvalidLength);
  return TranslatingMemoryFailure([&] { return Parse(image, size, nullptr); });
}

Archive ParseSpending(ImageBuffer& image) {
  if (image.size < kRecordSize) throw ArchiveError(texts::kInvalidLength);
  return TranslatingMemoryFailure([&] { return Parse(image.bytes.get(), image.size, image.bytes.get_deleter().allocator); });
}

namespace {

// The two sizes of an image, worked out in 64 bits so that no model can wrap
// them, and refused when the image could not hold the model.
struct Layout {
  std::uint64_t directory_size = 0;
  std::uint64_t data_size = 0;
  std::size_t total() const { return static_cast<std::size_t>(directory_size + data_size); }
};

Layout Measure(const Archive& archive) {
  if (!archive.IsValid()) throw ArchiveError(texts::kInvalidCrp);
  if (archive.article_count > kMaxArticles) throw ArchiveError(texts::kTooLargeForImage);

  std::uint64_t part_total = 0;
  std::uint64_t data_size = 0;
  auto add_block = [&](const Chunk& chunk) {
    if (chunk.length > kMaxChunkLength) throw ArchiveError(texts::kTooLargeForImage);
    data_size = RoundUp(data_size + chunk.length, kBlockAlign);
  };
  for (std::uint32_t i = 0; i < archive.article_count; ++i) {
    const Article& article = (*archive.articles)[i];
    part_total += article.part_count;
    for (std::uint32_t j = 0; j < article.part_count; ++j) add_block((*article.parts)[j]);
  }
  for (std::uint32_t k = 0; k < archive.entry_count; ++k) add_block((*archive.entries)[k]);

  Layout layout;
  layout.directory_size = RoundUp(
      kRecordSize * (1 + std::uint64_t{archive.article_count} + archive.entry_count + part_total), kDirectoryAlign);
  layout.data_size = RoundUp(data_size, kDirectoryAlign);
  const std::uint64_t total = layout.directory_size + layout.data_size;
  if (total > kMaxImageSize || total > SIZE_MAX) throw ArchiveError(texts::kTooLargeForImage);
  return layout;
}

// Calls visit(chunk) for every chunk that has a block, in the order the
// blocks follow each other: every article's parts, then the data entries.
template <typename Visit>
void ForEachChunk(const Archive& archive, Visit visit) {
  for (std::uint32_t i = 0; i < archive.article_count; ++i) {
    const Article& article = (*archive.articles)[i];
    for (std::uint32_t j = 0; j < article.part_count; ++j) visit((*article.parts)[j]);
  }
  for (std::uint32_t k = 0; k < archive.entry_count; ++k) visit((*archive.entries)[k]);
}

std::uint32_t PaddedLength(const Chunk& chunk) {
  return static_cast<std::uint32_t>(RoundUp(chunk.length, kBlockAlign));
}

// Writes the header and every entry into `out`, the first directory_size
// bytes of the image, zeros included. Every total is below 4 GiB by now, so
// 32-bit cursors cannot wrap.
void WriteDirectory(const Archive& archive, const Layout& layout, std::uint8_t* out) {
  const std::uint32_t article_count = archive.article_count;
  const std::uint32_t entry_count = archive.entry_count;
  ImageHeader{archive.header_word, article_count << 5 | kArticleWordLowBits, entry_count, kHeaderWord3}.Write(out);

  std::uint32_t entry_cursor = kRecordSize;
  std::uint32_t part_cursor = static_cast<std::uint32_t>(kRecordSize * (1 + std::uint64_t{article_count} + entry_count));
  std::uint32_t data_cursor = static_cast<std::uint32_t>(layout.directory_size);

  auto place_entry = [&](const Chunk& chunk, std::uint32_t entry_position) {
    ChunkEntry{chunk.id, chunk.tag, chunk.length, chunk.param, data_cursor - entry_position}.Write(out + entry_position);
    data_cursor += PaddedLength(chunk);
  };
  for (std::uint32_t i = 0; i < article_count; ++i) {
    const Article& article = (*archive.articles)[i];
    ArticleEntry{article.magic, article.param, article.part_count, (part_cursor - entry_cursor) / 16}.Write(
        out + entry_cursor);
    for (std::uint32_t j = 0; j < article.part_count; ++j) {
      place_entry((*article.parts)[j], part_cursor);
      part_cursor += kRecordSize;
    }
    entry_cursor += kRecordSize;
  }
  for (std::uint32_t k = 0; k < entry_count; ++k) {
    place_entry((*archive.entries)[k], entry_cursor);
    entry_cursor += kRecordSize;
  }
  std::memset(out + part_cursor, 0, layout.directory_size - part_cursor);
}

ImageBuffer Build(const Archive& archive, BufferAllocator& buffers) {
  const Layout layout = Measure(archive);
  ImageBuffer image = AllocateBuffer(buffers, layout.total());
  std::uint8_t* const out = image.bytes.get();
  WriteDirectory(archive, layout, out);
  std::uint8_t* data = out + layout.directory_size;
  ForEachChunk(archive, [&](const Chunk& chunk) {
    if (chunk.length != 0) std::memcpy(data, chunk.data->data(), chunk.length);
    const std::uint32_t padded = PaddedLength(chunk);
    std::memset(data + chunk.length, 0, padded - chunk.length);
    data += padded;
  });
  std::memset(data, 0, static_cast<std::size_t>(out + image.size - data));
  return image;
}

// Zeros for padding, handed to a sink a block at a time.
constexpr std::uint8_t kZeros[4096] = {};

void AppendZeros(ByteSink& sink, std::uint64_t count) {
  while (count != 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof kZeros));
    sink.Append(kZeros, n);
    count -= n;
  }
}

}  // namespace

ImageDirectory LayOutDirectory(const Archive& archive, BufferAllocator& buffers) {
  const Layout layout = Measure(archive);
  ImageDirectory directory;
  directory.bytes = AllocateBuffer(buffers, static_cast<std::size_t>(layout.directory_size));
  directory.data_size = layout.data_size;
  WriteDirectory(archive, layout, directory.bytes.bytes.get());
  return directory;
}

void AppendImage(const Archive& archive, const ImageDirectory& directory, ByteSink& sink) {
  sink.Append(directory.bytes.bytes.get(), directory.bytes.size);
  std::uint64_t written = 0;
  ForEachChunk(archive, [&](const Chunk& chunk) {
    if (chunk.length != 0) sink.Append(chunk.data->data(), chunk.length);
    const std::uint32_t padded = PaddedLength(chunk);
    AppendZeros(sink, padded - chunk.length);
    written += padded;
  });
  AppendZeros(sink, directory.data_size - written);
}

ImageBuffer ArchiveCodec::BuildImage(const Archive& archive) const {
  return TranslatingMemoryFailure([&] { return Build(archive, *buffers_); });
}

}  // namespace packrat
