#include "avi/avi_format.h"

#include <algorithm>

namespace avi {

void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void Store64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t ChunkIndexCapacity(uint32_t ordinal, uint64_t segmentBytes, uint32_t streams) {
  const uint64_t grown = uint64_t{kFirstChunkIndexEntries} << std::min<uint32_t>(ordinal, 16);
  const uint64_t byShare = segmentBytes / 8 / kChunkEntryBytes / std::max<uint32_t>(streams, 1);
  return static_cast<uint32_t>(std::min<uint64_t>({grown, kMaxChunkIndexEntries, byShare}));
}

bool ChunkFitsSegment(const SegmentUse& use, uint64_t payload, uint64_t segmentBytes) {
  if (use.entries >= use.capacity) return false;
  uint64_t need = use.bytes + ChunkBytes(payload) + kAlignPadBytes;
  if (use.first) need += 8 + uint64_t{kIdx1EntryBytes} * (use.chunks + 1);
  return need <= segmentBytes;
}

namespace {

// Appends little-endian fields to a growing buffer.
class Bytes {
 public:
  void U16(uint16_t v) {
    Grow(2, [&](uint8_t* p) { Store16(p, v); });
  }
  void U32(uint32_t v) {
    Grow(4, [&](uint8_t* p) { Store32(p, v); });
  }
  void Zeros(size_t n) { b_.resize(b_.size() + n, 0); }
  void Append(const std::vector<uint8_t>& v) { b_.insert(b_.end(), v.begin(), v.end()); }
  size_t Size() const { return b_.size(); }
  // Starts a chunk or list; returns where its size field is.
  size_t Open(uint32_t id) {
    U32(id);
    U32(0);
    return b_.size() - 4;
  }
  // Sets the size of a chunk opened at `sizeField` to what follows it, padding to even.
  void Close(size_t sizeField) {
    Store32(&b_[sizeField], static_cast<uint32_t>(b_.size() - sizeField - 4));
    if (b_.size() & 1) b_.push_back(0);
  }
  // A 'JUNK' chunk where the next chunk would start 2 bytes off a 4-byte boundary.
  void AlignWithJunk() {
    if (AlignPadAt(b_.size()) == 0) return;
    U32(kJunk);
    U32(kAlignPadBytes - 8);
    Zeros(kAlignPadBytes - 8);
  }
  void Set32(size_t at, uint32_t v) { Store32(&b_[at], v); }
  std::vector<uint8_t> Take() { return std::move(b_); }

