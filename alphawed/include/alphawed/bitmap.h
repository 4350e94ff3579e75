// A decoded bitmap held in memory, and the loading of BMP files into one.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace alphawed {

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Pixels as red, green, blue bytes, the top row first, each row from the left.
class Bitmap {
 public:
  // `rgb` must hold width * height * 3 bytes.
  Bitmap(std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t> rgb);

  std::uint32_t width() const { return width_; }
  std::uint32_t height() const { return height_; }

  // The pixel at column x, row y from the top-left corner. Positions outside
  // the bitmap read as the colour with every bit set, so all components are 255.
  Rgb PixelAt(std::uint32_t x, std::uint32_t y) const;

  // Row y (0 is the top) as width * 3 bytes.
  const std::uint8_t* Row(std::uint32_t y) const { return rgb_.data() + size_t{y} * width_ * 3; }

 private:
  std::uint32_t width_;
  std::uint32_t height_;
  std::vector<std::uint8_t> rgb_;
};

enum class LoadError {
  kUnreadable,  // missing, a folder, or the read failed
  kNotBmp,      // does not start with "BM"
  kDamaged,     // header or pixel data invalid or cut short, or a kind we cannot decode
  kTooLarge,    // more pixels or a longer side than a TGA picture or this program holds
};

struct LoadResult {
  std::optional<Bitmap> bitmap;
  LoadError error = LoadError::kUnreadable;  // meaningful only without a bitmap
};

// Bitmaps are refused beyond these limits: a TGA side is a 16-bit number, and
// the pixel cap bounds the memory a header can make us allocate.
inline constexpr std::uint32_t kMaxSide = 65535;
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 27;
// The largest file that can hold such a bitmap (32 bits a pixel) with its headers.
inline constexpr std::uint64_t kMaxFileBytes = kMaxPixels * 4 + (std::uint64_t{1} << 20);

// The sides of a picture, or of the part of it to keep.
struct Sides {
  std::uint64_t width = 0;
  std::uint64_t height = 0;
};

// Decodes a BMP held in memory, as published: the 12-byte core header and
// the 40, 52, 56, 108 and 124-byte info headers; 1, 4 and 8 bits per pixel
// with a palette (an index beyond the palette the file gives reads as black),
// also run-length compressed at 8 and 4 bits (pixels the stream skips stay
// black); 16 and 32 bits with the default masks or with bit-field masks of
// any width; 24 bits; rows bottom-up or top-down; any gap before the pixels.
// Running out of memory raises std::bad_alloc.
LoadResult DecodeBmp(std::span<const std::uint8_t> bytes);

// The same for only the top-left corner of the picture, up to `corner`: the
// whole file is checked, but only the kept part is held, so the picture's
// own size has no limit (a result larger than kMaxSide or kMaxPixels is
// still refused as too large).
LoadResult DecodeBmp(std::span<const std::uint8_t> bytes, Sides corner);

// The corner of a BMP file too long to hold in memory, reading only its
// headers and the part of each row the corner needs through `read`, which
// fills `out` from byte `at` of the file (false when it cannot). The whole
// file is checked as DecodeBmp checks it, but the pixels outside the corner
// are not read; a run-length compressed file of that length, whose rows can
// only be found by reading it through, is refused as too large.
inline constexpr size_t kHeadBytes = 14 + 124 + 16 + 256 * 4;  // headers, masks, palette at most
using ReadAt = std::function<bool(std::uint64_t at, std::span<std::uint8_t> out)>;
LoadResult DecodeBmpCorner(std::uint64_t file_length, const ReadAt& read, Sides corner);

// The sides the headers give, without the pixels: nullopt when `headers` is
// not a BMP or its headers are cut short or invalid. The headers take at most
// kBmpHeadersBytes.
inline constexpr size_t kBmpHeadersBytes = 14 + 124;
std::optional<Sides> ReadBmpSides(std::span<const std::uint8_t> headers);

// Reads the whole file (its name matched as the file system matches names)
// and decodes it, whole or only its top-left corner. The whole picture is
// decoded from the file held in memory, so a longer file than kMaxFileBytes
// is refused as too large; for a corner, a file that long is read only in
// the parts that corner needs (DecodeBmpCorner).
LoadResult LoadBmpFile(const std::string& path);
LoadResult LoadBmpFile(const std::string& path, Sides corner);

// The sides of the picture in a BMP file, from its headers alone; nullopt
// when it cannot be read or is no valid BMP.
std::optional<Sides> ReadBmpFileSides(const std::string& path);

}  // namespace alphawed
