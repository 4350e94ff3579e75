// CRP image parsing and building.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "image_stream.h"
#include "packrat/archive/codec.h"
#include "packrat/archive/error.h"
#include "packrat/archive/image_records.h"
#include "partial_image.h"

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

// True when [start, start + length) lies inside the first `size` bytes.
bool Inside(std::uint64_t start, std::uint64_t length, std::uint64_t size) {
  return start <= size && length <= size - start;
}

// The size the builder lays a model out at, added up record by record and
// block by block. The parser and the builder share it, so a model the parser
// accepts is one the builder can write.
class LayoutSize {
 public:
  // `records`: the header with the article and data entries.
  explicit LayoutSize(std::uint64_t records) : records_(records) {}

  void AddRecords(std::uint64_t count) { records_ += count; }
  void AddBlock(std::uint64_t length) { data_ = RoundUp(data_ + length, kBlockAlign); }

  std::uint64_t DirectorySize() const { return RoundUp(kRecordSize * records_, kDirectoryAlign); }
  std::uint64_t Total() const { return DirectorySize() + RoundUp(data_, kDirectoryAlign); }
  bool Fits() const { return Total() <= kMaxImageSize; }

 private:
  std::uint64_t records_;
  std::uint64_t data_ = 0;
};

// What the parser may read of an image: its first `size` bytes. Reaching
// past them raises `beyond`: the parser's own text where the image ends, the
// reader's where a stream stopped before producing the bytes.
struct Readable {
  const std::uint8_t* bytes;
  std::size_t size;
  const std::string& beyond;

  void Require(std::uint64_t start, std::uint64_t length) const {
    if (!Inside(start, length, size)) throw ArchiveError(beyond);
  }
};

// Positions are 32-bit, as in every image ever written, so offsets wrap.
std::uint32_t ArticlePosition(std::uint32_t i) {
  return static_cast<std::uint32_t>(kRecordSize * (1 + std::uint64_t{i}));
}

// Reads article entry `i` (inside the image: the fixed entries are checked
// first) and checks its magic and that its run of part entries is readable.
ArticleEntry ReadArticle(const Readable& image, std::uint32_t i) {
  const std::uint32_t position = ArticlePosition(i);
  const ArticleEntry entry = ArticleEntry::Read(image.bytes + position);
  if (entry.magic != Article::kMagic) throw ArchiveError(texts::kInvalidCrp);
  if (entry.part_count != 0) {
    image.Require(position + 16u * entry.parts_offset, kRecordSize * entry.part_count);
  }
  return entry;
}

// Reads the chunk entry at `position` (known to be readable) and checks that
// its block is readable too. A chunk without data reads nothing, wherever its
// offset points.
ChunkEntry ReadChunkEntry(const Readable& image, std::uint32_t position) {
  const ChunkEntry entry = ChunkEntry::Read(image.bytes + position);
  if (entry.length != 0) image.Require(position + entry.data_offset, entry.length);
  return entry;
}

// Walks the directory in the parser's order: every article with its parts,
// then the data entries. The visitor sees each entry once its record and
// block have been checked.
template <typename Visitor>
void Walk(const Readable& image, std::uint32_t article_count, std::uint32_t entry_count, Visitor& visitor) {
  for (std::uint32_t i = 0; i < article_count; ++i) {
    const ArticleEntry entry = ReadArticle(image, i);
    visitor.OnArticle(i, entry);
    const std::uint32_t parts_start = ArticlePosition(i) + 16u * entry.parts_offset;
    for (std::uint32_t j = 0; j < entry.part_count; ++j) {
      const std::uint32_t position = parts_start + 16u * j;
      visitor.OnPart(i, j, ReadChunkEntry(image, position), position);
    }
  }
  const std::uint64_t data_entries = kRecordSize * (1 + std::uint64_t{article_count});
  for (std::uint32_t k = 0; k < entry_count; ++k) {
    const std::uint32_t position = static_cast<std::uint32_t>(data_entries + kRecordSize * k);
    visitor.OnEntry(k, ReadChunkEntry(image, position), position);
  }
}

// Adds up the image the builder would make of the model, refusing it as soon
// as that reaches 4 GiB.
struct Measure {
  LayoutSize& layout;
  void OnArticle(std::uint32_t, const ArticleEntry&) {}
  void OnPart(std::uint32_t, std::uint32_t, const ChunkEntry& entry, std::uint32_t) { Add(entry); }
  void OnEntry(std::uint32_t, const ChunkEntry& entry, std::uint32_t) { Add(entry); }
  void Add(const ChunkEntry& entry) {
    layout.AddBlock(entry.length);
    if (!layout.Fits()) throw ArchiveError(texts::kTooLargeForImage);
  }
};

