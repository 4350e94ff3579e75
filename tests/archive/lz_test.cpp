#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/temp_dir.h"
#include "packrat/archive/lz.h"
#include "reference_encoder.h"

namespace packrat {
namespace {

using testing_support::Bytes;
using testing_support::Hex;

class VectorSink final : public ByteSink {
 public:
  void Append(const std::uint8_t* bytes, std::size_t count) override { data.insert(data.end(), bytes, bytes + count); }
  Bytes data;
};

Bytes Encode(const Bytes& input) {
  VectorSink sink;
  EncodeLz(input, sink);
  return sink.data;
}

struct Decoded {
  LzStatus status;
  Bytes output;
};

// Decodes a whole stream, header included, into a buffer of the announced size.
Decoded Decode(const Bytes& stream) {
  const std::size_t n = std::size_t{stream[2]} << 16 | std::size_t{stream[3]} << 8 | stream[4];
  Decoded result{LzStatus::kComplete, Bytes(n, 0xEE)};
  result.status = DecodeLz(std::span(stream).subspan(kLzHeaderSize), result.output);
  return result;
}

Bytes Repeat(const Bytes& unit, std::size_t times) {
  Bytes out;
  for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), unit.begin(), unit.end());
  return out;
}

Bytes RandomBytes(std::size_t n, std::uint32_t seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, alphabet - 1);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(byte(rng));
  return out;
}

// A random block, then a copy of `length` bytes of it from `distance` back.
Bytes RepeatAt(std::size_t distance, std::size_t length, std::uint32_t seed) {
  Bytes out = RandomBytes(distance, seed);
  for (std::size_t i = 0; i < length; ++i) out.push_back(out[out.size() - distance]);
  out.push_back(0x5A);
  return out;
}

struct StreamCase {
  const char* name;
  Bytes input;
  const char* stream;
};

class EncoderVectors : public ::testing::TestWithParam<StreamCase> {};

TEST_P(EncoderVectors, EncodesExactlyAndDecodesBack) {
  const StreamCase& c = GetParam();
  const Bytes stream = Encode(c.input);
  EXPECT_EQ(stream, Hex(c.stream));
  const Decoded back = Decode(stream);
  EXPECT_EQ(back.status, LzStatus::kComplete);
  EXPECT_EQ(back.output, c.input);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, EncoderVectors,
    ::testing::Values(
        StreamCase{"empty", {}, "10 FB 00 00 00 FC"},
        StreamCase{"one_byte", Hex("61"), "10 FB 00 00 01 FD 61"},
        StreamCase{"two_bytes", Hex("61 62"), "10 FB 00 00 02 FE 61 62"},
        StreamCase{"three_bytes", Hex("61 62 63"), "10 FB 00 00 03 FF 61 62 63"},
        StreamCase{"four_literals", Hex("61 62 63 64"), "10 FB 00 00 04 E0 61 62 63 64 FC"},
        StreamCase{"four_same", Hex("61 61 61 61"), "10 FB 00 00 04 01 00 61 FC"},
        StreamCase{"eleven_same", Bytes(11, 0x61), "10 FB 00 00 0B 1D 00 61 FC"},
        StreamCase{"abcd_twice", Hex("61 62 63 64 61 62 63 64"), "10 FB 00 00 08 E0 61 62 63 64 04 03 FC"},
        StreamCase{"abc_four_times", Repeat(Hex("61 62 63"), 4), "10 FB 00 00 0C 1B 02 61 62 63 FC"},
        StreamCase{"eight_bytes_three_times", Repeat(Hex("61 62 63 64 65 66 67 68"), 3),
                   "10 FB 00 00 18 E1 61 62 63 64 65 66 67 68 8C 00 07 FC"},
        StreamCase{"zeros_4096", Bytes(4096, 0),
                   "10 FB 00 10 00 CD 00 00 FF 00 CC 00 00 FF CC 00 00 FF CC 00 00 EE FC"}),
    [](const auto& test) { return std::string(test.param.name); });

struct DecodeCase {
  const char* name;
  const char* stream;
  LzStatus status;
  Bytes output;
};

