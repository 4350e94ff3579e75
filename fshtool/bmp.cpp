#include "fshtool/bmp.h"

#include <vector>

#include "packrat/archive/bytes.h"

namespace fshtool {

namespace {
void StoreLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
}  // namespace

void BmpHeader::Write(std::uint8_t* p) const {
  // File header.
  p[0] = 'B';
  p[1] = 'M';
  packrat::StoreLe32(p + 2, static_cast<std::uint32_t>(FileBytes()));
  packrat::StoreLe32(p + 6, 0);  // two reserved words
  packrat::StoreLe32(p + 10, static_cast<std::uint32_t>(kSize));
  // Information header; a positive height means bottom-up rows.
  std::uint8_t* info = p + kFileHeaderSize;
  packrat::StoreLe32(info + 0, static_cast<std::uint32_t>(kInfoHeaderSize));
  packrat::StoreLe32(info + 4, width);
  packrat::StoreLe32(info + 8, height);
  StoreLe16(info + 12, 1);  // planes
  StoreLe16(info + 14, kBitsPerPixel);
  packrat::StoreLe32(info + 16, 0);  // no compression
  packrat::StoreLe32(info + 20, static_cast<std::uint32_t>(ImageBytes()));
  packrat::StoreLe32(info + 24, kPixelsPerMetre);
  packrat::StoreLe32(info + 28, kPixelsPerMetre);
  packrat::StoreLe32(info + 32, 0);  // colours used
  packrat::StoreLe32(info + 36, 0);  // important colours
}

bool WriteBmp(const Picture& picture, BmpPlane plane, const BmpSink& sink) {
  const BmpHeader header{picture.width, picture.height};
  std::uint8_t head[BmpHeader::kSize];
  header.Write(head);
  if (!sink(head, sizeof head)) return false;

  std::vector<std::uint8_t> row(static_cast<std::size_t>(BmpHeader::RowBytes(picture.width)), 0);
  const std::size_t width = picture.width;
  for (std::size_t y = picture.height; y-- > 0;) {
    const std::uint8_t* in = picture.rgba.data() + y * width * 4;
    std::uint8_t* out = row.data();
    if (plane == BmpPlane::kColour) {
      for (std::size_t x = 0; x < width; ++x, in += 4, out += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
      }
    } else {
      for (std::size_t x = 0; x < width; ++x, in += 4, out += 3) out[0] = out[1] = out[2] = in[3];
    }
    if (!sink(row.data(), row.size())) return false;
  }
  return true;
}

}  // namespace fshtool
