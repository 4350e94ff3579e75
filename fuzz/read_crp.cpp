// The .crp reading path on any file content, stored or compressed: an error
// text or a valid model. A model read must survive being compressed and read
// again unchanged.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "packrat/archive/codec.h"
#include "packrat/archive/error.h"
#include "packrat/archive/lz.h"

namespace {

class VectorSink final : public packrat::ByteSink {
 public:
  void Append(const std::uint8_t* bytes, std::size_t count) override {
    data.insert(data.end(), bytes, bytes + count);
  }
  std::vector<std::uint8_t> data;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const packrat::ArchiveCodec codec;
  packrat::Archive archive;
  try {
    archive = codec.ReadCrpBytes({data, size}, "fuzz.crp");
  } catch (const packrat::ArchiveError&) {
    return 0;
  }
  FUZZ_CHECK(archive.IsValid());
  try {
    const packrat::ImageBuffer image = codec.BuildImage(archive);
    VectorSink sink;
    packrat::EncodeLz(image.view(), sink);
    FUZZ_CHECK(codec.ReadCrpBytes(sink.data, "again.crp") == archive);
  } catch (const packrat::ArchiveError&) {
    // Too large for a compressed file is the one refusal a valid model may meet.
  }
  return 0;
}
