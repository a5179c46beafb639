#include "avi/avi_writer.h"

#include <algorithm>
#include <cstring>

namespace avi {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBitmapInfoHeaderBytes = 40;
constexpr uint32_t kLargestFrame = 0x7FFFFFFF;  // ix## keeps the key flag in the top bit
// Marked runs of a mirror closer than this go out as one write: a commit then has few writes
// for the disk to order, at the cost of rewriting a few unchanged bytes.
constexpr size_t kMergeGap = 512;
// Sound waiting for a commit goes out as a chunk of its own once it reaches this much (or an
// eighth of a segment), so that no sound chunk outgrows a segment however rare commits are.
constexpr uint64_t kMaxSoundChunkBytes = 256 * 1024;

uint32_t Load32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint32_t Saturate32(uint64_t v) {
  return static_cast<uint32_t>(std::min<uint64_t>(v, 0xFFFFFFFFu));
}

size_t SoundChunkLimit(uint64_t segmentBytes, uint32_t blockBytes) {
  const uint64_t bytes = std::min(kMaxSoundChunkBytes, segmentBytes / 8);
  return static_cast<size_t>(std::max<uint64_t>(bytes / blockBytes, 1) * blockBytes);
}

SegmentUse UseOf(bool first, uint64_t bytes, uint32_t chunks, size_t entries, uint32_t capacity) {
  return {first, bytes, chunks, static_cast<uint32_t>(entries), capacity};
}

}  // namespace

void Writer::Mirror::Reset(uint64_t offset, std::vector<uint8_t> bytes) {
  offset_ = offset;
  bytes_ = std::move(bytes);
  marked_.assign(1, {0, bytes_.size()});
}

void Writer::Mirror::Set(uint64_t at, const void* data, size_t size) {
  const size_t from = static_cast<size_t>(at - offset_);
  if (std::memcmp(&bytes_[from], data, size) == 0) return;
  std::memcpy(&bytes_[from], data, size);
  marked_.emplace_back(from, from + size);
}

void Writer::Mirror::Set32(uint64_t at, uint32_t value) {
  uint8_t b[4];
  Store32(b, value);
  Set(at, b, sizeof b);
}

bool Writer::Mirror::WriteMarked(Writer& writer) {
  std::sort(marked_.begin(), marked_.end());
  std::vector<std::pair<size_t, size_t>> runs;
  for (const auto& m : marked_) {
    if (!runs.empty() && m.first <= runs.back().second + kMergeGap)
      runs.back().second = std::max(runs.back().second, m.second);
    else
      runs.push_back(m);
  }
  for (size_t i = 0; i < runs.size(); ++i) {
    const auto [begin, end] = runs[i];
    if (!writer.Put(offset_ + begin, &bytes_[begin], end - begin)) {
      marked_.assign(runs.begin() + static_cast<ptrdiff_t>(i), runs.end());
      return false;
    }
  }
  marked_.clear();
  return true;
}

bool Writer::Refuse(Refusal why) {
  refusal_ = why;
  return false;
}

// A failed write or flush outweighs a full file met in the same call.
bool Writer::Outcome(bool ok) {
  if (ok)
    refusal_ = Refusal::None;
  else if (failure_ != IoStatus::Ok || refusal_ == Refusal::None)
    refusal_ = Refusal::Io;
  return ok;
}

void Writer::NoteFailure(IoStatus status) {
  if (failure_ == IoStatus::Ok) failure_ = status;
}

bool Writer::Put(uint64_t offset, const void* data, size_t size) {
  reach_ = std::max(reach_, offset + size);
  const IoStatus status = sink_->WriteAt(offset, data, size);
  if (status != IoStatus::Ok) {
    NoteFailure(status);
    return false;
  }
  unflushed_ = true;
  fileSize_ = std::max(fileSize_, offset + size);
  return true;
}

bool Writer::FlushSink() {
  if (!unflushed_) return true;
  const IoStatus status = sink_->Flush();
  if (status != IoStatus::Ok) {
    NoteFailure(status);
    GiveUpUnflushed();
    return false;
  }
  unflushed_ = false;
  MarkFlushed();
  return true;
}

void Writer::MarkFlushed() {
  for (Stream& s : streams_) {
    s.flushed = s.written;
    s.entriesFlushed = s.entries.size();
    s.largestFlushed = s.largest;
  }
  flushedEnd_ = seg_.end;
  flushedChunks_ = seg_.chunks;
  labelsWritten_.clear();
}