class DecoderVectors : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecoderVectors, Expands) {
  const DecodeCase& c = GetParam();
  const Decoded got = Decode(Hex(c.stream));
  EXPECT_EQ(got.status, c.status);
  EXPECT_EQ(got.output, c.output);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, DecoderVectors,
    ::testing::Values(
        DecodeCase{"short_copy_distance_1", "10 FB 00 00 0B 1D 00 61 FC", LzStatus::kComplete, Bytes(11, 0x61)},
        DecodeCase{"literal_run_then_copy", "10 FB 00 00 08 E0 61 62 63 64 04 03 FC", LzStatus::kComplete,
                   Hex("61 62 63 64 61 62 63 64")},
        DecodeCase{"long_copies", "10 FB 00 10 00 CD 00 00 FF 00 CC 00 00 FF CC 00 00 FF CC 00 00 EE FC",
                   LzStatus::kComplete, Bytes(4096, 0)},
        DecodeCase{"stop_literal_ignored_when_full", "10 FB 00 00 04 E0 61 62 63 64 FD 65", LzStatus::kComplete,
                   Hex("61 62 63 64")},
        DecodeCase{"empty_image", "10 FB 00 00 00 FC", LzStatus::kComplete, {}},
        DecodeCase{"input_ends_instead_of_stop", "10 FB 00 00 04 E0 61 62 63 64", LzStatus::kComplete,
                   Hex("61 62 63 64")},
        // Damaged streams: the rest of the buffer is zero and the status says why.
        DecodeCase{"stops_early", "10 FB 00 00 06 E0 61 62 63 64 FC", LzStatus::kEndedEarly,
                   Hex("61 62 63 64 00 00")},
        DecodeCase{"runs_out_inside_literals", "10 FB 00 00 08 E1 61 62", LzStatus::kEndedEarly, Bytes(8, 0)},
        DecodeCase{"runs_out_inside_header", "10 FB 00 00 08 E0 61 62 63 64 80", LzStatus::kEndedEarly,
                   Hex("61 62 63 64 00 00 00 00")},
        DecodeCase{"copy_past_end", "10 FB 00 00 05 1D 00 61 FC", LzStatus::kOverrun, Hex("00 00 00 00 00")},
        DecodeCase{"literals_past_end", "10 FB 00 00 02 E0 61 62 63 64 FC", LzStatus::kOverrun, Hex("00 00")},
        DecodeCase{"copy_before_start", "10 FB 00 00 08 E0 61 62 63 64 00 04 FC", LzStatus::kBadDistance,
                   Hex("61 62 63 64 00 00 00 00")},
        DecodeCase{"copy_with_no_output", "10 FB 00 00 03 00 00 FC", LzStatus::kBadDistance, Hex("00 00 00")}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Decoder, OpcodeRangesAndFields) {
  // 0xFB is a literal run of 112 bytes, 0xE0 one of 4.
  Bytes stream = Hex("10 FB 00 00 74 FB");
  const Bytes literals = RandomBytes(112, 1);
  stream.insert(stream.end(), literals.begin(), literals.end());
  stream.push_back(0xE0);
  stream.insert(stream.end(), {1, 2, 3, 4});
  stream.push_back(0xFC);
  Decoded got = Decode(stream);
  ASSERT_EQ(got.status, LzStatus::kComplete);
  EXPECT_TRUE(std::equal(literals.begin(), literals.end(), got.output.begin()));

  // A long copy with bit 4 set and B1 = B2 = 0 reaches 65537 bytes back:
  // 585 runs of 112 and one of 16 give 65536 bytes, the copy carries the last.
  const Bytes far = RandomBytes(65537, 2);
  Bytes long_stream = Hex("10 FB 01 00 06");
  std::size_t at = 0;
  for (int run = 0; run < 585; ++run, at += 112) {
    long_stream.push_back(0xFB);
    long_stream.insert(long_stream.end(), far.begin() + static_cast<long>(at), far.begin() + static_cast<long>(at + 112));
  }
  long_stream.push_back(0xE3);
  long_stream.insert(long_stream.end(), far.begin() + static_cast<long>(at), far.begin() + static_cast<long>(at + 16));
  long_stream.insert(long_stream.end(), {0xD1, 0x00, 0x00, 0x00, far.back(), 0xFC});
  got = Decode(long_stream);
  ASSERT_EQ(got.status, LzStatus::kComplete);
  Bytes expected = far;
  expected.insert(expected.end(), far.begin(), far.begin() + 5);
  EXPECT_EQ(got.output, expected);
}

TEST(Decoder, NeverWritesOutsideItsBuffer) {
  // A stream announcing more than the caller's buffer holds is cut at the buffer.
  const Bytes stream = Encode(Bytes(1000, 7));
  Bytes memory(600 + 16, 0xA5);
  const LzStatus status =
      DecodeLz(std::span(stream).subspan(kLzHeaderSize), std::span(memory).first(600));
  EXPECT_EQ(status, LzStatus::kOverrun);
  for (std::size_t i = 600; i < memory.size(); ++i) EXPECT_EQ(memory[i], 0xA5) << i;
}

TEST(Decoder, StreamSourceMatchesMemoryInput) {
  // Reading through a source in odd-sized pieces gives the same image.
  class TrickleSource final : public ByteSource {
   public:
    explicit TrickleSource(const Bytes& bytes) : bytes_(bytes) {}
    std::size_t Read(std::uint8_t* destination, std::size_t count) override {
      const std::size_t n = std::min({count, bytes_.size() - at_, std::size_t{37}});
      std::copy_n(bytes_.begin() + static_cast<long>(at_), n, destination);
      at_ += n;
      return n;
    }

   private:
    const Bytes& bytes_;
    std::size_t at_ = 0;
  };
  // Short operations, and long literal runs that straddle the source's blocks.
  for (const Bytes& input : {RandomBytes(300000, 3, 4), RandomBytes(200000, 7)}) {
    const Bytes stream = Encode(input);
    const Bytes body(stream.begin() + kLzHeaderSize, stream.end());
    TrickleSource source(body);
    Bytes output(input.size());
    EXPECT_EQ(DecodeLz(source, output), LzStatus::kComplete);
    EXPECT_EQ(output, input);
  }
}

// Random well-formed operations of every form, with copies of every short
// period and of every length, each copy written in a randomly chosen form
// that can hold it, checked against a byte-at-a-time expansion. The decoder
// copies in wide blocks far from the ends and exactly near them; both must
// give the plain result and never touch bytes past the buffer.
TEST(Decoder, RandomOperationsMatchPlainExpansion) {
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    auto below = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    Bytes stream;
    Bytes expected;
    while (expected.size() < 20000) {
      const std::size_t literals = below(4);
      std::size_t distance = below(4) == 0 ? 1 + below(32) : 1 + below(below(2) == 0 ? 1100 : 20000);
      if (below(8) == 0) {  // a literal run
        const std::size_t run = 4 * (1 + below(28));
        stream.push_back(static_cast<std::uint8_t>(0xE0 + run / 4 - 1));
        for (std::size_t i = 0; i < run; ++i) {
          stream.push_back(static_cast<std::uint8_t>(rng()));
          expected.push_back(stream.back());
        }
        continue;
      }
      const std::size_t length = 3 + below(below(4) == 0 ? 1026 : below(2) == 0 ? 14 : 65);
      distance = std::min(distance, expected.size() + literals);
      if (distance == 0) distance = 1;
      if (expected.size() + literals < distance) continue;
      const std::size_t d = distance - 1;
      // Every form that can hold this copy is as good as another.
      std::vector<int> forms;
      if (length <= 10 && distance <= 1024) forms.push_back(0);
      if (length >= 4 && length <= 67 && distance <= 16384) forms.push_back(1);
      if (length >= 5) forms.push_back(2);
      if (forms.empty()) continue;
      const auto r = static_cast<std::uint8_t>(literals);
      switch (forms[below(forms.size())]) {
        case 0:
          stream.insert(stream.end(), {static_cast<std::uint8_t>(32 * (d >> 8) + 4 * (length - 3) + r),
                                       static_cast<std::uint8_t>(d)});
          break;
        case 1:
          stream.insert(stream.end(), {static_cast<std::uint8_t>(0x80 + length - 4),
                                       static_cast<std::uint8_t>(64 * r + (d >> 8)), static_cast<std::uint8_t>(d)});
          break;
        default: {
          const std::size_t l = length - 5;
          stream.insert(stream.end(), {static_cast<std::uint8_t>(0xC0 + 16 * (d >> 16) + 4 * (l >> 8) + r),
                                       static_cast<std::uint8_t>(d >> 8), static_cast<std::uint8_t>(d),
                                       static_cast<std::uint8_t>(l)});
        }
      }
      for (std::size_t i = 0; i < literals; ++i) {
        stream.push_back(static_cast<std::uint8_t>(rng()));
        expected.push_back(stream.back());
      }
      for (std::size_t i = 0; i < length; ++i) expected.push_back(expected[expected.size() - distance]);
    }
    stream.push_back(0xFC);
    Bytes memory(expected.size() + 64, 0xA5);
    ASSERT_EQ(DecodeLz(stream, std::span(memory).first(expected.size())), LzStatus::kComplete) << seed;
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), memory.begin())) << seed;
    for (std::size_t i = expected.size(); i < memory.size(); ++i) ASSERT_EQ(memory[i], 0xA5) << seed;
  }
}

