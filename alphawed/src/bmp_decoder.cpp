// Our own reader of the published BMP format. Every header is read into one
// record and validated in one place (ReadLayout), with 64-bit arithmetic and
// without trusting any count, before a byte of pixels is allocated; the pixel
// loops then run over the output's rows and columns, so a damaged file can
// make them read nothing outside the checked ranges and write nothing
// outside the bitmap.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "alphawed/bitmap.h"

namespace alphawed {

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

// The 14-byte file header: signature, file size, two reserved words, and
// where the pixels start.
struct BmpFileHeader {
  static constexpr size_t kSize = 14;
  static constexpr size_t kPixelOffsetAt = 10;

  std::uint32_t pixel_offset = 0;

  static BmpFileHeader Read(std::span<const std::uint8_t, kSize> in) {
    return BmpFileHeader{ReadU32(in, kPixelOffsetAt)};
  }
};

// The kinds of pixel storage a header can name.
enum class Compression : std::uint32_t {
  kNone = 0,
  kRle8 = 1,
  kRle4 = 2,
  kBitFields = 3,
  kAlphaBitFields = 6,
};

// The info header in any of its published sizes: the 12-byte core header of
// the first versions (16-bit sides, no compression, 3-byte palette entries)
// and the 40-byte header with its longer successors (52 and 56 bytes, which
// add the colour masks, then the 108-byte fourth and 124-byte fifth
// versions). Fields past the masks (colour space, profile) do not change
// the pixels we produce.
struct BmpInfoHeader {
  static constexpr std::uint32_t kCoreSize = 12;
  static constexpr std::uint32_t kInfoSize = 40;
  static constexpr size_t kSizeAt = 0;
  static constexpr size_t kMasksAt = 40;  // red, green, blue, alpha masks in the longer headers

  std::uint32_t size = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;  // negative: rows stored top-down
  std::uint16_t planes = 0;
  std::uint16_t bits_per_pixel = 0;
  std::uint32_t compression = 0;
  std::uint32_t colours_used = 0;
  std::array<std::uint32_t, 3> masks{};  // red, green, blue when the header carries them

  static bool IsKnownSize(std::uint32_t size) {
    return size == kCoreSize || size == kInfoSize || size == 52 || size == 56 || size == 108 || size == 124;
  }

  // `in` holds the whole header, `size` bytes.
  static BmpInfoHeader Read(std::span<const std::uint8_t> in) {
    BmpInfoHeader header;
    header.size = ReadU32(in, kSizeAt);
    if (header.size == kCoreSize) {
      header.width = ReadU16(in, 4);
      header.height = ReadU16(in, 6);
      header.planes = ReadU16(in, 8);
      header.bits_per_pixel = ReadU16(in, 10);
      return header;
    }
    header.width = ReadI32(in, 4);
    header.height = ReadI32(in, 8);
    header.planes = ReadU16(in, 12);
    header.bits_per_pixel = ReadU16(in, 14);
    header.compression = ReadU32(in, 16);
    header.colours_used = ReadU32(in, 32);
    if (header.size > kInfoSize) {
      for (size_t i = 0; i < header.masks.size(); ++i) header.masks[i] = ReadU32(in, kMasksAt + 4 * i);
    }
    return header;
  }
};

// One colour component taken from a pixel value by its mask and widened or
// narrowed to eight bits: a narrow field repeats its bits downwards (five
// bits abcde give abcdeabc), so its largest value gives 255; a wide one
// keeps its top eight bits.
struct MaskedComponent {
  std::uint32_t mask = 0;
  int shift = 0;
  int width = 0;
  std::array<std::uint8_t, 256> widened{};  // for fields of up to eight bits

  explicit MaskedComponent(std::uint32_t m) : mask(m) {
    if (mask == 0) return;
    shift = std::countr_zero(mask);
    width = static_cast<int>(std::bit_width(mask >> shift));
    if (width > 8) return;
    for (std::uint32_t v = 0; v < (1u << width); ++v) {
      std::uint32_t wide = 0;
      for (int filled = 0; filled < 8; filled += width) wide |= (v << (8 - width)) >> filled;
      widened[v] = static_cast<std::uint8_t>(wide);
    }
  }