// After a failed flush any write since the last good one may be gone for good: the chunks
// written since then are given up (their payloads are not the writer's to write again), and
// everything it keeps a copy of goes out again with the next commit.
void Writer::GiveUpUnflushed() {
  for (Stream& s : streams_) {
    s.written = s.flushed;
    s.entries.resize(s.entriesFlushed);
    s.entriesWritten = std::min(s.entriesWritten, s.entriesFlushed);
    s.largest = s.largestFlushed;
  }
  seg_.end = flushedEnd_;
  seg_.chunks = flushedChunks_;
  while (!unlabelled_.empty() && unlabelled_.back().at >= flushedEnd_) unlabelled_.pop_back();
  if (!unlabelled_.empty() && unlabelled_.back().empties > 0) {
    Label& run = unlabelled_.back();  // a run of empty chunks may straddle the flush
    run.empties = std::min<uint32_t>(run.empties,
                                     static_cast<uint32_t>((flushedEnd_ - run.at) / ChunkBytes(0)));
  }
  labelsDue_.insert(labelsDue_.end(), labelsWritten_.begin(), labelsWritten_.end());
  labelsWritten_.clear();
  header_.MarkAll();
  segmentHead_.MarkAll();
}

bool Writer::Open(Sink& sink, const VideoFormat& format, const WriterOptions& options) {
  StreamFormat stream;
  stream.video = format;
  return Open(sink, std::vector<StreamFormat>{stream}, options);
}

bool Writer::AddStream(uint32_t number, const StreamFormat& format) {
  Stream s;
  s.video = format.kind == StreamFormat::Kind::Video;
  StreamInfo& info = s.info;
  if (s.video) {
    const VideoFormat& v = format.video;
    if (v.width == 0 || v.height == 0 || v.rate == 0 || v.scale == 0 ||
        v.bitmapInfo.size() < kBitmapInfoHeaderBytes)
      return false;
    const bool rawRgb = v.handler == kDibHandler && Load32(&v.bitmapInfo[16]) == kBiRgb;
    info.handler = v.handler;
    info.scale = v.scale;
    info.rate = v.rate;
    info.width = v.width;
    info.height = v.height;
    info.chunkId = StreamChunkId(number, 'd', rawRgb ? 'b' : 'c');
    info.format = v.bitmapInfo;
    if (video_ < 0) video_ = static_cast<int>(number);
  } else {
    const AudioFormat& a = format.audio;
    if (a.channels == 0 || a.samplesPerSecond == 0 || a.bitsPerSample == 0 ||
        a.bitsPerSample % 8 != 0 || a.bitsPerSample > 32)
      return false;
    s.blockBytes = a.BlockBytes();
    info.type = kAudioType;
    info.rate = a.samplesPerSecond;  // scale 1: rate is blocks per second
    info.sampleSize = s.blockBytes;
    info.chunkId = StreamChunkId(number, 'w', 'b');
    info.format = EncodeWaveFormat(a.channels, a.samplesPerSecond, a.bitsPerSample);
  }
  streams_.push_back(std::move(s));
  return true;
}

uint64_t Writer::IndexAt(const Segment& seg, uint32_t stream) const {
  const uint64_t first = seg.first ? layout_.movi + 12 : seg.riff + kSegmentHeadBytes;
  return first + stream * ChunkIndexBytes(seg.capacity);
}

// The RIFF 'AVIX' and LIST 'movi' headers of a segment after the first, then its chunk indexes.
std::vector<uint8_t> Writer::BuildSegmentHead(const Segment& seg) const {
  std::vector<uint8_t> head;
  if (!seg.first) {
    head.resize(kSegmentHeadBytes);
    Store32(&head[0], kRiff);
    Store32(&head[4], static_cast<uint32_t>(seg.end - seg.riff - 8));
    Store32(&head[8], FourCC('A', 'V', 'I', 'X'));
    Store32(&head[12], kList);
    Store32(&head[16], static_cast<uint32_t>(seg.end - seg.movi));
    Store32(&head[20], FourCC('m', 'o', 'v', 'i'));
  }
  for (const Stream& s : streams_) {
    const std::vector<uint8_t> index = BuildChunkIndex(s.info.chunkId, seg.movi, seg.capacity);
    head.insert(head.end(), index.begin(), index.end());
  }
  return head;
}

