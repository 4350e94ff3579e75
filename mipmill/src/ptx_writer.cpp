#include "mipmill/ptx_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "byte_file.h"
#include "mipmill/texture_pixels.h"

namespace mipmill {

namespace {

uint32_t ReadU32(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<uint32_t>(bytes[offset + 2]) << 16) | (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

void WriteU32(std::span<uint8_t> bytes, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>((value >> (8 * i)) & 0xFF);
}

// One row of a level from the two rows of the level before it, for samples
// `kStep` apart: 1 in a channel plane, 4 in interleaved pixels, where each of
// the four channels is averaged on its own. Each value is the integer mean
// of its 2 x 2 block, remainder dropped.
template <int kStep, typename Sample, typename Sum>
void HalveRows(Sample* out, const Sample* top, const Sample* bottom, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    for (int c = 0; c < kStep; ++c) {
      const int32_t left = 2 * x * kStep + c;
      const Sum sum = Sum{top[left]} + Sum{top[left + kStep]} + Sum{bottom[left]} + Sum{bottom[left + kStep]};
      out[x * kStep + c] = static_cast<Sample>(sum / 4);
    }
  }
}

// The same once the level before is a single row: there is no second row to
// average with, so each value is the mean of two.
template <int kStep, typename Sample, typename Sum>
void HalveOnlyRow(Sample* out, const Sample* only, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    for (int c = 0; c < kStep; ++c) {
      const int32_t left = 2 * x * kStep + c;
      out[x * kStep + c] = static_cast<Sample>((Sum{only[left]} + Sum{only[left + kStep]}) / 2);
    }
  }
}

// And once it is a single column: the mean of the one value in each row.
template <int kStep, typename Sample, typename Sum>
void HalveOnlyColumn(Sample* out, const Sample* top, const Sample* bottom) {
  for (int c = 0; c < kStep; ++c) out[c] = static_cast<Sample>((Sum{top[c]} + Sum{bottom[c]}) / 2);
}

// Level y of a plane from the previous level (`previous` wide and high),
// written over that level's row y. Safe in place, rows ascending and columns
// ascending, because the sources of (x, y) never lie before (x, y).
void HalveRow(ChannelPlane& plane, LevelSize previous, int32_t y, int32_t width) {
  int32_t* const out = plane.Row(y);
  if (previous.width >= 2 && previous.height >= 2) {
    HalveRows<1, int32_t, int32_t>(out, plane.Row(2 * y), plane.Row(2 * y + 1), width);
  } else if (previous.width >= 2) {
    HalveOnlyRow<1, int32_t, int32_t>(out, plane.Row(0), width);
  } else if (previous.height >= 2) {
    HalveOnlyColumn<1, int32_t, int32_t>(out, plane.Row(2 * y), plane.Row(2 * y + 1));
  }
  // A 1 x 1 level stays as it is.
}

// A whole level of interleaved pixels from the one before it (`previous`
// wide and high) into `out`, `size` wide and high.
void HalvePixels(const uint8_t* in, LevelSize previous, uint8_t* out, LevelSize size) {
  const size_t in_row = static_cast<size_t>(previous.width) * 4;
  const size_t out_row = static_cast<size_t>(size.width) * 4;
  for (int32_t y = 0; y < size.height; ++y) {
    uint8_t* const row = out + static_cast<size_t>(y) * out_row;
    const uint8_t* const top = in + static_cast<size_t>(2 * y) * in_row;
    if (previous.width >= 2 && previous.height >= 2) {
      HalveRows<4, uint8_t, unsigned>(row, top, top + in_row, size.width);
    } else if (previous.width >= 2) {
      HalveOnlyRow<4, uint8_t, unsigned>(row, in, size.width);
    } else if (previous.height >= 2) {
      HalveOnlyColumn<4, uint8_t, unsigned>(row, top, top + in_row);
    } else {
      std::memcpy(row, in, 4);
    }
  }
}

void InterleaveRow(const MipPlanes& work, int32_t y, int32_t width, uint8_t* out) {
  const int32_t* const red = work.red.Row(y);
  const int32_t* const green = work.green.Row(y);
  const int32_t* const blue = work.blue.Row(y);
  const int32_t* const alpha = work.alpha.Row(y);
  for (int32_t x = 0; x < width; ++x, out += 4) {
    out[0] = static_cast<uint8_t>(blue[x]);
    out[1] = static_cast<uint8_t>(green[x]);
    out[2] = static_cast<uint8_t>(red[x]);
    out[3] = static_cast<uint8_t>(alpha[x]);
  }
}

void CopyRow(const ChannelPlane& from, ChannelPlane& to, int32_t y, int32_t width) {
  std::memcpy(to.Row(y), from.Row(y), static_cast<size_t>(width) * sizeof(int32_t));
}

}  // namespace

