// ptxtool's PTX reader on any file content: a list of problems or none, never
// a bad access, never an allocation the file's length does not back. A file
// it calls consistent exports every level, and the sheet, without error, and
// each level's PNG reads back as that level's pixels.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "ptxtool/errors.h"
#include "ptxtool/png.h"
#include "ptxtool/ptx_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const ptxtool::PtxContents contents = ptxtool::InspectPtx(bytes);
  const bool consistent = contents.Consistent();
  for (int level = 1; level <= contents.header.level_count; ++level) {
    try {
      const ptxtool::LevelPicture picture = ptxtool::ExtractLevel(bytes, contents, level);
      const auto png = ptxtool::DecodePng(
          ptxtool::EncodePng(picture.width, picture.height, picture.channels, picture.pixels));
      FUZZ_CHECK(png.has_value());
      FUZZ_CHECK(png->width == picture.width && png->height == picture.height);
      for (std::size_t i = 0, o = 0; i < picture.pixels.size(); i += static_cast<std::size_t>(picture.channels), o += 4) {
        for (std::size_t c = 0; c < static_cast<std::size_t>(picture.channels); ++c) {
          FUZZ_CHECK(png->rgba[o + c] == picture.pixels[i + c]);
        }
      }
    } catch (const ptxtool::Refusal&) {
      FUZZ_CHECK(!consistent);
    }
  }
  try {
    (void)ptxtool::ExtractSheet(bytes, contents);
  } catch (const ptxtool::Refusal&) {
    FUZZ_CHECK(!consistent);
  }
  return 0;
}
