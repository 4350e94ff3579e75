#include "alphawed/bitmap.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>

#include "platform/platform.h"

namespace alphawed {

Bitmap::Bitmap(std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t> rgb)
    : width_(width), height_(height), rgb_(std::move(rgb)) {
  if (rgb_.size() != std::uint64_t{width_} * height_ * 3) {
    throw std::invalid_argument("Bitmap: pixel buffer does not match its size");
  }
}

Rgb Bitmap::PixelAt(std::uint32_t x, std::uint32_t y) const {
  if (x >= width_ || y >= height_) return Rgb{255, 255, 255};
  const std::uint8_t* p = Row(y) + size_t{x} * 3;
  return Rgb{p[0], p[1], p[2]};
}

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

namespace {

LoadResult Failure(LoadError error) { return LoadResult{std::nullopt, error}; }

std::unique_ptr<std::FILE, FileCloser> OpenFile(const std::string& path) {
  if (platform::FindEntry(path) != platform::EntryKind::kFile) return nullptr;
  // The name as stored on disk, so a name given in other capitals opens too.
  const std::string stored = platform::LongPathName(path).value_or(path);
  return std::unique_ptr<std::FILE, FileCloser>(std::fopen(stored.c_str(), "rb"));
}

// The whole file, or the error that stopped its reading.
struct FileBytes {
  std::vector<std::uint8_t> bytes;
  std::optional<LoadError> error;
};

// Positions beyond 2 GiB need the 64-bit forms of seek and tell.
bool SeekTo(std::FILE* file, std::uint64_t at) {
  if (at > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(at), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(at), SEEK_SET) == 0;
#endif
}

std::optional<std::uint64_t> FileLength(std::FILE* file) {
#ifdef _WIN32
  if (_fseeki64(file, 0, SEEK_END) != 0) return std::nullopt;
  const __int64 length = _ftelli64(file);
#else
  if (fseeko(file, 0, SEEK_END) != 0) return std::nullopt;
  const off_t length = ftello(file);
#endif
  if (length < 0) return std::nullopt;
  return static_cast<std::uint64_t>(length);
}

FileBytes ReadWholeFile(const std::unique_ptr<std::FILE, FileCloser>& file) {
  // Read until the end rather than trusting a size: that works for files of
  // any length on every system and stops at the cap without reading on. The
  // length the system tells only reserves room, so a file of that length is
  // read in one piece into one buffer; a file that has grown, or a system
  // that cannot tell, is still read whole, a block at a time.
  FileBytes read;
  std::vector<std::uint8_t>& bytes = read.bytes;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long told = std::ftell(file.get());
    if (told > 0 && static_cast<std::uint64_t>(told) <= kMaxFileBytes)
      bytes.reserve(static_cast<size_t>(told) + 1);
  }
  if (std::fseek(file.get(), 0, SEEK_SET) != 0) return {{}, LoadError::kUnreadable};
  constexpr size_t kBlock = size_t{1} << 20;
  while (true) {
    const size_t had = bytes.size();
    if (had > kMaxFileBytes) return {{}, LoadError::kTooLarge};
    const size_t want = bytes.capacity() > had ? bytes.capacity() - had : kBlock;
    bytes.resize(had + want);
    const size_t got = std::fread(bytes.data() + had, 1, want, file.get());
    bytes.resize(had + got);
    if (got < want) break;
  }
  if (std::ferror(file.get())) return {{}, LoadError::kUnreadable};
  return read;
}

}  // namespace

LoadResult LoadBmpFile(const std::string& path) {
  const std::unique_ptr<std::FILE, FileCloser> file = OpenFile(path);
  if (!file) return Failure(LoadError::kUnreadable);
  const FileBytes read = ReadWholeFile(file);
  if (read.error) return Failure(*read.error);
  return DecodeBmp(read.bytes);
}

LoadResult LoadBmpFile(const std::string& path, Sides corner) {
  const std::unique_ptr<std::FILE, FileCloser> file = OpenFile(path);
  if (!file) return Failure(LoadError::kUnreadable);
  // A file too long to hold is read only where the corner lies.
  const std::optional<std::uint64_t> length = FileLength(file.get());
  if (length && *length > kMaxFileBytes) {
    std::FILE* const f = file.get();
    return DecodeBmpCorner(
        *length,
        [f](std::uint64_t at, std::span<std::uint8_t> out) {
          return SeekTo(f, at) && std::fread(out.data(), 1, out.size(), f) == out.size();
        },
        corner);
  }
  const FileBytes read = ReadWholeFile(file);
  if (read.error) return Failure(*read.error);
  return DecodeBmp(read.bytes, corner);
}

std::optional<Sides> ReadBmpFileSides(const std::string& path) {
  const std::unique_ptr<std::FILE, FileCloser> file = OpenFile(path);
  if (!file) return std::nullopt;
  std::uint8_t headers[kBmpHeadersBytes];
  const size_t got = std::fread(headers, 1, sizeof headers, file.get());
  return ReadBmpSides(std::span<const std::uint8_t>(headers, got));
}

}  // namespace alphawed
