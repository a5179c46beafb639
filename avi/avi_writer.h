#pragma once
// AVI 2.0 (OpenDML) writer with no size limit but the disk's, that leaves a playable file
// whenever the process dies or the power goes. The platform's AVI library stops at 2 GiB and
// writes its index only at close. No <windows.h>: the Windows side passes a Sink over its own
// file handle.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "avi/avi_format.h"
#include "io/sink.h"

namespace avi {

using IoStatus = io::IoStatus;

// Why the writer refused its last call (returned false).
enum class Refusal {
  None,           // the last call was taken
  Io,             // a write or a flush failed, in this call or before it: Failure() says how
  FileFull,       // the super index is full: the file can take no more segments
  FrameTooLarge,  // the frame does not fit a fresh segment (or is 2 GiB or more)
  BadCall,        // not open, no such stream or one of the other kind, a slot already written,
                  // not whole sample blocks, a format or options the writer cannot use
};

// Where the file's bytes go (io/sink.h).
using Sink = io::Sink;

struct VideoFormat {
  uint32_t width = 0, height = 0;  // pixels
  uint32_t handler = 0;            // codec fourcc for strh.fccHandler ('DIB ' for uncompressed)
  std::vector<uint8_t>
      bitmapInfo;                 // BITMAPINFOHEADER (+ masks / palette) exactly as strf stores it
  uint32_t rate = 10, scale = 1;  // frames per second = rate / scale
};

// Uncompressed PCM sound.
struct AudioFormat {
  uint16_t channels = 2;
  uint32_t samplesPerSecond = 48000;
  uint16_t bitsPerSample = 16;
  uint32_t BlockBytes() const { return channels * ((bitsPerSample + 7u) / 8u); }
};

// One stream of the file, in the order streams are numbered ('00dc', '01wb', ...).
struct StreamFormat {
  enum class Kind { Video, Audio };
  Kind kind = Kind::Video;
  VideoFormat video;  // when kind is Video
  AudioFormat audio;  // when kind is Audio
};

struct WriterOptions {
  uint64_t segmentBytes =
      1ull << 30;  // largest RIFF (first 'AVI ' and each 'AVIX'); tests set small ones
  uint32_t superIndexEntries = kDefaultSuperIndexEntries;  // most RIFF segments the file can have
};

// A chunk's payload. With `room`, the kChunkRoomBefore bytes before `data` and the
// kChunkRoomAfter bytes after its end are the writer's to overwrite: the chunk's header and pad
// byte go there and the whole chunk reaches the sink in one write.
struct Payload {
  uint8_t* data = nullptr;
  uint32_t size = 0;
  bool room = false;
};
constexpr size_t kChunkRoomBefore = 8;
constexpr size_t kChunkRoomAfter = 1;

// A commit (Flush, Close, the start of a new segment) keeps this order, so that the file on the
// disk plays every chunk of the last finished commit whatever subset of the writes since then
// reached it, and a scanning reader skips chunks no commit covers yet:
//   1. chunks are written as they come, labelled 'JUNK';
//   2. commit: waiting samples go out as chunks, then the new index entries behind each
//      segment index's entry count (readers do not look past the count); flush;
//   3. the index entry counts and the header fields; flush;
//   4. the chunks' own labels, which reach the disk with the next flush (a reader finding no
//      index entries at all scans the chunks, and must not meet a later label without the
//      earlier ones).
// A new segment starts after a commit and a flush: the first RIFF's idx1 and the new segment
// (RIFF, movi, empty indexes) are written and flushed; only then do the super indexes name the
// segment and the first RIFF's size cover its idx1; flush. Every field rewritten in place is
// 4-byte aligned, so it never straddles a disk sector. Open leaves an empty file that plays.
// A failed flush gives up every chunk written since the last flush that succeeded (its bytes may
// be gone): no commit names them, and whatever the writer keeps a copy of (labels, indexes,
// headers) is written again at the next commit. Close covers bytes past the last RIFF that
// nothing names with one 'JUNK' chunk.
class Writer {
 public:
  bool Open(Sink& sink, const std::vector<StreamFormat>& streams,
            const WriterOptions& options = {});
  // A file with one video stream.
  bool Open(Sink& sink, const VideoFormat& format, const WriterOptions& options = {});

