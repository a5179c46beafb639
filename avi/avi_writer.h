#pragma once
// AVI 2.0 (OpenDML) writer with no size limit but the disk's, that leaves a playable file
// whenever the process dies or the power goes. The platform's AVI library stops at 2 GiB and
// writes its index only at close. No <windows.h>: the Windows side passes a Sink over its own
// file handle.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "avi/avi_format.h"

namespace avi {

// How a write or a flush ended.
enum class IoStatus {
  Ok,
  DiskFull,  // the disk had no room for it
  Failed,    // any other failure
};

// Where the file's bytes go. The writer only writes at explicit offsets (it rewrites headers in
// place). Like an operating system's file cache, a sink may put writes on the disk in any
// order, partly or not at all until Flush returns: a power cut keeps an unknown subset of the
// writes since the last flush.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual IoStatus WriteAt(uint64_t offset, const void* data, size_t size) = 0;
  // Returns once everything written before it is on the disk.
  virtual IoStatus Flush() = 0;
};

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
//   2. commit: buffered samples go out as chunks, then the new index entries behind each
//      segment index's entry count (readers do not look past the count); flush;
//   3. the index entry counts, the chunks' own labels, the header fields; flush.
// A new segment is written whole (RIFF, movi, empty indexes) and flushed before the super
// indexes name it.
class Writer {
 public:
  bool Open(Sink& sink, const std::vector<StreamFormat>& streams,
            const WriterOptions& options = {});
  // A file with one video stream.
  bool Open(Sink& sink, const VideoFormat& format, const WriterOptions& options = {});

  // Video stream `stream`: the frame for `slot` (>= the next slot). Slots skipped in between
  // become empty entries (players hold the previous picture). Refused (false, nothing written):
  // a slot already written, a frame of 2 GiB or more or one that does not fit a fresh segment,
  // any frame once the super index is full or a write has failed.
  bool WriteFrame(uint32_t stream, Slot slot, const Payload& frame, bool keyFrame);
  bool WriteFrame(Slot slot, const void* data, uint32_t size, bool keyFrame);  // stream 0
  // Sound stream `stream`: whole sample blocks, kept until the next commit writes them as one
  // chunk.
  bool WriteSamples(uint32_t stream, const void* data, uint32_t size);

  // Makes the file on the disk consistent and playable up to here (two flushes of the sink).
  bool Flush();
  // The final commit and the first RIFF's idx1; the writer can be reused after. After a failed
  // write it still commits every chunk that was written whole before it, so the file plays
  // them all. False when anything failed on the way.
  bool Close();

  // Why the first failed write or flush failed; Ok while none has.
  IoStatus Failure() const { return failure_; }
  // Bytes the file grows by if the next frame of `size` bytes goes to `stream` and the file is
  // then closed: the frame, a new segment's head and indexes when it starts one, the idx1.
  uint64_t BytesNeededFor(uint32_t stream, uint32_t size) const;
  uint64_t FileSize() const { return fileSize_; }  // bytes the file has after the last write
  // Slots of a video stream (or blocks of a sound stream) written so far, empty ones included.
  Slot FrameCount(uint32_t stream = 0) const;
  // The same as far as the last finished commit: what a reader sees if the power goes now.
  Slot CommittedFrameCount(uint32_t stream = 0) const;
  uint32_t SegmentCount() const;
  bool IsOpen() const { return open_; }

 private:
  // Filled in with the implementation.
  bool open_ = false;
  IoStatus failure_ = IoStatus::Ok;
  uint64_t fileSize_ = 0;
};

}  // namespace avi