bool Writer::Open(Sink& sink, const std::vector<StreamFormat>& streams,
                  const WriterOptions& options) {
  if (open_ || streams.empty() || streams.size() > kMaxStreams || options.superIndexEntries == 0)
    return Refuse(Refusal::BadCall);
  *this = Writer();
  sink_ = &sink;
  options_ = options;
  options_.segmentBytes = std::min(options.segmentBytes, kMaxSegmentBytes);
  std::vector<StreamInfo> infos;
  for (uint32_t i = 0; i < streams.size(); ++i) {
    if (!AddStream(i, streams[i])) return Refuse(Refusal::BadCall);
    infos.push_back(streams_.back().info);
  }
  main_.streams = static_cast<uint32_t>(streams_.size());
  if (video_ >= 0) {
    const StreamInfo& v = streams_[video_].info;
    main_.microSecPerFrame = Saturate32((uint64_t{1000000} * v.scale + v.rate / 2) / v.rate);
    main_.width = v.width;
    main_.height = v.height;
  }
  header_.Reset(0, BuildFileHeader(infos, main_, options_.superIndexEntries, &layout_));

  seg_.movi = layout_.movi + 8;
  seg_.capacity = ChunkIndexCapacity(0, options_.segmentBytes, main_.streams);
  seg_.end = header_.End() + streams_.size() * ChunkIndexBytes(seg_.capacity);
  segmentHead_.Reset(header_.End(), BuildSegmentHead(seg_));
  if (seg_.capacity == 0 ||
      !ChunkFitsSegment(UseOf(true, seg_.end, 0, 0, seg_.capacity), 0, options_.segmentBytes))
    return Refuse(Refusal::BadCall);  // segments too small for their own headers
  for (const Stream& s : streams_)
    if (!FitsFreshSegment(s.video ? 0 : SoundChunkLimit(options_.segmentBytes, s.blockBytes)))
      return Refuse(Refusal::BadCall);
  // An empty file that plays is on the disk before any frame.
  SetHeaderFields();
  open_ = header_.WriteMarked(*this) && segmentHead_.WriteMarked(*this) && FlushSink();
  return Outcome(open_);
}

Writer::Segment Writer::PlanNextSegment(const Segment& from) const {
  Segment next;
  next.first = false;
  next.ordinal = from.ordinal + 1;
  next.riff = from.end + AlignPadAt(from.end);
  if (from.first) next.riff += 8 + uint64_t{kIdx1EntryBytes} * from.chunks;
  next.movi = next.riff + 20;
  next.capacity = ChunkIndexCapacity(next.ordinal, options_.segmentBytes,
                                     static_cast<uint32_t>(streams_.size()));
  next.end = next.riff + kSegmentHeadBytes + streams_.size() * ChunkIndexBytes(next.capacity);
  return next;
}

bool Writer::FitsFreshSegment(uint32_t size) const {
  const Segment fresh = PlanNextSegment(seg_);
  return ChunkFitsSegment(UseOf(false, fresh.end - fresh.riff, 0, 0, fresh.capacity), size,
                          options_.segmentBytes);
}

// Starts a new segment when the chunk does not fit this one. False when none can start, or when
// a write failed on the way: no chunk goes out after a failure.
bool Writer::StartSegmentUnlessFits(uint32_t stream, uint32_t size) {
  const SegmentUse use = UseOf(seg_.first, seg_.end - seg_.riff, seg_.chunks,
                               streams_[stream].entries.size(), seg_.capacity);
  return (ChunkFitsSegment(use, size, options_.segmentBytes) || NextSegment()) &&
         failure_ == IoStatus::Ok;
}

bool Writer::WriteFrame(uint32_t stream, Slot slot, const Payload& frame, bool keyFrame) {
  refusal_ = Refusal::None;
  if (!open_ || stream >= streams_.size() || !streams_[stream].video)
    return Refuse(Refusal::BadCall);
  if (failure_ != IoStatus::Ok) return Refuse(Refusal::Io);
  const Slot next = streams_[stream].written;
  if (slot < next || slot == UINT32_MAX || (frame.size > 0 && !frame.data))
    return Refuse(Refusal::BadCall);
  if (frame.size > kLargestFrame || !FitsFreshSegment(frame.size))
    return Refuse(Refusal::FrameTooLarge);
  return Outcome((slot == next || AppendEmpty(stream, slot - next)) &&
                 AppendChunk(stream, frame, keyFrame, 1));
}

