// The one translation unit that holds the PNG code of stb_image and
// stb_image_write. Both are compiled static: the program links other code
// that may compile stb_image for its own formats, and the two must not meet.
// The headers are system includes, held to their own standard, not ours.
#include "ptxtool/png.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
// Larger than any picture imported, well below what would overflow an int.
#define STBI_MAX_DIMENSIONS (1 << 16)
#include <stb_image.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

namespace ptxtool {

namespace {

struct StbFree {
  void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

bool RanOutOfMemory() {
  const char* reason = stbi_failure_reason();
  return reason != nullptr && std::strcmp(reason, "outofmem") == 0;
}

// stb takes lengths as int; inputs are capped far below that.
int Length(std::span<const uint8_t> bytes) {
  return static_cast<int>(std::min<size_t>(bytes.size(), static_cast<size_t>(INT32_MAX)));
}

// The writer hands over the finished file; an exception must not pass
// through it (its buffer would leak), so a failure is only noted.
struct PngSink {
  std::vector<uint8_t> bytes;
  bool ran_out = false;
};

void Append(void* context, void* data, int size) {
  auto* sink = static_cast<PngSink*>(context);
  const auto* first = static_cast<const uint8_t*>(data);
  try {
    sink->bytes.insert(sink->bytes.end(), first, first + size);
  } catch (const std::bad_alloc&) {
    sink->ran_out = true;
  }
}

}  // namespace

bool HasPngSignature(std::span<const uint8_t> bytes) {
  return bytes.size() >= sizeof kPngSignature && std::equal(std::begin(kPngSignature), std::end(kPngSignature), bytes.begin());
}

std::optional<PngSize> ReadPngSize(std::span<const uint8_t> bytes) {
  if (!HasPngSignature(bytes)) return std::nullopt;
  PngSize size;
  int channels = 0;
  if (stbi_info_from_memory(bytes.data(), Length(bytes), &size.width, &size.height, &channels) == 0) {
    return std::nullopt;
  }
  return size;
}

std::optional<PngPicture> DecodePng(std::span<const uint8_t> bytes) {
  if (!HasPngSignature(bytes)) return std::nullopt;
  PngPicture picture;
  int channels_in_file = 0;
  const std::unique_ptr<stbi_uc, StbFree> pixels(
      stbi_load_from_memory(bytes.data(), Length(bytes), &picture.width, &picture.height, &channels_in_file, 4));
  if (!pixels) {
    if (RanOutOfMemory()) throw std::bad_alloc();
    return std::nullopt;
  }
  const size_t size = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 4;
  picture.rgba.assign(pixels.get(), pixels.get() + size);
  // A colour or grey PNG may still mark one colour transparent; the decoder
  // then gives its pixels alpha 0 though it reports no alpha channel.
  picture.has_alpha = channels_in_file == 2 || channels_in_file == 4;
  for (size_t i = 3; i < size && !picture.has_alpha; i += 4) picture.has_alpha = picture.rgba[i] != 255;
  return picture;
}

std::vector<uint8_t> EncodePng(int width, int height, int channels, std::span<const uint8_t> pixels) {
  PngSink sink;
  // Running out of memory is the only way the writer fails on whole pixels.
  if (stbi_write_png_to_func(Append, &sink, width, height, channels, pixels.data(), width * channels) == 0 ||
      sink.ran_out) {
    throw std::bad_alloc();
  }
  return std::move(sink.bytes);
}

}  // namespace ptxtool
