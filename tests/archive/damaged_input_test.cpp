// Truncated and bit-flipped copies of valid .crp (compressed and stored) and
// .drp files: each read ends with one of the engine's texts or a valid model,
// never a crash, and reading from disk and from memory agree. A cut-short
// file that still reads must give the archive it was cut from.
#include <gtest/gtest.h>

#include <set>

#include "archive_fixtures.h"
#include "common/damage.h"
#include "packrat/archive/codec.h"
#include "packrat/ui/disk_files.h"
#include "packrat/archive/error.h"

namespace packrat {
namespace {

using testing_support::Bytes;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

const ArchiveCodec codec(DiskFiles());

struct Outcome {
  bool read = false;
  std::string text;  // the error text when not read
  Archive archive;
};

template <typename Read>
Outcome Attempt(Read read) {
  Outcome outcome;
  try {
    outcome.archive = read();
    outcome.read = true;
  } catch (const ArchiveError& error) {
    outcome.text = error.what();
  }
  return outcome;
}

bool IsEngineText(const std::string& text, const std::string& name) {
  static const std::set<std::string> plain = {texts::kInvalidLength, texts::kInvalidCrp, texts::kNoData};
  return plain.count(text) != 0 || text == texts::FileHasInvalidSize(name) ||
         text == texts::FileIsInvalidCrp(name);
}

enum class Form { kCompressedCrp, kStoredCrp, kDrp };

class DamagedArchives : public ::testing::TestWithParam<Form> {
 protected:
  void SetUp() override {
    using testing_support::MakeArticle;
    using testing_support::MakeChunk;
    archive_ = testing_support::MakeArchive(
        9,
        {MakeArticle({MakeChunk(1, 1, Bytes(90, 0x5A)), MakeChunk(2, 2, Bytes{1, 2, 3})}), MakeArticle({})},
        {MakeChunk(7, 3, Bytes(40, 0x11), 4)});
    const std::string name = dir_.file("valid");
    if (GetParam() == Form::kCompressedCrp) {
      codec.WriteCrp(archive_, name);
    } else {
      codec.WriteDrp(archive_, name);  // a stored .crp holds the bare image too
    }
    file_ = ReadFileBytes(name);
  }

  Outcome ReadBack(const std::string& name) const {
    return Attempt([&] { return GetParam() == Form::kDrp ? codec.ReadDrp(name) : codec.ReadCrp(name); });
  }

  // Returns how many damaged copies were read.
  int Check(const std::vector<damage::Damaged>& cases, bool must_equal_original) {
    const std::string name = dir_.file("damaged");
    int read = 0;
    for (const damage::Damaged& c : cases) {
      SCOPED_TRACE(c.what);
      WriteFileBytes(name, c.bytes);
      const Outcome from_disk = ReadBack(name);
      if (from_disk.read) {
        ++read;
        EXPECT_TRUE(from_disk.archive.IsValid());
        if (must_equal_original) {
          EXPECT_EQ(from_disk.archive, archive_);
        }
      } else {
        EXPECT_TRUE(IsEngineText(from_disk.text, name)) << from_disk.text;
      }
      if (GetParam() != Form::kDrp) {
        const Outcome from_memory = Attempt([&] { return codec.ReadCrpBytes(c.bytes, name); });
        EXPECT_EQ(from_memory.read, from_disk.read);
        EXPECT_EQ(from_memory.text, from_disk.text);
        if (from_memory.read && from_disk.read) {
          EXPECT_EQ(from_memory.archive, from_disk.archive);
        }
      }
      if (::testing::Test::HasFailure()) break;
    }
    return read;
  }

  Archive archive_;
  Bytes file_;
  TempDir dir_;
};

TEST_P(DamagedArchives, EveryPrefixIsRefusedOrReadsAsTheOriginal) { Check(damage::Prefixes(file_), true); }

TEST_P(DamagedArchives, BitFlipsAreRefusedOrReadAsAValidArchive) {
  Check(damage::BitFlips(file_, 300, 64), false);
}

INSTANTIATE_TEST_SUITE_P(Forms, DamagedArchives,
                         ::testing::Values(Form::kCompressedCrp, Form::kStoredCrp, Form::kDrp),
                         [](const ::testing::TestParamInfo<Form>& form) {
                           switch (form.param) {
                             case Form::kCompressedCrp:
                               return std::string("CompressedCrp");
                             case Form::kStoredCrp:
                               return std::string("StoredCrp");
                             default:
                               return std::string("Drp");
                           }
                         });

}  // namespace
}  // namespace packrat
