// alphawed's BMP loading on any bytes: a refusal or a bitmap of the size its
// header gives, which then merges into a TGA of the right length.
#include <cstddef>
#include <cstdint>

#include "alphawed/bitmap.h"
#include "alphawed/tga_writer.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const alphawed::LoadResult result = alphawed::DecodeBmp({data, size});
  if (!result.bitmap) return 0;
  const alphawed::Bitmap& bitmap = *result.bitmap;
  FUZZ_CHECK(bitmap.width() > 0 && bitmap.height() > 0);
  FUZZ_CHECK(bitmap.width() <= alphawed::kMaxSide && bitmap.height() <= alphawed::kMaxSide);
  const auto tga = alphawed::EncodeTga(bitmap, &bitmap);
  FUZZ_CHECK(tga.size() == alphawed::TgaHeader::kSize + std::size_t{bitmap.width()} * bitmap.height() * 4);
  return 0;
}