  // Video stream `stream`: the frame for `slot` (>= the next slot). Slots skipped in between
  // become empty entries (players hold the previous picture). Refused (false; LastRefusal says
  // why): a slot already written (BadCall), a frame of 2 GiB or more or one that does not fit a
  // fresh segment (FrameTooLarge, nothing written), a frame that needs a new segment once the
  // super index is full (FileFull; skipped slots before it may be in the file), any frame once a
  // write or flush has failed (Io).
  bool WriteFrame(uint32_t stream, Slot slot, const Payload& frame, bool keyFrame);
  bool WriteFrame(Slot slot, const void* data, uint32_t size, bool keyFrame);  // stream 0
  // Sound stream `stream`: whole sample blocks (refused otherwise), kept until the next Flush or
  // Close writes them as one chunk per stream; sooner, as a chunk of their own, once they pile
  // up past 256 KiB or an eighth of a segment. After a failure, samples not yet in a chunk are
  // dropped. Refused with FileFull, the samples stay waiting for the next Flush or Close.
  bool WriteSamples(uint32_t stream, const void* data, uint32_t size);

  // Makes the file on the disk consistent and playable up to here (two flushes of the sink when
  // anything changed). After a failure it still commits what reached the disk, and is false.
  // False with FileFull when waiting samples need a segment the file cannot take.
  bool Flush();
  // The final commit and the first RIFF's idx1; the writer can be reused after. After a failed
  // write it still commits every chunk written whole before it, after a failed flush every
  // chunk written before the last flush that succeeded, so the file plays exactly what its
  // headers count; a write or flush failing on the way is tried once more. False when anything
  // failed.
  bool Close();

  // Why the last call that could be refused (Open, WriteFrame, WriteSamples, Flush, Close) was;
  // None when it was not.
  Refusal LastRefusal() const { return refusal_; }
  // Why the first failed write or flush failed; Ok while none has.
  IoStatus Failure() const { return failure_; }
  // Bytes the file grows by if the next frame of `size` bytes goes to `stream` and the file is
  // then closed: the frame, a new segment's head and indexes when it starts one, the waiting
  // samples, the idx1. Slots skipped before the frame are not counted (8 bytes each, 24 in the
  // first RIFF).
  uint64_t BytesNeededFor(uint32_t stream, uint32_t size) const;
  uint64_t FileSize() const { return fileSize_; }  // bytes the file has after the last write
  // Slots of a video stream written so far, empty ones included; 0 for a sound stream.
  Slot SlotCount(uint32_t stream = 0) const;
  // Sample blocks a sound stream was given so far, those waiting for a chunk included; 0 for a
  // video stream.
  uint32_t BlockCount(uint32_t stream) const;
  // The same as far as the last finished commit: what a reader sees if the power goes now.
  Slot CommittedSlotCount(uint32_t stream = 0) const;
  uint32_t CommittedBlockCount(uint32_t stream) const;
  uint32_t SegmentCount() const;
  bool IsOpen() const { return open_; }

 private:
  // Bytes the writer keeps a copy of and rewrites in place (the file header, a segment's head
  // and chunk indexes): changed bytes are marked and go out in few writes, and a write that
  // failed stays marked, so the next commit tries it again.
  class Mirror {
   public:
    void Reset(uint64_t offset, std::vector<uint8_t> bytes);
    uint64_t End() const { return offset_ + bytes_.size(); }
    void Set(uint64_t at, const void* data, size_t size);
    void Set32(uint64_t at, uint32_t value);
    void MarkAll() { marked_.assign(1, {0, bytes_.size()}); }
    // Writes every marked run (runs close together as one write); false at the first failure.
    bool WriteMarked(Writer& writer);

   private:
    uint64_t offset_ = 0;
    std::vector<uint8_t> bytes_;
    std::vector<std::pair<size_t, size_t>> marked_;  // [begin, end) into bytes_
  };