// ---- Encoder choices ----------------------------------------------------------

TEST(Encoder, PendingLiteralsSplitIntoRunsAndCarriedBytes) {
  // 7 distinct bytes then a repeat of the first five: a run of 4, then the
  // copy (5 bytes from 7 back) carries the other 3.
  Bytes seven = Hex("01 02 03 04 05 06 07 01 02 03 04 05");
  Bytes stream = Encode(seven);
  EXPECT_EQ(stream, Hex("10 FB 00 00 0C E0 01 02 03 04 0B 06 05 06 07 FC"));

  // 118 distinct pending bytes: runs of 112 and 4, the copy carries 2.
  Bytes many(118);
  for (std::size_t i = 0; i < many.size(); ++i) many[i] = static_cast<std::uint8_t>(i + 1);
  for (int i = 0; i < 5; ++i) many.push_back(static_cast<std::uint8_t>(i + 1));
  stream = Encode(many);
  ASSERT_GE(stream.size(), 5u + 1 + 112 + 1 + 4 + 3);
  EXPECT_EQ(stream[5], 0xFB);
  EXPECT_EQ(stream[5 + 113], 0xE0);
  const std::size_t copy = 5 + 113 + 5;
  EXPECT_EQ(stream[copy] & 3, 2);  // two literals carried
}

