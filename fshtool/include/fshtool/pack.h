// Reading FSH texture packs: the header, the directory, and each object's
// chain of records decoded into a plain RGBA picture.
//
// All reads are bounded by the bytes held; a damaged object never takes the
// rest of the pack with it (DecodeObject reports it and the caller goes on).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace fshtool {

// A pack that cannot be read at all (not an FSH pack, damaged compression,
// a directory that runs past the end of the file).
class FshError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Record codes (the low seven bits of a record header's first byte).
namespace codes {
inline constexpr std::uint8_t kCompressedFlag = 0x80;
inline constexpr std::uint8_t kBgra8888 = 0x7D;
inline constexpr std::uint8_t kBgr888 = 0x7F;
inline constexpr std::uint8_t kArgb1555 = 0x7E;
inline constexpr std::uint8_t kRgb565 = 0x78;
inline constexpr std::uint8_t kArgb4444 = 0x6D;
inline constexpr std::uint8_t kIndexed8 = 0x7B;
inline constexpr std::uint8_t kDxt1 = 0x60;
inline constexpr std::uint8_t kDxt3 = 0x61;
inline constexpr std::uint8_t kPalette8888 = 0x2A;
inline constexpr std::uint8_t kPalette888 = 0x24;
inline constexpr std::uint8_t kPalette1555 = 0x2D;
inline constexpr std::uint8_t kPalette666 = 0x22;
}  // namespace codes

bool IsImageCode(std::uint8_t kind);
bool IsPaletteCode(std::uint8_t kind);

// The 16-byte pack header.
struct PackHeader {
  static constexpr std::size_t kSize = 16;
  std::uint32_t file_size = 0;
  std::uint32_t entry_count = 0;
  std::string directory_id;  // four raw bytes
  // Requires kSize bytes; false when the magic "SHPI" is missing.
  static bool Read(const std::uint8_t* p, PackHeader& out);
};

// One 8-byte directory entry.
struct DirectoryEntry {
  static constexpr std::size_t kSize = 8;
  std::string name;  // four raw bytes, cut at the first zero byte
  std::uint32_t offset = 0;
  static DirectoryEntry Read(const std::uint8_t* p);
};

// The 16-byte header in front of every record.
struct RecordHeader {
  static constexpr std::size_t kSize = 16;
  std::uint8_t code = 0;          // full byte: kind plus the compressed flag
  std::uint32_t next_offset = 0;  // from this header to the next record; 0 for the last
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint16_t centre_x = 0;
  std::uint16_t centre_y = 0;
  std::uint16_t x_position = 0;
  std::uint16_t y_position = 0;  // top four bits: number of smaller mip levels
  static RecordHeader Read(const std::uint8_t* p);
  std::uint8_t Kind() const { return code & 0x7F; }
  bool IsCompressed() const { return (code & codes::kCompressedFlag) != 0; }
  unsigned MipLevels() const { return y_position >> 12; }
};

// A decoded image, top row first, four bytes per pixel (R, G, B, A).
struct Picture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;
  // Whether an alpha bitmap belongs with the picture: decided by the pixel
  // kind, except for DXT1, where only transparent texels make it carry alpha.
  bool has_alpha = false;
};

enum class ObjectKind {
  kImage,    // decoded into `picture`
  kPalette,  // a palette object: no image of its own
  kBroken,   // skipped; `problem` says why
};

struct DecodedObject {
  ObjectKind kind = ObjectKind::kBroken;
  std::uint8_t code = 0;    // pixel kind of an image
  unsigned mip_levels = 0;  // smaller levels stored after the full-size image
  Picture picture;
  std::string problem;
};

class PackReader {
 public:
  // Takes the whole file; expands it first when it is LZ-compressed.
  // Throws FshError when it is not a readable pack.
  explicit PackReader(std::vector<std::uint8_t> file);

  bool WasCompressed() const { return was_compressed_; }
  const std::string& DirectoryId() const { return directory_id_; }
  const std::vector<DirectoryEntry>& Entries() const { return entries_; }

  // Decodes the object of directory entry `index` (full-size image only).
  DecodedObject DecodeObject(std::size_t index) const;

 private:
  struct Palette;
  bool FindGlobalPalette(Palette& out) const;

  std::vector<std::uint8_t> bytes_;
  bool was_compressed_ = false;
  std::string directory_id_;
  std::vector<DirectoryEntry> entries_;
  std::vector<std::uint32_t> sorted_offsets_;  // where objects begin, in file order
};

}  // namespace fshtool
