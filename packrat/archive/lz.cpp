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

// Room the fast path may overrun by: it copies in whole blocks (at least 32
// bytes), so it reads up to 31 bytes past an operation's literals and writes
// up to 31 past its end. Bytes written there are rewritten by later
// operations, or zeroed when the stream stops short.
constexpr std::size_t kWideCopy = 32;

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

  explicit StreamInput(ByteSource& source) : source_(source), buffer_(kBlock) { next = end = buffer_.data(); }

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

// Whole blocks, loaded before they are stored, so a block may overlap its
// own source (a literal run copies its empty match onto itself).
inline void Copy8(std::uint8_t* dst, const std::uint8_t* src) {
  std::uint8_t block[8];
  std::memcpy(block, src, 8);
  std::memcpy(dst, block, 8);
}
inline void Copy16(std::uint8_t* dst, const std::uint8_t* src) {
  std::uint8_t block[16];
  std::memcpy(block, src, 16);
  std::memcpy(dst, block, 16);
}

// Copies `length` bytes (at least 1) in 16-byte blocks, at least two of them,
// so it may write up to 31 bytes more. A block may read what an earlier block
// wrote but never what a later one writes: the caller guarantees
// dst - src >= 16, or separate buffers.
inline void WideCopy(std::uint8_t* dst, const std::uint8_t* src, std::size_t length) {
  std::uint8_t* const stop = dst + length;
  // Two blocks unconditionally: most copies are that short, and a loop that
  // always exits at the same point costs no mispredicted branch.
  Copy16(dst, src);
  Copy16(dst + 16, src + 16);
  dst += 32;
  src += 32;
  while (dst < stop) {
    Copy16(dst, src);
    dst += 16;
    src += 16;
  }
}

// For a period d below 8: the mask that keeps the first d bytes of a word,
// and three shifts (multiples of d bytes) that repeat them across all eight.
struct PeriodSpread {
  std::uint64_t mask;
  unsigned shifts[3];
};
constexpr PeriodSpread kPeriodSpread[8] = {
    {0, {0, 0, 0}},
    {0xFF, {8, 16, 32}},
    {0xFFFF, {16, 32, 32}},
    {0xFFFFFF, {24, 48, 48}},
    {0xFFFFFFFF, {32, 32, 32}},
    {0xFFFFFFFFFF, {40, 40, 40}},
    {0xFFFFFFFFFFFF, {48, 48, 48}},
    {0xFFFFFFFFFFFFFF, {56, 56, 56}},
};

// For each period d below 16, the largest whole number of periods within 8
// and within 16 bytes: how far apart stores of an 8- or 16-byte pattern go.
// A table, because a division here would cost more than the copy.
struct PeriodSteps {
  std::uint8_t within8[16];
  std::uint8_t within16[16];
  constexpr PeriodSteps() : within8{}, within16{} {
    for (unsigned d = 1; d < 16; ++d) {
      within8[d] = static_cast<std::uint8_t>(8 / d * d);
      within16[d] = static_cast<std::uint8_t>(16 / d * d);
    }
  }
};
constexpr PeriodSteps kPeriodSteps;

// Compilers turn this into one load and a byte swap.
inline std::uint32_t LoadBe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t value;
  std::memcpy(&value, p, 8);
  return value;
}

