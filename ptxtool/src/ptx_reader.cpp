#include "ptxtool/ptx_reader.h"

#include <algorithm>
#include <array>
#include <limits>

#include "mipmill/picture.h"
#include "mipmill/tga_reader.h"
#include "ptxtool/errors.h"

namespace ptxtool {

namespace {

using mipmill::PtxHeader;
using mipmill::PtxLevelHeader;

std::string Count(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Size(int64_t width, int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

// The fixed bytes of the header that PtxHeader::Read does not keep.
void CheckFixedHeaderBytes(std::span<const uint8_t> header, std::vector<std::string>& problems) {
  if (header[0] != 0 || header[2] != 0 || header[3] != 0) {
    problems.push_back("header bytes 0, 2 and 3 should be 0");
  }
  if (header[13] != PtxHeader::kTrailerByte || header[14] != PtxHeader::kTrailerByte ||
      header[15] != PtxHeader::kTrailerByte) {
    problems.push_back("header bytes 13 to 15 should be 0x80");
  }
}

bool HasPictureDepth(const PtxHeader& header) { return header.depth == 24 || header.depth == 32; }

}  // namespace

PtxContents InspectPtx(std::span<const uint8_t> bytes) {
  PtxContents contents;
  if (bytes.size() < PtxHeader::kSize) {
    contents.problems.push_back("the file is " + Count(bytes.size(), "byte", "bytes") +
                                " long, shorter than the 16-byte header");
    return contents;
  }
  const std::span<const uint8_t, PtxHeader::kSize> header_bytes(bytes.data(), PtxHeader::kSize);
  contents.header = PtxHeader::Read(header_bytes);
  const PtxHeader& header = contents.header;
  std::vector<std::string>& problems = contents.problems;

  CheckFixedHeaderBytes(header_bytes, problems);
  if (!HasPictureDepth(header)) {
    problems.push_back("the source depth is " + std::to_string(header.depth) + " bits, not 24 or 32");
  }
  // mipmill writes PTX textures only of the sides it accepts in a TGA.
  const bool sides_accepted =
      header.width <= mipmill::ChannelPlane::kSide && header.height <= mipmill::ChannelPlane::kSide &&
      mipmill::IsAcceptedTgaShape(static_cast<int32_t>(header.width), static_cast<int32_t>(header.height), 24);
  if (!sides_accepted) {
    problems.push_back("the texture is " + Size(header.width, header.height) +
                       "; each side should be 8, 16, 32, 64, 128, 256, 512 or 1024");
  }
  if (header.level_count == 0) {
    problems.push_back("the header claims no levels");
  } else if (sides_accepted) {
    const int most = mipmill::CountMipLevels(static_cast<int32_t>(header.width), static_cast<int32_t>(header.height));
    if (header.level_count > most) {
      problems.push_back("the header claims " + Count(static_cast<uint64_t>(header.level_count), "level", "levels") +
                         "; a texture of " + Size(header.width, header.height) + " has at most " + std::to_string(most));
    }
  }

  // Follow the blocks while they are whole. A level whose byte count is not
  // the one its size calls for ends the walk: where the next one starts is
  // then anybody's guess.
  int64_t width = header.width;
  int64_t height = header.height;
  size_t at = PtxHeader::kSize;
  for (int level = 1; level <= header.level_count; ++level) {
    PtxLevelEntry entry;
    entry.width = width;
    entry.height = height;
    // Sides below 2^32 multiply within 64 bits; four times that may not, but
    // such a level could never lie in the file anyway.
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    entry.expected_bytes = pixels > std::numeric_limits<uint64_t>::max() / 4 ? std::numeric_limits<uint64_t>::max()
                                                                                : pixels * 4;
    const std::string name = "level " + std::to_string(level) + " (" + Size(width, height) + ")";
    if (bytes.size() - at < PtxLevelHeader::kSize) {
      problems.push_back(name + " is missing: the file ends at byte " + std::to_string(bytes.size()));
      contents.levels.push_back(entry);
      break;
    }
    const std::span<const uint8_t, PtxLevelHeader::kSize> block(bytes.data() + at, PtxLevelHeader::kSize);
    entry.stored_bytes = PtxLevelHeader::Read(block).byte_count;
    entry.pixel_offset = at + PtxLevelHeader::kSize;
    if (block[4] != 0 || block[5] != 0 || block[6] != 0 || block[7] != 0) {
      problems.push_back(name + ": the four bytes after its byte count should be 0");
    }
    if (entry.stored_bytes != entry.expected_bytes) {
      problems.push_back(name + " says it holds " + Count(entry.stored_bytes, "byte", "bytes") + "; its size needs " +
                         std::to_string(entry.expected_bytes));
      contents.levels.push_back(entry);
      break;
    }
    const size_t left = bytes.size() - entry.pixel_offset;
    if (entry.expected_bytes > left) {
      problems.push_back(name + " is cut short: " + Count(left, "byte", "bytes") + " of " +
                         std::to_string(entry.expected_bytes) + " are there");
      contents.levels.push_back(entry);
      break;
    }
    entry.intact = true;
    contents.levels.push_back(entry);
    at = entry.pixel_offset + static_cast<size_t>(entry.expected_bytes);
    width = std::max<int64_t>(1, width / 2);
    height = std::max<int64_t>(1, height / 2);
  }
  const bool all_followed = contents.levels.size() == static_cast<size_t>(header.level_count) &&
                            (contents.levels.empty() || contents.levels.back().intact);
  if (all_followed && at < bytes.size()) {
    problems.push_back(Count(bytes.size() - at, "byte follows", "bytes follow") + " the last level");
  }
  return contents;
}

namespace {

const PtxLevelEntry& IntactLevel(const PtxContents& contents, int level) {
  const int held = static_cast<int>(contents.levels.size());
  if (level < 1 || level > contents.header.level_count) {
    throw Refusal("there is no level " + std::to_string(level) + "; the texture has " +
                  Count(static_cast<uint64_t>(contents.header.level_count), "level", "levels"));
  }
  if (level > held || !contents.levels[static_cast<size_t>(level - 1)].intact) {
    throw Refusal("level " + std::to_string(level) + " is missing or damaged (ptxtool info tells more)");
  }
  return contents.levels[static_cast<size_t>(level - 1)];
}

// With both sides at least 1, every intact level has at least one pixel, so
// its sides, each at most its byte count / 4, are bounded by the file length.
void RequirePicture(const PtxContents& contents) {
  if (!HasPictureDepth(contents.header)) {
    throw Refusal("the source depth is " + std::to_string(contents.header.depth) + " bits, not 24 or 32");
  }
  if (contents.header.width == 0 || contents.header.height == 0) {
    throw Refusal("the texture is " + Size(contents.header.width, contents.header.height) + ": it has no pixels");
  }
}

// Level pixels are blue, green, red, alpha; pictures want red first.
void CopyLevelRow(const uint8_t* in, int64_t width, int channels, uint8_t* out, bool opaque) {
  for (int64_t x = 0; x < width; ++x, in += 4, out += channels) {
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
    if (channels == 4) out[3] = opaque ? uint8_t{255} : in[3];
  }
}

}  // namespace

LevelPicture ExtractLevel(std::span<const uint8_t> bytes, const PtxContents& contents, int level) {
  RequirePicture(contents);
  const PtxLevelEntry& entry = IntactLevel(contents, level);
  // Intact: width x height x 4 bytes lie inside `bytes`, so both sides and
  // every product below are bounded by the file's length.
  LevelPicture picture;
  picture.width = static_cast<int32_t>(entry.width);
  picture.height = static_cast<int32_t>(entry.height);
  picture.channels = contents.header.depth == 32 ? 4 : 3;
  const size_t row_out = static_cast<size_t>(entry.width) * static_cast<size_t>(picture.channels);
  picture.pixels.resize(row_out * static_cast<size_t>(entry.height));
  const uint8_t* in = bytes.data() + entry.pixel_offset;
  for (int64_t y = 0; y < entry.height; ++y, in += entry.width * 4) {
    CopyLevelRow(in, entry.width, picture.channels, picture.pixels.data() + static_cast<size_t>(y) * row_out, false);
  }
  return picture;
}

LevelPicture ExtractSheet(std::span<const uint8_t> bytes, const PtxContents& contents) {
  RequirePicture(contents);
  if (contents.header.level_count == 0) throw Refusal("the header claims no levels");
  int64_t sheet_width = 0;
  for (int level = 1; level <= contents.header.level_count; ++level) {
    sheet_width += IntactLevel(contents, level).width;
  }
  // Level widths halve, so the sheet is less than twice as wide as level 1,
  // whose pixels lie in the file: its size is bounded by the file's length.
  LevelPicture sheet;
  sheet.width = static_cast<int32_t>(sheet_width);
  sheet.height = static_cast<int32_t>(contents.levels.front().height);
  sheet.channels = 4;
  const size_t row_out = static_cast<size_t>(sheet_width) * 4;
  sheet.pixels.assign(row_out * static_cast<size_t>(sheet.height), 0);
  const bool opaque = contents.header.depth == 24;
  size_t left = 0;
  for (const PtxLevelEntry& entry : contents.levels) {
    const uint8_t* in = bytes.data() + entry.pixel_offset;
    for (int64_t y = 0; y < entry.height; ++y, in += entry.width * 4) {
      CopyLevelRow(in, entry.width, 4, sheet.pixels.data() + static_cast<size_t>(y) * row_out + left * 4, opaque);
    }
    left += static_cast<size_t>(entry.width);
  }
  return sheet;
}

}  // namespace ptxtool