bool Writer::WriteFrame(Slot slot, const void* data, uint32_t size, bool keyFrame) {
  // Without the room around it the payload is only read.
  const Payload frame{const_cast<uint8_t*>(static_cast<const uint8_t*>(data)), size, false};
  return WriteFrame(0, slot, frame, keyFrame);
}

bool Writer::AppendChunk(uint32_t stream, const Payload& payload, bool keyFrame, Slot units) {
  if (!StartSegmentUnlessFits(stream, payload.size)) return false;
  const uint64_t at = seg_.end;
  uint8_t header[8];
  Store32(header, kJunk);
  Store32(header + 4, payload.size);
  const bool odd = payload.size & 1;
  if (payload.room && payload.data) {
    std::memcpy(payload.data - kChunkRoomBefore, header, sizeof header);
    if (odd) payload.data[payload.size] = 0;
    if (!Put(at, payload.data - kChunkRoomBefore, ChunkBytes(payload.size))) return false;
  } else {
    if (!Put(at, header, sizeof header)) return false;
    if (payload.size > 0 && !Put(at + 8, payload.data, payload.size)) return false;
    if (odd && !Put(at + 8 + payload.size, "", 1)) return false;
  }
  Record(stream, at, payload.size, keyFrame, units);
  return true;
}

// Empty chunks for skipped slots: as many headers per write as the segment takes.
bool Writer::AppendEmpty(uint32_t stream, Slot count) {
  Stream& s = streams_[stream];
  while (count > 0) {
    if (!StartSegmentUnlessFits(stream, 0)) return false;
    SegmentUse use =
        UseOf(seg_.first, seg_.end - seg_.riff, seg_.chunks, s.entries.size(), seg_.capacity);
    Slot n = 1;
    for (; n < count; ++n) {
      use.bytes += ChunkBytes(0);
      ++use.chunks;
      ++use.entries;
      if (!ChunkFitsSegment(use, 0, options_.segmentBytes)) break;
    }
    std::vector<uint8_t> headers(ChunkBytes(0) * n, 0);
    for (Slot i = 0; i < n; ++i) Store32(&headers[ChunkBytes(0) * i], kJunk);
    const uint64_t at = seg_.end;
    if (!Put(at, headers.data(), headers.size())) return false;
    for (Slot i = 0; i < n; ++i) Record(stream, at + ChunkBytes(0) * i, 0, false, 1);
    count -= n;
  }
  return true;
}

void Writer::Record(uint32_t stream, uint64_t at, uint32_t size, bool keyFrame, Slot units) {
  Stream& s = streams_[stream];
  s.entries.push_back({at + 8, size, keyFrame});
  s.written += units;
  s.largest = std::max(s.largest, size);
  seg_.end = at + ChunkBytes(size);
  ++seg_.chunks;
  Label* last = unlabelled_.empty() ? nullptr : &unlabelled_.back();
  if (size == 0 && last && last->empties > 0 && last->id == s.info.chunkId &&
      last->at + ChunkBytes(0) * last->empties == at)
    ++last->empties;
  else
    unlabelled_.push_back({at, s.info.chunkId, size == 0 ? 1u : 0u});
}

bool Writer::WriteSamples(uint32_t stream, const void* data, uint32_t size) {
  refusal_ = Refusal::None;
  if (!open_ || stream >= streams_.size() || streams_[stream].video)
    return Refuse(Refusal::BadCall);
  if (failure_ != IoStatus::Ok) return Refuse(Refusal::Io);
  Stream& s = streams_[stream];
  if (size % s.blockBytes != 0 || (size > 0 && !data)) return Refuse(Refusal::BadCall);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  s.sound.insert(s.sound.end(), bytes, bytes + size);
  const size_t limit = SoundChunkLimit(options_.segmentBytes, s.blockBytes);
  while (s.sound.size() - kChunkRoomBefore >= limit)
    if (!WriteSoundChunk(stream, limit)) return Outcome(false);
  return true;
}

