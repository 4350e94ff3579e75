#include "packrat/archive/lz.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "packrat/archive/error.h"

namespace packrat {

namespace {

// The longest operation: a literal run opcode with 112 bytes, or a long copy
// header (4 bytes) with 3 literals. With this many bytes in hand an operation
// can be decoded without looking at the input's end again.
constexpr std::size_t kLongestOperation = 1 + 112;

// ---- Decoder inputs ----------------------------------------------------------

// Compressed bytes already in memory: nothing to refill.
struct MemoryInput {
  const std::uint8_t* next;
  const std::uint8_t* end;
  void Refill() {}
};

// Compressed bytes read from a source in large blocks, so the decoder makes
// one virtual call per block and never one per byte.
struct StreamInput {
  static constexpr std::size_t kBlock = 64 * 1024;

  explicit StreamInput(ByteSource& source) : source_(source), buffer_(kBlock) {
    next = end = buffer_.data();
  }

  void Refill() {
    if (exhausted_) return;
    const std::size_t kept = static_cast<std::size_t>(end - next);
    std::memmove(buffer_.data(), next, kept);
    std::size_t filled = kept;
    while (filled < buffer_.size()) {
      const std::size_t got = source_.Read(buffer_.data() + filled, buffer_.size() - filled);
      if (got == 0) {
        exhausted_ = true;
        break;
      }
      filled += got;
    }
    next = buffer_.data();
    end = buffer_.data() + filled;
  }

  const std::uint8_t* next;
  const std::uint8_t* end;

 private:
  ByteSource& source_;
  std::vector<std::uint8_t> buffer_;
  bool exhausted_ = false;
};

// Appends `length` bytes that start `distance` bytes back. The ranges may
// overlap: a distance below the length repeats the last `distance` bytes.
inline void CopyMatch(std::uint8_t* out, std::size_t position, std::size_t distance, std::size_t length,
                      std::size_t capacity) {
  std::uint8_t* dst = out + position;
  const std::uint8_t* src = dst - distance;
  if (distance >= 16 && position + length + 16 <= capacity) {
    // Sixteen bytes at a time: each block reads only bytes already final,
    // and the overshoot past `length` is rewritten by later operations.
    std::uint8_t* const stop = dst + length;
    do {
      std::memcpy(dst, src, 16);
      dst += 16;
      src += 16;
    } while (dst < stop);
    return;
  }
  if (distance == 1) {
    std::memset(dst, *src, length);
    return;
  }
  if (distance >= length) {
    std::memcpy(dst, src, length);
    return;
  }
  // Short period: each pass copies a whole number of periods from the same
  // source start, so the pattern doubles without any overlap inside a pass.
  std::size_t span = distance;
  while (length > 0) {
    const std::size_t chunk = std::min(length, span);
    std::memcpy(dst, src, chunk);
    dst += chunk;
    length -= chunk;
    span *= 2;
  }
}

template <typename Input>
LzStatus DecodeOperations(Input& in, std::uint8_t* out, std::size_t capacity, std::size_t& produced) {
  std::size_t o = 0;
  struct Guard {
    std::size_t& produced;
    std::size_t& o;
    ~Guard() { produced = o; }
  } guard{produced, o};

  for (;;) {
    if (static_cast<std::size_t>(in.end - in.next) < kLongestOperation) in.Refill();
    const std::size_t available = static_cast<std::size_t>(in.end - in.next);
    if (available == 0) return o == capacity ? LzStatus::kComplete : LzStatus::kEndedEarly;

    const std::uint8_t* p = in.next;
    const unsigned b0 = p[0];
    std::size_t header;
    std::size_t literals;
    std::size_t length = 0;
    std::size_t distance = 0;
    if (b0 < 0x80) {  // short copy: 0ddlllnn dddddddd
      header = 2;
      if (available < header) return LzStatus::kEndedEarly;
      literals = b0 & 3;
      length = ((b0 >> 2) & 7) + 3;
      distance = ((b0 & 0x60u) << 3 | p[1]) + 1;
    } else if (b0 < 0xC0) {  // medium copy: 10llllll nndddddd dddddddd
      header = 3;
      if (available < header) return LzStatus::kEndedEarly;
      literals = p[1] >> 6;
      length = (b0 & 0x3F) + 4;
      distance = ((p[1] & 0x3Fu) << 8 | p[2]) + 1;
    } else if (b0 < 0xE0) {  // long copy: 110dllnn dddddddd dddddddd llllllll
      header = 4;
      if (available < header) return LzStatus::kEndedEarly;
      literals = b0 & 3;
      length = ((b0 & 0x0Cu) << 6 | p[3]) + 5;
      distance = ((b0 & 0x10u) << 12 | static_cast<unsigned>(p[1]) << 8 | p[2]) + 1;
    } else if (b0 < 0xFC) {  // literal run
      header = 1;
      literals = ((b0 & 0x1F) + 1) * 4;
    } else {  // stop, carrying up to three final literals
      literals = b0 & 3;
      if (o == capacity) return LzStatus::kComplete;  // extra literals are ignored
      if (available < 1 + literals) return LzStatus::kEndedEarly;
      if (capacity - o < literals) return LzStatus::kOverrun;
      std::memcpy(out + o, p + 1, literals);
      o += literals;
      in.next = p + 1 + literals;
      return o == capacity ? LzStatus::kComplete : LzStatus::kEndedEarly;
    }

    if (available < header + literals) return LzStatus::kEndedEarly;
    if (capacity - o < literals + length) return LzStatus::kOverrun;
    if (literals != 0) {
      std::memcpy(out + o, p + header, literals);
      o += literals;
    }
    in.next = p + header + literals;
    if (length != 0) {
      if (distance > o) return LzStatus::kBadDistance;
      CopyMatch(out, o, distance, length, capacity);
      o += length;
    }
  }
}

template <typename Input>
LzStatus Decode(Input& in, std::span<std::uint8_t> output) {
  std::size_t produced = 0;
  const LzStatus status = DecodeOperations(in, output.data(), output.size(), produced);
  if (produced < output.size()) std::memset(output.data() + produced, 0, output.size() - produced);
  return status;
}

// ---- Encoder ------------------------------------------------------------------

constexpr std::size_t kWindow = 131072;
constexpr std::size_t kChainMask = kWindow - 1;
constexpr int kMaxCandidates = 50;
constexpr std::size_t kMaxMatch = 1028;
constexpr std::size_t kMaxLiteralRun = 112;

// Collects the stream in a block and hands it to the sink a block at a time.
class Emitter {
 public:
  explicit Emitter(ByteSink& sink) : sink_(sink) {}