// Appends `length` bytes from `distance` back, where the output has at least
// kWideCopy bytes of room past the copy. Each block reads only bytes that are
// final when it runs.
inline void FastCopyMatch(std::uint8_t* dst, std::size_t distance, std::size_t length) {
  const std::uint8_t* const src = dst - distance;
  if (distance >= 16) {
    WideCopy(dst, src, length);
    return;
  }
  std::uint8_t* const stop = dst + length;
  if (distance < 8 && std::endian::native == std::endian::little) {
    // The period is built in a register from its d final bytes (the word
    // also reads bytes past them, which the mask drops), then stored every
    // whole number of periods, with no reloads of bytes just written.
    const PeriodSpread& spread = kPeriodSpread[distance];
    std::uint64_t pattern = Load64(src) & spread.mask;
    pattern |= pattern << spread.shifts[0];
    pattern |= pattern << spread.shifts[1];
    pattern |= pattern << spread.shifts[2];
    const std::size_t step = kPeriodSteps.within8[distance];
    if (length <= 16) {
      do {
        std::memcpy(dst, &pattern, 8);
        dst += step;
      } while (dst < stop);
      return;
    }
    // A long copy: three words give at least 18 bytes, of which the first 16
    // continue every 16 / d * d bytes.
    std::memcpy(dst, &pattern, 8);
    std::memcpy(dst + step, &pattern, 8);
    std::memcpy(dst + 2 * step, &pattern, 8);
    std::uint8_t wide[16];
    std::memcpy(wide, dst, 16);
    const std::size_t wide_step = kPeriodSteps.within16[distance];
    for (dst += wide_step; dst < stop; dst += wide_step) std::memcpy(dst, wide, 16);
    return;
  }
  // The opening 16 bytes: with a period below 8 (on machines of the other
  // byte order), eight bytes one at a time and then eight from a whole number
  // of periods back (8 to 14 bytes); otherwise two blocks of eight.
  if (distance < 8) {
    for (int i = 0; i < 8; ++i) dst[i] = src[i];
    Copy8(dst + 8, dst + 8 - (8 + distance - 1) / distance * distance);
  } else {
    Copy8(dst, src);
    Copy8(dst + 8, src + 8);
  }
  if (length <= 16) return;
  // The opening block holds whole periods in its first `step` bytes, so the
  // same 16 bytes, stored every `step` bytes, continue the pattern; held in a
  // register, they cost no reloads of bytes just written.
  std::uint8_t pattern[16];
  std::memcpy(pattern, dst, 16);
  const std::size_t step = kPeriodSteps.within16[distance];
  for (dst += step; dst < stop; dst += step) std::memcpy(dst, pattern, 16);
}

