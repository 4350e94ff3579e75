// packrat-cli unpack on archives that describe far more than they hold, and
// on streams that stop before producing the image they announce. Every run
// has little memory: a reader that copied shared blocks and records without
// bound would fail it ("Memory couldn't be allocated", or the sanitizer's
// abort) long before its model was complete.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <filesystem>
#include <optional>

#include "archive/archive_fixtures.h"
#include "common/limited_run.h"
#include "packrat/archive/codec.h"

namespace packrat {
namespace {

using fault_injection::RunWithMemoryLimit;
using testing_support::Bytes;
using testing_support::Compressed;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

const std::string kCli = std::string(ROADFIRE_BIN_DIR) + "/packrat-cli";

// Far below what the models below would take, far above what reading their
// images takes.
constexpr unsigned kMemoryMegabytes = 256;

// 4,097 entries that share one block of 1 MiB: 4 GiB of copies from an image
// of about 1 MiB.
Bytes SharedBlockBomb() { return testing_support::SharedBlockImage(4097, 1u << 20); }

// 16,384 articles that share one run of 16,384 empty parts: 2^28 records, a
// directory of 4 GiB, from an image of 512 KiB.
Bytes SharedPartsBomb() { return testing_support::SharedPartsImage(16384, 16384); }

// A small archive whose image ends with its only block.
Bytes OneBlockImage() {
  using namespace testing_support;
  const ImageBuffer image =
      ArchiveCodec().BuildImage(MakeArchive(3, {MakeArticle({MakeChunk(1, 2, Bytes(100, 7))})}, {}));
  return Bytes(image.bytes.get(), image.bytes.get() + image.size);
}

Bytes EmptyArchiveImage() {
  Bytes image(4096, 0);
  testing_support::PutLe32(image, 4, 26);
  testing_support::PutLe32(image, 12, 1);
  return image;
}

struct Case {
  const char* name;
  Bytes file;
  std::string error;         // the line on standard error; empty for success
  std::optional<Bytes> drp;  // what the .drp holds on success
};

TEST(PackratHostileArchives, RefusedWithinBoundedMemoryOrReadAsTheSystemDoes) {
  TempDir dir;
  const std::string crp = dir.file("hostile.crp");
  const std::string drp = dir.file("hostile.drp");
  const std::string too_large = "Archive is too large for a CRP image";
  Bytes ten = Compressed(Bytes(10, 1));
  ten.resize(16, 0);
  const Case cases[] = {
      {"shared block, stored", SharedBlockBomb(), too_large, {}},
      {"shared block, compressed", Compressed(SharedBlockBomb()), too_large, {}},
      {"shared parts, stored", SharedPartsBomb(), too_large, {}},
      {"shared parts, compressed", Compressed(SharedPartsBomb()), too_large, {}},
      // A stream that is only a stop: 4096 zero bytes, the empty archive.
      {"bare stop announcing 4096 bytes", testing_support::Hex("10 FB 00 10 00 FC 00 00 00 00 00 00 00 00 00 00"),
       "", EmptyArchiveImage()},
      {"stream announcing 10 bytes", ten, "Data has invalid length", {}},
      {"stream stopping before the data block", testing_support::StoppedEarly(OneBlockImage(), 4096),
       "File " + crp + " is an invalid CRP", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(drp);
    WriteFileBytes(crp, c.file);
    const auto result = RunWithMemoryLimit(kCli, {"unpack", crp}, kMemoryMegabytes);
    if (c.error.empty()) {
      EXPECT_EQ(result.exit_code, 0) << result.err;
      EXPECT_EQ(result.out, "Decompressing CRP...\nDecompressed CRP. Ready...\n");
      EXPECT_EQ(ReadFileBytes(drp), *c.drp);
    } else {
      EXPECT_EQ(result.exit_code, 1);
      EXPECT_EQ(result.err, c.error + "\n");
      EXPECT_EQ(result.out, "Decompressing CRP...\n");
      EXPECT_FALSE(std::filesystem::exists(drp));
    }
  }
}

}  // namespace
}  // namespace packrat
#endif
