#include <gtest/gtest.h>

#include <optional>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <new>

#include "archive_fixtures.h"
#include "packrat/archive/codec.h"
#include "packrat/ui/disk_files.h"
#include "packrat/archive/error.h"
#include "packrat/archive/lz.h"

namespace packrat {
namespace {

using testing_support::Bytes;
using testing_support::Compressed;
using testing_support::FolderListing;
using testing_support::Hex;
using testing_support::MakeArchive;
using testing_support::MakeArticle;
using testing_support::MakeChunk;
using testing_support::ReadFileBytes;
using testing_support::StoppedEarly;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

const ArchiveCodec codec(DiskFiles());

template <typename Call>
std::string ErrorOf(Call call) {
  try {
    call();
  } catch (const ArchiveError& error) {
    return error.what();
  }
  return "";
}

Bytes Built(const Archive& archive) {
  const ImageBuffer image = codec.BuildImage(archive);
  return Bytes(image.bytes.get(), image.bytes.get() + image.size);
}

TEST(WriteCrp, EmptyArchiveIsThe33ByteFile) {
  TempDir dir;
  const std::string name = dir.file("empty.crp");
  codec.WriteCrp(Archive{}, name);
  EXPECT_EQ(ReadFileBytes(name), Hex("10 FB 00 10 00 01 00 00 05 04 1A 00 00 11 07 01 CC 00 00 FF CC 00 00 FF CC 00 "
                                     "00 FF CC 00 00 DB FC"));
  EXPECT_EQ(FolderListing(dir.path()), std::vector<std::string>{"empty.crp"});
}

TEST(WriteDrp, EmptyArchiveWithHeaderWord) {
  TempDir dir;
  const std::string name = dir.file("seven.drp");
  codec.WriteDrp(MakeArchive(7, {}, {}), name);
  Bytes expected(4096, 0);
  testing_support::PutLe32(expected, 0, 7);
  testing_support::PutLe32(expected, 4, 26);
  testing_support::PutLe32(expected, 12, 1);
  EXPECT_EQ(ReadFileBytes(name), expected);
  EXPECT_EQ(codec.ReadDrp(name).header_word, 7u);
}

TEST(Files, RoundTripsThroughBothFormats) {
  TempDir dir;
  for (std::uint32_t seed = 100; seed < 130; ++seed) {
    const Archive archive = testing_support::RandomArchive(seed);
    codec.WriteCrp(archive, dir.file("a.crp"));
    codec.WriteDrp(archive, dir.file("a.drp"));
    ASSERT_EQ(codec.ReadCrp(dir.file("a.crp")), archive) << seed;
    ASSERT_EQ(codec.ReadDrp(dir.file("a.drp")), archive) << seed;
    // A .drp is a stored .crp, and the compressed file announces the image size.
    ASSERT_EQ(codec.ReadCrp(dir.file("a.drp")), archive) << seed;
    const Bytes crp = ReadFileBytes(dir.file("a.crp"));
    const std::size_t announced = std::size_t{crp[2]} << 16 | std::size_t{crp[3]} << 8 | crp[4];
    ASSERT_EQ(announced, ReadFileBytes(dir.file("a.drp")).size());
  }
}

TEST(Readers, ErrorTexts) {
  TempDir dir;
  const std::string missing = dir.file("missing.crp");
  const std::string short_file = dir.file("short.crp");
  WriteFileBytes(short_file, Bytes(15, 0x10));
  const std::string bad_magic = dir.file("magic.crp");
  Bytes image(32, 0);
  testing_support::PutLe32(image, 4, 58);
  testing_support::PutLe32(image, 16, 0x69727441);
  WriteFileBytes(bad_magic, image);

  for (auto read : {&ArchiveCodec::ReadCrp, &ArchiveCodec::ReadDrp}) {
    EXPECT_EQ(ErrorOf([&] { (codec.*read)(""); }), "No filename specified");
    EXPECT_EQ(ErrorOf([&] { (codec.*read)(missing); }), "File " + missing + " couldn't be opened");
    EXPECT_EQ(ErrorOf([&] { (codec.*read)(short_file); }), "File " + short_file + " has invalid file size");
    EXPECT_EQ(ErrorOf([&] { (codec.*read)(bad_magic); }), "Data is an invalid CRP");
    EXPECT_EQ(ErrorOf([&] { (codec.*read)(dir.path().string()); }).substr(0, 5), "File ");
  }
}

TEST(ReadCrp, TellsCompressedFromStoredByTheFirstTwoBytes) {
  TempDir dir;
  // 0x11 0xFB and 0xFB 0x10 start stored images (header words only).
  for (const Bytes& start : {Hex("11 FB 00 00"), Hex("FB 10 00 00")}) {
    Bytes stored = start;
    stored.resize(16, 0);
    WriteFileBytes(dir.file("s.crp"), stored);
    EXPECT_EQ(codec.ReadCrp(dir.file("s.crp")).header_word, std::uint32_t{start[0]} | std::uint32_t{start[1]} << 8);
  }
  // A .drp whose first bytes happen to be 10 FB is still read as an image.
  Bytes lookalike(16, 0);
  lookalike[0] = 0x10;
  lookalike[1] = 0xFB;
  WriteFileBytes(dir.file("x.drp"), lookalike);
  EXPECT_EQ(codec.ReadDrp(dir.file("x.drp")).header_word, 0xFB10u);
}

TEST(ReadCrp, AnnouncedSizeBelowAHeaderFailsInTheParser) {
  TempDir dir;
  Bytes file = Compressed(Bytes(10, 1));
  file.resize(std::max<std::size_t>(file.size(), 16), 0);
  WriteFileBytes(dir.file("ten.crp"), file);
  EXPECT_EQ(ErrorOf([&] { codec.ReadCrp(dir.file("ten.crp")); }), "Data has invalid length");
}

// A stream that asks for the impossible is damaged as a whole.
TEST(ReadCrp, DamagedStreamsAreInvalid) {
  TempDir dir;
  const Bytes good = Compressed(Built(testing_support::RandomArchive(7)));
  struct Damage {
    const char* name;
    Bytes bytes;
  };
  Bytes truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  Bytes announces_less = good;
  announces_less.at(3) = static_cast<std::uint8_t>(announces_less.at(3) - 0x10);
  const Damage cases[] = {
      {"truncated", truncated},
      {"announces less than it holds", announces_less},
      {"copy before start", Hex("10 FB 00 00 10 00 04 E0 00 00 00 00 FC 00 00 00")},
  };
  for (const Damage& d : cases) {
    const std::string name = dir.file("bad.crp");
    WriteFileBytes(name, d.bytes);
    EXPECT_EQ(ErrorOf([&] { codec.ReadCrp(name); }), "File " + name + " is an invalid CRP") << d.name;
  }
}

// A stream that stops before producing all it announced is refused only when
// the parser needs a byte it did not produce: the zeros standing in for the
// rest would otherwise be read as the archive's own. Where the parser needs
// none of them, the file reads as the image's bytes say.
TEST(ReadCrp, StreamsThatStopEarly) {
  TempDir dir;
  const std::string name = dir.file("early.crp");
  // Directory: header, one article, one data entry, two parts (80 bytes, in
  // 4096). Blocks: 100 bytes at 4096, 40 at 4208, the entry's 20 at 4256.
  const Archive archive =
      MakeArchive(3, {MakeArticle({MakeChunk(1, 2, Bytes(100, 7)), MakeChunk(2, 3, Bytes(40, 8))})},
                  {MakeChunk(9, 1, Bytes(20, 4))});
  const Bytes image = Built(archive);
  ASSERT_EQ(image.size(), 8192u);
  Bytes announces_more = Compressed(image);
  announces_more.at(2) = 0x7F;

  const Archive empty = MakeArchive(0, {}, {});
  const std::string refused = "File " + name + " is an invalid CRP";
  struct Case {
    const char* name;
    Bytes file;
    std::optional<Archive> read;  // absent: refused with the file's text
  };
  const Case cases[] = {
      {"a bare stop, 4096 announced", Hex("10 FB 00 10 00 FC 00 00 00 00 00 00 00 00 00 00"), empty},
      {"a bare stop where an archive was announced", StoppedEarly(image, 0), empty},
      {"cut off inside the first operation", Hex("10 FB 00 10 00 FB 01 02 03 04 05 06 07 08 09 0A"), {}},
      {"a stop with one literal", Hex("10 FB 00 10 00 FD 07 00 00 00 00 00 00 00 00 00"), {}},
      {"inside the header", StoppedEarly(image, 8), {}},
      {"after the header", StoppedEarly(image, 16), {}},
      {"inside the part entries", StoppedEarly(image, 72), {}},
      {"after the directory", StoppedEarly(image, 4096), {}},
      {"inside a part's block", StoppedEarly(image, 4200), {}},
      {"before the data entry's block", StoppedEarly(image, 4256), {}},
      {"one byte short of the last block", StoppedEarly(image, 4275), {}},
      {"after the last block", StoppedEarly(image, 4276), archive},
      {"one byte short of the image", StoppedEarly(image, 8191), archive},
      {"announcing 8 MiB more", announces_more, archive},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(name, c.file);
    if (c.read) {
      EXPECT_EQ(codec.ReadCrp(name), *c.read);
    } else {
      EXPECT_EQ(ErrorOf([&] { codec.ReadCrp(name); }), refused);
    }
    EXPECT_EQ(ErrorOf([&] { codec.ReadCrpBytes(c.file, name); }), ErrorOf([&] { codec.ReadCrp(name); }));
  }
}

TEST(Writers, InvalidModelTouchesNoFile) {
  TempDir dir;
  Chunk broken;
  broken.length = 5;
  const Archive invalid = MakeArchive(0, {}, {broken});
  Archive counted;
  counted.article_count = 1;
  const std::string existing = dir.file("keep.crp");
  WriteFileBytes(existing, Bytes{1, 2, 3});

  for (auto write : {&ArchiveCodec::WriteCrp, &ArchiveCodec::WriteDrp}) {
    EXPECT_EQ(ErrorOf([&] { (codec.*write)(Archive{}, ""); }), "No filename specified");
    EXPECT_EQ(ErrorOf([&] { (codec.*write)(invalid, dir.file("new.drp")); }),
              "File " + dir.file("new.drp") + " is an invalid CRP");
    EXPECT_EQ(ErrorOf([&] { (codec.*write)(counted, existing); }), "File " + existing + " is an invalid CRP");
  }
  EXPECT_EQ(FolderListing(dir.path()), std::vector<std::string>{"keep.crp"});
  EXPECT_EQ(ReadFileBytes(existing), (Bytes{1, 2, 3}));
}

// The .drp is written block by block from the model; it must be exactly the
// image the builder makes: directories past one page, blocks larger than the
// writer's buffer, empty and odd-sized blocks.
TEST(WriteDrp, WritesExactlyTheBuiltImage) {
  TempDir dir;
  std::vector<Archive> archives;
  for (std::uint32_t seed = 200; seed < 215; ++seed) archives.push_back(testing_support::RandomArchive(seed));
  archives.push_back(testing_support::RandomArchive(9, 30, 12, 200, 70000));
  for (const Archive& archive : archives) {
    codec.WriteDrp(archive, dir.file("a.drp"));
    const ImageBuffer image = codec.BuildImage(archive);
    ASSERT_EQ(ReadFileBytes(dir.file("a.drp")), Bytes(image.bytes.get(), image.bytes.get() + image.size));
  }
}

// Image buffers from a given allocator: whatever the engine gives back early
// is overwritten at once, as if the memory had gone, so a parser that read
// there afterwards would build a different model.
class SpoilingBuffers final : public BufferAllocator {
 public:
  std::uint8_t* Allocate(std::size_t size) noexcept override {
    if (refuse) return nullptr;
    ++live;
    return new (std::nothrow) std::uint8_t[size];
  }
  void Release(std::uint8_t* bytes, std::size_t) noexcept override {
    --live;
    delete[] bytes;
  }
  void Discard(std::uint8_t* bytes, std::size_t size) noexcept override {
    std::fill(bytes, bytes + size, std::uint8_t{0xDD});
    discarded += size;
  }
  bool refuse = false;
  int live = 0;
  std::size_t discarded = 0;
};

// Blocks of a few hundred KiB each, several MiB in all: enough for the
// readers to give memory back while they parse.
Archive LargeArchive() {
  std::vector<Article> articles;
  std::uint32_t value = 1;
  for (int a = 0; a < 8; ++a) {
    std::vector<Chunk> parts;
    for (int p = 0; p < 3; ++p) {
      Bytes block(static_cast<std::size_t>(200000 + 4099 * (a + p)));
      for (std::uint8_t& b : block) b = static_cast<std::uint8_t>((value = value * 1103515245u + 12345u) >> 24);
      parts.push_back(MakeChunk(static_cast<std::uint32_t>(a), static_cast<std::uint8_t>(p), block));
    }
    articles.push_back(MakeArticle(std::move(parts)));
  }
  return MakeArchive(5, std::move(articles), {MakeChunk(9, 9, Bytes(3000000, 0x42))});
}

TEST(Readers, NeverReadImageMemoryTheyGaveBack) {
  TempDir dir;
  const Archive archive = LargeArchive();
  codec.WriteCrp(archive, dir.file("a.crp"));
  codec.WriteDrp(archive, dir.file("a.drp"));
  for (auto read : {&ArchiveCodec::ReadCrp, &ArchiveCodec::ReadDrp}) {
    SpoilingBuffers buffers;
    const ArchiveCodec spending(buffers);
    EXPECT_EQ((spending.*read)(dir.file(read == &ArchiveCodec::ReadCrp ? "a.crp" : "a.drp")), archive);
    EXPECT_GT(buffers.discarded, 0u);  // the blocks lie in order, so memory went back early
    EXPECT_EQ(buffers.live, 0);
  }

  // Blocks placed against the directory's order, one shared by two chunks:
  // nothing may go back while a later chunk still needs it.
  const std::size_t big = 3u << 20;
  Bytes image(16 + 3 * 16 + 2 * big, 0);
  testing_support::PutLe32(image, 8, 3);  // three data entries, no articles
  const std::uint32_t far = 64 + static_cast<std::uint32_t>(big);
  const std::uint32_t entry_offsets[3] = {far - 16, 64 - 32, far - 48};
  for (std::uint32_t k = 0; k < 3; ++k) {
    testing_support::PutLe32(image, 16 + 16 * k, k);
    testing_support::PutLe32(image, 20 + 16 * k, static_cast<std::uint32_t>(big) << 8);
    testing_support::PutLe32(image, 28 + 16 * k, entry_offsets[k]);
  }
  for (std::size_t i = 64; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 / 5);
  WriteFileBytes(dir.file("scattered.drp"), image);
  SpoilingBuffers buffers;
  const Archive scattered = ArchiveCodec(buffers).ReadDrp(dir.file("scattered.drp"));
  ASSERT_EQ(scattered.entry_count, 3u);
  const Bytes low(image.begin() + 64, image.begin() + 64 + static_cast<long>(big));
  const Bytes high(image.begin() + far, image.end());
  EXPECT_EQ(*(*scattered.entries)[0].data, high);
  EXPECT_EQ(*(*scattered.entries)[1].data, low);
  EXPECT_EQ(*(*scattered.entries)[2].data, high);
}

TEST(Files, BufferThatCannotBeHadIsTheMemoryText) {
  TempDir dir;
  const Archive archive = testing_support::RandomArchive(3);
  codec.WriteCrp(archive, dir.file("a.crp"));
  codec.WriteDrp(archive, dir.file("a.drp"));
  SpoilingBuffers buffers;
  buffers.refuse = true;
  const ArchiveCodec refused(buffers);
  EXPECT_EQ(ErrorOf([&] { refused.ReadCrp(dir.file("a.crp")); }), "Memory couldn't be allocated");
  EXPECT_EQ(ErrorOf([&] { refused.ReadDrp(dir.file("a.drp")); }), "Memory couldn't be allocated");
  EXPECT_EQ(ErrorOf([&] { refused.WriteDrp(archive, dir.file("new.drp")); }), "Memory couldn't be allocated");
  EXPECT_EQ(ErrorOf([&] { refused.WriteCrp(archive, dir.file("new.crp")); }), "Memory couldn't be allocated");
  EXPECT_EQ(FolderListing(dir.path()), (std::vector<std::string>{"a.crp", "a.drp"}));
}

TEST(Writers, ReplaceAnExistingFileCompletely) {
  TempDir dir;
  const std::string name = dir.file("a.drp");
  WriteFileBytes(name, Bytes(50000, 0xEE));
  codec.WriteDrp(Archive{}, name);
  EXPECT_EQ(ReadFileBytes(name).size(), 4096u);
  EXPECT_EQ(FolderListing(dir.path()), std::vector<std::string>{"a.drp"});
}

TEST(Writers, ModelsWithOtherMagicAreWrittenButNotReadBack) {
  TempDir dir;
  Archive archive = MakeArchive(0, {MakeArticle({})}, {});
  (*archive.articles)[0].magic = 1;
  codec.WriteDrp(archive, dir.file("m.drp"));
  EXPECT_EQ(ErrorOf([&] { codec.ReadDrp(dir.file("m.drp")); }), "Data is an invalid CRP");
}

TEST(Writers, CannotCreateIsReportedAndNothingIsLeft) {
  TempDir dir;
  const std::string name = dir.file("no/such/folder/a.crp");
  for (auto write : {&ArchiveCodec::WriteCrp, &ArchiveCodec::WriteDrp}) {
    EXPECT_EQ(ErrorOf([&] { (codec.*write)(Archive{}, name); }), "File " + name + " couldn't be written");
  }
  EXPECT_TRUE(FolderListing(dir.path()).empty());
}

TEST(WriteCrp, RefusesImagesTooLargeForTheStreamHeader) {
  TempDir dir;
  // Two blocks of 8 MiB make an image of 16 MiB + 4096, past the 24-bit size.
  const Archive big = MakeArchive(0, {}, {MakeChunk(1, 0, Bytes(8u << 20, 1)), MakeChunk(2, 0, Bytes(8u << 20, 2))});
  const std::string name = dir.file("big.crp");
  EXPECT_EQ(ErrorOf([&] { codec.WriteCrp(big, name); }), "Archive is too large for a compressed CRP file");
  EXPECT_TRUE(FolderListing(dir.path()).empty());
  codec.WriteDrp(big, dir.file("big.drp"));  // the bare image has no such limit
  EXPECT_EQ(codec.ReadDrp(dir.file("big.drp")), big);
}

#ifndef _WIN32
// Runs `write` in a child process whose files may not grow past `limit`
// bytes, as on a full disk. Returns the error text the child saw.
std::string WriteWithSizeLimit(rlim_t limit, const std::function<void()>& write, const std::string& report) {
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    std::string text = ErrorOf(write);
    rl = {RLIM_INFINITY, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &rl);
    WriteFileBytes(report, Bytes(text.begin(), text.end()));
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const Bytes text = ReadFileBytes(report);
  return std::string(text.begin(), text.end());
}

TEST(Writers, DiskFullLeavesTheExistingFileAndNoTemporary) {
  TempDir dir;
  TempDir reports;
  const Archive archive = testing_support::RandomArchive(3, 6, 5, 6, 20000);
  for (auto write : {&ArchiveCodec::WriteCrp, &ArchiveCodec::WriteDrp}) {
    const std::string name = dir.file("out.crp");
    WriteFileBytes(name, Bytes{7, 7, 7});
    const std::string text =
        WriteWithSizeLimit(4096, [&] { (codec.*write)(archive, name); }, reports.file("report"));
    EXPECT_EQ(text, "File " + name + " couldn't be written");
    EXPECT_EQ(ReadFileBytes(name), (Bytes{7, 7, 7}));
    EXPECT_EQ(FolderListing(dir.path()), std::vector<std::string>{"out.crp"});
  }
}
#endif

}  // namespace
}  // namespace packrat