// Appends `length` bytes that start `distance` bytes back, exactly. The ranges
// may overlap: a distance below the length repeats the last `distance` bytes.
inline void ExactCopyMatch(std::uint8_t* dst, std::size_t distance, std::size_t length) {
  const std::uint8_t* src = dst - distance;
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

// Everything the first byte of an operation says, looked up once per
// operation, so the fast loop decodes every kind with the same arithmetic
// and no branch on the kind. The fields are cut from the operation's first
// four bytes read as one big-endian word w = B0 B1 B2 B3:
//   short  0ddlllnn dddddddd           distance bits 7-0 at w bits 23-16
//   medium 10llllll nndddddd dddddddd  distance bits 13-0 at w bits 21-8,
//                                      literal count at w bits 23-22
//   long   110dllnn dddddddd dddddddd llllllll
//                                      distance bits 15-0 at w bits 23-8,
//                                      length bits 7-0 at w bits 7-0
//   run    111nnnnn, then (n + 1) * 4 literals (n below 0x1C)
// The bases hold the first byte's part, "+ 1" and "+ 3/4/5" included. A
// literal run is a copy of length 0 from distance 0; its masks keep the
// literals that follow its opcode out of the fields.
struct OpForm {
  std::uint32_t distance = 0;
  std::uint32_t distance_mask = 0;  // after shifting w right by distance_shift
  std::uint16_t length = 0;
  std::uint8_t header = 1;         // bytes before the literals
  std::uint8_t literals = 0;       // the literal count the first byte gives...
  std::uint8_t literal_mask = 0;   // ...plus w bits 23-22 under this mask
  std::uint8_t length_mask = 0;    // length bits in w bits 7-0
  std::uint8_t distance_shift = 0;
};

struct OpForms {
  OpForm entry[256];
  constexpr OpForms() {
    for (unsigned b0 = 0; b0 < 256; ++b0) {
      OpForm& f = entry[b0];
      if (b0 < 0x80) {
        f.distance = ((b0 & 0x60u) << 3) + 1;
        f.distance_mask = 0xFF;
        f.distance_shift = 16;
        f.length = static_cast<std::uint16_t>(((b0 >> 2) & 7) + 3);
        f.header = 2;
        f.literals = static_cast<std::uint8_t>(b0 & 3);
      } else if (b0 < 0xC0) {
        f.distance = 1;
        f.distance_mask = 0x3FFF;
        f.distance_shift = 8;
        f.length = static_cast<std::uint16_t>((b0 & 0x3F) + 4);
        f.header = 3;
        f.literal_mask = 3;
      } else if (b0 < 0xE0) {
        f.distance = ((b0 & 0x10u) << 12) + 1;
        f.distance_mask = 0xFFFF;
        f.distance_shift = 8;
        f.length = static_cast<std::uint16_t>(((b0 & 0x0Cu) << 6) + 5);
        f.length_mask = 0xFF;
        f.header = 4;
        f.literals = static_cast<std::uint8_t>(b0 & 3);
      } else if (b0 < 0xFC) {
        f.literals = static_cast<std::uint8_t>(((b0 & 0x1F) + 1) * 4);
      }
      // The stop (0xFC-0xFF) never reaches the fast loop.
    }
  }
};

constexpr OpForms kOpForms;

// With this much input and output room every operation but the stop fits
// with kWideCopy to spare, so the fast loop checks the ends once per
// operation, before looking at it.
constexpr std::size_t kFastInput = 4 + 112 + kWideCopy;
constexpr std::size_t kFastOutput = 3 + 1028 + kWideCopy;

// The rest of a copy longer than 16 bytes whose first 16 are in place.
[[gnu::noinline]] void FinishLongCopy(std::uint8_t* dst, std::size_t distance, std::size_t length) {
  std::uint8_t* const stop = dst + length;
  if (distance >= 16) {
    for (dst += 16; dst < stop; dst += 16) Copy16(dst, dst - distance);
    return;
  }
  // The first 16 bytes hold whole periods in their first `step` bytes, so
  // the same 16 bytes, stored every `step` bytes, continue the pattern.
  std::uint8_t pattern[16];
  std::memcpy(pattern, dst, 16);
  const std::size_t step = kPeriodSteps.within16[distance];
  for (dst += step; dst < stop; dst += step) std::memcpy(dst, pattern, 16);
}

// Decodes operations while both ends are far away. Returns false after a copy
// that reaches before the start of the output (`o` then counts the bytes
// produced before it); true when an end is near or the next operation is the
// stop, left to the careful path.
inline bool DecodeFast(const std::uint8_t*& next, const std::uint8_t* end, std::uint8_t* out,
                       std::size_t capacity, std::size_t& o) {
  const std::uint8_t* p = next;
  std::uint8_t* dst = out + o;
  bool sound = true;
  // The last places where a whole operation, and the room it may overrun,
  // still fit.
  if (static_cast<std::size_t>(end - p) >= kFastInput && capacity - o >= kFastOutput) {
    const std::uint8_t* const input_limit = end - kFastInput;
    const std::uint8_t* const output_limit = out + capacity - kFastOutput;
    while (p <= input_limit && dst <= output_limit) {
      const unsigned b0 = p[0];
      if (b0 >= 0xFC) break;
      const OpForm& form = kOpForms.entry[b0];
      const std::uint32_t w = LoadBe32(p);
      const std::size_t literals = form.literals + ((w >> 22) & form.literal_mask);
      const std::size_t length = form.length + (w & form.length_mask);
      const std::size_t distance = form.distance + ((w >> form.distance_shift) & form.distance_mask);
      p += form.header;
      // Up to 16 literals in one block; only literal runs carry more.
      Copy16(dst, p);
      if (literals > 16) WideCopy(dst + 16, p + 16, literals - 16);
      p += literals;
      dst += literals;
      if (distance > static_cast<std::size_t>(dst - out)) {
        sound = false;
        break;
      }
      // Periods of 8 or more (and the run's distance 0, a harmless copy of
      // bytes onto themselves) take two 8-byte blocks; each reads only
      // bytes that are final by then.
      if (distance - 1 >= 7) {
        const std::uint8_t* const src = dst - distance;
        Copy8(dst, src);
        Copy8(dst + 8, src + 8);
        if (length > 16) FinishLongCopy(dst, distance, length);
      } else {
        FastCopyMatch(dst, distance, length);
      }
      dst += length;
    }
  }
  next = p;
  o = static_cast<std::size_t>(dst - out);
  return sound;
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
    if (!DecodeFast(in.next, in.end, out, capacity, o)) return LzStatus::kBadDistance;
    // The careful path needs a whole operation in hand whenever the input holds one.
    if (static_cast<std::size_t>(in.end - in.next) < kFastInput) in.Refill();

    // One operation near an end of the input or output, or the stop: exact
    // copies only, every bound checked.
    const std::size_t available = static_cast<std::size_t>(in.end - in.next);
    if (available == 0) return o == capacity ? LzStatus::kComplete : LzStatus::kEndedEarly;

    const std::uint8_t* p = in.next;
    const unsigned b0 = p[0];
    std::size_t header;
    std::size_t literals;
    std::size_t length = 0;
    std::size_t distance = 0;
    if (b0 < 0x80) {
      header = 2;
      if (available < header) return LzStatus::kEndedEarly;
      literals = b0 & 3;
      length = ((b0 >> 2) & 7) + 3;
      distance = ((b0 & 0x60u) << 3 | p[1]) + 1;
    } else if (b0 < 0xC0) {
      header = 3;
      if (available < header) return LzStatus::kEndedEarly;
      literals = p[1] >> 6;
      length = (b0 & 0x3F) + 4;
      distance = ((p[1] & 0x3Fu) << 8 | p[2]) + 1;
    } else if (b0 < 0xE0) {
      header = 4;
      if (available < header) return LzStatus::kEndedEarly;
      literals = b0 & 3;
      length = ((b0 & 0x0Cu) << 6 | p[3]) + 5;
      distance = ((b0 & 0x10u) << 12 | static_cast<unsigned>(p[1]) << 8 | p[2]) + 1;
    } else if (b0 < 0xFC) {
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
      ExactCopyMatch(out + o, distance, length);
      o += length;
    }
  }
}

