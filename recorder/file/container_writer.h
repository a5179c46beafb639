#pragma once
// The recording's file as a container: the compressed picture in its time slots and the sound
// beside it, made consistent on the disk at each commit, so that a recording cut off at any
// moment plays up to its last commit. Which format is written is settled at start; the file's
// writer thread only sees this. No <windows.h>.
#include <cstddef>
#include <cstdint>

#include "recorder/encode/frame_encoder.h"
#include "recorder/file/recording_disk.h"
#include "recorder/file/slot.h"

namespace orvik {

// Why the container refused a call.
enum class ContainerError {
  None,
  DiskFull,       // the disk had no room
  WriteFailed,    // a write or a flush failed
  FileFull,       // the file can take no more (its index is full)
  FrameTooLarge,  // a frame larger than the file can hold in one piece
};

class ContainerWriter {
 public:
  virtual ~ContainerWriter() = default;
  // Puts down, on `disk`'s file, an empty file that plays: the picture as `video` at
  // `framesPerSecond`, and 16-bit stereo sound at 48000 Hz when `withSound`.
  virtual bool Open(RecordingDisk& disk, const EncodedVideo& video, int framesPerSecond,
                    bool withSound) = 0;
  // The picture of `slot` (after every slot written so far; those skipped stay empty). An empty
  // frame marks the slot without a new picture.
  virtual bool WriteFrame(Slot slot, const EncodedFrame& frame) = 0;
  // `frames` frames of interleaved 16-bit stereo following on from the sound before.
  virtual bool WriteSound(const int16_t* pcm, size_t frames) = 0;
  // Everything so far on the disk, consistent: what plays if the process or the power dies now.
  virtual bool Commit() = 0;
  // The final commit and the file's last index. After a failure it still finishes the file with
  // what was committed. False when anything failed.
  virtual bool Close() = 0;

  // Why the first refused call was refused; None while all went well.
  virtual ContainerError Failure() const = 0;
  // Bytes the file grows by if a frame of `size` bytes comes next and the file is then closed.
  virtual uint64_t BytesNeededFor(uint32_t size) const = 0;
  virtual uint64_t FileSize() const = 0;
  // Slots of the picture written so far, empty ones included.
  virtual Slot Slots() const = 0;
};

}  // namespace orvik