TEST(Encoder, RefusesShortMatchesTooFarAway) {
  // A 3-byte repeat 1025 bytes back and a 4-byte repeat 16385 bytes back
  // start no copy.
  for (const auto& [distance, length] : {std::pair{1025u, 3u}, std::pair{16385u, 4u}}) {
    Bytes input = RandomBytes(distance, distance, 256);
    // Make sure the repeated bytes occur nowhere else nearer.
    const Bytes probe(input.begin(), input.begin() + length);
    input.insert(input.end(), probe.begin(), probe.end());
    const Bytes stream = Encode(input);
    EXPECT_EQ(stream, testing_support::ReferenceEncode(input));
    const auto tail = stream.end() - 120;
    EXPECT_NE(std::search(tail, stream.end(), probe.begin(), probe.end()), stream.end())
        << "the repeated bytes must stay literals at distance " << distance;
  }
}

TEST(Encoder, WindowEndsBelow131072) {
  const Bytes block = RandomBytes(64, 9);
  for (const std::size_t gap : {131072u - 64u - 1u, 131072u - 64u}) {
    Bytes input = block;
    const Bytes filler = RandomBytes(gap, 10);
    input.insert(input.end(), filler.begin(), filler.end());
    input.insert(input.end(), block.begin(), block.end());
    const Bytes stream = Encode(input);
    EXPECT_EQ(stream, testing_support::ReferenceEncode(input)) << gap;
    Decoded back = Decode(stream);
    EXPECT_EQ(back.output, input);
  }
  // Just inside the window the block is found (the stream is shorter); at
  // exactly 131072 it is not.
  Bytes near = block;
  Bytes far = block;
  const Bytes filler_near = RandomBytes(131072 - 64 - 1, 10);
  const Bytes filler_far = RandomBytes(131072 - 64, 10);
  near.insert(near.end(), filler_near.begin(), filler_near.end());
  near.insert(near.end(), block.begin(), block.end());
  far.insert(far.end(), filler_far.begin(), filler_far.end());
  far.insert(far.end(), block.begin(), block.end());
  EXPECT_LT(Encode(near).size() + 40, Encode(far).size());
}

