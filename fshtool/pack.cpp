#include "fshtool/pack.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <utility>

#include "packrat/archive/bytes.h"
#include "packrat/archive/lz.h"

namespace fshtool {

namespace {

using Bytes = std::span<const std::uint8_t>;

std::uint16_t LoadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t LoadLe24(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16;
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

// Widening of packed colour fields so that the full value maps to 255.
constexpr std::uint8_t Expand4(unsigned v) { return static_cast<std::uint8_t>(v * 17); }
constexpr std::uint8_t Expand5(unsigned v) { return static_cast<std::uint8_t>(v << 3 | v >> 2); }
constexpr std::uint8_t Expand6(unsigned v) { return static_cast<std::uint8_t>(v << 2 | v >> 4); }

struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
};

Rgba From565(unsigned v) { return {Expand5(v >> 11 & 31), Expand6(v >> 5 & 63), Expand5(v & 31), 255}; }
Rgba From1555(unsigned v) {
  return {Expand5(v >> 10 & 31), Expand5(v >> 5 & 31), Expand5(v & 31),
          static_cast<std::uint8_t>((v & 0x8000) != 0 ? 255 : 0)};
}
Rgba From4444(unsigned v) { return {Expand4(v >> 8 & 15), Expand4(v >> 4 & 15), Expand4(v & 15), Expand4(v >> 12)}; }

void Put(std::uint8_t* out, Rgba c) {
  out[0] = c.r;
  out[1] = c.g;
  out[2] = c.b;
  out[3] = c.a;
}

// Bytes of the full-size image for each pixel kind, in 64 bits so that no
// width and height can overflow it.
std::uint64_t ImageBytes(std::uint8_t kind, std::uint64_t width, std::uint64_t height) {
  const std::uint64_t blocks = ((width + 3) / 4) * ((height + 3) / 4);
  switch (kind) {
    case codes::kBgra8888: return width * height * 4;
    case codes::kBgr888: return width * height * 3;
    case codes::kArgb1555:
    case codes::kRgb565:
    case codes::kArgb4444: return width * height * 2;
    case codes::kIndexed8: return width * height;
    case codes::kDxt1: return blocks * 8;
    case codes::kDxt3: return blocks * 16;
    default: return 0;
  }
}

std::size_t PaletteEntryBytes(std::uint8_t kind) {
  switch (kind) {
    case codes::kPalette8888: return 4;
    case codes::kPalette1555: return 2;
    default: return 3;
  }
}

// The four colours of a DXT colour block. Three-colour mode (c0 <= c1)
// applies to DXT1 only; DXT3 always interpolates four colours.
std::array<Rgba, 4> BlockColours(const std::uint8_t* block, bool allow_three_colour) {
  const unsigned c0 = LoadLe16(block);
  const unsigned c1 = LoadLe16(block + 2);
  const Rgba a = From565(c0);
  const Rgba b = From565(c1);
  auto mix = [](std::uint8_t x, std::uint8_t y, unsigned wx, unsigned wy) {
    return static_cast<std::uint8_t>((x * wx + y * wy) / (wx + wy));
  };
  std::array<Rgba, 4> colours{a, b, {}, {}};
  if (c0 > c1 || !allow_three_colour) {
    colours[2] = {mix(a.r, b.r, 2, 1), mix(a.g, b.g, 2, 1), mix(a.b, b.b, 2, 1), 255};
    colours[3] = {mix(a.r, b.r, 1, 2), mix(a.g, b.g, 1, 2), mix(a.b, b.b, 1, 2), 255};
  } else {
    colours[2] = {mix(a.r, b.r, 1, 1), mix(a.g, b.g, 1, 1), mix(a.b, b.b, 1, 1), 255};
    colours[3] = {0, 0, 0, 0};
  }
  return colours;
}

// Decodes 4 x 4 blocks; texels of edge blocks beyond the image are dropped.
void DecodeDxt(const std::uint8_t* data, bool explicit_alpha, Picture& picture) {
  const std::uint32_t width = picture.width;
  const std::uint32_t height = picture.height;
  const std::size_t block_bytes = explicit_alpha ? 16 : 8;
  for (std::uint32_t by = 0; by < height; by += 4) {
    for (std::uint32_t bx = 0; bx < width; bx += 4, data += block_bytes) {
      std::uint64_t alpha_bits = 0;
      const std::uint8_t* colour_block = data;
      if (explicit_alpha) {
        alpha_bits = static_cast<std::uint64_t>(packrat::LoadLe32(data)) |
                     static_cast<std::uint64_t>(packrat::LoadLe32(data + 4)) << 32;
        colour_block = data + 8;
      }
      const std::array<Rgba, 4> colours = BlockColours(colour_block, !explicit_alpha);
      const std::uint32_t indices = packrat::LoadLe32(colour_block + 4);
      for (std::uint32_t ty = 0; ty < 4 && by + ty < height; ++ty) {
        for (std::uint32_t tx = 0; tx < 4 && bx + tx < width; ++tx) {
          const unsigned texel = ty * 4 + tx;
          Rgba c = colours[indices >> (2 * texel) & 3];
          if (explicit_alpha) c.a = Expand4(static_cast<unsigned>(alpha_bits >> (4 * texel) & 15));
          Put(&picture.rgba[(std::size_t{by + ty} * width + bx + tx) * 4], c);
        }
      }
    }
  }
}

// A record's data: from the end of its header to the next record of the
// object, or to the end of the file for the last one.
struct RecordSpan {
  RecordHeader header;
  std::size_t data_begin = 0;
  std::size_t data_end = 0;
};

// Walks an object's chain of records; every header lies wholly inside `file`.
// The last record's data ends where the next object (in file order) begins,
// so a cut-short object is not read into its neighbour.
std::optional<std::vector<RecordSpan>> ReadChain(Bytes file, std::span<const std::uint32_t> sorted_offsets,
                                                 std::uint32_t offset, std::string& problem) {
  std::vector<RecordSpan> chain;
  std::uint64_t position = offset;
  for (;;) {
    if (position + RecordHeader::kSize > file.size()) {
      problem = chain.empty() ? "starts at offset " + Hex(position) + ", outside the file"
                              : "has an attached record at offset " + Hex(position) + ", outside the file";
      return std::nullopt;
    }
    RecordSpan record;
    record.header = RecordHeader::Read(file.data() + position);
    record.data_begin = static_cast<std::size_t>(position) + RecordHeader::kSize;
    const auto following = std::upper_bound(sorted_offsets.begin(), sorted_offsets.end(), position);
    record.data_end = following == sorted_offsets.end() ? file.size() : std::min<std::size_t>(*following, file.size());
    record.data_end = std::max(record.data_end, record.data_begin);  // a neighbour starting inside this header
    if (!chain.empty()) chain.back().data_end = static_cast<std::size_t>(position);
    chain.push_back(record);
    // Offsets are unsigned, so the walk only moves forward and must end.
    if (record.header.next_offset == 0) return chain;
    if (record.header.next_offset < RecordHeader::kSize) {
      problem = "has a record whose next-record offset " + Hex(record.header.next_offset) +
                " overlaps its own header";
      return std::nullopt;
    }
    position += record.header.next_offset;
  }
}

// A record's data: a view of the file when stored, or the expanded bytes.
struct RecordData {
  std::vector<std::uint8_t> expanded;
  Bytes stored;
  bool is_expanded = false;
  Bytes View() const { return is_expanded ? Bytes(expanded) : stored; }
};

std::optional<RecordData> ReadRecordData(Bytes file, const RecordSpan& record, std::string& problem) {
  const Bytes stored = file.subspan(record.data_begin, record.data_end - record.data_begin);
  RecordData data;
  data.stored = stored;
  if (!record.header.IsCompressed()) return data;
  if (stored.size() < packrat::kLzHeaderSize || stored[0] != packrat::kLzMagic0 || stored[1] != packrat::kLzMagic1) {
    problem = "is marked compressed but holds no compressed stream";
    return std::nullopt;
  }
  data.expanded.resize(packrat::LoadBe24(stored.data() + 2));
  if (packrat::DecodeLz(stored.subspan(packrat::kLzHeaderSize), data.expanded) != packrat::LzStatus::kComplete) {
    problem = "has a damaged compressed record";
    return std::nullopt;
  }
  data.is_expanded = true;
  return data;
}

}  // namespace

bool IsImageCode(std::uint8_t kind) {
  return ImageBytes(kind, 1, 1) != 0;
}

bool IsPaletteCode(std::uint8_t kind) {
  return kind == codes::kPalette8888 || kind == codes::kPalette888 || kind == codes::kPalette1555 ||
         kind == codes::kPalette666;
}

bool PackHeader::Read(const std::uint8_t* p, PackHeader& out) {
  if (p[0] != 'S' || p[1] != 'H' || p[2] != 'P' || p[3] != 'I') return false;
  out.file_size = packrat::LoadLe32(p + 4);
  out.entry_count = packrat::LoadLe32(p + 8);
  out.directory_id.assign(p + 12, p + 16);
  return true;
}

DirectoryEntry DirectoryEntry::Read(const std::uint8_t* p) {
  DirectoryEntry entry;
  std::size_t length = 0;
  while (length < 4 && p[length] != 0) ++length;
  entry.name.assign(p, p + length);
  entry.offset = packrat::LoadLe32(p + 4);
  return entry;
}

RecordHeader RecordHeader::Read(const std::uint8_t* p) {
  RecordHeader header;
  header.code = p[0];
  header.next_offset = LoadLe24(p + 1);
  header.width = LoadLe16(p + 4);
  header.height = LoadLe16(p + 6);
  header.centre_x = LoadLe16(p + 8);
  header.centre_y = LoadLe16(p + 10);
  header.x_position = LoadLe16(p + 12);
  header.y_position = LoadLe16(p + 14);
  return header;
}

struct PackReader::Palette {
  std::array<Rgba, 256> colours{};  // indices past the stored entries read as opaque black
  bool has_alpha = false;
};

namespace {

bool DecodePalette(Bytes file, const RecordSpan& record, std::array<Rgba, 256>& colours, bool& has_alpha,
                   std::string& problem) {
  const std::optional<RecordData> data = ReadRecordData(file, record, problem);
  if (!data) return false;
  const std::uint8_t kind = record.header.Kind();
  const std::size_t entry_bytes = PaletteEntryBytes(kind);
  const std::size_t count = std::min<std::size_t>(record.header.width, colours.size());
  if (data->View().size() < count * entry_bytes) {
    problem = "has a palette cut short (" + std::to_string(count * entry_bytes) + " bytes needed, " +
              std::to_string(data->View().size()) + " present)";
    return false;
  }
  const std::uint8_t* p = data->View().data();
  for (std::size_t i = 0; i < count; ++i, p += entry_bytes) {
    switch (kind) {
      case codes::kPalette8888: colours[i] = {p[2], p[1], p[0], p[3]}; break;
      case codes::kPalette888: colours[i] = {p[2], p[1], p[0], 255}; break;
      case codes::kPalette1555: colours[i] = From1555(LoadLe16(p)); break;
      default: colours[i] = {Expand6(p[2] & 63u), Expand6(p[1] & 63u), Expand6(p[0] & 63u), 255}; break;
    }
  }
  // Only a palette of full 32-bit entries is taken to carry transparency:
  // the top bit of 16-bit palette entries is too often left unset.
  has_alpha = kind == codes::kPalette8888;
  return true;
}

}  // namespace

PackReader::PackReader(std::vector<std::uint8_t> file) : bytes_(std::move(file)) {
  if (bytes_.size() >= 2 && bytes_[0] == packrat::kLzMagic0 && bytes_[1] == packrat::kLzMagic1) {
    if (bytes_.size() < packrat::kLzHeaderSize) throw FshError("the compressed pack is cut short");
    std::vector<std::uint8_t> expanded(packrat::LoadBe24(bytes_.data() + 2));
    if (packrat::DecodeLz(Bytes(bytes_).subspan(packrat::kLzHeaderSize), expanded) != packrat::LzStatus::kComplete)
      throw FshError("the compressed pack is damaged");
    bytes_ = std::move(expanded);
    was_compressed_ = true;
  }
  PackHeader header;
  if (bytes_.size() < PackHeader::kSize || !PackHeader::Read(bytes_.data(), header))
    throw FshError("not an FSH pack (no SHPI header)");
  const std::uint64_t directory_end = PackHeader::kSize + std::uint64_t{header.entry_count} * DirectoryEntry::kSize;
  if (directory_end > bytes_.size())
    throw FshError("the directory of " + std::to_string(header.entry_count) + " entries runs past the end of the file");
  directory_id_ = header.directory_id;
  entries_.reserve(header.entry_count);
  for (std::uint32_t i = 0; i < header.entry_count; ++i)
    entries_.push_back(DirectoryEntry::Read(bytes_.data() + PackHeader::kSize + std::size_t{i} * DirectoryEntry::kSize));
  for (const DirectoryEntry& entry : entries_) sorted_offsets_.push_back(entry.offset);
  std::sort(sorted_offsets_.begin(), sorted_offsets_.end());
}

bool PackReader::FindGlobalPalette(Palette& out) const {
  for (const DirectoryEntry& entry : entries_) {
    if (entry.name != "!pal") continue;
    std::string problem;
    const std::optional<std::vector<RecordSpan>> chain = ReadChain(bytes_, sorted_offsets_, entry.offset, problem);
    if (chain && IsPaletteCode(chain->front().header.Kind()) &&
        DecodePalette(bytes_, chain->front(), out.colours, out.has_alpha, problem))
      return true;
  }
  return false;
}

DecodedObject PackReader::DecodeObject(std::size_t index) const {
  DecodedObject object;
  const std::optional<std::vector<RecordSpan>> chain = ReadChain(bytes_, sorted_offsets_, entries_.at(index).offset, object.problem);
  if (!chain) return object;
  const RecordSpan& image = chain->front();
  const std::uint8_t kind = image.header.Kind();
  object.code = kind;
  if (IsPaletteCode(kind)) {
    object.kind = ObjectKind::kPalette;
    return object;
  }
  if (!IsImageCode(kind)) {
    object.problem = "has the unknown record code " + Hex(image.header.code);
    return object;
  }
  const std::uint32_t width = image.header.width;
  const std::uint32_t height = image.header.height;
  if (width == 0 || height == 0) {
    object.problem = "has no pixels (" + std::to_string(width) + " x " + std::to_string(height) + ")";
    return object;
  }
  const std::optional<RecordData> data = ReadRecordData(bytes_, image, object.problem);
  if (!data) return object;
  const std::uint64_t needed = ImageBytes(kind, width, height);
  if (data->View().size() < needed) {
    object.problem = "has its pixels cut short (" + std::to_string(needed) + " bytes needed, " +
                     std::to_string(data->View().size()) + " present)";
    return object;
  }

  Palette palette;
  if (kind == codes::kIndexed8) {
    bool found = false;
    for (std::size_t i = 1; i < chain->size() && !found; ++i) {
      if (!IsPaletteCode((*chain)[i].header.Kind())) continue;
      if (!DecodePalette(bytes_, (*chain)[i], palette.colours, palette.has_alpha, object.problem)) return object;
      found = true;
    }
    if (!found && !FindGlobalPalette(palette)) {
      object.problem = "is an indexed image without a palette";
      return object;
    }
  }

  Picture& picture = object.picture;
  picture.width = width;
  picture.height = height;
  const std::size_t pixels = std::size_t{width} * height;
  picture.rgba.resize(pixels * 4);
  std::uint8_t* out = picture.rgba.data();
  const std::uint8_t* in = data->View().data();
  switch (kind) {
    case codes::kBgra8888:
      for (std::size_t i = 0; i < pixels; ++i, in += 4, out += 4) Put(out, {in[2], in[1], in[0], in[3]});
      picture.has_alpha = true;
      break;
    case codes::kBgr888:
      for (std::size_t i = 0; i < pixels; ++i, in += 3, out += 4) Put(out, {in[2], in[1], in[0], 255});
      break;
    case codes::kArgb1555:
      for (std::size_t i = 0; i < pixels; ++i, in += 2, out += 4) Put(out, From1555(LoadLe16(in)));
      picture.has_alpha = true;
      break;
    case codes::kRgb565:
      for (std::size_t i = 0; i < pixels; ++i, in += 2, out += 4) Put(out, From565(LoadLe16(in)));
      break;
    case codes::kArgb4444:
      for (std::size_t i = 0; i < pixels; ++i, in += 2, out += 4) Put(out, From4444(LoadLe16(in)));
      picture.has_alpha = true;
      break;
    case codes::kIndexed8:
      for (std::size_t i = 0; i < pixels; ++i, ++in, out += 4) Put(out, palette.colours[*in]);
      picture.has_alpha = palette.has_alpha;
      break;
    case codes::kDxt1:
      DecodeDxt(in, false, picture);
      for (std::size_t i = 3; i < picture.rgba.size() && !picture.has_alpha; i += 4)
        picture.has_alpha = picture.rgba[i] == 0;
      break;
    case codes::kDxt3:
      DecodeDxt(in, true, picture);
      picture.has_alpha = true;
      break;
    default: break;
  }
  object.kind = ObjectKind::kImage;
  object.mip_levels = image.header.MipLevels();
  return object;
}

}  // namespace fshtool
