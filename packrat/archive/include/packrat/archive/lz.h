// The LZ stream of compressed archives: a five-byte header (0x10 0xFB and the
// expanded size, 24-bit big-endian) followed by operations that append
// literal bytes and copies of earlier output, up to a stop operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace packrat {

inline constexpr std::uint8_t kLzMagic0 = 0x10;
inline constexpr std::uint8_t kLzMagic1 = 0xFB;
inline constexpr std::size_t kLzHeaderSize = 5;
inline constexpr std::size_t kLzMaxImageSize = (std::size_t{1} << 24) - 1;

// Where compressed bytes come from. Read returns fewer bytes than asked only
// at the end of the input.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::size_t Read(std::uint8_t* destination, std::size_t count) = 0;
};

// Where the encoder appends its stream.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Append(const std::uint8_t* bytes, std::size_t count) = 0;
};

// How a stream ended. Only kComplete means the output holds the whole image.
enum class LzStatus {
  kComplete,        // a stop operation (or the end of input) after all N bytes
  kEndedEarly,      // the stream stopped before producing N bytes
  kOverrun,         // an operation would have written past N bytes
  kBadDistance,     // a copy reached back before the start of the output
};

// Expands the operations that follow the stream header into `output`. Never
// writes outside `output` and never reads before its start; whatever the
// stream did not produce is left as zero bytes. `produced`, where asked for,
// is how many bytes from the start of `output` the stream wrote before it
// ended (all of them when complete): a reader can tell the image it was given
// from the zeros that stand in for what a stream that stopped early lost.
LzStatus DecodeLz(ByteSource& input, std::span<std::uint8_t> output);
LzStatus DecodeLz(std::span<const std::uint8_t> input, std::span<std::uint8_t> output);
LzStatus DecodeLz(ByteSource& input, std::span<std::uint8_t> output, std::size_t& produced);
LzStatus DecodeLz(std::span<const std::uint8_t> input, std::span<std::uint8_t> output, std::size_t& produced);

// Compresses `image` (below 2^24 bytes) into a complete stream, header and
// stop operation included. The output is fully determined by the input.
void EncodeLz(std::span<const std::uint8_t> image, ByteSink& sink);

}  // namespace packrat
