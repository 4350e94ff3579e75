// Reading and writing .crp and .drp files.
#include <algorithm>
#include <array>
#include <memory>
#include <cstdio>
#include <cstring>
#include <new>

#include "file_io.h"
#include "image_stream.h"
#include "packrat/archive/bytes.h"
#include "packrat/archive/codec.h"
#include "packrat/archive/error.h"
#include "packrat/archive/lz.h"
#include "partial_image.h"

namespace packrat {

namespace {

void RequireName(const std::string& file_name) {
  if (file_name.empty()) throw ArchiveError(texts::kNoFilename);
}

// Opens a file for reading and measures it; both readers refuse files
// shorter than an image header.
InputFile OpenForReading(const std::string& file_name, std::uint64_t& size) {
  InputFile file(file_name);
  if (!file.IsOpen()) throw ArchiveError(texts::FileCouldNotBeOpened(file_name));
  const std::optional<std::uint64_t> measured = file.Size();
  if (!measured) throw ArchiveError(texts::FileCouldNotBeOpened(file_name));
  size = *measured;
  if (size < 16) throw ArchiveError(texts::FileHasInvalidSize(file_name));
  return file;
}

// The bytes of a .crp or .drp, read in sequence from the start: a file on
// disk, or a copy held in memory.
class FileBytes : public ByteSource {
 public:
  virtual bool Rewind() = 0;
};

class DiskBytes final : public FileBytes {
 public:
  explicit DiskBytes(InputFile& file) : file_(file) {}
  std::size_t Read(std::uint8_t* destination, std::size_t count) override {
    return file_.Read(destination, count);
  }
  bool Rewind() override { return file_.Rewind(); }

