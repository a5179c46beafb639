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
  EXPECT_EQ(avi::ChunkIndexCapacity(0, 16 * 1024, 2), 128u);  // two streams share the eighth
  EXPECT_LE(avi::ChunkIndexBytes(avi::ChunkIndexCapacity(3, 40000)), 40000u / 8 + 40);
}

TEST(AviFormat, SegmentEndsBeforeChunkPadAndFirstRiffIdx1WouldPassTheLimit) {
  // An AVIX: header, indexes and chunks; 100 bytes used, 100 left, 10 of them kept for the pad
  // that aligns the next segment.
  avi::SegmentUse avix{false, 100, 7, 3, 10};
  EXPECT_TRUE(avi::ChunkFitsSegment(avix, 82, 200));   // 8 + 82 + 10 = 100: exactly full
  EXPECT_FALSE(avi::ChunkFitsSegment(avix, 83, 200));  // odd: padded to 84
  // The first RIFF also keeps space for its idx1: 8 + 16 bytes per chunk of every stream, this
  // one included.
  avi::SegmentUse first{true, 100, 7, 3, 10};
  EXPECT_TRUE(avi::ChunkFitsSegment(first, 46, 300));  // 100 + 8 + 46 + 10 + 8 + 8 * 16 = 300
  EXPECT_FALSE(avi::ChunkFitsSegment(first, 47, 300));
  // A full chunk index ends the segment whatever space is left.
  EXPECT_FALSE(avi::ChunkFitsSegment({false, 100, 10, 10, 10}, 0, 1ull << 30));
  EXPECT_EQ(avi::AlignPadAt(4096), 0u);
  EXPECT_EQ(avi::AlignPadAt(4098), avi::kAlignPadBytes);
  EXPECT_EQ((4098 + avi::kAlignPadBytes) % 4, 0u);
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

  const uint32_t sound = avi::StreamChunkId(1, 'w', 'b');
  EXPECT_EQ(sound, avi::FourCC('0', '1', 'w', 'b'));
  EXPECT_EQ(avi::StreamChunkId(12, 'd', 'c'), avi::FourCC('1', '2', 'd', 'c'));
  const std::vector<uint8_t> ix = avi::BuildChunkIndex(sound, base, 4);
  ASSERT_EQ(ix.size(), 8u + 24 + 32);
  EXPECT_EQ(Load32(&ix[0]), avi::FourCC('i', 'x', '0', '1'));
  EXPECT_EQ(Load32(&ix[4]), 24u + 32);
  EXPECT_EQ(ix[10], 0);  // sub type
  EXPECT_EQ(ix[11], 1);  // index of chunks
  EXPECT_EQ(Load32(&ix[16]), sound);
  EXPECT_EQ(Load32(&ix[20]), static_cast<uint32_t>(base));
  EXPECT_EQ(Load32(&ix[24]), static_cast<uint32_t>(base >> 32));
}

TEST(AviFormat, HeaderNestsEvenChunksAndKeepsEveryRewrittenFieldAligned) {
  avi::StreamInfo video;
  video.width = 641;
  video.height = 480;
  video.rate = 30000;
  video.scale = 1001;
  video.handler = avi::kDibHandler;
  video.format.assign(41, 7);  // odd: strf gets a pad byte, and is 2 off alignment after it
  avi::StreamInfo sound;
  sound.type = avi::kAudioType;
  sound.rate = 44100;
  sound.sampleSize = 4;
  sound.chunkId = avi::StreamChunkId(1, 'w', 'b');
  sound.format = avi::EncodeWaveFormat(2, 44100, 16);
  ASSERT_EQ(sound.format.size(), 18u);
  EXPECT_EQ(Load32(&sound.format[8]), 44100u * 4);  // bytes per second
  avi::MainHeader main;
  main.microSecPerFrame = 33367;
  main.streams = 2;
  avi::HeaderLayout layout;
  const std::vector<uint8_t> h = avi::BuildFileHeader({video, sound}, main, 8, &layout);
  EXPECT_EQ(Load32(&h[4]), h.size() - 8);
  EXPECT_EQ(layout.movi + 12, h.size());
  EXPECT_EQ(Load32(&h[layout.movi]), avi::kList);
  EXPECT_EQ(Load32(&h[layout.avih - 8]), avi::FourCC('a', 'v', 'i', 'h'));
  EXPECT_EQ(Load32(&h[layout.avih]), 33367u);
  EXPECT_EQ(Load32(&h[layout.avih + 12]), avi::kHasIndex | avi::kMustUseIndex);
  EXPECT_EQ(Load32(&h[layout.avih + 24]), 2u);
  ASSERT_EQ(layout.strh.size(), 2u);
  EXPECT_EQ(Load32(&h[layout.strh[0]]), avi::kVideoType);
  EXPECT_EQ(Load32(&h[layout.strh[0] + 20]), 1001u);
  EXPECT_EQ(Load32(&h[layout.strh[0] + 24]), 30000u);
  EXPECT_EQ(Load32(&h[layout.strh[1]]), avi::kAudioType);
  EXPECT_EQ(Load32(&h[layout.strh[1] + 44]), 4u);  // sample size: one block
  EXPECT_EQ(Load32(&h[layout.superIndex[1] - 4]), 24u + 8 * 16);
  EXPECT_EQ(Load32(&h[layout.superIndex[1] + 8]), sound.chunkId);
  EXPECT_EQ(Load32(&h[layout.dmlh - 8]), avi::FourCC('d', 'm', 'l', 'h'));
  // Fields a commit rewrites never straddle a sector.
  for (uint64_t at : {layout.riffSize, layout.avih, layout.strh[0], layout.strh[1],
                      layout.superIndex[0], layout.superIndex[1], layout.dmlh, layout.movi})
    EXPECT_EQ(at % 4, 0u) << at;
  // hdrl: every chunk inside starts on an even offset and ends inside the list.
  const uint64_t hdrlEnd = 20 + Load32(&h[16]);
  EXPECT_EQ(hdrlEnd, layout.movi);
  uint64_t at = 24;
  int junk = 0;
  while (at < hdrlEnd) {
    EXPECT_EQ(at % 2, 0u);
    const uint32_t id = Load32(&h[at]);
    const uint32_t size = Load32(&h[at + 4]);
    junk += id == avi::kJunk;
    at += id == avi::kList ? 12 : 8 + size + (size & 1);
  }
  EXPECT_EQ(at, hdrlEnd);
  EXPECT_EQ(junk, 2);  // after each strf
}

}  // namespace