PtxHeader PtxHeader::Read(std::span<const uint8_t, kSize> bytes) {
  PtxHeader header;
  header.depth = bytes[1];
  header.width = ReadU32(bytes, 4);
  header.height = ReadU32(bytes, 8);
  header.level_count = bytes[12];
  return header;
}

void PtxHeader::Write(std::span<uint8_t, kSize> bytes) const {
  std::fill(bytes.begin(), bytes.end(), uint8_t{0});
  bytes[1] = static_cast<uint8_t>(depth);
  WriteU32(bytes, 4, width);
  WriteU32(bytes, 8, height);
  bytes[12] = static_cast<uint8_t>(level_count);
  bytes[13] = bytes[14] = bytes[15] = kTrailerByte;
}

PtxLevelHeader PtxLevelHeader::Read(std::span<const uint8_t, kSize> bytes) {
  return PtxLevelHeader{ReadU32(bytes, 0)};
}

void PtxLevelHeader::Write(std::span<uint8_t, kSize> bytes) const {
  WriteU32(bytes, 0, byte_count);
  WriteU32(bytes, 4, 0);
}

int CountMipLevels(int32_t width, int32_t height) {
  int32_t longer = std::max(width, height);
  int levels = 0;
  do {
    longer /= 2;
    ++levels;
  } while (longer > 2);
  return levels;
}

int LevelsToWrite(int level_count, int level_request) {
  return level_request >= 1 && level_request <= level_count ? level_request : level_count;
}

LevelSize NextLevelSize(LevelSize size) {
  return {std::max(1, size.width / 2), std::max(1, size.height / 2)};
}

void WritePtx(const SourcePicture& picture, int level_request, const std::string& path, MipPlanes& work) {
  const int levels = LevelsToWrite(CountMipLevels(picture.width, picture.height), level_request);

  // Obtained before the create, which empties an existing PTX: running out of
  // memory must not cost the user the texture of an earlier run.
  std::vector<uint8_t> row_bytes(static_cast<size_t>(picture.width) * 4);
  ByteFile file = ByteFile::Create(path);

  std::array<uint8_t, PtxHeader::kSize> header_bytes{};
  PtxHeader{picture.depth, static_cast<uint32_t>(picture.width), static_cast<uint32_t>(picture.height),
            levels}
      .Write(header_bytes);
  file.Write(header_bytes.data(), header_bytes.size());

  LevelSize size{picture.width, picture.height};
  LevelSize previous{};
  for (int level = 1; level <= levels; ++level) {
    std::array<uint8_t, PtxLevelHeader::kSize> block{};
    PtxLevelHeader{static_cast<uint32_t>(size.width) * static_cast<uint32_t>(size.height) * 4}.Write(block);
    file.Write(block.data(), block.size());

    for (int32_t y = 0; y < size.height; ++y) {
      if (level == 1) {
        CopyRow(picture.red, work.red, y, size.width);
        CopyRow(picture.green, work.green, y, size.width);
        CopyRow(picture.blue, work.blue, y, size.width);
        if (picture.depth == 32) {
          CopyRow(picture.alpha, work.alpha, y, size.width);
        } else {
          std::fill_n(work.alpha.Row(y), size.width, 0);
        }
      } else {
        HalveRow(work.red, previous, y, size.width);
        HalveRow(work.green, previous, y, size.width);
        HalveRow(work.blue, previous, y, size.width);
        HalveRow(work.alpha, previous, y, size.width);
      }
      InterleaveRow(work, y, size.width, row_bytes.data());
      file.Write(row_bytes.data(), static_cast<size_t>(size.width) * 4);
    }
    previous = size;
    size = NextLevelSize(size);
  }
  file.Close();
}

}  // namespace mipmill

