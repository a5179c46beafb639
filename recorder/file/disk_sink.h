#pragma once
// A container writer's sink (io/sink.h) over the recording's disk: the AVI and MP4 containers
// both write through it. No <windows.h>.
#include "io/sink.h"
#include "recorder/file/recording_disk.h"

namespace orvik {

class DiskSink : public io::Sink {
 public:
  RecordingDisk* disk = nullptr;  // borrowed, set before the writer opens
  io::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
    return StatusOf(disk->WriteAt(offset, data, size));
  }
  io::IoStatus Flush() override { return StatusOf(disk->Flush()); }

 private:
  static io::IoStatus StatusOf(DiskStatus status) {
    if (status == DiskStatus::Ok) return io::IoStatus::Ok;
    return status == DiskStatus::Full ? io::IoStatus::DiskFull : io::IoStatus::Failed;
  }
};

}  // namespace orvik