// A chunk whose entry has been read and whose block, checked to be readable,
// is still to be copied.
struct PendingBlock {
  Chunk* chunk;
  std::uint32_t start;
};

// Copies every record into the model and lists the blocks to copy.
struct Fill {
  const Readable& image;
  Archive& archive;
  std::vector<PendingBlock>& blocks;

  void OnArticle(std::uint32_t i, const ArticleEntry& entry) {
    Article& article = (*archive.articles)[i];
    article.magic = entry.magic;
    article.param = entry.param;
    article.part_count = entry.part_count;
    article.parts.emplace(article.part_count);
  }
  void OnPart(std::uint32_t i, std::uint32_t j, const ChunkEntry& entry, std::uint32_t position) {
    Copy(entry, position, (*(*archive.articles)[i].parts)[j]);
  }
  void OnEntry(std::uint32_t k, const ChunkEntry& entry, std::uint32_t position) {
    Copy(entry, position, (*archive.entries)[k]);
  }
  void Copy(const ChunkEntry& entry, std::uint32_t position, Chunk& chunk) const {
    chunk.id = entry.id;
    chunk.tag = entry.tag;
    chunk.length = entry.length;
    chunk.param = entry.param;
    if (entry.length == 0) return;
    blocks.push_back({&chunk, static_cast<std::uint32_t>(position + entry.data_offset)});
  }
};

// Below this many bytes, memory that the parser has finished with is not
// worth a call to give back.
constexpr std::size_t kDiscardStep = std::size_t{2} << 20;

// Copies the blocks in directory order. When `spend` is given, the image is
// the caller's to spend: whatever lies below every block still to be copied
// goes back to it as the copying moves on, so an image laid out in order (as
// the builder lays it out) never stands in memory beside a whole copy of
// itself.
void CopyBlocks(const Readable& image, const std::vector<PendingBlock>& blocks, BufferAllocator* spend) {
  // still_needed[b]: the lowest start among blocks b and after.
  std::vector<std::uint32_t> still_needed;
  if (spend != nullptr) {
    still_needed.resize(blocks.size() + 1);
    still_needed[blocks.size()] = static_cast<std::uint32_t>(std::min<std::size_t>(image.size, 0xFFFFFFFFu));
    for (std::size_t b = blocks.size(); b-- > 0;) still_needed[b] = std::min(blocks[b].start, still_needed[b + 1]);
  }
  std::size_t discarded = 0;
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    const std::uint8_t* const data = image.bytes + blocks[b].start;
    blocks[b].chunk->data.emplace(data, data + blocks[b].chunk->length);
    if (spend != nullptr && still_needed[b + 1] >= discarded + kDiscardStep) {
      spend->Discard(const_cast<std::uint8_t*>(image.bytes) + discarded, still_needed[b + 1] - discarded);
      discarded = still_needed[b + 1];
    }
  }
}

// Reads every record first, then copies the blocks.
Archive Parse(const Readable& image, BufferAllocator* spend) {
  image.Require(0, kRecordSize);
  const ImageHeader header = ImageHeader::Read(image.bytes);
  const std::uint32_t article_count = header.ArticleCount();
  const std::uint32_t entry_count = header.entry_count;

  // The article and data entries sit at fixed places after the header; an
  // image that cannot hold them is damaged, whatever the counts promise.
  const std::uint64_t fixed_records = 1 + std::uint64_t{article_count} + entry_count;
  image.Require(0, kRecordSize * fixed_records);

  // Every entry gets its own copy of its block, and entries (part runs too)
  // may share bytes, so a small image can describe any amount of data. The
  // model is measured before anything is obtained: one that could never be
  // written again is refused while the image is all that is held. The
  // directory counts too, since each record costs the model more than its
  // 16 bytes in the image.
  LayoutSize layout(fixed_records);
  for (std::uint32_t i = 0; i < article_count; ++i) layout.AddRecords(ReadArticle(image, i).part_count);
  if (!layout.Fits()) throw ArchiveError(texts::kTooLargeForImage);
  Measure measure{layout};
  Walk(image, article_count, entry_count, measure);

  Archive archive;
  archive.header_word = header.header_word;
  archive.article_count = article_count;
  archive.entry_count = entry_count;
  archive.articles.emplace(article_count);
  archive.entries.emplace(entry_count);
  std::vector<PendingBlock> blocks;
  Fill fill{image, archive, blocks};
  Walk(image, article_count, entry_count, fill);
  CopyBlocks(image, blocks, spend);

  if (!archive.IsValid()) throw ArchiveError(texts::kInvalidCrp);
  return archive;
}

