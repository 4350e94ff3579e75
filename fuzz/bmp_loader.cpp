// alphawed's BMP loading on any bytes: a refusal or a bitmap of the size its
// header gives, which then merges into a TGA of the right length. Decoding
// is a function of the bytes alone: the same bytes decoded twice give the
// same pixels (a read of memory the decoder never wrote would show here),
// and a decoded corner, whether from the bytes in memory or read piecewise,
// is the top-left of the whole picture.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "alphawed/bitmap.h"
#include "alphawed/tga_writer.h"
#include "fuzz_support.h"

namespace {

bool SamePixels(const alphawed::Bitmap& a, const alphawed::Bitmap& b) {
  if (a.width() != b.width() || a.height() != b.height()) return false;
  for (std::uint32_t y = 0; y < a.height(); ++y) {
    if (std::memcmp(a.Row(y), b.Row(y), std::size_t{a.width()} * 3) != 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A run-length stream claims a picture of up to the limits in a few bytes,
  // and clearing that much memory three times over would take the fuzzer's
  // time; a corner of such a picture runs the same code.
  const std::optional<alphawed::Sides> sides = alphawed::ReadBmpSides({data, size});
  if (sides && sides->width * sides->height > (std::uint64_t{1} << 16)) {
    const alphawed::LoadResult first = alphawed::DecodeBmp({data, size}, alphawed::Sides{64, 64});
    const alphawed::LoadResult second = alphawed::DecodeBmp({data, size}, alphawed::Sides{64, 64});
    FUZZ_CHECK(first.bitmap.has_value() == second.bitmap.has_value());
    FUZZ_CHECK(!first.bitmap || SamePixels(*first.bitmap, *second.bitmap));
    return 0;
  }

  const alphawed::LoadResult result = alphawed::DecodeBmp({data, size});
  const alphawed::LoadResult again = alphawed::DecodeBmp({data, size});
  FUZZ_CHECK(result.bitmap.has_value() == again.bitmap.has_value());
  if (!result.bitmap) {
    FUZZ_CHECK(result.error == again.error);
    return 0;
  }
  const alphawed::Bitmap& bitmap = *result.bitmap;
  FUZZ_CHECK(SamePixels(bitmap, *again.bitmap));
  FUZZ_CHECK(bitmap.width() > 0 && bitmap.height() > 0);
  FUZZ_CHECK(bitmap.width() <= alphawed::kMaxSide && bitmap.height() <= alphawed::kMaxSide);

  // The corner the merge keeps of an alpha bitmap larger than the colour one.
  const std::uint32_t w = (bitmap.width() + 1) / 2, h = (bitmap.height() + 1) / 2;
  const alphawed::LoadResult corner = alphawed::DecodeBmp({data, size}, alphawed::Sides{w, h});
  FUZZ_CHECK(corner.bitmap && corner.bitmap->width() == w && corner.bitmap->height() == h);
  for (std::uint32_t y = 0; y < h; ++y) {
    FUZZ_CHECK(std::memcmp(corner.bitmap->Row(y), bitmap.Row(y), std::size_t{w} * 3) == 0);
  }

  // The same corner read piecewise, as from a file too long to hold, is the
  // same (or refused, for a run-length stream).
  const alphawed::LoadResult read_corner = alphawed::DecodeBmpCorner(
      size,
      [&](std::uint64_t at, std::span<std::uint8_t> out) {
        if (at > size || out.size() > size - at) return false;
        std::memcpy(out.data(), data + at, out.size());
        return true;
      },
      alphawed::Sides{w, h});
  FUZZ_CHECK(read_corner.bitmap ? SamePixels(*read_corner.bitmap, *corner.bitmap)
                                : read_corner.error == alphawed::LoadError::kTooLarge);

  const auto tga = alphawed::EncodeTga(bitmap, &*corner.bitmap);
  FUZZ_CHECK(tga.size() == alphawed::TgaHeader::kSize + std::size_t{bitmap.width()} * bitmap.height() * 4);
  return 0;
}
