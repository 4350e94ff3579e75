// mipmill's TGA reader on any file content, and the PTX writers on whatever
// it loads: a refusal, a short read or a picture, never a bad access. The
// compact writer the program uses and the channel-plane writer of the
// library must write the same file, byte for byte.
#include "mipmill/tga_reader.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "mipmill/file_failure.h"
#include "mipmill/picture.h"
#include "mipmill/ptx_writer.h"
#include "platform/platform.h"
#include "mipmill/texture_pixels.h"

namespace {

// The size box would print to standard error on every refused input.
void SilenceMessageBoxes() {
  static const bool done = [] {
    platform::SetMessageHandler([](const platform::MessageRequest&) {});
    return true;
  }();
  (void)done;
}

// The reader and writers take paths; scratch files per process, removed at exit.
std::string ScratchFile(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/roadfire-fuzz-" +
         std::to_string(getpid()) + "-" + name;
}

const std::string& TgaFile() {
  static const std::string path = ScratchFile("in.tga");
  return path;
}
const std::string& PlanesPtx() {
  static const std::string path = ScratchFile("planes.ptx");
  return path;
}
const std::string& PixelsPtx() {
  static const std::string path = ScratchFile("pixels.ptx");
  return path;
}

void RemoveScratchFiles() {
  std::remove(TgaFile().c_str());
  std::remove(PlanesPtx().c_str());
  std::remove(PixelsPtx().c_str());
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) std::abort();
  std::uint8_t buffer[65536];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  std::fclose(file);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    SilenceMessageBoxes();
    std::atexit(RemoveScratchFiles);
    return true;
  }();
  (void)ready;
  // Planes are 16 MiB a picture: made once, reused by every run.
  static const auto picture = std::make_unique<mipmill::SourcePicture>();
  static const auto work = std::make_unique<mipmill::MipPlanes>();

  {
    std::FILE* file = std::fopen(TgaFile().c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    if (std::fclose(file) != 0) std::abort();
  }
  try {
    mipmill::TexturePixels pixels;
    if (mipmill::LoadTgaPixels(TgaFile(), pixels) != mipmill::LoadResult::kLoaded) return 0;
    FUZZ_CHECK(mipmill::IsAcceptedTgaShape(pixels.width, pixels.height, pixels.depth));
    FUZZ_CHECK(mipmill::LoadTga(TgaFile(), *picture) == mipmill::LoadResult::kLoaded);
    // The level request comes from a byte the reader ignores (the ID length).
    const int level_request = data[0] % 11;
    mipmill::WritePtxPixels(pixels, level_request, PixelsPtx());
    mipmill::WritePtx(*picture, level_request, PlanesPtx(), *work);
    FUZZ_CHECK(ReadAll(PixelsPtx()) == ReadAll(PlanesPtx()));
  } catch (const mipmill::FileLayerFailure& failure) {
    FUZZ_CHECK(failure.code() == mipmill::FileLayerFailure::kShortRead);
  }
  return 0;
}