  std::uint8_t From(std::uint32_t pixel) const {
    const std::uint32_t v = (pixel & mask) >> shift;
    return width <= 8 ? widened[v] : static_cast<std::uint8_t>(v >> (width - 8));
  }
};

// Everything decoding needs, taken from the headers and checked against the
// file's length.
struct Layout {
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  bool top_down = false;
  std::uint32_t bits_per_pixel = 0;
  Compression compression = Compression::kNone;
  std::array<Rgb, 256> palette{};  // entries the file does not give stay black
  std::array<std::uint32_t, 3> masks{};
  std::uint64_t pixel_offset = 0;
  std::uint64_t stride = 0;  // bytes a stored row takes, padding included

  std::uint64_t StoredRow(std::uint64_t y) const { return top_down ? y : height - 1 - y; }
};

constexpr std::uint64_t kMaskBytes = 12;       // three masks after a 40-byte header
constexpr std::uint64_t kAlphaMaskBytes = 16;  // four, with the alpha mask

bool DepthFits(const BmpInfoHeader& h, Compression compression) {
  const std::uint32_t bits = h.bits_per_pixel;
  if (h.size == BmpInfoHeader::kCoreSize) return bits == 1 || bits == 4 || bits == 8 || bits == 24;
  switch (compression) {
    case Compression::kNone:
      return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case Compression::kRle8:
      return bits == 8;
    case Compression::kRle4:
      return bits == 4;
    case Compression::kBitFields:
    case Compression::kAlphaBitFields:
      return bits == 16 || bits == 32;
  }
  return false;
}

bool IsKnownCompression(std::uint32_t value) {
  return value == 0 || value == 1 || value == 2 || value == 3 || value == 6;
}

std::optional<BmpInfoHeader> ReadInfoHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < BmpFileHeader::kSize + 4) return std::nullopt;
  const std::uint32_t size = ReadU32(bytes, BmpFileHeader::kSize);
  if (!BmpInfoHeader::IsKnownSize(size) || bytes.size() - BmpFileHeader::kSize < size) return std::nullopt;
  const BmpInfoHeader header = BmpInfoHeader::Read(bytes.subspan(BmpFileHeader::kSize, size));
  if (header.width <= 0 || header.height == 0 || header.planes != 1) return std::nullopt;
  if (!IsKnownCompression(header.compression)) return std::nullopt;
  if (!DepthFits(header, static_cast<Compression>(header.compression))) return std::nullopt;
  return header;
}

Sides SidesOf(const BmpInfoHeader& info) {
  const std::int64_t height = info.height < 0 ? -info.height : info.height;
  return Sides{static_cast<std::uint64_t>(info.width), static_cast<std::uint64_t>(height)};
}