// The first `bytes` of the stream's waiting sound as one chunk, written from its own buffer.
bool Writer::WriteSoundChunk(uint32_t stream, size_t bytes) {
  std::vector<uint8_t>& sound = streams_[stream].sound;
  sound.push_back(0);  // room for the pad byte after the last sample
  uint8_t* data = sound.data() + kChunkRoomBefore;
  const uint8_t after = data[bytes];  // an odd chunk's pad byte lands on the next sample
  const Payload payload{data, static_cast<uint32_t>(bytes), true};
  const bool ok =
      AppendChunk(stream, payload, true, static_cast<Slot>(bytes / streams_[stream].blockBytes));
  data[bytes] = after;
  sound.pop_back();
  if (ok) sound.erase(sound.begin() + kChunkRoomBefore, sound.begin() + kChunkRoomBefore + bytes);
  return ok;
}

bool Writer::WritePendingSound() {
  for (uint32_t i = 0; i < streams_.size(); ++i) {
    const size_t waiting = streams_[i].sound.size() - kChunkRoomBefore;
    if (!streams_[i].video && waiting > 0 && !WriteSoundChunk(i, waiting)) return false;
  }
  return true;
}

// After a failure, sound not yet in a chunk is dropped: only what was written whole is kept.
// Sound the file has no segment left for stays waiting, and what was written is committed.
bool Writer::CommitAll() {
  const bool sound = failure_ != IoStatus::Ok || WritePendingSound();
  return Commit() && sound;
}

bool Writer::Commit() {
  if (!WriteLabels() || !WriteEntries() || !FlushSink()) return false;
  SetHeaderFields();
  if (!segmentHead_.WriteMarked(*this) || !header_.WriteMarked(*this) || !FlushSink()) return false;
  for (Stream& s : streams_) s.committed = s.written;
  labelsDue_.insert(labelsDue_.end(), unlabelled_.begin(), unlabelled_.end());
  unlabelled_.clear();
  // Labelled only once the index covering them is on the disk: a reader that finds no index
  // entries scans the chunks instead, and must not meet a later chunk's label without the
  // earlier ones. They reach the disk with the next flush.
  WriteLabels();
  return true;
}

// The new index entries go behind each index's entry count, which readers do not look past.
bool Writer::WriteEntries() {
  for (uint32_t stream = 0; stream < streams_.size(); ++stream) {
    Stream& s = streams_[stream];
    const uint64_t index = IndexAt(seg_, stream);
    for (size_t i = s.entriesWritten; i < s.entries.size(); ++i) {
      uint8_t entry[kChunkEntryBytes];
      const Entry& e = s.entries[i];
      EncodeChunkEntry(entry, e.payload, seg_.movi, e.size, e.key);
      segmentHead_.Set(index + 8 + kIndexHeaderBytes + uint64_t{kChunkEntryBytes} * i, entry,
                       sizeof entry);
    }
    s.entriesWritten = s.entries.size();
  }
  return segmentHead_.WriteMarked(*this);
}

void Writer::SetHeaderFields() {
  uint64_t bytesPerSecond = 0;
  main_.suggestedBuffer = 0;
  for (uint32_t i = 0; i < streams_.size(); ++i) {
    const Stream& s = streams_[i];
    const uint32_t entries = static_cast<uint32_t>(s.entries.size());
    const uint64_t index = IndexAt(seg_, i);
    segmentHead_.Set32(index + 12, entries);
    header_.Set(layout_.strh[i], EncodeStrh(s.info, s.written, s.largest).data(), kStrhBytes);
    uint8_t super[kSuperEntryBytes];
    EncodeSuperEntry(super, index, static_cast<uint32_t>(ChunkIndexBytes(seg_.capacity)), entries);
    const uint64_t superIndex = layout_.superIndex[i];
    header_.Set(superIndex + kIndexHeaderBytes + uint64_t{kSuperEntryBytes} * seg_.ordinal, super,
                sizeof super);
    header_.Set32(superIndex + 4, seg_.ordinal + 1);
    main_.suggestedBuffer = std::max(main_.suggestedBuffer, s.largest);
    bytesPerSecond += s.video ? uint64_t{s.largest} * s.info.rate / s.info.scale
                              : uint64_t{s.info.rate} * s.blockBytes;
  }
  main_.maxBytesPerSec = Saturate32(bytesPerSecond);
  if (video_ >= 0) {
    const Stream& v = streams_[video_];
    main_.totalFrames = seg_.first ? static_cast<Slot>(v.entries.size()) : firstRiffSlots_;
    header_.Set32(layout_.dmlh, v.written);
  }
  header_.Set(layout_.avih, EncodeAvih(main_).data(), kAvihBytes);
  const uint32_t moviBytes = static_cast<uint32_t>(seg_.end - seg_.movi);
  if (seg_.first) {
    header_.Set32(layout_.movi + 4, moviBytes);
    header_.Set32(layout_.riffSize, static_cast<uint32_t>(seg_.end - 8));
  } else {
    segmentHead_.Set32(seg_.riff + 4, static_cast<uint32_t>(seg_.end - seg_.riff - 8));
    segmentHead_.Set32(seg_.riff + 16, moviBytes);
  }
}