// ---- Round trips and agreement with the plain reference -----------------------

struct RoundTripCase {
  const char* name;
  Bytes input;
};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<RoundTripCase> RoundTripCases() {
  std::vector<RoundTripCase> cases;
  for (std::size_t n = 0; n <= 5; ++n) cases.push_back({"tiny", RandomBytes(n, static_cast<std::uint32_t>(n))});
  cases.push_back({"long_run", Bytes(200000, 0x33)});
  cases.push_back({"two_runs", Concat({Bytes(5000, 1), Bytes(5000, 2)})});
  for (const std::size_t distance : {1023u, 1024u, 1025u, 16383u, 16384u, 16385u, 131071u, 131072u}) {
    for (const std::size_t length : {3u, 4u, 10u, 11u, 67u, 68u, 1028u, 1029u}) {
      cases.push_back({"repeat", RepeatAt(distance, length, static_cast<std::uint32_t>(distance + length))});
    }
  }
  cases.push_back({"small_alphabet", RandomBytes(100000, 4, 3)});
  cases.push_back({"text_like", Repeat(Bytes{'t', 'e', 'x', 't', 'u', 'r', 'e', '_', '0', '1', '\n'}, 3000)});
  cases.push_back({"random", RandomBytes(70000, 5)});
  Bytes mixed;
  for (int block = 0; block < 40; ++block) {
    const Bytes piece = block % 3 == 0 ? RandomBytes(3000, static_cast<std::uint32_t>(block), 256)
                                       : RandomBytes(3000, static_cast<std::uint32_t>(block % 5), 8);
    mixed.insert(mixed.end(), piece.begin(), piece.end());
  }
  cases.push_back({"mixed", mixed});
  return cases;
}

TEST(EncoderRoundTrip, MatchesReferenceAndDecodesBack) {
  for (const RoundTripCase& c : RoundTripCases()) {
    SCOPED_TRACE(std::string(c.name) + " size " + std::to_string(c.input.size()));
    const Bytes stream = Encode(c.input);
    ASSERT_EQ(stream, testing_support::ReferenceEncode(c.input));
    const Decoded back = Decode(stream);
    ASSERT_EQ(back.status, LzStatus::kComplete);
    ASSERT_EQ(back.output, c.input);
  }
}

TEST(Encoder, RefusesImagesTheHeaderCannotHold) {
  VectorSink sink;
  const Bytes big(kLzMaxImageSize + 1, 0);
  EXPECT_THROW(EncodeLz(big, sink), std::runtime_error);
  EXPECT_TRUE(sink.data.empty());
}

// How many bytes a stream wrote, so a reader can tell them from the zeros
// that fill the rest.
TEST(Decoder, ReportsHowManyBytesTheStreamProduced) {
  struct Case {
    const char* stream;
    LzStatus status;
    std::size_t produced;
  };
  for (const Case& c : {Case{"10 FB 00 00 0B 1D 00 61 FC", LzStatus::kComplete, 11},
                        Case{"10 FB 00 10 00 FC", LzStatus::kEndedEarly, 0},
                        Case{"10 FB 00 00 06 E0 61 62 63 64 FC", LzStatus::kEndedEarly, 4},
                        Case{"10 FB 00 00 09 E0 61 62 63 64 04 03", LzStatus::kEndedEarly, 8},
                        Case{"10 FB 00 00 08 E0 61 62 63 64 E1 65", LzStatus::kEndedEarly, 4}}) {
    const Bytes stream = Hex(c.stream);
    const std::size_t n = std::size_t{stream[2]} << 16 | std::size_t{stream[3]} << 8 | stream[4];
    Bytes output(n, 0xEE);
    std::size_t produced = n + 1;
    EXPECT_EQ(DecodeLz(std::span(stream).subspan(kLzHeaderSize), output, produced), c.status) << c.stream;
    EXPECT_EQ(produced, c.produced) << c.stream;
    EXPECT_TRUE(std::all_of(output.begin() + static_cast<long>(produced), output.end(),
                            [](std::uint8_t b) { return b == 0; }))
        << c.stream;
  }
}

}  // namespace
}  // namespace packrat
