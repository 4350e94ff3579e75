#include <gtest/gtest.h>

#include "archive_fixtures.h"

namespace packrat {
namespace {

using testing_support::MakeArchive;
using testing_support::MakeArticle;
using testing_support::MakeChunk;

TEST(Validity, ChunkNeedsDataOnlyWhenItHasLength) {
  Chunk empty;
  EXPECT_TRUE(empty.IsValid());
  empty.data.emplace();
  EXPECT_TRUE(empty.IsValid());

  Chunk five;
  five.length = 5;
  EXPECT_FALSE(five.IsValid());
  five.data.emplace(5, 0);
  EXPECT_TRUE(five.IsValid());
  five.data->resize(4);  // storage that cannot back the length
  EXPECT_FALSE(five.IsValid());
}

TEST(Validity, ArticlesAndArchivesNeedStorageBehindTheirCounts) {
  Article no_parts;
  EXPECT_TRUE(no_parts.IsValid());
  no_parts.parts.emplace();
  EXPECT_TRUE(no_parts.IsValid());

  Article missing;
  missing.part_count = 1;
  EXPECT_FALSE(missing.IsValid());

  Chunk broken;
  broken.length = 5;
  Article with_broken = MakeArticle({MakeChunk(1, 0, {1}), broken});
  EXPECT_FALSE(with_broken.IsValid());
  EXPECT_FALSE(MakeArchive(0, {with_broken}, {}).IsValid());
  EXPECT_FALSE(MakeArchive(0, {}, {broken}).IsValid());

  Archive counted;
  counted.article_count = 2;
  EXPECT_FALSE(counted.IsValid());
  Archive entries_counted;
  entries_counted.entry_count = 1;
  EXPECT_FALSE(entries_counted.IsValid());

  EXPECT_TRUE(Archive{}.IsValid());
  Article odd_magic = MakeArticle({});
  odd_magic.magic = 0x12345678;  // the model leaves the magic to the image
  EXPECT_TRUE(MakeArchive(0, {odd_magic}, {}).IsValid());
}

TEST(Copy, IsDeepAndIndependent) {
  const Archive source = MakeArchive(9, {MakeArticle({MakeChunk(1, 2, {1, 2, 3}), MakeChunk(4, 5, {})})},
                                     {MakeChunk(7, 8, {9, 9})});
  Archive copy = source;
  EXPECT_EQ(copy, source);
  (*(*copy.articles)[0].parts)[0].data->at(0) = 0xFF;
  (*copy.entries)[0].data->at(1) = 0xFF;
  EXPECT_EQ((*(*source.articles)[0].parts)[0].data->at(0), 1);
  EXPECT_EQ((*source.entries)[0].data->at(1), 9);
  EXPECT_NE(copy, source);

  const Archive empty_copy = Archive{};
  EXPECT_TRUE(empty_copy.IsValid());
  EXPECT_EQ(empty_copy.article_count, 0u);

  Chunk target = MakeChunk(1, 1, {1});
  const Chunk& alias = target;
  target = alias;  // self-assignment keeps the data
  ASSERT_TRUE(target.data.has_value());
  EXPECT_EQ(target.data->at(0), 1);
}

}  // namespace
}  // namespace packrat
