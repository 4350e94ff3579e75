// mipmill's TGA reader on any file content, and the PTX writer on whatever it
// loads: a refusal, a file-layer failure or a picture, never a bad access.
#include "mipmill/tga_reader.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "mipmill/file_failure.h"
#include "mipmill/picture.h"
#include "mipmill/ptx_writer.h"
#include "platform/platform.h"

namespace {

// The size box would print to standard error on every refused input.
void SilenceMessageBoxes() {
  static const bool done = [] {
    platform::SetMessageHandler([](const platform::MessageRequest&) {});
    return true;
  }();
  (void)done;
}

// The reader takes a path; one scratch file per process, removed at exit.
const std::string& ScratchFile() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string p = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/roadfire-fuzz-tga-" +
                    std::to_string(getpid()) + ".tga";
    std::atexit([] { std::remove(ScratchFile().c_str()); });
    return p;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SilenceMessageBoxes();
  // Planes are 16 MiB a picture: made once, reused by every run.
  static const auto picture = std::make_unique<mipmill::SourcePicture>();
  static const auto work = std::make_unique<mipmill::MipPlanes>();

  {
    std::FILE* file = std::fopen(ScratchFile().c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    if (std::fclose(file) != 0) std::abort();
  }
  try {
    if (mipmill::LoadTga(ScratchFile(), *picture) != mipmill::LoadResult::kLoaded) return 0;
    FUZZ_CHECK(mipmill::IsAcceptedTgaShape(picture->width, picture->height, picture->depth));
    // The level request comes from a byte the reader ignores (the ID length).
    mipmill::WritePtx(*picture, data[0] % 11, "/dev/null", *work);
  } catch (const mipmill::FileLayerFailure& failure) {
    FUZZ_CHECK(failure.code() == mipmill::FileLayerFailure::kShortRead);
  }
  return 0;
}
