// Test-only writer of FSH texture packs, to make fixtures in code.
//
// It lays out exactly what is described to it, damaged or not: tests build a
// pack from objects and records, then cut or patch the bytes as they need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "packrat/archive/lz.h"

namespace fshtest {

struct Colour {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
  bool operator==(const Colour&) const = default;
};

// Record codes of the format.
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
inline constexpr std::uint8_t kText = 0x6F;  // an attached record of another kind

struct Record {
  std::uint8_t code = 0;    // the kind, without the compressed flag
  bool compressed = false;  // sets the flag and stores `data` as an LZ stream
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint16_t centre_x = 0;
  std::uint16_t centre_y = 0;
  std::uint16_t x_position = 0;
  std::uint16_t y_position = 0;  // low twelve bits; the top four come from mip_levels
  unsigned mip_levels = 0;
  std::vector<std::uint8_t> data;  // everything after the header: pixels, then mip levels
};

struct Object {
  std::string name;  // up to four characters, padded with zero bytes
  std::vector<Record> records;  // the image (or palette) first, attached records after
};

struct Pack {
  std::string directory_id = "GIMX";
  std::vector<Object> objects;
};

namespace detail {

inline void Le16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Le24(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Le16(out, v & 0xFFFF);
  out.push_back(static_cast<std::uint8_t>(v >> 16));
}
inline void Le32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Le16(out, v & 0xFFFF);
  Le16(out, v >> 16);
}
inline void PutLe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void FourChars(std::vector<std::uint8_t>& out, const std::string& text) {
  for (std::size_t i = 0; i < 4; ++i) out.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
}

class VectorSink : public packrat::ByteSink {
 public:
  void Append(const std::uint8_t* bytes, std::size_t count) override { out.insert(out.end(), bytes, bytes + count); }
  std::vector<std::uint8_t> out;
};

}  // namespace detail

// A complete LZ stream (header included) that expands to `bytes`.
inline std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> bytes) {
  detail::VectorSink sink;
  packrat::EncodeLz(bytes, sink);
  return sink.out;
}