// Validates the headers against the file; nullopt for a damaged file.
// `head` holds the file's first bytes, at least up to the end of the
// palette, which lies within kHeadBytes; `file_length` is the whole file's.
std::optional<Layout> ReadLayout(std::span<const std::uint8_t> head, std::uint64_t file_length,
                                 const BmpInfoHeader& info) {
  const std::span<const std::uint8_t> bytes = head;
  Layout layout;
  const Sides sides = SidesOf(info);
  layout.width = sides.width;
  layout.height = sides.height;
  layout.top_down = info.height < 0;
  layout.bits_per_pixel = info.bits_per_pixel;
  layout.compression = static_cast<Compression>(info.compression);
  layout.pixel_offset = BmpFileHeader::Read(bytes.first<BmpFileHeader::kSize>()).pixel_offset;

  std::uint64_t headers_end = BmpFileHeader::kSize + std::uint64_t{info.size};
  layout.masks = info.masks;
  const bool bit_fields =
      layout.compression == Compression::kBitFields || layout.compression == Compression::kAlphaBitFields;
  if (bit_fields && info.size == BmpInfoHeader::kInfoSize) {
    // The masks follow the short header; the alpha mask, if any, is not used.
    headers_end += layout.compression == Compression::kAlphaBitFields ? kAlphaMaskBytes : kMaskBytes;
    if (headers_end > bytes.size()) return std::nullopt;
    for (size_t i = 0; i < layout.masks.size(); ++i) {
      layout.masks[i] = ReadU32(bytes, BmpFileHeader::kSize + BmpInfoHeader::kInfoSize + 4 * i);
    }
  } else if (!bit_fields) {
    layout.masks = layout.bits_per_pixel == 16 ? std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                                               : std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
  }
  if (layout.pixel_offset < headers_end || layout.pixel_offset > file_length) return std::nullopt;

  if (layout.bits_per_pixel <= 8) {
    // The palette lies between the headers and the pixels. It may give fewer
    // entries than the depth can index (the rest stay black) or more (the
    // rest are never used); entries the pixel offset cuts off are not read.
    const std::uint64_t entry = info.size == BmpInfoHeader::kCoreSize ? 3 : 4;
    const std::uint64_t depth_entries = std::uint64_t{1} << layout.bits_per_pixel;
    std::uint64_t entries = info.colours_used != 0 && info.size != BmpInfoHeader::kCoreSize
                                ? std::min<std::uint64_t>(info.colours_used, depth_entries)
                                : depth_entries;
    const std::uint64_t palette_end = std::min<std::uint64_t>(layout.pixel_offset, head.size());
    entries = std::min(entries, palette_end > headers_end ? (palette_end - headers_end) / entry : 0);
    for (std::uint64_t i = 0; i < entries; ++i) {
      const size_t at = static_cast<size_t>(headers_end + i * entry);
      layout.palette[i] = Rgb{bytes[at + 2], bytes[at + 1], bytes[at]};
    }
  }

  const std::uint64_t row_bits = layout.width * layout.bits_per_pixel;  // below 2^37
  layout.stride = (row_bits + 31) / 32 * 4;
  if (layout.compression != Compression::kRle8 && layout.compression != Compression::kRle4) {
    // Every row but the last with its padding, and the last row's pixels,
    // must lie in the file; the product is not formed, as it can pass 2^64.
    const std::uint64_t available = file_length - layout.pixel_offset;
    const std::uint64_t last_row = (row_bits + 7) / 8;
    if (last_row > available || (layout.height - 1) > (available - last_row) / layout.stride) {
      return std::nullopt;
    }
  }
  return layout;
}

LoadResult Failure(LoadError error) { return LoadResult{std::nullopt, error}; }

