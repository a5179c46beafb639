// Segment arithmetic and index encoding of the AVI writer, byte for byte.
#include "avi/avi_format.h"

#include <gtest/gtest.h>

namespace {

uint32_t Load32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

TEST(AviFormat, ChunkIndexGrowsPerSegmentButNeverPastAnEighthOfIt) {
  const uint64_t gib = 1ull << 30;
  EXPECT_EQ(avi::ChunkIndexCapacity(0, gib), 1024u);
  EXPECT_EQ(avi::ChunkIndexCapacity(1, gib), 2048u);
  EXPECT_EQ(avi::ChunkIndexCapacity(6, gib), 65536u);
  EXPECT_EQ(avi::ChunkIndexCapacity(4000, gib), 65536u);  // no shift overflow
  EXPECT_EQ(avi::ChunkIndexCapacity(0, 16 * 1024), 256u);
  EXPECT_LE(avi::ChunkIndexBytes(avi::ChunkIndexCapacity(3, 40000)), 40000u / 8 + 40);
}

TEST(AviFormat, SegmentEndsBeforeChunkAndFirstRiffIdx1WouldPassTheLimit) {
  // An AVIX: header, index and chunks; 100 bytes used, 100 left.
  avi::SegmentUse avix{false, 100, 3, 10};
  EXPECT_TRUE(avi::SegmentHasRoom(avix, 92, 200));   // 8 + 92 = 100: exactly full
  EXPECT_FALSE(avi::SegmentHasRoom(avix, 93, 200));  // odd: padded to 94
  // The first RIFF also keeps room for its idx1: 8 + 16 bytes per slot, this one included.
  avi::SegmentUse first{true, 100, 3, 10};
  EXPECT_TRUE(avi::SegmentHasRoom(first, 92 - 8 - 64, 200));
  EXPECT_FALSE(avi::SegmentHasRoom(first, 92 - 8 - 64 + 1, 200));
  // A full chunk index ends the segment whatever room is left.
  EXPECT_FALSE(avi::SegmentHasRoom({false, 100, 10, 10}, 0, 1ull << 30));
}

TEST(AviFormat, IndexEntriesKeepSixtyFourBitBasesAndThirtyTwoBitOffsets) {
  uint8_t chunk[8];
  const uint64_t base = (5ull << 30) + 20;
  avi::EncodeChunkEntry(chunk, base + 0x123458, base, 4000, false);
  EXPECT_EQ(Load32(chunk), 0x123458u);
  EXPECT_EQ(Load32(chunk + 4), 4000u | avi::kDeltaFrameBit);
  avi::EncodeChunkEntry(chunk, base + 8, base, 0, true);
  EXPECT_EQ(Load32(chunk + 4), 0u);

  uint8_t super[16];
  avi::EncodeSuperEntry(super, 0x123456789Aull, 2080, 17);
  EXPECT_EQ(Load32(super), 0x3456789Au);
  EXPECT_EQ(Load32(super + 4), 0x12u);
  EXPECT_EQ(Load32(super + 8), 2080u);
  EXPECT_EQ(Load32(super + 12), 17u);

  const std::vector<uint8_t> ix = avi::BuildChunkIndex(avi::kUncompressedChunk, base, 4);
  ASSERT_EQ(ix.size(), 8u + 24 + 32);
  EXPECT_EQ(Load32(&ix[0]), avi::kIx00);
  EXPECT_EQ(Load32(&ix[4]), 24u + 32);
  EXPECT_EQ(ix[10], 0);  // sub type
  EXPECT_EQ(ix[11], 1);  // index of chunks
  EXPECT_EQ(Load32(&ix[16]), avi::kUncompressedChunk);
  EXPECT_EQ(Load32(&ix[20]), static_cast<uint32_t>(base));
  EXPECT_EQ(Load32(&ix[24]), static_cast<uint32_t>(base >> 32));
}

TEST(AviFormat, HeaderNestsEvenSizedChunksAndPointsAtItsFields) {
  avi::StreamInfo info;
  info.width = 641;
  info.height = 480;
  info.rate = 30000;
  info.scale = 1001;
  info.handler = avi::kDibHandler;
  avi::HeaderLayout layout;
  const std::vector<uint8_t> bitmapInfo(41, 7);  // odd: strf gets a pad byte
  const std::vector<uint8_t> h = avi::BuildFileHeader(info, bitmapInfo, 8, &layout);
  EXPECT_EQ(Load32(&h[4]), h.size() - 8);
  EXPECT_EQ(layout.movi + 12, h.size());
  EXPECT_EQ(Load32(&h[layout.movi]), avi::kList);
  EXPECT_EQ(Load32(&h[layout.avih - 8]), avi::FourCC('a', 'v', 'i', 'h'));
  EXPECT_EQ(Load32(&h[layout.avih]), 33367u);  // µs per frame, rounded
  EXPECT_EQ(Load32(&h[layout.avih + 12]), avi::kHasIndex | avi::kMustUseIndex);
  EXPECT_EQ(Load32(&h[layout.strh + 20]), 1001u);
  EXPECT_EQ(Load32(&h[layout.strh + 24]), 30000u);
  EXPECT_EQ(Load32(&h[layout.superIndex - 4]), 24u + 8 * 16);
  EXPECT_EQ(Load32(&h[layout.dmlh - 8]), avi::FourCC('d', 'm', 'l', 'h'));
  // hdrl: every chunk inside starts on an even offset and ends inside the list.
  const uint64_t hdrlEnd = 20 + Load32(&h[16]);
  EXPECT_EQ(hdrlEnd, layout.movi);
  uint64_t at = 24;
  while (at < hdrlEnd) {
    EXPECT_EQ(at % 2, 0u);
    const uint32_t id = Load32(&h[at]);
    const uint32_t size = Load32(&h[at + 4]);
    at += id == avi::kList ? 12 : 8 + size + (size & 1);
  }
  EXPECT_EQ(at, hdrlEnd);
}

}  // namespace