bool Writer::WriteLabels() {
  size_t done = 0;
  for (; done < labelsDue_.size(); ++done) {
    const Label& label = labelsDue_[done];
    // An empty chunk's header is its label and a zero size.
    std::vector<uint8_t> bytes(label.empties > 0 ? ChunkBytes(0) * label.empties : 4, 0);
    for (size_t at = 0; at < bytes.size(); at += ChunkBytes(0)) Store32(&bytes[at], label.id);
    if (!Put(label.at, bytes.data(), bytes.size())) break;
  }
  labelsWritten_.insert(labelsWritten_.end(), labelsDue_.begin(),
                        labelsDue_.begin() + static_cast<ptrdiff_t>(done));
  labelsDue_.erase(labelsDue_.begin(), labelsDue_.begin() + static_cast<ptrdiff_t>(done));
  return labelsDue_.empty();
}

// A 'JUNK' chunk at the end of the movi when the next RIFF would start 2 bytes off alignment.
bool Writer::AppendAlignPad() {
  if (AlignPadAt(seg_.end) == 0) return true;
  uint8_t pad[kAlignPadBytes] = {};
  Store32(pad, kJunk);
  Store32(pad + 4, kAlignPadBytes - 8);
  if (!Put(seg_.end, pad, sizeof pad)) return false;
  seg_.end += kAlignPadBytes;
  return true;
}

// The legacy index of the first RIFF: every stream's chunks in file order.
std::vector<uint8_t> Writer::BuildIdx1() const {
  struct Item {
    uint64_t payload;
    uint32_t id, size;
    bool key;
  };
  std::vector<Item> items;
  for (const Stream& s : streams_)
    for (const Entry& e : s.entries) items.push_back({e.payload, s.info.chunkId, e.size, e.key});
  std::sort(items.begin(), items.end(),
            [](const Item& a, const Item& b) { return a.payload < b.payload; });
  std::vector<uint8_t> idx1(8 + items.size() * kIdx1EntryBytes);
  Store32(&idx1[0], kIdx1);
  Store32(&idx1[4], static_cast<uint32_t>(idx1.size() - 8));
  for (size_t i = 0; i < items.size(); ++i)
    EncodeIdx1Entry(&idx1[8 + i * kIdx1EntryBytes], items[i].id, items[i].payload - 8 - seg_.movi,
                    items[i].size, items[i].key);
  return idx1;
}

// Ends the segment with a commit, then lays down the next one whole and flushes it before the
// super indexes name it. The first RIFF's idx1 goes out once the labels it anchors on are on
// the disk, and its RIFF size covers the idx1 only once that is on the disk too.
bool Writer::NextSegment() {
  if (seg_.ordinal + 1 >= layout_.superCapacity) return Refuse(Refusal::FileFull);
  if (!AppendAlignPad() || !Commit() || !FlushSink()) return false;
  const Segment next = PlanNextSegment(seg_);
  if (seg_.first) {
    const std::vector<uint8_t> idx1 = BuildIdx1();
    if (!Put(seg_.end, idx1.data(), idx1.size())) return false;
  }
  Mirror head;
  head.Reset(next.riff, BuildSegmentHead(next));
  if (!head.WriteMarked(*this) || !FlushSink()) return false;
  if (seg_.first) {
    header_.Set32(layout_.riffSize, static_cast<uint32_t>(next.riff - 8));
    firstRiffSlots_ = video_ >= 0 ? static_cast<Slot>(streams_[video_].entries.size()) : 0;
  }
  seg_ = next;
  segmentHead_ = std::move(head);
  for (Stream& s : streams_) {
    s.entries.clear();
    s.entriesWritten = 0;
  }
  MarkFlushed();  // the new segment's head is on the disk
  SetHeaderFields();
  return header_.WriteMarked(*this) && FlushSink();
}