 private:
  template <typename F>
  void Grow(size_t n, F store) {
    b_.resize(b_.size() + n);
    store(&b_[b_.size() - n]);
  }
  std::vector<uint8_t> b_;
};

uint32_t Saturate32(uint64_t v) {
  return static_cast<uint32_t>(std::min<uint64_t>(v, 0xFFFFFFFFu));
}

}  // namespace

std::vector<uint8_t> EncodeAvih(const MainHeader& main) {
  Bytes b;
  b.U32(main.microSecPerFrame);
  b.U32(main.maxBytesPerSec);
  b.U32(0);  // padding granularity
  b.U32(kHasIndex | kMustUseIndex);
  b.U32(main.totalFrames);
  b.U32(0);  // initial frames
  b.U32(main.streams);
  b.U32(main.suggestedBuffer);
  b.U32(main.width);
  b.U32(main.height);
  b.Zeros(16);
  return b.Take();
}

std::vector<uint8_t> EncodeStrh(const StreamInfo& info, uint32_t length, uint32_t largest) {
  Bytes b;
  b.U32(info.type);
  b.U32(info.handler);
  b.U32(0);  // flags
  b.U16(0);  // priority
  b.U16(0);  // language
  b.U32(0);  // initial frames
  b.U32(info.scale);
  b.U32(info.rate);
  b.U32(0);  // start
  b.U32(length);
  b.U32(largest);
  b.U32(0xFFFFFFFFu);  // quality: default
  b.U32(info.sampleSize);
  b.U16(0);
  b.U16(0);
  b.U16(static_cast<uint16_t>(std::min<uint32_t>(info.width, 0x7FFF)));
  b.U16(static_cast<uint16_t>(std::min<uint32_t>(info.height, 0x7FFF)));
  return b.Take();
}

std::vector<uint8_t> EncodeWaveFormat(uint16_t channels, uint32_t samplesPerSecond,
                                      uint16_t bitsPerSample) {
  const uint16_t block = static_cast<uint16_t>(channels * ((bitsPerSample + 7u) / 8u));
  Bytes b;
  b.U16(1);  // WAVE_FORMAT_PCM
  b.U16(channels);
  b.U32(samplesPerSecond);
  b.U32(Saturate32(uint64_t{samplesPerSecond} * block));
  b.U16(block);
  b.U16(bitsPerSample);
  b.U16(0);  // no extra bytes
  return b.Take();
}

void EncodeChunkEntry(uint8_t* out, uint64_t payloadOffset, uint64_t base, uint32_t size,
                      bool keyFrame) {
  Store32(out, static_cast<uint32_t>(payloadOffset - base));
  Store32(out + 4, keyFrame ? size : (size | kDeltaFrameBit));
}

void EncodeSuperEntry(uint8_t* out, uint64_t chunkOffset, uint32_t chunkBytes, uint32_t slots) {
  Store64(out, chunkOffset);
  Store32(out + 8, chunkBytes);
  Store32(out + 12, slots);
}

void EncodeIdx1Entry(uint8_t* out, uint32_t chunkId, uint64_t offset, uint32_t size,
                     bool keyFrame) {
  Store32(out, chunkId);
  Store32(out + 4, keyFrame ? kIdx1KeyFrame : 0);
  Store32(out + 8, static_cast<uint32_t>(offset));
  Store32(out + 12, size);
}

namespace {

// LIST strl of one stream: strh, strf, and its super index with space for `superCapacity`
// segments. Records where its strh and indx payloads land.
void AppendStreamList(Bytes& b, const StreamInfo& info, uint32_t superCapacity,
                      HeaderLayout* layout) {
  const size_t strl = b.Open(kList);
  b.U32(FourCC('s', 't', 'r', 'l'));
  size_t chunk = b.Open(FourCC('s', 't', 'r', 'h'));
  layout->strh.push_back(b.Size());
  b.Append(EncodeStrh(info, 0, 0));
  b.Close(chunk);
  chunk = b.Open(FourCC('s', 't', 'r', 'f'));
  b.Append(info.format);
  b.Close(chunk);
  b.AlignWithJunk();
  chunk = b.Open(FourCC('i', 'n', 'd', 'x'));
  layout->superIndex.push_back(b.Size());
  b.U16(4);  // longs per entry
  b.U16(0);  // sub type 0, type 0: an index of indexes
  b.U32(0);  // entries in use
  b.U32(info.chunkId);
  b.Zeros(12);
  b.Zeros(size_t{kSuperEntryBytes} * superCapacity);
  b.Close(chunk);
  b.Close(strl);
}

}  // namespace

std::vector<uint8_t> BuildFileHeader(const std::vector<StreamInfo>& streams, const MainHeader& main,
                                     uint32_t superCapacity, HeaderLayout* layout) {
  *layout = HeaderLayout();
  Bytes b;
  layout->riffSize = b.Open(kRiff);
  b.U32(FourCC('A', 'V', 'I', ' '));
  const size_t hdrl = b.Open(kList);
  b.U32(FourCC('h', 'd', 'r', 'l'));
  size_t chunk = b.Open(FourCC('a', 'v', 'i', 'h'));
  layout->avih = b.Size();
  b.Append(EncodeAvih(main));
  b.Close(chunk);
  for (const StreamInfo& info : streams) AppendStreamList(b, info, superCapacity, layout);
  const size_t odml = b.Open(kList);
  b.U32(FourCC('o', 'd', 'm', 'l'));
  chunk = b.Open(FourCC('d', 'm', 'l', 'h'));
  layout->dmlh = b.Size();
  b.Zeros(kDmlhBytes);
  b.Close(chunk);
  b.Close(odml);
  b.Close(hdrl);
  b.AlignWithJunk();
  layout->movi = b.Size();
  b.U32(kList);
  b.U32(4);
  b.U32(FourCC('m', 'o', 'v', 'i'));
  b.Set32(layout->riffSize, static_cast<uint32_t>(b.Size() - 8));
  layout->superCapacity = superCapacity;
  return b.Take();
}

std::vector<uint8_t> BuildChunkIndex(uint32_t chunkId, uint64_t base, uint32_t capacity) {
  std::vector<uint8_t> out(ChunkIndexBytes(capacity), 0);
  Store32(&out[0], IndexChunkId(chunkId));
  Store32(&out[4], static_cast<uint32_t>(out.size() - 8));
  Store16(&out[8], 2);  // longs per entry
  out[10] = 0;          // sub type
  out[11] = 1;          // an index of chunks
  Store32(&out[12], 0);
  Store32(&out[16], chunkId);
  Store64(&out[20], base);
  return out;
}

}  // namespace avi