  void Byte(std::uint8_t b) {
    Reserve(1);
    buffer_[used_++] = b;
  }
  void Bytes(const std::uint8_t* bytes, std::size_t count) {
    // An empty image has no data pointer, and memcpy may not be given null.
    if (count == 0) return;
    Reserve(count);
    std::memcpy(buffer_.data() + used_, bytes, count);
    used_ += count;
  }
  void Flush() {
    if (used_ != 0) sink_.Append(buffer_.data(), used_);
    used_ = 0;
  }

 private:
  void Reserve(std::size_t count) {
    if (buffer_.size() - used_ < count) Flush();
  }

  ByteSink& sink_;
  std::array<std::uint8_t, 32 * 1024> buffer_{};
  std::size_t used_ = 0;
};

// How many leading bytes of a and b agree, up to `cap`; the first two are
// known to agree because they form the lookup key.
inline std::size_t MatchLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t cap) {
  std::size_t i = 2;
  while (i + 8 <= cap) {
    std::uint64_t x;
    std::uint64_t y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (const std::uint64_t diff = x ^ y; diff != 0) {
      if constexpr (std::endian::native == std::endian::little) {
        return i + static_cast<std::size_t>(std::countr_zero(diff)) / 8;
      } else {
        return i + static_cast<std::size_t>(std::countl_zero(diff)) / 8;
      }
    }
    i += 8;
  }
  while (i < cap && a[i] == b[i]) ++i;
  return i;
}

void FlushLiteralRuns(Emitter& out, const std::uint8_t* image, std::size_t& emitted, std::size_t upto) {
  while (upto - emitted >= 4) {
    const std::size_t n = std::min((upto - emitted) / 4 * 4, kMaxLiteralRun);
    out.Byte(static_cast<std::uint8_t>(0xE0 + (n / 4 - 1)));
    out.Bytes(image + emitted, n);
    emitted += n;
  }
}

void EmitCopy(Emitter& out, std::size_t length, std::size_t distance, const std::uint8_t* literals,
              std::size_t literal_count) {
  const std::size_t d = distance - 1;
  const auto r = static_cast<unsigned>(literal_count);
  if (length <= 10 && distance <= 1024) {
    out.Byte(static_cast<std::uint8_t>(32 * (d >> 8) + 4 * (length - 3) + r));
    out.Byte(static_cast<std::uint8_t>(d & 0xFF));
  } else if (length <= 67 && distance <= 16384) {
    out.Byte(static_cast<std::uint8_t>(0x80 + (length - 4)));
    out.Byte(static_cast<std::uint8_t>(64 * r + (d >> 8)));
    out.Byte(static_cast<std::uint8_t>(d & 0xFF));
  } else {
    out.Byte(static_cast<std::uint8_t>(0xC0 + 16 * (d >> 16) + 4 * ((length - 5) >> 8) + r));
    out.Byte(static_cast<std::uint8_t>((d >> 8) & 0xFF));
    out.Byte(static_cast<std::uint8_t>(d & 0xFF));
    out.Byte(static_cast<std::uint8_t>((length - 5) & 0xFF));
  }
  out.Bytes(literals, literal_count);
}

bool Acceptable(std::size_t length, std::size_t distance) {
  return length >= 5 || (length == 4 && distance <= 16384) || (length == 3 && distance <= 1024);
}

}  // namespace

