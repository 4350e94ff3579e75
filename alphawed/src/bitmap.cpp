#include "alphawed/bitmap.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>

#define STBI_NO_STDIO
#include <stb_image.h>

#include "platform/platform.h"
#include "stb_allocation.h"

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

std::uint16_t ReadU16(std::span<const std::uint8_t> b, size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t ReadU32(std::span<const std::uint8_t> b, size_t at) {
  return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
         (std::uint32_t{b[at + 3]} << 24);
}

std::int32_t ReadI32(std::span<const std::uint8_t> b, size_t at) {
  return static_cast<std::int32_t>(ReadU32(b, at));
}

// The BMP file header and the fields of the info header that decide how many
// bytes the pixels take. The decoder trusts a header and reads missing bytes
// as zeros, so a file cut short would come out as a black picture; checking
// the layout here first turns that into a refusal.
struct BmpLayout {
  static constexpr size_t kFileHeaderSize = 14;
  static constexpr size_t kMaskBytes = 12;  // bit-field masks after a 40-byte info header
  static constexpr std::uint32_t kPlain = 0;
  static constexpr std::uint32_t kBitFields = 3;

  std::uint32_t pixel_offset = 0;
  std::uint32_t info_size = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;  // negative: rows stored top-down
  std::uint16_t planes = 0;
  std::uint16_t bits_per_pixel = 0;
  std::uint32_t compression = kPlain;

  // Reads the headers; nullopt when the bytes are too few to hold them.
  static std::optional<BmpLayout> Read(std::span<const std::uint8_t> b) {
    if (b.size() < kFileHeaderSize + 4) return std::nullopt;
    BmpLayout layout;
    layout.pixel_offset = ReadU32(b, 10);
    layout.info_size = ReadU32(b, 14);
    if (b.size() < kFileHeaderSize + std::uint64_t{layout.info_size}) return std::nullopt;
    if (layout.info_size == 12) {  // the old core header: 16-bit sides, no compression field
      layout.width = ReadU16(b, 18);
      layout.height = ReadU16(b, 20);
      layout.planes = ReadU16(b, 22);
      layout.bits_per_pixel = ReadU16(b, 24);
    } else if (layout.info_size >= 40) {
      layout.width = ReadI32(b, 18);
      layout.height = ReadI32(b, 22);
      layout.planes = ReadU16(b, 26);
      layout.bits_per_pixel = ReadU16(b, 28);
      layout.compression = ReadU32(b, 30);
    }
    return layout;
  }

  // Where the headers (and the masks that may follow them) end.
  std::uint64_t HeadersEnd() const {
    std::uint64_t end = kFileHeaderSize + std::uint64_t{info_size};
    if (info_size == 40 && compression == kBitFields) end += kMaskBytes;
    return end;
  }

  bool IsDecodable() const {
    const bool known_header =
        info_size == 12 || info_size == 40 || info_size == 56 || info_size == 108 || info_size == 124;
    const bool known_depth = bits_per_pixel == 1 || bits_per_pixel == 4 || bits_per_pixel == 8 ||
                             bits_per_pixel == 16 || bits_per_pixel == 24 || bits_per_pixel == 32;
    const bool known_compression = compression == kPlain || (compression == kBitFields &&
                                                             (bits_per_pixel == 16 || bits_per_pixel == 32));
    return known_header && known_depth && known_compression && planes == 1 && width > 0 && height != 0;
  }

  std::uint64_t Rows() const { return static_cast<std::uint64_t>(height < 0 ? -height : height); }

  // Bytes from the pixel offset to the end of the last row's pixels; every
  // row but the last is padded to four bytes.
  std::uint64_t PixelBytes() const {
    const std::uint64_t row_bits = static_cast<std::uint64_t>(width) * bits_per_pixel;
    const std::uint64_t stride = (row_bits + 31) / 32 * 4;
    return stride * (Rows() - 1) + (row_bits + 7) / 8;
  }
};

struct StbFree {
  void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

LoadResult Failure(LoadError error) { return LoadResult{std::nullopt, error}; }

// The commonest kind, 24 bits a pixel without compression, decoded here in
// one pass straight into the bitmap: the general decoder takes it a byte at a
// time and leaves a buffer to copy. The result is the same: blue, green, red
// turned around, and the rows put top first. The layout has been checked, so
// every row lies inside `bytes`.
LoadResult DecodeTrueColour(std::span<const std::uint8_t> bytes, const BmpLayout& layout) {
  const auto width = static_cast<size_t>(layout.width);
  const auto height = static_cast<size_t>(layout.Rows());
  const size_t stride = (width * 3 + 3) / 4 * 4;
  std::vector<std::uint8_t> rgb(width * height * 3);
  const std::uint8_t* const pixels = bytes.data() + layout.pixel_offset;
  for (size_t y = 0; y < height; ++y) {
    const size_t stored_row = layout.height < 0 ? y : height - 1 - y;
    const std::uint8_t* in = pixels + stored_row * stride;
    std::uint8_t* out = rgb.data() + y * width * 3;
    for (size_t x = 0; x < width; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
  return LoadResult{Bitmap(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), std::move(rgb)),
                    LoadError::kUnreadable};
}

}  // namespace

LoadResult DecodeBmp(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') return Failure(LoadError::kNotBmp);
  if (bytes.size() > kMaxFileBytes) return Failure(LoadError::kTooLarge);
  const std::optional<BmpLayout> layout = BmpLayout::Read(bytes);
  if (!layout || !layout->IsDecodable()) return Failure(LoadError::kDamaged);

  const auto width = static_cast<std::uint64_t>(layout->width);
  const std::uint64_t height = layout->Rows();
  if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
    return Failure(LoadError::kTooLarge);
  }
  if (layout->pixel_offset < layout->HeadersEnd() || layout->pixel_offset > bytes.size() ||
      layout->PixelBytes() > bytes.size() - layout->pixel_offset) {
    return Failure(LoadError::kDamaged);
  }

  if (layout->bits_per_pixel == 24 && layout->compression == BmpLayout::kPlain) {
    return DecodeTrueColour(bytes, *layout);
  }

  // The size limits above keep every count below well inside an int.
  int decoded_width = 0;
  int decoded_height = 0;
  int channels_in_file = 0;
  stb_memory::Reset();
  const std::unique_ptr<stbi_uc, StbFree> pixels(
      stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &decoded_width, &decoded_height,
                            &channels_in_file, STBI_rgb));
  // The headers were checked above, so a refusal is most likely the decoder
  // running out of memory; that must not be reported as a damaged file.
  if (!pixels && stb_memory::RanOut()) throw std::bad_alloc();
  if (!pixels || static_cast<std::uint64_t>(decoded_width) != width ||
      static_cast<std::uint64_t>(decoded_height) != height) {
    return Failure(LoadError::kDamaged);
  }
  const size_t size = static_cast<size_t>(width * height * 3);
  std::vector<std::uint8_t> rgb(pixels.get(), pixels.get() + size);
  return LoadResult{
      Bitmap(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), std::move(rgb)),
      LoadError::kUnreadable};
}

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

