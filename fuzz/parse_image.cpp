// ParseImage on any bytes: an error text or a valid model, and a valid model
// must lay out and parse back to itself.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "packrat/archive/codec.h"
#include "packrat/archive/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const packrat::ArchiveCodec codec;
  try {
    const packrat::Archive archive = codec.ParseImage(data, size);
    if (!archive.IsValid()) return 0;
    const packrat::ImageBuffer image = codec.BuildImage(archive);
    const packrat::Archive again = codec.ParseImage(image.bytes.get(), image.size);
    FUZZ_CHECK(again == archive);
  } catch (const packrat::ArchiveError&) {
  }
  return 0;
}