  struct Entry {
    uint64_t payload;  // file offset of the chunk's payload
    uint32_t size;
    bool key;
  };
  struct Stream {
    StreamInfo info;
    bool video = true;
    uint32_t blockBytes = 0;  // sound
    uint32_t written = 0;     // slots (blocks) in chunks written whole
    uint32_t committed = 0;   // ... and counted on the disk
    uint32_t largest = 0;
    // As far as the last flush that succeeded: what a failed flush falls back to.
    uint32_t flushed = 0;
    size_t entriesFlushed = 0;
    uint32_t largestFlushed = 0;
    // Sound not in a chunk yet, behind kChunkRoomBefore bytes of room for the chunk header.
    std::vector<uint8_t> sound = std::vector<uint8_t>(kChunkRoomBefore);
    // The current segment's chunks, and how many of their entries are written behind the count.
    std::vector<Entry> entries;
    size_t entriesWritten = 0;
  };
  // Where a RIFF segment lies and how full it is.
  struct Segment {
    bool first = true;
    uint32_t ordinal = 0;
    uint64_t riff = 0;  // RIFF header
    uint64_t movi = 0;  // 'movi' fourcc, the base of its index offsets
    uint64_t end = 0;   // where the next chunk goes
    uint32_t capacity = 0;
    uint32_t chunks = 0;  // of every stream
  };
  // The header of a chunk still labelled 'JUNK' (empties 0), or of a run of empty chunks.
  struct Label {
    uint64_t at;
    uint32_t id;
    uint32_t empties;
  };

  bool Refuse(Refusal why);
  bool Outcome(bool ok);
  void NoteFailure(IoStatus status);
  bool Put(uint64_t offset, const void* data, size_t size);
  bool FlushSink();
  void MarkFlushed();
  void GiveUpUnflushed();
  bool AddStream(uint32_t number, const StreamFormat& format);
  uint64_t IndexAt(const Segment& seg, uint32_t stream) const;
  std::vector<uint8_t> BuildSegmentHead(const Segment& seg) const;
  Segment PlanNextSegment(const Segment& from) const;
  bool FitsFreshSegment(uint32_t size) const;
  bool StartSegmentUnlessFits(uint32_t stream, uint32_t size);
  bool AppendChunk(uint32_t stream, const Payload& payload, bool keyFrame, Slot units);
  bool AppendEmpty(uint32_t stream, Slot count);
  void Record(uint32_t stream, uint64_t at, uint32_t size, bool keyFrame, Slot units);
  bool WriteSoundChunk(uint32_t stream, size_t bytes);
  bool WritePendingSound();
  bool CommitAll();
  bool Commit();
  bool WriteEntries();
  void SetHeaderFields();
  bool WriteLabels();
  bool AppendAlignPad();
  std::vector<uint8_t> BuildIdx1() const;
  bool NextSegment();
  bool FinishFirstRiff();
  bool CoverTail();
  bool Finish();

  Sink* sink_ = nullptr;
  bool open_ = false;
  IoStatus failure_ = IoStatus::Ok;
  Refusal refusal_ = Refusal::None;
  bool unflushed_ = false;  // writes since the last sink flush
  uint64_t fileSize_ = 0;
  uint64_t reach_ = 0;  // the end of the furthest write tried, failed ones too
  WriterOptions options_;
  std::vector<Stream> streams_;
  int video_ = -1;  // the first video stream: avih and dmlh count its slots
  MainHeader main_;
  HeaderLayout layout_;
  Mirror header_;
  Segment seg_;
  Mirror segmentHead_;       // the AVIX and movi headers (not in the first RIFF), the chunk indexes
  Slot firstRiffSlots_ = 0;  // the video stream's, once the first RIFF is finished
  std::vector<Label> unlabelled_;     // chunks no commit covers yet
  std::vector<Label> labelsDue_;      // chunks committed, labels not written yet
  std::vector<Label> labelsWritten_;  // ... written since the last flush
  // The current segment's end and chunks as far as the last flush that succeeded.
  uint64_t flushedEnd_ = 0;
  uint32_t flushedChunks_ = 0;
};

}  // namespace avi
