#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "common/limited_run.h"
#endif

#include "archive_fixtures.h"
#include "packrat/archive/bytes.h"
#include "packrat/archive/codec.h"
#include "packrat/archive/error.h"

namespace packrat {
namespace {

using testing_support::Bytes;
using testing_support::MakeArchive;
using testing_support::MakeArticle;
using testing_support::MakeChunk;
using testing_support::PutLe32;

const ArchiveCodec codec;

std::string ParseError(const Bytes& image) {
  try {
    codec.ParseImage(image.data(), image.size());
  } catch (const ArchiveError& error) {
    return error.what();
  }
  return "";
}

Bytes Built(const Archive& archive) {
  const ImageBuffer image = codec.BuildImage(archive);
  return Bytes(image.bytes.get(), image.bytes.get() + image.size);
}

std::uint32_t Word(const Bytes& image, std::size_t at) { return LoadLe32(image.data() + at); }

// ---- Parser --------------------------------------------------------------------

TEST(ParseImage, HeaderCases) {
  EXPECT_EQ(ParseError(Bytes(15, 0)), "Data has invalid length");
  EXPECT_THROW(
      {
        try {
          codec.ParseImage(nullptr, 4096);
        } catch (const ArchiveError& e) {
          EXPECT_STREQ(e.what(), "No data specified");
          throw;
        }
      },
      ArchiveError);

  const Archive empty = codec.ParseImage(Bytes(16, 0).data(), 16);
  EXPECT_TRUE(empty.IsValid());
  EXPECT_EQ(empty.header_word, 0u);
  EXPECT_EQ(empty.article_count, 0u);
  EXPECT_EQ(empty.entry_count, 0u);

  // The article count is word 1 shifted right by five; its low bits are ignored.
  for (const auto& [word, articles] : {std::pair{26u, 0u}, std::pair{58u, 1u}, std::pair{122u, 3u}}) {
    Bytes image(16 + 16 * articles, 0);
    PutLe32(image, 4, word);
    for (std::uint32_t i = 0; i < articles; ++i) PutLe32(image, 16 + 16 * i, Article::kMagic);
    EXPECT_EQ(codec.ParseImage(image.data(), image.size()).article_count, articles) << word;
  }
}

TEST(ParseImage, MagicIsALittleEndianWord) {
  Bytes image(32, 0);
  PutLe32(image, 4, 58);
  image[16] = 0x41;
  image[17] = 0x72;
  image[18] = 0x74;
  image[19] = 0x69;
  EXPECT_EQ(ParseError(image), "Data is an invalid CRP");
  std::swap(image[16], image[19]);
  std::swap(image[17], image[18]);
  EXPECT_EQ(ParseError(image), "");
}

TEST(ParseImage, ChunkFieldsAndPlacement) {
  // One article whose single part lies after a gap, and one data entry that
  // sits directly after the article entry and shares the part's bytes.
  Bytes image(128, 0);
  PutLe32(image, 4, 58);
  PutLe32(image, 8, 1);
  PutLe32(image, 16, Article::kMagic);
  PutLe32(image, 20, 0xABCD);
  PutLe32(image, 24, 1);
  PutLe32(image, 28, 3);  // parts at 16 + 48 = 64
  PutLe32(image, 64, 77);
  image[68] = 0x45;
  image[69] = 0x03;  // length 3
  PutLe32(image, 72, 5);
  PutLe32(image, 76, 32);  // data at 96
  image[96] = 'x';
  image[97] = 'y';
  image[98] = 'z';
  PutLe32(image, 32, 88);  // data entry at 32
  image[36] = 0x01;
  image[37] = 0x02;  // length 2
  PutLe32(image, 44, 64);  // data at 96 too

  const Archive archive = codec.ParseImage(image.data(), image.size());
  ASSERT_EQ(archive.article_count, 1u);
  const Chunk& part = (*(*archive.articles)[0].parts)[0];
  EXPECT_EQ((*archive.articles)[0].param, 0xABCDu);
  EXPECT_EQ(part.id, 77u);
  EXPECT_EQ(part.tag, 0x45);
  EXPECT_EQ(part.length, 3u);
  EXPECT_EQ(part.param, 5u);
  EXPECT_EQ(*part.data, (Bytes{'x', 'y', 'z'}));
  const Chunk& entry = (*archive.entries)[0];
  EXPECT_EQ(entry.id, 88u);
  EXPECT_EQ(*entry.data, (Bytes{'x', 'y'}));
  EXPECT_NE(entry.data->data(), part.data->data());

  // Bytes 45 23 01 00 at offsets 4..7 give tag 0x45 and length 291.
  Bytes wide(16 + 16 + 300, 0);
  PutLe32(wide, 8, 1);
  wide[20] = 0x45;
  wide[21] = 0x23;
  wide[22] = 0x01;
  PutLe32(wide, 28, 16);
  const Archive wide_archive = codec.ParseImage(wide.data(), wide.size());
  const Chunk& big = (*wide_archive.entries)[0];
  EXPECT_EQ(big.tag, 0x45);
  EXPECT_EQ(big.length, 291u);
}

TEST(ParseImage, ZeroLengthChunksIgnoreTheirOffsetAndEmptyArticlesTheirParts) {
  Bytes image(48, 0);
  PutLe32(image, 4, 58);
  PutLe32(image, 8, 1);
  PutLe32(image, 16, Article::kMagic);
  PutLe32(image, 28, 0xFFFFFFF0);  // parts_offset unused with no parts
  PutLe32(image, 44, 0x7FFFFFFF);  // data_offset unused with length 0
  const Archive archive = codec.ParseImage(image.data(), image.size());
  EXPECT_EQ((*archive.articles)[0].part_count, 0u);
  EXPECT_EQ((*archive.entries)[0].length, 0u);
}

TEST(ParseImage, SecondOfThreeArticlesWithWrongMagic) {
  Archive archive = MakeArchive(0, {MakeArticle({MakeChunk(1, 1, Bytes(100, 1))}), MakeArticle({}),
                                    MakeArticle({MakeChunk(2, 2, {3})})},
                                {});
  (*archive.articles)[1].magic = 0;
  EXPECT_EQ(ParseError(Built(archive)), "Data is an invalid CRP");
}

// Every entry and block must lie inside the image: damaged counts and
// offsets end the parse with a text instead of reading past the end.
TEST(ParseImage, RefusesAnythingOutsideTheImage) {
  const Bytes good = Built(MakeArchive(0, {MakeArticle({MakeChunk(1, 1, {1, 2, 3, 4, 5})})}, {MakeChunk(2, 2, {9})}));
  ASSERT_EQ(ParseError(good), "");

  struct Damage {
    const char* name;
    std::size_t at;
    std::uint32_t value;
  };
  for (const Damage& d : {Damage{"article count", 4, 0xFFFFFFE0u | 26}, Damage{"entry count", 8, 0xFFFFFFFFu},
                          Damage{"entries past end", 8, 600}, Damage{"part count", 24, 0x10000000},
                          Damage{"parts offset", 28, 0x00FFFFFF},
                          Damage{"part length", 48 + 4, 0xFFFFFF00u}, Damage{"part data offset", 48 + 12, 8192},
                          Damage{"entry data offset", 32 + 12, 0x7FFFFFF0u}}) {
    Bytes bad = good;
    PutLe32(bad, d.at, d.value);
    EXPECT_EQ(ParseError(bad), "Data is an invalid CRP") << d.name;
  }
  // A block that ends exactly at the end of the image is fine; one byte more is not.
  Bytes exact = good;
  PutLe32(exact, 32 + 12, static_cast<std::uint32_t>(exact.size() - 1 - 32));
  EXPECT_EQ(ParseError(exact), "");
  PutLe32(exact, 32 + 12, static_cast<std::uint32_t>(exact.size() - 32));
  EXPECT_EQ(ParseError(exact), "Data is an invalid CRP");
}

#ifndef _WIN32
// ParseImage's text for `image`, parsed in a child process that may obtain
// only `megabytes` more address space than it holds already: a parser that
// copies what it must refuse fails with the memory text instead of taking the
// machine's memory. (Under AddressSanitizer, which reserves terabytes of
// address space up front, the child runs without the limit.)
std::string ParseErrorInLittleMemory(const Bytes& image, [[maybe_unused]] unsigned megabytes) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return "no pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipe_ends[0]);
#ifndef ROADFIRE_LIMITED_RUN_ASAN
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    const rlim_t limit =
        static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (rlim_t{megabytes} << 20);
    const rlimit rl{limit, limit};
    setrlimit(RLIMIT_AS, &rl);
#endif
    const std::string text = ParseError(image);
    const ssize_t written = write(pipe_ends[1], text.data(), text.size());
    _exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
  }
  close(pipe_ends[1]);
  const std::string text = fault_injection::DrainPipe(pipe_ends[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "child failed";
}

// Entries may share one block, and articles one run of parts, so a small
// image can describe any amount of data and any number of records. A model
// whose image would reach 4 GiB can never be written again: it is refused
// before anything is copied. Every entry's copy and every record counts, as
// the builder would lay them out.
TEST(ParseImage, RefusesModelsTooLargeToWriteBeforeCopyingAnything) {
  const std::string too_large = "Archive is too large for a CRP image";
  // 4,097 copies of 1 MiB; 16,384 articles x 16,384 empty parts, a directory of 4 GiB.
  EXPECT_EQ(ParseErrorInLittleMemory(testing_support::SharedBlockImage(4097, 1u << 20), 64), too_large);
  EXPECT_EQ(ParseErrorInLittleMemory(testing_support::SharedPartsImage(16384, 16384), 64), too_large);

  // At the limit: 256 entries share a block and a 257th points outside the
  // image. A directory of 8192 bytes and 256 blocks of 2^24 - 32 bytes make
  // exactly 4 GiB: refused. With blocks 16 bytes shorter the image would be
  // 4 GiB - 4096, so the parser goes on, to the damaged 257th entry.
  struct Limit {
    std::uint32_t block_length;
    std::string text;
  };
  for (const Limit& limit : {Limit{(1u << 24) - 32, too_large}, Limit{(1u << 24) - 48, "Data is an invalid CRP"}}) {
    Bytes image = testing_support::SharedBlockImage(257, limit.block_length);
    PutLe32(image, 16 * 257 + 12, 0x7FFFFFF0u);
    EXPECT_EQ(ParseErrorInLittleMemory(image, 64), limit.text) << limit.block_length;
  }
}
#endif

// ---- Builder -------------------------------------------------------------------

TEST(BuildImage, EmptyArchiveIsOneZeroBlockWithHeader) {
  const Bytes image = Built(MakeArchive(7, {}, {}));
  ASSERT_EQ(image.size(), 4096u);
  EXPECT_EQ(Word(image, 0), 7u);
  EXPECT_EQ(Word(image, 4), 26u);
  EXPECT_EQ(Word(image, 8), 0u);
  EXPECT_EQ(Word(image, 12), 1u);
  EXPECT_TRUE(std::all_of(image.begin() + 16, image.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(BuildImage, OneArticleWithOnePart) {
  const Bytes image = Built(MakeArchive(0, {MakeArticle({MakeChunk(0x11, 0x22, {1, 2, 3, 4, 5}, 0x33)})}, {}));
  ASSERT_EQ(image.size(), 8192u);
  EXPECT_EQ(Word(image, 4), 58u);
  EXPECT_EQ(Word(image, 16), Article::kMagic);
  EXPECT_EQ(Word(image, 24), 1u);  // part_count
  EXPECT_EQ(Word(image, 28), 1u);  // parts_offset
  EXPECT_EQ(Word(image, 32), 0x11u);
  EXPECT_EQ(Word(image, 36), 5u * 256 + 0x22);
  EXPECT_EQ(Word(image, 40), 0x33u);
  EXPECT_EQ(Word(image, 44), 4064u);
  EXPECT_EQ(Bytes(image.begin() + 4096, image.begin() + 4101), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_TRUE(std::all_of(image.begin() + 4101, image.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(image.begin() + 48, image.begin() + 4096, [](std::uint8_t b) { return b == 0; }));

  const Bytes zero_part = Built(MakeArchive(0, {MakeArticle({MakeChunk(1, 1, {})})}, {}));
  ASSERT_EQ(zero_part.size(), 4096u);
  EXPECT_EQ(Word(zero_part, 44), 4064u);  // points at the end of the image
}

TEST(BuildImage, SizesFollowTheRoundingRules) {
  struct SizeCase {
    const char* name;
    Archive archive;
    std::size_t size;
  };
  std::vector<Chunk> blocks;
  for (std::size_t n : {15u, 16u, 17u}) blocks.push_back(MakeChunk(0, 0, Bytes(n, 1)));
  std::vector<Chunk> entries255(255, MakeChunk(0, 0, {}));
  std::vector<Chunk> entries256(256, MakeChunk(0, 0, {}));
  std::vector<Chunk> big{MakeChunk(0, 0, Bytes(4096 - 16, 1)), MakeChunk(0, 0, Bytes(17, 1))};
  const SizeCase cases[] = {
      {"blocks_15_16_17", MakeArchive(0, {}, blocks), 4096 + 4096},
      {"255_empty_entries", MakeArchive(0, {}, entries255), 4096},
      {"256_empty_entries", MakeArchive(0, {}, entries256), 8192},
      {"data_spills_into_second_block", MakeArchive(0, {}, big), 4096 + 8192},
  };
  for (const SizeCase& c : cases) {
    const Bytes image = Built(c.archive);
    EXPECT_EQ(image.size(), c.size) << c.name;
  }
  // Blocks of 15, 16 and 17 bytes start 16 bytes apart, then 16, then 32.
  const Bytes image = Built(cases[0].archive);
  EXPECT_EQ(Word(image, 16 + 12), 4096u - 16);
  EXPECT_EQ(Word(image, 32 + 12), 4096u + 16 - 32);
  EXPECT_EQ(Word(image, 48 + 12), 4096u + 32 - 48);
}

TEST(BuildImage, RefusesWhatAnImageCannotHold) {
  Archive invalid;
  invalid.article_count = 1;
  try {
    codec.BuildImage(invalid);
    FAIL();
  } catch (const ArchiveError& e) {
    EXPECT_STREQ(e.what(), "Data is an invalid CRP");
  }

  Chunk huge;
  huge.length = 1u << 24;
  huge.data.emplace(huge.length, 0);
  try {
    codec.BuildImage(MakeArchive(0, {}, {huge}));
    FAIL();
  } catch (const ArchiveError& e) {
    EXPECT_STREQ(e.what(), "Archive is too large for a CRP image");
  }
}

TEST(BuildImage, ParsesBackToTheSameModel) {
  for (std::uint32_t seed = 0; seed < 60; ++seed) {
    const Archive archive = testing_support::RandomArchive(seed);
    const ImageBuffer image = codec.BuildImage(archive);
    const ImageBuffer again = codec.BuildImage(archive);
    ASSERT_TRUE(std::equal(image.view().begin(), image.view().end(), again.view().begin(), again.view().end()));
    EXPECT_EQ(image.size % 4096, 0u);
    const Archive back = codec.ParseImage(image.bytes.get(), image.size);
    ASSERT_EQ(back, archive) << "seed " << seed;
  }
}

}  // namespace
}  // namespace packrat
