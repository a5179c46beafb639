#pragma once
// AVI 2.0 (OpenDML) writer with no size limit but the disk's, that leaves a playable file
// whenever the process dies. The platform's AVI library stops at 2 GiB and writes its index
// only at close. No <windows.h>: the Windows side passes a Sink over its own file handle.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "avi/avi_format.h"

namespace avi {

// Where the file's bytes go. The writer only writes at explicit offsets (it rewrites headers in
// place).
class Sink {
 public:
  virtual ~Sink() = default;
  virtual bool WriteAt(uint64_t offset, const void* data, size_t size) = 0;
};

struct VideoFormat {
  uint32_t width = 0, height = 0;  // pixels
  uint32_t handler = 0;            // codec fourcc for strh.fccHandler ('DIB ' for uncompressed)
  std::vector<uint8_t>
      bitmapInfo;                 // BITMAPINFOHEADER (+ masks / palette) exactly as strf stores it
  uint32_t rate = 10, scale = 1;  // frames per second = rate / scale
};

struct WriterOptions {
  uint64_t segmentBytes =
      1ull << 30;  // largest RIFF (first 'AVI ' and each 'AVIX'); tests set small ones
  uint32_t flushEveryFrames = 0;  // > 0: WriteFrame flushes by itself after that many slots
  uint32_t superIndexEntries = kDefaultSuperIndexEntries;  // most RIFF segments the file can have
};

// Every write keeps this order, so a file cut after any write plays exactly what the last
// commit covered (a commit is a Flush, a Close, or the start of a new segment):
//   1. frame payload, then its chunk header, labelled 'JUNK' (scanning readers skip it);
//   2. on commit, the new entries of the segment's ix00, then its entry count (the commit);
//   3. the covered chunks' labels turn to '00dc'/'00db';
//   4. header fields: super index slot count, avih/strh/dmlh counts, movi and RIFF sizes.
// A new segment is written whole (RIFF, movi, empty ix00) before the super index names it.
class Writer {
 public:
  bool Open(Sink& sink, const VideoFormat& format, const WriterOptions& options = {});
  // Frame at slot `index` (>= next index). Indices skipped in between become empty entries
  // (players hold the previous picture). An index already written is refused (returns false,
  // nothing written). Also refused: a frame of 2 GiB or more, or one that does not fit a fresh
  // segment, and any frame once the super index is full.
  bool WriteFrame(uint32_t index, const void* data, uint32_t size, bool keyFrame);
  bool Flush();  // makes the file on disk consistent and playable up to here
  bool Close();  // final flush (+ anything only written at the end); writer can be reused after
  uint64_t FileSize() const {
    return fileSize_;
  }                                               // bytes the file has on disk after the last write
  uint32_t FrameCount() const { return slots_; }  // slots covered so far, including empty ones
  // Slots a reader sees if the process dies now.
  uint32_t CommittedFrameCount() const { return committedSlots_; }
  uint32_t SegmentCount() const { return open_ ? ordinal_ + 1 : 0; }
  bool IsOpen() const { return open_; }

 private:
  struct Entry {
    uint64_t payload;  // file offset of the chunk's payload
    uint32_t size;
    bool key;
  };
  // The RIFF being written.
  struct Segment {
    bool first = false;
    uint64_t riff = 0;   // RIFF header
    uint64_t movi = 0;   // 'movi' fourcc, the base of its index offsets
    uint64_t index = 0;  // its ix00 chunk
    uint32_t capacity = 0;
    uint64_t end = 0;  // where the next chunk goes
    std::vector<Entry> entries;
    size_t committed = 0;
  };

  bool Put(uint64_t offset, const void* data, size_t size);
  bool Put32(uint64_t offset, uint32_t value);
  bool AppendChunk(const void* data, uint32_t size, bool keyFrame);
  bool FitsFreshSegment(uint32_t size) const;
  bool Commit();
  bool WriteHeaderFields();
  bool FinishFirstRiff();
  bool NextSegment();

  Sink* sink_ = nullptr;
  bool open_ = false;
  bool failed_ = false;
  WriterOptions options_;
  StreamInfo info_;
  HeaderLayout layout_;
  Segment seg_;
  uint32_t ordinal_ = 0;  // of the current segment
  uint32_t slots_ = 0;
  uint32_t committedSlots_ = 0;
  uint32_t firstRiffSlots_ = 0;
  uint32_t largest_ = 0;
  uint32_t sinceFlush_ = 0;
  bool headersDirty_ = false;
  uint64_t fileSize_ = 0;
  std::vector<uint64_t> unlabelled_;  // chunk headers still saying 'JUNK'
};

}  // namespace avi