Archive ParseChecked(const std::uint8_t* image, std::size_t size, std::size_t produced,
                     const std::string& cut_short, BufferAllocator* spend) {
  if (image == nullptr) throw ArchiveError(texts::kNoData);
  if (size < kRecordSize) throw ArchiveError(texts::kInvalidLength);
  return TranslatingMemoryFailure([&] {
    const std::string end_of_image = texts::kInvalidCrp;
    return Parse({image, std::min(produced, size), produced < size ? cut_short : end_of_image}, spend);
  });
}

}  // namespace

Archive ArchiveCodec::ParseImage(const std::uint8_t* image, std::size_t size) const {
  return ParseChecked(image, size, size, {}, nullptr);
}

Archive ParsePartialImage(const std::uint8_t* image, std::size_t size, std::size_t produced,
                          const std::string& cut_short, BufferAllocator* spend) {
  return ParseChecked(image, size, produced, cut_short, spend);
}

namespace {

// The sizes of the image of a model, refused when the image could not hold it.
LayoutSize MeasureModel(const Archive& archive) {
  if (!archive.IsValid()) throw ArchiveError(texts::kInvalidCrp);
  if (archive.article_count > kMaxArticles) throw ArchiveError(texts::kTooLargeForImage);

  // In 64 bits, so that no model can wrap them.
  LayoutSize layout(1 + std::uint64_t{archive.article_count} + archive.entry_count);
  auto add_block = [&](const Chunk& chunk) {
    if (chunk.length > kMaxChunkLength) throw ArchiveError(texts::kTooLargeForImage);
    layout.AddBlock(chunk.length);
  };
  for (std::uint32_t i = 0; i < archive.article_count; ++i) {
    const Article& article = (*archive.articles)[i];
    layout.AddRecords(article.part_count);
    for (std::uint32_t j = 0; j < article.part_count; ++j) add_block((*article.parts)[j]);
  }
  for (std::uint32_t k = 0; k < archive.entry_count; ++k) add_block((*archive.entries)[k]);
  if (!layout.Fits() || layout.Total() > SIZE_MAX) throw ArchiveError(texts::kTooLargeForImage);
  return layout;
}

// Calls visit(chunk) for every chunk, in the order their blocks follow each
// other: every article's parts, then the data entries.
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

// Writes the header and every entry into `out`, the first DirectorySize()
// bytes of the image, zeros included. Every total is below 4 GiB by now, so
// 32-bit cursors cannot wrap.
void WriteDirectory(const Archive& archive, const LayoutSize& layout, std::uint8_t* out) {
  const std::uint32_t article_count = archive.article_count;
  const std::uint32_t entry_count = archive.entry_count;
  const std::uint64_t directory_size = layout.DirectorySize();
  ImageHeader{archive.header_word, article_count << 5 | kArticleWordLowBits, entry_count, kHeaderWord3}.Write(out);

  std::uint32_t entry_cursor = kRecordSize;
  std::uint32_t part_cursor = static_cast<std::uint32_t>(kRecordSize * (1 + std::uint64_t{article_count} + entry_count));
  std::uint32_t data_cursor = static_cast<std::uint32_t>(directory_size);

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
  std::memset(out + part_cursor, 0, directory_size - part_cursor);
}

ImageBuffer Build(const Archive& archive, BufferAllocator& buffers) {
  const LayoutSize layout = MeasureModel(archive);
  ImageBuffer image = AllocateBuffer(buffers, static_cast<std::size_t>(layout.Total()));
  std::uint8_t* const out = image.bytes.get();
  WriteDirectory(archive, layout, out);
  std::uint8_t* data = out + layout.DirectorySize();
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
  const LayoutSize layout = MeasureModel(archive);
  ImageDirectory directory;
  directory.bytes = AllocateBuffer(buffers, static_cast<std::size_t>(layout.DirectorySize()));
  directory.data_size = layout.Total() - layout.DirectorySize();
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