inline std::vector<std::uint8_t> RecordBytes(const Record& record) {
  const std::vector<std::uint8_t> data = record.compressed ? Compress(record.data) : record.data;
  std::vector<std::uint8_t> out;
  out.push_back(static_cast<std::uint8_t>(record.code | (record.compressed ? 0x80 : 0)));
  detail::Le24(out, 0);  // next-record offset, set when the object is laid out
  detail::Le16(out, record.width);
  detail::Le16(out, record.height);
  detail::Le16(out, record.centre_x);
  detail::Le16(out, record.centre_y);
  detail::Le16(out, record.x_position);
  detail::Le16(out, (record.y_position & 0x0FFF) | (record.mip_levels & 15) << 12);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// Header, directory, then each object's records back to back, each record
// pointing to the next of its object.
inline std::vector<std::uint8_t> Build(const Pack& pack) {
  std::vector<std::uint8_t> out;
  out.insert(out.end(), {'S', 'H', 'P', 'I'});
  detail::Le32(out, 0);  // file size, set at the end
  detail::Le32(out, static_cast<std::uint32_t>(pack.objects.size()));
  detail::FourChars(out, pack.directory_id);
  const std::size_t directory = out.size();
  for (const Object& object : pack.objects) {
    detail::FourChars(out, object.name);
    detail::Le32(out, 0);
  }
  for (std::size_t i = 0; i < pack.objects.size(); ++i) {
    detail::PutLe32(out, directory + i * 8 + 4, static_cast<std::uint32_t>(out.size()));
    const std::vector<Record>& records = pack.objects[i].records;
    for (std::size_t r = 0; r < records.size(); ++r) {
      const std::vector<std::uint8_t> bytes = RecordBytes(records[r]);
      if (r + 1 < records.size()) {
        const auto next = static_cast<std::uint32_t>(bytes.size());
        out.push_back(bytes[0]);
        detail::Le24(out, next);
        out.insert(out.end(), bytes.begin() + 4, bytes.end());
      } else {
        out.insert(out.end(), bytes.begin(), bytes.end());
      }
    }
  }
  detail::PutLe32(out, 4, static_cast<std::uint32_t>(out.size()));
  return out;
}

// Where directory entry `index` keeps its offset, for tests that damage it.
inline std::size_t DirectoryOffsetField(std::size_t index) { return 16 + index * 8 + 4; }
inline std::uint32_t ObjectOffset(const std::vector<std::uint8_t>& pack, std::size_t index) {
  const std::size_t at = DirectoryOffsetField(index);
  std::uint32_t offset = 0;
  for (std::size_t i = 0; i < 4; ++i) offset |= std::uint32_t{pack[at + i]} << (8 * i);
  return offset;
}
inline void SetObjectOffset(std::vector<std::uint8_t>& pack, std::size_t index, std::uint32_t offset) {
  detail::PutLe32(pack, DirectoryOffsetField(index), offset);
}

// ---- Pixel encoders (top row first, no row padding) ----------------------

inline std::vector<std::uint8_t> Bgra8888(const std::vector<Colour>& pixels) {
  std::vector<std::uint8_t> out;
  for (const Colour& c : pixels) out.insert(out.end(), {c.b, c.g, c.r, c.a});
  return out;
}
inline std::vector<std::uint8_t> Bgr888(const std::vector<Colour>& pixels) {
  std::vector<std::uint8_t> out;
  for (const Colour& c : pixels) out.insert(out.end(), {c.b, c.g, c.r});
  return out;
}
inline std::vector<std::uint8_t> Words16(const std::vector<std::uint16_t>& words) {
  std::vector<std::uint8_t> out;
  for (std::uint16_t w : words) detail::Le16(out, w);
  return out;
}
inline std::uint16_t Pack565(unsigned r5, unsigned g6, unsigned b5) {
  return static_cast<std::uint16_t>(r5 << 11 | g6 << 5 | b5);
}
inline std::uint16_t Pack1555(unsigned a1, unsigned r5, unsigned g5, unsigned b5) {
  return static_cast<std::uint16_t>(a1 << 15 | r5 << 10 | g5 << 5 | b5);
}
inline std::uint16_t Pack4444(unsigned a, unsigned r, unsigned g, unsigned b) {
  return static_cast<std::uint16_t>(a << 12 | r << 8 | g << 4 | b);
}

// One DXT1 block: two RGB565 endpoints, then two index bits per texel,
// texel (x, y) of the block at bits 2 * (4y + x).
inline std::vector<std::uint8_t> Dxt1Block(std::uint16_t c0, std::uint16_t c1, std::uint32_t indices) {
  std::vector<std::uint8_t> out;
  detail::Le16(out, c0);
  detail::Le16(out, c1);
  detail::Le32(out, indices);
  return out;
}
// One DXT3 block: 4-bit alpha per texel (texel i at bits 4i), then a colour block.
inline std::vector<std::uint8_t> Dxt3Block(std::uint64_t alpha, std::uint16_t c0, std::uint16_t c1,
                                           std::uint32_t indices) {
  std::vector<std::uint8_t> out;
  detail::Le32(out, static_cast<std::uint32_t>(alpha));
  detail::Le32(out, static_cast<std::uint32_t>(alpha >> 32));
  const std::vector<std::uint8_t> colour = Dxt1Block(c0, c1, indices);
  out.insert(out.end(), colour.begin(), colour.end());
  return out;
}
// The same index for every texel of a block.
inline std::uint32_t AllTexels(unsigned index) {
  std::uint32_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= (index & 3u) << (2 * i);
  return bits;
}

inline Record Image(std::uint8_t code, std::uint16_t width, std::uint16_t height, std::vector<std::uint8_t> data) {
  Record record;
  record.code = code;
  record.width = width;
  record.height = height;
  record.data = std::move(data);
  return record;
}

// A palette record: its width is the number of entries.
inline Record Palette(std::uint8_t code, std::uint16_t entries, std::vector<std::uint8_t> data) {
  return Image(code, entries, 1, std::move(data));
}

inline bool WriteFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// A small pack of several kinds, as a user might meet: a 32-bit picture with
// a soft alpha ramp, a 24-bit one, a DXT1 wheel with transparent corners and
// two stored mip levels, an indexed picture over a global 32-bit palette, and
// a compressed 16-bit picture. Every side is a power of two of at least 8.
inline Pack SamplePack() {
  Pack pack;
  pack.directory_id = "GIMX";

  std::vector<Colour> sky;
  for (unsigned y = 0; y < 64; ++y)
    for (unsigned x = 0; x < 64; ++x)
      sky.push_back({static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 4), 200,
                     static_cast<std::uint8_t>(255 - y * 4)});
  pack.objects.push_back({"sky1", {Image(kBgra8888, 64, 64, Bgra8888(sky))}});

  std::vector<Colour> body;
  for (unsigned y = 0; y < 32; ++y)
    for (unsigned x = 0; x < 32; ++x)
      body.push_back({static_cast<std::uint8_t>(((x / 4 + y / 4) & 1) != 0 ? 220 : 30), 40, 60, 255});
  pack.objects.push_back({"car0", {Image(kBgr888, 32, 32, Bgr888(body))}});

  // 32 x 32 full size, then 16 x 16 and 8 x 8: corner blocks transparent.
  std::vector<std::uint8_t> wheel;
  for (unsigned size : {32u, 16u, 8u}) {
    const unsigned blocks = size / 4;
    for (unsigned by = 0; by < blocks; ++by) {
      for (unsigned bx = 0; bx < blocks; ++bx) {
        const bool corner = (bx == 0 || bx == blocks - 1) && (by == 0 || by == blocks - 1);
        const std::vector<std::uint8_t> block =
            corner ? Dxt1Block(0x0000, 0xFFFF, AllTexels(3)) : Dxt1Block(Pack565(28, 56, 28), Pack565(4, 8, 4), 0x1B1B1B1B);
        wheel.insert(wheel.end(), block.begin(), block.end());
      }
    }
  }
  Record wheel_record = Image(kDxt1, 32, 32, wheel);
  wheel_record.mip_levels = 2;
  pack.objects.push_back({"whl1", {wheel_record, Image(kText, 0, 0, {'w', 'h', 'e', 'e', 'l', 0})}});

  std::vector<std::uint8_t> palette;
  for (unsigned i = 0; i < 256; ++i)
    palette.insert(palette.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 128,
                                   static_cast<std::uint8_t>(i < 16 ? 0 : 255)});
  std::vector<std::uint8_t> dash;
  for (unsigned y = 0; y < 16; ++y)
    for (unsigned x = 0; x < 16; ++x) dash.push_back(static_cast<std::uint8_t>(y * 16 + x));
  pack.objects.push_back({"dsh0", {Image(kIndexed8, 16, 16, dash)}});
  pack.objects.push_back({"!pal", {Palette(kPalette8888, 256, palette)}});

  std::vector<std::uint16_t> light;
  for (unsigned y = 0; y < 8; ++y)
    for (unsigned x = 0; x < 8; ++x) light.push_back(Pack1555(x < 4 ? 1 : 0, 31, y * 4, 0));
  Record light_record = Image(kArgb1555, 8, 8, Words16(light));
  light_record.compressed = true;
  pack.objects.push_back({"lgt0", {light_record}});
  return pack;
}

}  // namespace fshtest