namespace mipmill {

namespace {

// Each level is made from the one before it; two buffers take turns. Levels
// shrink, so levels 2 and 3 give the sizes they need.
struct LevelBuffers {
  std::vector<uint8_t> turns[2];
};

LevelBuffers ObtainLevelBuffers(const TexturePixels& pixels, int levels) {
  auto bytes_of = [](LevelSize s) { return static_cast<size_t>(s.width) * static_cast<size_t>(s.height) * 4; };
  const LevelSize second = NextLevelSize({pixels.width, pixels.height});
  return {{std::vector<uint8_t>(levels > 1 ? bytes_of(second) : 0),
           std::vector<uint8_t>(levels > 2 ? bytes_of(NextLevelSize(second)) : 0)}};
}

// The header and the chain, through anything with Write(data, size).
template <typename Sink>
void WriteChain(const TexturePixels& pixels, int levels, LevelBuffers& buffers, Sink& sink) {
  std::array<uint8_t, PtxHeader::kSize> header_bytes{};
  PtxHeader{pixels.depth, static_cast<uint32_t>(pixels.width), static_cast<uint32_t>(pixels.height), levels}
      .Write(header_bytes);
  sink.Write(header_bytes.data(), header_bytes.size());

  const uint8_t* level_pixels = pixels.bgra.data();
  LevelSize size{pixels.width, pixels.height};
  for (int level = 1; level <= levels; ++level) {
    if (level > 1) {
      const LevelSize next = NextLevelSize(size);
      uint8_t* const out = buffers.turns[level % 2].data();
      HalvePixels(level_pixels, size, out, next);
      level_pixels = out;
      size = next;
    }
    const uint32_t byte_count = static_cast<uint32_t>(size.width) * static_cast<uint32_t>(size.height) * 4;
    std::array<uint8_t, PtxLevelHeader::kSize> block{};
    PtxLevelHeader{byte_count}.Write(block);
    sink.Write(block.data(), block.size());
    sink.Write(level_pixels, byte_count);
  }
}

struct MemorySink {
  std::vector<uint8_t> bytes;
  void Write(const uint8_t* data, size_t size) { bytes.insert(bytes.end(), data, data + size); }
};

}  // namespace

void WritePtxPixels(const TexturePixels& pixels, int level_request, const std::string& path) {
  const int levels = LevelsToWrite(CountMipLevels(pixels.width, pixels.height), level_request);
  // Obtained before the create, which empties an existing PTX: running out
  // of memory must not cost the user the texture of an earlier run.
  LevelBuffers buffers = ObtainLevelBuffers(pixels, levels);
  ByteFile file = ByteFile::Create(path);
  WriteChain(pixels, levels, buffers, file);
  file.Close();
}

std::vector<uint8_t> EncodePtxPixels(const TexturePixels& pixels, int level_request) {
  const int levels = LevelsToWrite(CountMipLevels(pixels.width, pixels.height), level_request);
  LevelBuffers buffers = ObtainLevelBuffers(pixels, levels);
  MemorySink sink;
  WriteChain(pixels, levels, buffers, sink);
  return std::move(sink.bytes);
}

}  // namespace mipmill
