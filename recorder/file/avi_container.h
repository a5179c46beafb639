#pragma once
// The recording's file as AVI 2.0: our own writer (avi/), which has no size limit but the disk's
// and leaves a file that plays whenever the process stops, over the recording's disk. No
// <windows.h>.
#include <cstdint>

#include "avi/avi_writer.h"
#include "recorder/file/container_writer.h"
#include "recorder/file/disk_sink.h"

namespace orvik {

// Largest RIFF segment of a file unless a test asks for smaller ones.
constexpr uint64_t kDefaultSegmentBytes = 1ull << 30;

class AviContainer : public ContainerWriter {
 public:
  explicit AviContainer(uint64_t segmentBytes = kDefaultSegmentBytes);

  bool Open(RecordingDisk& disk, const EncodedVideo& video, int framesPerSecond,
            bool withSound) override;
  bool WriteFrame(Slot slot, const EncodedFrame& frame) override;
  bool WriteSound(const int16_t* pcm, size_t frames) override;
  bool Commit() override;
  bool Close() override;
  ContainerError Failure() const override;
  uint64_t BytesNeededFor(uint32_t size) const override;
  uint64_t FileSize() const override { return writer_.FileSize(); }
  Slot Slots() const override;

 private:
  uint64_t segmentBytes_;
  DiskSink sink_;
  avi::Writer writer_;
  bool withSound_ = false;
};

}  // namespace orvik
