// Reading PTX textures as mipmill writes them: the 16-byte header, then one
// block per level (byte count, four zero bytes, the pixels as blue, green,
// red, alpha, row 0 first). Every size is checked against the bytes actually
// there before anything is taken from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "mipmill/ptx_writer.h"

namespace ptxtool {

struct PtxLevelEntry {
  int64_t width = 0;   // as the halving rule gives it from the header's sides
  int64_t height = 0;
  uint64_t expected_bytes = 0;  // width x height x 4
  uint32_t stored_bytes = 0;    // the block's own byte count
  size_t pixel_offset = 0;      // where its pixels start in the file
  bool intact = false;          // block and pixels all there, and the byte count agrees
};

struct PtxContents {
  mipmill::PtxHeader header;
  // Every level the header claims, as far as the file could be followed; the
  // first level that is not intact is the last one listed.
  std::vector<PtxLevelEntry> levels;
  // What departs from what mipmill writes, one sentence each.
  std::vector<std::string> problems;

  bool Consistent() const { return problems.empty(); }
};

// Follows the header and the level blocks through `bytes`. Never reads
// outside them and never allocates by a size the file states.
PtxContents InspectPtx(std::span<const uint8_t> bytes);

// A level's pixels as a picture: `channels` bytes a pixel (3 for a 24-bit
// source, red, green, blue; 4 for a 32-bit one, red, green, blue, alpha),
// rows top first.
struct LevelPicture {
  int32_t width = 0;
  int32_t height = 0;
  int channels = 0;
  std::vector<uint8_t> pixels;
};

// Level `level` (1 first) of an inspected file. Refuses (Refusal) a level
// that is not there or not intact, and a header whose depth is neither 24
// nor 32.
LevelPicture ExtractLevel(std::span<const uint8_t> bytes, const PtxContents& contents, int level);

// Every level side by side, level 1 at the left, tops aligned, on a
// transparent ground: four channels, alpha 0 where no level lies. A 24-bit
// source's levels are shown opaque. Refuses a file with any level missing.
LevelPicture ExtractSheet(std::span<const uint8_t> bytes, const PtxContents& contents);

}  // namespace ptxtool
