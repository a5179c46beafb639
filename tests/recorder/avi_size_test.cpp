#include "recorder/avi_size.h"

#include <gtest/gtest.h>

using orvik::AviSizeBudget;

TEST(AviSizeBudget, CountsChunkHeadersPaddingAndEveryIndexEntry) {
  AviSizeBudget b(1000000, 40);
  const uint64_t base = AviSizeBudget::kHeaderBlock + 40;
  EXPECT_EQ(b.SizeWith(0, 100), base + 8 + 100 + 16);
  EXPECT_EQ(b.SizeWith(0, 101), base + 8 + 102 + 16);  // chunks are padded to even sizes
  b.Add(0, 100);
  // A jump leaves an empty chunk and an index entry at every skipped position.
  EXPECT_EQ(b.SizeWith(9, 100), base + 2 * 108 + 8 * 8 + 10 * 16);
  EXPECT_EQ(b.StillToWrite(9, 100), base + 108 + 8 * 8 + 10 * 16);
  b.Add(9, 100);
  EXPECT_EQ(b.Entries(), 10u);
  EXPECT_EQ(b.Written(), 216u + 64);
  // Positions behind the last one add nothing to the index.
  EXPECT_EQ(b.SizeWith(3, 100), base + 3 * 108 + 64 + 10 * 16);
}

TEST(AviSizeBudget, TheWriteThatWouldPassTheLimitDoesNotFit) {
  const uint64_t base = AviSizeBudget::kHeaderBlock + 40;
  const uint64_t limit = base + 3 * (8 + 1000 + 16);
  AviSizeBudget b(limit, 40);
  for (uint32_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(b.Fits(i, 1000)) << i;
    b.Add(i, 1000);
  }
  EXPECT_FALSE(b.Fits(3, 1000));
  EXPECT_FALSE(b.Fits(3, 0));
}

TEST(AviSizeBudget, HugeIndicesNeitherOverflowNorFit) {
  AviSizeBudget b(2000000000, 40);
  EXPECT_FALSE(b.Fits(0xFFFFFFFFu, 1));
  EXPECT_GT(b.SizeWith(0xFFFFFFFFu, 1), 0xFFFFFFFFull * 16);
  EXPECT_TRUE(b.Fits(40000, 6220800));
}