bool Writer::FinishFirstRiff() {
  const std::vector<uint8_t> idx1 = BuildIdx1();
  if (!Put(seg_.end, idx1.data(), idx1.size()) || !FlushSink()) return false;
  header_.Set32(layout_.riffSize, static_cast<uint32_t>(seg_.end + idx1.size() - 8));
  return header_.WriteMarked(*this) && FlushSink();
}

bool Writer::Flush() {
  refusal_ = Refusal::None;
  if (!open_) return Refuse(Refusal::BadCall);
  return Outcome(CommitAll() && failure_ == IoStatus::Ok);
}

// Bytes past the last RIFF (chunks given up after a failure, a write cut short) become one
// 'JUNK' chunk, so that a reader looking for another segment there finds none.
bool Writer::CoverTail() {
  const uint64_t end =
      seg_.first ? seg_.end + 8 + uint64_t{kIdx1EntryBytes} * seg_.chunks : seg_.end;
  if (reach_ < end + 8) return true;
  uint8_t junk[8];
  Store32(junk, kJunk);
  Store32(junk + 4, Saturate32(reach_ - end - 8));
  return Put(end, junk, sizeof junk) && FlushSink();
}

// The final commit, the labels on the disk, the first RIFF's idx1 when it is the only one, and
// nothing past the last RIFF that a reader could take for more.
bool Writer::Finish() {
  const bool sound = failure_ != IoStatus::Ok || WritePendingSound();
  return Commit() && WriteLabels() && FlushSink() && (!seg_.first || FinishFirstRiff()) &&
         CoverTail() && sound;
}

bool Writer::Close() {
  refusal_ = Refusal::None;
  if (!open_) return Refuse(Refusal::BadCall);
  // Every step writes again what it needs, so a write that fails on the way is tried once more.
  const bool ok = Finish() || Finish();
  open_ = false;
  return Outcome(ok && failure_ == IoStatus::Ok);
}

uint64_t Writer::BytesNeededFor(uint32_t stream, uint32_t size) const {
  if (!open_ || stream >= streams_.size()) return 0;
  Segment at = seg_;
  std::vector<size_t> entries;
  for (const Stream& s : streams_) entries.push_back(s.entries.size());
  const auto place = [&](uint32_t i, uint64_t payload) {
    if (!ChunkFitsSegment(UseOf(at.first, at.end - at.riff, at.chunks, entries[i], at.capacity),
                          payload, options_.segmentBytes)) {
      at = PlanNextSegment(at);
      std::fill(entries.begin(), entries.end(), 0);
    }
    at.end += ChunkBytes(payload);
    ++at.chunks;
    ++entries[i];
  };
  place(stream, size);
  // Close writes the waiting sound.
  for (uint32_t i = 0; i < streams_.size(); ++i)
    if (streams_[i].sound.size() > kChunkRoomBefore)
      place(i, streams_[i].sound.size() - kChunkRoomBefore);
  uint64_t end = at.end;
  if (at.first) end += 8 + uint64_t{kIdx1EntryBytes} * at.chunks;
  return end > fileSize_ ? end - fileSize_ : 0;
}

Slot Writer::SlotCount(uint32_t stream) const {
  return stream < streams_.size() && streams_[stream].video ? streams_[stream].written : 0;
}

uint32_t Writer::BlockCount(uint32_t stream) const {
  if (stream >= streams_.size() || streams_[stream].video) return 0;
  const Stream& s = streams_[stream];
  return s.written + static_cast<uint32_t>((s.sound.size() - kChunkRoomBefore) / s.blockBytes);
}

Slot Writer::CommittedSlotCount(uint32_t stream) const {
  return stream < streams_.size() && streams_[stream].video ? streams_[stream].committed : 0;
}

uint32_t Writer::CommittedBlockCount(uint32_t stream) const {
  return stream < streams_.size() && !streams_[stream].video ? streams_[stream].committed : 0;
}

uint32_t Writer::SegmentCount() const { return open_ ? seg_.ordinal + 1 : 0; }

}  // namespace avi