template <typename Input>
LzStatus Decode(Input& in, std::span<std::uint8_t> output, std::size_t& produced) {
  produced = 0;
  const LzStatus status = DecodeOperations(in, output.data(), output.size(), produced);
  if (produced < output.size()) std::memset(output.data() + produced, 0, output.size() - produced);
  return status;
}

// ---- Encoder ------------------------------------------------------------------

constexpr std::size_t kWindow = 131072;
constexpr std::size_t kChainMask = kWindow - 1;
constexpr std::uint32_t kMaxCandidates = 50;
constexpr std::size_t kMaxMatch = 1028;
constexpr std::size_t kMaxLiteralRun = 112;

// Positions are walked by their first three bytes. The 24-bit value of the
// three bytes is mixed by an odd multiplier, which only permutes 24-bit
// values; the top 17 bits of the result choose the bucket (as many buckets
// as the window has positions, so chains stay short) and the low 7 bits,
// kept in every link, tell the positions in the bucket whose three bytes
// are exactly the same from those that only share the bucket, without
// reading the image.
constexpr unsigned kBucketBits = 17;
constexpr unsigned kCheckBits = 24 - kBucketBits;

struct Key3 {
  std::uint32_t bucket;
  std::uint32_t check;  // already shifted to the top byte, as in a link
};

inline Key3 HashKey3(const std::uint8_t* p) {
  const std::uint32_t value =
      static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
  const std::uint32_t mixed = (value * 0x9E3779B1u) & 0xFFFFFF;
  return {mixed >> kCheckBits, (mixed & ((1u << kCheckBits) - 1)) << 24};
}

// A link to an earlier position: the position in the low 24 bits and that
// position's check bits above them. Images are below 2^24 bytes and the last
// two positions are never linked, so the position 0xFFFFFF is free to mean
// "none"; it also lies more than a window behind every position.
constexpr std::uint32_t kNoLink = 0xFFFFFF;
constexpr std::uint32_t kLinkPosition = 0xFFFFFF;

// Collects the stream in a block and hands it to the sink a block at a time.
class Emitter {
 public:
  explicit Emitter(ByteSink& sink) : sink_(sink) {}