// The commonest kind, 24 bits a pixel without compression, in one pass of
// byte moves: blue, green, red turned around.
void DecodeTrueColour(const std::uint8_t* pixels, const Layout& layout, size_t width, size_t height,
                      std::uint8_t* out) {
  for (size_t y = 0; y < height; ++y) {
    const std::uint8_t* in = pixels + layout.StoredRow(y) * layout.stride;
    for (size_t x = 0; x < width; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
}

void DecodeRows(const std::uint8_t* pixels, const Layout& layout, size_t width, size_t height,
                std::uint8_t* out) {
  auto put = [&out](const Rgb& c) {
    out[0] = c.red;
    out[1] = c.green;
    out[2] = c.blue;
    out += 3;
  };
  const MaskedComponent red(layout.masks[0]), green(layout.masks[1]), blue(layout.masks[2]);
  const unsigned bits = layout.bits_per_pixel;
  for (size_t y = 0; y < height; ++y) {
    const std::uint8_t* in = pixels + layout.StoredRow(y) * layout.stride;
    for (size_t x = 0; x < width; ++x) {
      switch (bits) {
        case 1:
        case 4:
        case 8: {
          // The leftmost pixel sits in the high bits of its byte.
          const size_t bit = x * bits;
          const unsigned shift = 8 - bits - static_cast<unsigned>(bit % 8);
          put(layout.palette[(in[bit / 8] >> shift) & ((1u << bits) - 1)]);
          break;
        }
        case 16: {
          const std::uint32_t v = std::uint32_t{in[x * 2]} | (std::uint32_t{in[x * 2 + 1]} << 8);
          put(Rgb{red.From(v), green.From(v), blue.From(v)});
          break;
        }
        case 24:
          put(Rgb{in[x * 3 + 2], in[x * 3 + 1], in[x * 3]});
          break;
        default: {
          const std::uint32_t v = std::uint32_t{in[x * 4]} | (std::uint32_t{in[x * 4 + 1]} << 8) |
                                  (std::uint32_t{in[x * 4 + 2]} << 16) | (std::uint32_t{in[x * 4 + 3]} << 24);
          put(Rgb{red.From(v), green.From(v), blue.From(v)});
          break;
        }
      }
    }
  }
}

// Run-length streams of 8 or 4 bits a pixel: a count and a value repeat the
// value (for 4 bits, its two halves in turn); a zero count introduces an
// escape: 0 ends the row, 1 ends the bitmap, 2 moves right and up by the next
// two bytes, larger counts are that many literal pixels, padded to a 16-bit
// boundary. Pixels the stream never reaches stay black; pixels outside the
// kept corner are counted but not written. False when the stream runs out
// before it reaches its end.
bool DecodeRunLengths(std::span<const std::uint8_t> stream, const Layout& layout, size_t width, size_t height,
                      std::uint8_t* out) {
  const bool four_bits = layout.compression == Compression::kRle4;
  std::uint64_t x = 0;
  std::uint64_t row = 0;  // stored order
  auto put = [&](unsigned index) {
    if (x < width) {
      const std::uint64_t y = layout.StoredRow(row);
      if (y < height) {
        std::uint8_t* p = out + (y * width + x) * 3;
        const Rgb& c = layout.palette[index];
        p[0] = c.red;
        p[1] = c.green;
        p[2] = c.blue;
      }
    }
    ++x;
  };
  size_t at = 0;
  while (row < layout.height) {
    if (stream.size() - at < 2) return false;
    const unsigned count = stream[at];
    const unsigned value = stream[at + 1];
    at += 2;
    if (count > 0) {
      // A run past the end of the row is cut there rather than wrapped.
      const std::uint64_t n = std::min<std::uint64_t>(count, layout.width - std::min(x, layout.width));
      for (std::uint64_t i = 0; i < n; ++i) put(four_bits ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
      x += count - n;
      continue;
    }
    switch (value) {
      case 0:
        x = 0;
        ++row;
        break;
      case 1:
        return true;
      case 2:
        if (stream.size() - at < 2) return false;
        x += stream[at];
        row += stream[at + 1];
        at += 2;
        break;
      default: {
        const size_t bytes = four_bits ? (value + 1) / 2 : value;
        const size_t padded = (bytes + 1) / 2 * 2;
        if (stream.size() - at < padded) return false;
        const std::uint64_t n = std::min<std::uint64_t>(value, layout.width - std::min(x, layout.width));
        for (std::uint64_t i = 0; i < n; ++i) {
          const std::uint8_t b = stream[at + (four_bits ? i / 2 : i)];
          put(four_bits ? (i % 2 == 0 ? b >> 4 : b & 0x0Fu) : b);
        }
        x += value - n;
        at += padded;
        break;
      }
    }
  }
  return true;
}

LoadResult Decode(std::span<const std::uint8_t> bytes, std::uint64_t max_width, std::uint64_t max_height) {
  if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') return Failure(LoadError::kNotBmp);
  const std::optional<BmpInfoHeader> info = ReadInfoHeader(bytes);
  if (!info) return Failure(LoadError::kDamaged);
  // The sides kept are checked before the rest of the file, so a picture
  // larger than we hold is named as such even when the file is cut short.
  const Sides sides = SidesOf(*info);
  const std::uint64_t width = std::min(sides.width, max_width);
  const std::uint64_t height = std::min(sides.height, max_height);
  if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels)
    return Failure(LoadError::kTooLarge);
  const std::optional<Layout> layout = ReadLayout(bytes, bytes.size(), *info);
  if (!layout) return Failure(LoadError::kDamaged);

  // Black to start with: run-length streams may skip pixels.
  std::vector<std::uint8_t> rgb(static_cast<size_t>(width * height * 3));
  const auto w = static_cast<size_t>(width);
  const auto h = static_cast<size_t>(height);
  const std::uint8_t* pixels = bytes.data() + layout->pixel_offset;
  if (layout->compression == Compression::kRle8 || layout->compression == Compression::kRle4) {
    if (!DecodeRunLengths(bytes.subspan(layout->pixel_offset), *layout, w, h, rgb.data())) {
      return Failure(LoadError::kDamaged);
    }
  } else if (layout->bits_per_pixel == 24) {
    DecodeTrueColour(pixels, *layout, w, h, rgb.data());
  } else {
    DecodeRows(pixels, *layout, w, h, rgb.data());
  }
  return LoadResult{
      Bitmap(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), std::move(rgb)),
      LoadError::kUnreadable};
}

}  // namespace

