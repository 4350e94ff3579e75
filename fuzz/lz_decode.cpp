// DecodeLz on any stream: the first three bytes give the output size (as the
// .crp header does), the rest is the stream. The in-memory and the streaming
// decoder must agree on the status and on every output byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz_support.h"
#include "packrat/archive/lz.h"

namespace {

class PieceSource final : public packrat::ByteSource {
 public:
  explicit PieceSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::size_t Read(std::uint8_t* destination, std::size_t count) override {
    const std::size_t n = std::min({count, step_, bytes_.size() - position_});
    if (n != 0) std::memcpy(destination, bytes_.data() + position_, n);
    position_ += n;
    step_ = step_ * 5 % 61 + 1;
    return n;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t step_ = 13;
  std::size_t position_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  // Sizes up to 1 MiB keep each run quick; larger ones add no new paths.
  const std::size_t out_size = (std::size_t{data[0]} << 16 | std::size_t{data[1]} << 8 | data[2]) & 0xFFFFF;
  const std::span<const std::uint8_t> stream(data + 3, size - 3);

  std::vector<std::uint8_t> in_memory(out_size);
  const packrat::LzStatus memory_status = packrat::DecodeLz(stream, in_memory);
  std::vector<std::uint8_t> streamed(out_size);
  PieceSource source(stream);
  const packrat::LzStatus stream_status = packrat::DecodeLz(source, streamed);
  FUZZ_CHECK(memory_status == stream_status);
  FUZZ_CHECK(in_memory == streamed);
  return 0;
}