 private:
  InputFile& file_;
};

class MemoryBytes final : public FileBytes {
 public:
  explicit MemoryBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::size_t Read(std::uint8_t* destination, std::size_t count) override {
    const std::size_t n = std::min(count, bytes_.size() - position_);
    if (n != 0) std::memcpy(destination, bytes_.data() + position_, n);
    position_ += n;
    return n;
  }
  bool Rewind() override {
    position_ = 0;
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

// An image read from a file, and how much of it the file really held: all of
// it, unless an LZ stream stopped before producing all it announced.
struct FileImage {
  ImageBuffer image;
  std::size_t produced = 0;
};

FileImage ReadWhole(BufferAllocator& buffers, FileBytes& file, std::uint64_t size, const std::string& file_name) {
  if (size > SIZE_MAX) throw ArchiveError(texts::kNoMemory);
  FileImage read{AllocateBuffer(buffers, static_cast<std::size_t>(size))};
  if (file.Read(read.image.bytes.get(), read.image.size) != read.image.size) {
    throw ArchiveError(texts::FileCouldNotBeOpened(file_name));
  }
  read.produced = read.image.size;
  return read;
}

// Passes a stream on to the decoder and keeps its first byte: the opcode that
// tells a stream which is only a stop from one cut off inside its first
// operation, when neither produced anything.
class FirstByteKept final : public ByteSource {
 public:
  explicit FirstByteKept(ByteSource& source) : source_(source) {}
  std::size_t Read(std::uint8_t* destination, std::size_t count) override {
    const std::size_t got = source_.Read(destination, count);
    if (!seen_ && got != 0) {
      first_ = destination[0];
      seen_ = true;
    }
    return got;
  }
  bool IsBareStop() const { return seen_ && first_ == kBareStop; }

 private:
  static constexpr std::uint8_t kBareStop = 0xFC;  // a stop without literals
  ByteSource& source_;
  std::uint8_t first_ = 0;
  bool seen_ = false;
};

// The image a .crp holds, from its first byte on: expanded when the file
// starts with the stream magic, the whole file otherwise. `size` (at least
// 16) is the file's length.
FileImage ExpandCrp(BufferAllocator& buffers, FileBytes& file, std::uint64_t size, const std::string& file_name) {
  std::uint8_t start[kLzHeaderSize];
  if (file.Read(start, 4) != 4) throw ArchiveError(texts::FileCouldNotBeOpened(file_name));
  if (start[0] != kLzMagic0 || start[1] != kLzMagic1) {
    if (!file.Rewind()) throw ArchiveError(texts::FileCouldNotBeOpened(file_name));
    return ReadWhole(buffers, file, size, file_name);
  }
  if (file.Read(start + 4, 1) != 1) throw ArchiveError(texts::FileCouldNotBeOpened(file_name));
  FileImage expanded{AllocateBuffer(buffers, LoadBe24(start + 2))};
  FirstByteKept stream(file);
  const LzStatus status =
      DecodeLz(stream, {expanded.image.bytes.get(), expanded.image.size}, expanded.produced);
  // A stream that asks for bytes past the size it announced, or for a copy
  // from before its start, is damaged as a whole.
  if (status == LzStatus::kOverrun || status == LzStatus::kBadDistance) {
    throw ArchiveError(texts::FileIsInvalidCrp(file_name));
  }
  // One that stopped early is judged by what the parser needs of it. A bare
  // stop, though, is a whole stream that describes no byte at all: its image
  // is the zeros of the size it announced, which read as an empty archive.
  if (expanded.produced == 0 && stream.IsBareStop()) expanded.produced = expanded.image.size;
  return expanded;
}

// A record or block the parser needs from past the bytes a stream produced
// makes the file damaged: the zeros there would otherwise be read as the
// archive's own empty records or data.
// The image is spent by the parse: nothing reads it afterwards, so the
// parser may give it back to its allocator as it goes.
Archive ParseChecked(const FileImage& read, const std::string& file_name) {
  Archive archive = ParsePartialImage(read.image.bytes.get(), read.image.size, read.produced,
                                      texts::FileIsInvalidCrp(file_name), read.image.bytes.get_deleter().allocator);
  if (!archive.IsValid()) throw ArchiveError(texts::FileIsInvalidCrp(file_name));
  return archive;
}

// Both readers: the image is taken from the file, and the file closed,
// before the parser sees it.
template <typename TakeImage>
Archive ReadFromDisk(const std::string& file_name, TakeImage take_image) {
  RequireName(file_name);
  FileImage read;
  {
    std::uint64_t file_size = 0;
    InputFile file = OpenForReading(file_name, file_size);
    DiskBytes bytes(file);
    read = take_image(bytes, file_size);
  }
  return ParseChecked(read, file_name);
}

// Gathers small pieces (entries, padding, short blocks) into large writes;
// pieces as large as the buffer go straight through.
class FileSink final : public ByteSink {
 public:
  explicit FileSink(ReplacingFile& file) : file_(file) {}
  void Append(const std::uint8_t* bytes, std::size_t count) override {
    if (count > buffer_.size() - used_) Flush();
    if (count >= buffer_.size()) {
      file_.Write(bytes, count);
      return;
    }
    std::memcpy(buffer_.data() + used_, bytes, count);
    used_ += count;
  }
  void Flush() {
    if (used_ != 0) file_.Write(buffer_.data(), used_);
    used_ = 0;
  }

 private:
  ReplacingFile& file_;
  std::array<std::uint8_t, 64 * 1024> buffer_;
  std::size_t used_ = 0;
};

}  // namespace

Archive ArchiveCodec::ReadCrp(const std::string& file_name) const {
  return TranslatingMemoryFailure([&] {
    return ReadFromDisk(file_name, [&](FileBytes& bytes, std::uint64_t size) {
      return ExpandCrp(buffers(), bytes, size, file_name);
    });
  });
}

Archive ArchiveCodec::ReadCrpBytes(std::span<const std::uint8_t> file_bytes,
                                   const std::string& file_name) const {
  return TranslatingMemoryFailure([&] {
    if (file_bytes.size() < 16) throw ArchiveError(texts::FileHasInvalidSize(file_name));
    MemoryBytes bytes(file_bytes);
    return ParseChecked(ExpandCrp(buffers(), bytes, file_bytes.size(), file_name), file_name);
  });
}

Archive ArchiveCodec::ReadDrp(const std::string& file_name) const {
  return TranslatingMemoryFailure([&] {
    return ReadFromDisk(file_name, [&](FileBytes& bytes, std::uint64_t size) {
      return ReadWhole(buffers(), bytes, size, file_name);
    });
  });
}

void ArchiveCodec::WriteDrp(const Archive& archive, const std::string& file_name) const {
  return TranslatingMemoryFailure([&] {
    RequireName(file_name);
    if (!archive.IsValid()) throw ArchiveError(texts::FileIsInvalidCrp(file_name));
    // Everything that can fail short of the disk happens before the file is
    // touched; the blocks then go from the model to the file, so the whole
    // image never sits in memory.
    const ImageDirectory directory = LayOutDirectory(archive, buffers());
    ReplacingFile file(files_, file_name);
    auto sink = std::make_unique<FileSink>(file);
    AppendImage(archive, directory, *sink);
    sink->Flush();
    file.Commit();
  });
}

void ArchiveCodec::WriteCrp(const Archive& archive, const std::string& file_name) const {
  return TranslatingMemoryFailure([&] {
    RequireName(file_name);
    if (!archive.IsValid()) throw ArchiveError(texts::FileIsInvalidCrp(file_name));
    const ImageBuffer image = BuildImage(archive);
    if (image.size > kLzMaxImageSize) throw ArchiveError(texts::kTooLargeForCrp);
    ReplacingFile file(files_, file_name);
    auto sink = std::make_unique<FileSink>(file);
    EncodeLz(image.view(), *sink);
    sink->Flush();
    file.Commit();
  });
}

}  // namespace packrat
