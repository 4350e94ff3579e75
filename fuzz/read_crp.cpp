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

// At least the size of the image BuildImage would make: every record and
// every block.
std::uint64_t LeastImageSize(const packrat::Archive& archive) {
  std::uint64_t size = 16 * (1 + std::uint64_t{archive.article_count} + archive.entry_count);
  auto add = [&](const packrat::Chunk& chunk) { size += chunk.length; };
  // A valid model may leave an array out only where its count is 0.
  if (archive.articles) {
    for (const packrat::Article& article : *archive.articles) {
      size += 16 * std::uint64_t{article.part_count};
      if (article.parts) {
        for (const packrat::Chunk& part : *article.parts) add(part);
      }
    }
  }
  if (archive.entries) {
    for (const packrat::Chunk& entry : *archive.entries) add(entry);
  }
  return size;
}

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
  // A model that shares blocks among many entries can be far larger than the
  // file it came from and still be valid; one whose image cannot go into a
  // compressed file makes no round trip, and laying it out would only spend
  // memory.
  if (LeastImageSize(archive) > packrat::kLzMaxImageSize) return 0;
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
