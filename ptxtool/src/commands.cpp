#include "ptxtool/commands.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

#include "alphawed/bitmap.h"
#include "mipmill/file_failure.h"
#include "mipmill/picture.h"
#include "mipmill/tga_reader.h"
#include "platform/platform.h"
#include "ptxtool/errors.h"
#include "ptxtool/files.h"
#include "ptxtool/png.h"
#include "ptxtool/ptx_reader.h"

namespace ptxtool {

namespace {

constexpr const char* kAllowedSides = "each side must be 8, 16, 32, 64, 128, 256, 512 or 1024";

// The name without its extension: the part from the last dot of its last
// component on, unless that dot starts the component.
std::string WithoutExtension(const std::string& path) {
  const size_t separator = platform::kPathSeparator == '/' ? path.rfind('/') : path.find_last_of("/\\");
  const size_t start = separator == std::string::npos ? 0 : separator + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= start) return path;
  return path.substr(0, dot);
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() &&
         std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

void RequireTextureSides(const std::string& path, uint64_t width, uint64_t height) {
  const bool accepted = width <= mipmill::ChannelPlane::kSide && height <= mipmill::ChannelPlane::kSide &&
                        mipmill::IsAcceptedTgaShape(static_cast<int32_t>(width), static_cast<int32_t>(height), 24);
  if (!accepted) {
    throw Refusal(path + ": the picture is " + std::to_string(width) + " x " + std::to_string(height) + " pixels; " +
                  kAllowedSides + " (pictures are not resized)");
  }
}

mipmill::TexturePixels FromPng(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadInputFile(path);
  const std::optional<PngSize> size = ReadPngSize(bytes);
  if (!size) throw Refusal(path + ": a damaged PNG");
  RequireTextureSides(path, static_cast<uint64_t>(size->width), static_cast<uint64_t>(size->height));
  const std::optional<PngPicture> png = DecodePng(bytes);
  if (!png) throw Refusal(path + ": a damaged PNG");

  mipmill::TexturePixels pixels;
  pixels.width = png->width;
  pixels.height = png->height;
  pixels.depth = png->has_alpha ? 32 : 24;
  pixels.bgra.resize(png->rgba.size());
  for (size_t i = 0; i < png->rgba.size(); i += 4) {
    pixels.bgra[i] = png->rgba[i + 2];
    pixels.bgra[i + 1] = png->rgba[i + 1];
    pixels.bgra[i + 2] = png->rgba[i];
    pixels.bgra[i + 3] = png->has_alpha ? png->rgba[i + 3] : uint8_t{0};
  }
  return pixels;
}

mipmill::TexturePixels FromBmp(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadInputFile(path);
  const alphawed::LoadResult loaded = alphawed::DecodeBmp(bytes);
  if (!loaded.bitmap) {
    switch (loaded.error) {
      case alphawed::LoadError::kTooLarge:
        throw Refusal(path + ": a BMP too large to be read");
      case alphawed::LoadError::kUnreadable:
      case alphawed::LoadError::kNotBmp:
      case alphawed::LoadError::kDamaged:
        break;
    }
    throw Refusal(path + ": a damaged BMP, or a kind that is not read (compressed)");
  }
  const alphawed::Bitmap& bitmap = *loaded.bitmap;
  RequireTextureSides(path, bitmap.width(), bitmap.height());

  // Bitmaps carry no alpha: the picture is 24-bit, its alpha 0 as mipmill has it.
  mipmill::TexturePixels pixels;
  pixels.width = static_cast<int32_t>(bitmap.width());
  pixels.height = static_cast<int32_t>(bitmap.height());
  pixels.depth = 24;
  pixels.bgra.resize(size_t{bitmap.width()} * bitmap.height() * 4);
  uint8_t* out = pixels.bgra.data();
  for (uint32_t y = 0; y < bitmap.height(); ++y) {
    const uint8_t* in = bitmap.Row(y);
    for (uint32_t x = 0; x < bitmap.width(); ++x, in += 3, out += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = 0;
    }
  }
  return pixels;
}

mipmill::TexturePixels FromTga(const std::string& path) {
  mipmill::TexturePixels pixels;
  try {
    const std::string stored = platform::LongPathName(path).value_or(path);
    if (mipmill::ReadTgaPixels(stored, pixels) == mipmill::LoadResult::kLoaded) return pixels;
  } catch (const mipmill::FileLayerFailure& failure) {
    if (failure.code() == mipmill::FileLayerFailure::kShortRead) {
      throw Refusal(path + ": the TGA ends before all its pixels");
    }
    throw Refusal(path + ": couldn't be read");
  }
  if (pixels.depth != 24 && pixels.depth != 32) {
    throw Refusal(path + ": a TGA of " + std::to_string(pixels.depth) +
                  " bits a pixel; uncompressed 24- or 32-bit pictures are read");
  }
  RequireTextureSides(path, static_cast<uint64_t>(pixels.width), static_cast<uint64_t>(pixels.height));
  throw Refusal(path + ": the TGA was refused");  // not reached: the shape is all mipmill checks
}

std::string LevelLine(const PtxLevelEntry& entry, int level) {
  std::string line = "  level " + std::to_string(level) + ": " + std::to_string(entry.width) + " x " +
                     std::to_string(entry.height);
  line += entry.intact ? ", " + std::to_string(entry.expected_bytes) + " bytes" : ", damaged or missing";
  return line;
}

}  // namespace

std::string DefaultExportName(const std::string& ptx, int level, bool sheet) {
  const std::string base = WithoutExtension(ptx);
  if (sheet) return base + "-sheet.png";
  if (level == 1) return base + ".png";
  return base + "-" + std::to_string(level) + ".png";
}

std::string DefaultImportName(const std::string& picture) { return WithoutExtension(picture) + ".ptx"; }

mipmill::TexturePixels LoadPicture(const std::string& path) {
  const std::vector<uint8_t> start = ReadInputPrefix(path, sizeof kPngSignature);
  if (HasPngSignature(start)) return FromPng(path);
  if (start.size() >= 2 && start[0] == 'B' && start[1] == 'M') return FromBmp(path);
  // A TGA has no signature: its name is all that tells it.
  if (EndsWithIgnoringCase(path, ".tga")) return FromTga(path);
  throw Refusal(path + ": not a PNG, TGA or BMP picture");
}

bool DescribePtx(const std::string& ptx, std::ostream& out) {
  const std::vector<uint8_t> bytes = ReadInputFile(ptx);
  const PtxContents contents = InspectPtx(bytes);
  out << ptx << '\n';
  if (bytes.size() >= mipmill::PtxHeader::kSize) {
    const mipmill::PtxHeader& header = contents.header;
    out << "  " << header.width << " x " << header.height << ", source depth " << header.depth << " bits, "
        << header.level_count << (header.level_count == 1 ? " level" : " levels") << '\n';
  }
  int level = 1;
  for (const PtxLevelEntry& entry : contents.levels) out << LevelLine(entry, level++) << '\n';
  if (contents.Consistent()) {
    out << "  consistent\n";
  } else {
    out << "  not consistent:\n";
    for (const std::string& problem : contents.problems) out << "  - " << problem << '\n';
  }
  return contents.Consistent();
}

void ExportPtx(const ExportRequest& request) {
  const std::vector<uint8_t> bytes = ReadInputFile(request.ptx);
  const PtxContents contents = InspectPtx(bytes);
  if (bytes.size() < mipmill::PtxHeader::kSize) throw Refusal(request.ptx + ": " + contents.problems.front());
  LevelPicture picture;
  try {
    picture = request.sheet ? ExtractSheet(bytes, contents) : ExtractLevel(bytes, contents, request.level);
  } catch (const Refusal& refusal) {
    throw Refusal(request.ptx + ": " + refusal.what());
  }
  const std::vector<uint8_t> png = EncodePng(picture.width, picture.height, picture.channels, picture.pixels);
  const std::string out = request.png.empty() ? DefaultExportName(request.ptx, request.level, request.sheet) : request.png;
  WriteOutput(out, png);
}

void ImportPicture(const ImportRequest& request) {
  const mipmill::TexturePixels pixels = LoadPicture(request.picture);
  const std::string out = request.ptx.empty() ? DefaultImportName(request.picture) : request.ptx;
  WriteOutput(out, mipmill::EncodePtxPixels(pixels, request.level_request));
}

}  // namespace ptxtool