LoadResult DecodeBmp(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kMaxFileBytes) return Failure(LoadError::kTooLarge);
  return Decode(bytes, UINT64_MAX, UINT64_MAX);
}

LoadResult DecodeBmp(std::span<const std::uint8_t> bytes, Sides corner) {
  return Decode(bytes, corner.width, corner.height);
}

LoadResult DecodeBmpCorner(std::uint64_t file_length, const ReadAt& read, Sides corner) {
  std::vector<std::uint8_t> head(static_cast<size_t>(std::min<std::uint64_t>(file_length, kHeadBytes)));
  if (!read(0, head)) return Failure(LoadError::kUnreadable);
  if (head.size() < 2 || head[0] != 'B' || head[1] != 'M') return Failure(LoadError::kNotBmp);
  const std::optional<BmpInfoHeader> info = ReadInfoHeader(head);
  if (!info) return Failure(LoadError::kDamaged);
  const Sides sides = SidesOf(*info);
  const std::uint64_t width = std::min(sides.width, corner.width);
  const std::uint64_t height = std::min(sides.height, corner.height);
  if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels)
    return Failure(LoadError::kTooLarge);
  const std::optional<Layout> layout = ReadLayout(head, file_length, *info);
  if (!layout) return Failure(LoadError::kDamaged);
  // A run-length stream has to be read through to find any row; one this
  // long is more than we take.
  if (layout->compression == Compression::kRle8 || layout->compression == Compression::kRle4) {
    return Failure(LoadError::kTooLarge);
  }

  // Only the part of each kept row inside the corner, the rows one after
  // another, top first; decoded as a top-down bitmap of those rows.
  Layout kept = *layout;
  kept.top_down = true;
  kept.height = height;
  kept.stride = (width * layout->bits_per_pixel + 7) / 8;
  const auto w = static_cast<size_t>(width);
  const auto h = static_cast<size_t>(height);
  const auto stride = static_cast<size_t>(kept.stride);
  std::vector<std::uint8_t> rows(stride * h);
  for (size_t y = 0; y < h; ++y) {
    const std::uint64_t at = layout->pixel_offset + layout->StoredRow(y) * layout->stride;
    if (!read(at, std::span<std::uint8_t>(rows.data() + y * stride, stride))) {
      return Failure(LoadError::kUnreadable);
    }
  }
  std::vector<std::uint8_t> rgb(w * h * 3);
  if (layout->bits_per_pixel == 24) {
    DecodeTrueColour(rows.data(), kept, w, h, rgb.data());
  } else {
    DecodeRows(rows.data(), kept, w, h, rgb.data());
  }
  return LoadResult{
      Bitmap(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), std::move(rgb)),
      LoadError::kUnreadable};
}

std::optional<Sides> ReadBmpSides(std::span<const std::uint8_t> headers) {
  if (headers.size() < 2 || headers[0] != 'B' || headers[1] != 'M') return std::nullopt;
  const std::optional<BmpInfoHeader> info = ReadInfoHeader(headers);
  if (!info) return std::nullopt;
  return SidesOf(*info);
}

}  // namespace alphawed