LoadResult LoadBmpFile(const std::string& path) {
  if (platform::FindEntry(path) != platform::EntryKind::kFile) return Failure(LoadError::kUnreadable);
  // The name as stored on disk, so a name given in other capitals opens too.
  const std::string stored = platform::LongPathName(path).value_or(path);
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(stored.c_str(), "rb"));
  if (!file) return Failure(LoadError::kUnreadable);

  // Read until the end rather than trusting a size: that works for files of
  // any length on every system and stops at the cap without reading on. The
  // length the system tells only reserves room, so a file of that length is
  // read in one piece into one buffer; a file that has grown, or a system
  // that cannot tell, is still read whole, a block at a time.
  std::vector<std::uint8_t> bytes;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long told = std::ftell(file.get());
    if (told > 0 && static_cast<std::uint64_t>(told) <= kMaxFileBytes) bytes.reserve(static_cast<size_t>(told) + 1);
  }
  if (std::fseek(file.get(), 0, SEEK_SET) != 0) return Failure(LoadError::kUnreadable);
  constexpr size_t kBlock = size_t{1} << 20;
  while (true) {
    const size_t had = bytes.size();
    if (had > kMaxFileBytes) return Failure(LoadError::kTooLarge);
    const size_t want = bytes.capacity() > had ? bytes.capacity() - had : kBlock;
    bytes.resize(had + want);
    const size_t got = std::fread(bytes.data() + had, 1, want, file.get());
    bytes.resize(had + got);
    if (got < want) break;
  }
  if (std::ferror(file.get())) return Failure(LoadError::kUnreadable);
  return DecodeBmp(bytes);
}

}  // namespace alphawed