  void Byte(std::uint8_t b) {
    Reserve(1);
    buffer_[used_++] = b;
  }
  void Bytes(const std::uint8_t* bytes, std::size_t count) {
    if (count == 0) return;  // an empty image has no bytes to point at
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

LzStatus DecodeLz(ByteSource& input, std::span<std::uint8_t> output, std::size_t& produced) {
  StreamInput in(input);
  return Decode(in, output, produced);
}

LzStatus DecodeLz(std::span<const std::uint8_t> input, std::span<std::uint8_t> output, std::size_t& produced) {
  MemoryInput in{input.data(), input.data() + input.size()};
  return Decode(in, output, produced);
}

LzStatus DecodeLz(ByteSource& input, std::span<std::uint8_t> output) {
  std::size_t produced = 0;
  return DecodeLz(input, output, produced);
}

LzStatus DecodeLz(std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  std::size_t produced = 0;
  return DecodeLz(input, output, produced);
}

namespace {

void Encode(std::span<const std::uint8_t> image, ByteSink& sink) {
  const std::size_t size = image.size();
  if (size > kLzMaxImageSize) throw ArchiveError(texts::kTooLargeForCrp);

  const std::uint8_t header[kLzHeaderSize] = {kLzMagic0, kLzMagic1, static_cast<std::uint8_t>(size >> 16),
                                              static_cast<std::uint8_t>(size >> 8),
                                              static_cast<std::uint8_t>(size)};
  sink.Append(header, sizeof header);

  // The rule: at each position, look at up to 50 earlier positions that share
  // its first two bytes, latest first, within the window, and take the first
  // longest match. Only those that share three bytes can give a usable match
  // (at least 3 bytes), so the search walks a chain of positions by their
  // first three bytes and skips the rest. Which of them the rule would have
  // reached is told by counting: each position carries its ordinal among the
  // positions of its two-byte key, and a position lies within the first 50
  // exactly when fewer than 50 of its key came after it. Positions that only
  // share the bucket are passed over without that test: any later position
  // of the same three bytes is older still, so it fails the test if they did.
  struct Slot {
    std::uint32_t previous;  // link to the previous position of the bucket
    std::uint32_t ordinal;   // how many positions with the same two bytes came before
  };
  std::vector<Slot> slots(kWindow);
  std::vector<std::uint32_t> head(std::size_t{1} << kBucketBits, kNoLink);
  std::vector<std::uint32_t> key_count(65536, 0);

  Emitter out(sink);
  const std::uint8_t* const img = image.data();
  std::size_t emitted = 0;

  // Enters `pos`, which has at least three bytes.
  auto enter = [&](std::size_t pos, Key3 key) {
    Slot& slot = slots[pos & kChainMask];
    slot.ordinal = key_count[static_cast<unsigned>(img[pos]) << 8 | img[pos + 1]]++;
    std::uint32_t& latest = head[key.bucket];
    slot.previous = latest;
    latest = static_cast<std::uint32_t>(pos) | key.check;
  };

  for (std::size_t pos = 0; pos + 3 <= size; ++pos) {
    const Key3 key = HashKey3(img + pos);
    enter(pos, key);
    const std::uint32_t ordinal = slots[pos & kChainMask].ordinal;

    const std::size_t cap = std::min(size - pos, kMaxMatch);
    const std::uint8_t* const here = img + pos;
    std::size_t best = 0;
    std::size_t best_distance = 0;
    std::uint32_t link = slots[pos & kChainMask].previous;
    // The link "none" is more than a window back, so one test ends the walk.
    while (pos - (link & kLinkPosition) < kWindow) {
      const std::size_t candidate = link & kLinkPosition;
      const Slot& slot = slots[candidate & kChainMask];
      if ((link & ~kLinkPosition) == key.check) {
        if (ordinal - 1 - slot.ordinal >= kMaxCandidates) break;  // beyond the 50 the rule looks at
        if (best == cap) break;                                   // nothing later can be strictly longer
        // A candidate can only be longer if it also agrees at the current best
        // length; its first three bytes agree already.
        const std::uint8_t* const there = img + candidate;
        if (there[best] == here[best]) {
          const std::size_t length = MatchLength(there, here, cap);
          if (length > best) {
            best = length;
            best_distance = pos - candidate;
          }
        }
      }
      link = slot.previous;
    }

    if (!Acceptable(best, best_distance)) continue;

    FlushLiteralRuns(out, img, emitted, pos);
    EmitCopy(out, best, best_distance, img + emitted, pos - emitted);
    emitted = pos + best;

    // Positions covered by the copy are still entered, but never searched.
    // The last two positions of the image have no three-byte key; they only
    // count for their two-byte key, which no later position can look up.
    const std::size_t last_entered = std::min(emitted, size - 2);
    std::size_t next = pos + 1;
    if (best_distance == 1) {
      // A run of one byte value: the positions whose three bytes all lie in
      // it share their keys, so they are entered in one pass with the count
      // and the latest position held in registers; entering them one by one
      // would wait on the previous position's store every time.
      const std::size_t run_stop = pos + best - 2;
      if (next < run_stop) {
        const Key3 run_key = HashKey3(img + next);
        std::uint32_t& count = key_count[static_cast<unsigned>(img[next]) << 8 | img[next]];
        std::uint32_t& latest = head[run_key.bucket];
        std::uint32_t run_ordinal = count;
        std::uint32_t previous = latest;
        for (; next < run_stop; ++next) {
          slots[next & kChainMask] = Slot{previous, run_ordinal++};
          previous = static_cast<std::uint32_t>(next) | run_key.check;
        }
        count = run_ordinal;
        latest = previous;
      }
    }
    for (pos = next; pos < last_entered; ++pos) enter(pos, HashKey3(img + pos));
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
