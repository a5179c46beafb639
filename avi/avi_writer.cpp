#include "avi/avi_writer.h"

#include <algorithm>

namespace avi {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBitmapInfoHeaderBytes = 40;
// RIFF 'AVIX' header, then LIST 'movi' header, before a segment's ix00.
constexpr uint64_t kSegmentHeadBytes = 24;
constexpr uint64_t kLargestFrame = 0x7FFFFFFF;  // ix00 keeps the key flag in the top bit

uint32_t Load32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

bool Writer::Put(uint64_t offset, const void* data, size_t size) {
  if (failed_) return false;
  if (!sink_->WriteAt(offset, data, size)) {
    failed_ = true;
    return false;
  }
  fileSize_ = std::max(fileSize_, offset + size);
  return true;
}

bool Writer::Put32(uint64_t offset, uint32_t value) {
  uint8_t b[4];
  Store32(b, value);
  return Put(offset, b, sizeof b);
}

bool Writer::Open(Sink& sink, const VideoFormat& format, const WriterOptions& options) {
  if (open_) return false;
  if (format.width == 0 || format.height == 0 || format.rate == 0 || format.scale == 0 ||
      format.bitmapInfo.size() < kBitmapInfoHeaderBytes || options.superIndexEntries == 0)
    return false;
  *this = Writer();
  sink_ = &sink;
  options_ = options;
  options_.segmentBytes = std::min(options.segmentBytes, kMaxSegmentBytes);
  info_.width = format.width;
  info_.height = format.height;
  info_.handler = format.handler;
  info_.rate = format.rate;
  info_.scale = format.scale;
  const bool rawRgb = format.handler == kDibHandler && Load32(&format.bitmapInfo[16]) == kBiRgb;
  info_.chunkId = rawRgb ? kUncompressedChunk : kCompressedChunk;

  std::vector<uint8_t> file =
      BuildFileHeader(info_, format.bitmapInfo, options_.superIndexEntries, &layout_);
  seg_.first = true;
  seg_.riff = 0;
  seg_.movi = layout_.movi + 8;
  seg_.index = file.size();
  seg_.capacity = ChunkIndexCapacity(0, options_.segmentBytes);
  if (seg_.capacity == 0) return false;
  const std::vector<uint8_t> index = BuildChunkIndex(info_.chunkId, seg_.movi, seg_.capacity);
  file.insert(file.end(), index.begin(), index.end());
  seg_.end = file.size();
  // The first segment starts with one super index entry naming its (empty) chunk index.
  Store32(&file[layout_.superIndex + 4], 1);
  EncodeSuperEntry(&file[layout_.superIndex + kIndexHeaderBytes], seg_.index,
                   static_cast<uint32_t>(index.size()), 0);
  Store32(&file[layout_.movi + 4], static_cast<uint32_t>(seg_.end - seg_.movi));
  Store32(&file[layout_.riffSize], static_cast<uint32_t>(seg_.end - 8));
  if (!SegmentHasRoom({true, seg_.end, 0, seg_.capacity}, 0, options_.segmentBytes)) return false;
  open_ = true;
  if (!Put(0, file.data(), file.size())) {
    open_ = false;
    return false;
  }
  return true;
}

bool Writer::FitsFreshSegment(uint32_t size) const {
  const uint32_t capacity = ChunkIndexCapacity(ordinal_ + 1, options_.segmentBytes);
  const SegmentUse fresh{false, kSegmentHeadBytes + ChunkIndexBytes(capacity), 0, capacity};
  return SegmentHasRoom(fresh, size, options_.segmentBytes);
}

bool Writer::WriteFrame(uint32_t index, const void* data, uint32_t size, bool keyFrame) {
  if (!open_ || failed_ || index < slots_ || size > kLargestFrame || (size > 0 && !data))
    return false;
  if (!FitsFreshSegment(size)) return false;
  while (slots_ < index)
    if (!AppendChunk(nullptr, 0, false)) return false;
  if (!AppendChunk(data, size, keyFrame)) return false;
  if (options_.flushEveryFrames > 0 && sinceFlush_ >= options_.flushEveryFrames) return Flush();
  return true;
}

bool Writer::AppendChunk(const void* data, uint32_t size, bool keyFrame) {
  if (slots_ == UINT32_MAX) return false;
  SegmentUse use{seg_.first, seg_.end - seg_.riff, static_cast<uint32_t>(seg_.entries.size()),
                 seg_.capacity};
  if (!SegmentHasRoom(use, size, options_.segmentBytes)) {
    if (!NextSegment()) return false;
  }
  const uint64_t at = seg_.end;
  if (size > 0 && !Put(at + 8, data, size)) return false;
  if ((size & 1) && !Put(at + 8 + size, "", 1)) return false;
  uint8_t header[8];
  Store32(header, kJunk);
  Store32(header + 4, size);
  if (!Put(at, header, sizeof header)) return false;
  unlabelled_.push_back(at);
  seg_.entries.push_back({at + 8, size, keyFrame});
  seg_.end += ChunkBytes(size);
  ++slots_;
  if (seg_.first) ++firstRiffSlots_;
  largest_ = std::max(largest_, size);
  ++sinceFlush_;
  headersDirty_ = true;
  return true;
}

bool Writer::Commit() {
  if (failed_) return false;
  const size_t count = seg_.entries.size();
  if (seg_.committed < count) {
    std::vector<uint8_t> entries((count - seg_.committed) * kChunkEntryBytes);
    for (size_t i = seg_.committed; i < count; ++i) {
      const Entry& e = seg_.entries[i];
      EncodeChunkEntry(&entries[(i - seg_.committed) * kChunkEntryBytes], e.payload, seg_.movi,
                       e.size, e.key);
    }
    const uint64_t firstEntry =
        seg_.index + 8 + kIndexHeaderBytes + uint64_t{kChunkEntryBytes} * seg_.committed;
    if (!Put(firstEntry, entries.data(), entries.size())) return false;
    if (!Put32(seg_.index + 12, static_cast<uint32_t>(count))) return false;
    seg_.committed = count;
    committedSlots_ = slots_;
    uint8_t id[4];
    Store32(id, info_.chunkId);
    for (uint64_t at : unlabelled_)
      if (!Put(at, id, sizeof id)) return false;
    unlabelled_.clear();
  }
  sinceFlush_ = 0;
  if (!headersDirty_) return true;
  return WriteHeaderFields();
}

bool Writer::WriteHeaderFields() {
  const uint64_t superEntry =
      layout_.superIndex + kIndexHeaderBytes + uint64_t{kSuperEntryBytes} * ordinal_;
  if (!Put32(superEntry + 12, static_cast<uint32_t>(seg_.entries.size()))) return false;
  HeaderCounts counts;
  counts.firstRiffFrames = firstRiffSlots_;
  counts.totalFrames = committedSlots_;
  counts.largestFrame = largest_;
  const std::vector<uint8_t> avih = EncodeAvih(info_, counts);
  const std::vector<uint8_t> strh = EncodeStrh(info_, counts);
  if (!Put(layout_.avih, avih.data(), avih.size()) ||
      !Put(layout_.strh, strh.data(), strh.size()) || !Put32(layout_.dmlh, committedSlots_))
    return false;
  if (!Put32(seg_.movi - 4, static_cast<uint32_t>(seg_.end - seg_.movi))) return false;
  if (!Put32(seg_.riff + 4, static_cast<uint32_t>(seg_.end - seg_.riff - 8))) return false;
  headersDirty_ = false;
  return true;
}

bool Writer::FinishFirstRiff() {
  std::vector<uint8_t> idx1(8 + seg_.entries.size() * kIdx1EntryBytes);
  Store32(&idx1[0], kIdx1);
  Store32(&idx1[4], static_cast<uint32_t>(idx1.size() - 8));
  for (size_t i = 0; i < seg_.entries.size(); ++i) {
    const Entry& e = seg_.entries[i];
    EncodeIdx1Entry(&idx1[8 + i * kIdx1EntryBytes], info_.chunkId, e.payload - 8 - seg_.movi,
                    e.size, e.key);
  }
  if (!Put(seg_.end, idx1.data(), idx1.size())) return false;
  seg_.end += idx1.size();
  return Put32(seg_.riff + 4, static_cast<uint32_t>(seg_.end - seg_.riff - 8));
}

bool Writer::NextSegment() {
  if (ordinal_ + 1 >= layout_.superCapacity) return false;
  if (!Commit()) return false;
  if (seg_.first && !FinishFirstRiff()) return false;

  Segment next;
  next.riff = seg_.end;
  next.movi = next.riff + 20;
  next.index = next.riff + kSegmentHeadBytes;
  next.capacity = ChunkIndexCapacity(ordinal_ + 1, options_.segmentBytes);
  const std::vector<uint8_t> index = BuildChunkIndex(info_.chunkId, next.movi, next.capacity);
  next.end = next.index + index.size();
  std::vector<uint8_t> head(kSegmentHeadBytes);
  Store32(&head[0], kRiff);
  Store32(&head[4], static_cast<uint32_t>(next.end - next.riff - 8));
  Store32(&head[8], FourCC('A', 'V', 'I', 'X'));
  Store32(&head[12], kList);
  Store32(&head[16], static_cast<uint32_t>(next.end - next.movi));
  Store32(&head[20], FourCC('m', 'o', 'v', 'i'));
  head.insert(head.end(), index.begin(), index.end());
  if (!Put(next.riff, head.data(), head.size())) return false;

  uint8_t entry[kSuperEntryBytes];
  EncodeSuperEntry(entry, next.index, static_cast<uint32_t>(index.size()), 0);
  const uint32_t ordinal = ordinal_ + 1;
  if (!Put(layout_.superIndex + kIndexHeaderBytes + uint64_t{kSuperEntryBytes} * ordinal, entry,
           sizeof entry) ||
      !Put32(layout_.superIndex + 4, ordinal + 1))
    return false;
  ordinal_ = ordinal;
  seg_ = std::move(next);
  return true;
}

bool Writer::Flush() {
  if (!open_) return false;
  return Commit();
}

bool Writer::Close() {
  if (!open_) return false;
  bool ok = Commit();
  if (ok && seg_.first) ok = FinishFirstRiff();
  open_ = false;
  seg_ = Segment();
  unlabelled_.clear();
  return ok;
}

}  // namespace avi
