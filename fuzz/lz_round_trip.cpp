// EncodeLz then DecodeLz gives back every input exactly, through both the
// in-memory decoder and the streaming one (fed in uneven pieces).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz_support.h"
#include "packrat/archive/lz.h"

namespace {

class VectorSink final : public packrat::ByteSink {
 public:
  void Append(const std::uint8_t* bytes, std::size_t count) override {
    data.insert(data.end(), bytes, bytes + count);
  }
  std::vector<std::uint8_t> data;
};

// Hands out the stream in pieces of 1 to 97 bytes, so block boundaries of
// the streaming decoder fall in every possible place.
class PieceSource final : public packrat::ByteSource {
 public:
  PieceSource(std::span<const std::uint8_t> bytes, std::size_t seed) : bytes_(bytes), step_(seed % 97 + 1) {}
  std::size_t Read(std::uint8_t* destination, std::size_t count) override {
    const std::size_t n = std::min({count, step_, bytes_.size() - position_});
    if (n != 0) std::memcpy(destination, bytes_.data() + position_, n);
    position_ += n;
    step_ = step_ * 7 % 97 + 1;
    return n;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t step_;
  std::size_t position_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > packrat::kLzMaxImageSize) return 0;
  const std::span<const std::uint8_t> input(data, size);
  VectorSink sink;
  packrat::EncodeLz(input, sink);
  const std::vector<std::uint8_t>& stream = sink.data;
  FUZZ_CHECK(stream.size() >= packrat::kLzHeaderSize);
  FUZZ_CHECK(stream[0] == packrat::kLzMagic0 && stream[1] == packrat::kLzMagic1);
  FUZZ_CHECK((std::size_t{stream[2]} << 16 | std::size_t{stream[3]} << 8 | stream[4]) == size);

  const std::span<const std::uint8_t> body = std::span(stream).subspan(packrat::kLzHeaderSize);
  std::vector<std::uint8_t> output(size);
  FUZZ_CHECK(packrat::DecodeLz(body, output) == packrat::LzStatus::kComplete);
  FUZZ_CHECK(std::equal(output.begin(), output.end(), input.begin(), input.end()));

  std::vector<std::uint8_t> streamed(size);
  PieceSource source(body, size);
  FUZZ_CHECK(packrat::DecodeLz(source, streamed) == packrat::LzStatus::kComplete);
  FUZZ_CHECK(streamed == output);
  return 0;
}