LzStatus DecodeLz(ByteSource& input, std::span<std::uint8_t> output) {
  StreamInput in(input);
  return Decode(in, output);
}

LzStatus DecodeLz(std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  MemoryInput in{input.data(), input.data() + input.size()};
  return Decode(in, output);
}

namespace {

void Encode(std::span<const std::uint8_t> image, ByteSink& sink) {
  const std::size_t size = image.size();
  if (size > kLzMaxImageSize) throw ArchiveError(texts::kTooLargeForCrp);

  const std::uint8_t header[kLzHeaderSize] = {kLzMagic0, kLzMagic1, static_cast<std::uint8_t>(size >> 16),
                                              static_cast<std::uint8_t>(size >> 8),
                                              static_cast<std::uint8_t>(size)};
  sink.Append(header, sizeof header);

  // Head: the latest position of each two-byte key. Chain: for each position
  // in the window, the previous position with the same key.
  std::vector<std::int32_t> chain(kWindow, -1);
  std::vector<std::int32_t> head(65536, -1);

  Emitter out(sink);
  const std::uint8_t* const img = image.data();
  std::size_t emitted = 0;

  auto enter = [&](std::size_t pos) -> std::int32_t {
    const unsigned key = static_cast<unsigned>(img[pos]) << 8 | img[pos + 1];
    const std::int32_t previous = head[key];
    chain[pos & kChainMask] = previous;
    head[key] = static_cast<std::int32_t>(pos);
    return previous;
  };

  for (std::size_t pos = 0; pos + 3 <= size; ++pos) {
    const std::int32_t first = enter(pos);

    const std::size_t cap = std::min(size - pos, kMaxMatch);
    const std::uint8_t* const here = img + pos;
    std::size_t best = 0;
    std::size_t best_distance = 0;
    std::int32_t candidate = first;
    for (int examined = 0; candidate >= 0 && pos - static_cast<std::size_t>(candidate) < kWindow &&
                           examined < kMaxCandidates;
         ++examined) {
      if (best == cap) break;  // nothing later can be strictly longer
      const std::uint8_t* const there = img + candidate;
      // A candidate can only be longer if it also agrees at the current best length.
      if (there[best] == here[best]) {
        const std::size_t length = MatchLength(there, here, cap);
        if (length > best) {
          best = length;
          best_distance = pos - static_cast<std::size_t>(candidate);
        }
      }
      candidate = chain[static_cast<std::size_t>(candidate) & kChainMask];
    }

    if (!Acceptable(best, best_distance)) continue;

    FlushLiteralRuns(out, img, emitted, pos);
    EmitCopy(out, best, best_distance, img + emitted, pos - emitted);
    emitted = pos + best;

    // Positions covered by the copy are still entered, but never searched.
    const std::size_t last_entered = std::min(emitted, size - 1);
    for (++pos; pos < last_entered; ++pos) enter(pos);
    --pos;
  }
  // The last two positions are too short to start a copy; they end up as
  // literals of the final runs and the stop operation.
  FlushLiteralRuns(out, img, emitted, size);
  const std::size_t rest = size - emitted;
  if (rest > 3) throw ArchiveError(texts::kCompressionError);
  out.Byte(static_cast<std::uint8_t>(0xFC + rest));
  out.Bytes(img + emitted, rest);
  emitted = size;
  out.Flush();
  if (emitted != size) throw ArchiveError(texts::kCompressionError);
}

}  // namespace

void EncodeLz(std::span<const std::uint8_t> image, ByteSink& sink) {
  TranslatingMemoryFailure([&] { Encode(image, sink); });
}

}  // namespace packrat
