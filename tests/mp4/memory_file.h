#pragma once
// A file in memory for the MP4 writer and the repair (tests and the fuzzer): what the writes
// made of it; the repair can read and cut it.
#include <algorithm>
#include <cstring>
#include <vector>

#include "mp4/mp4_repair.h"

namespace mp4test {

// The recording the tests' and the fuzzer's files belong to.
constexpr mp4::RecordingId kTestRecording = {0x52, 0x65, 0x63, 0x6F, 0x72, 0x64, 0x69, 0x6E,
                                             0x67, 0x20, 0x6F, 0x66, 0x20, 0x74, 0x65, 0x73};

class MemoryFile : public mp4::Sink, public mp4::RepairFile {
 public:
  MemoryFile() = default;
  explicit MemoryFile(std::vector<uint8_t> bytes) : image(std::move(bytes)) {}

  mp4::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
    if (image.size() < offset + size) image.resize(offset + size);
    if (size > 0) std::memcpy(&image[offset], data, size);
    return mp4::IoStatus::Ok;
  }
  mp4::IoStatus Flush() override {
    ++flushes;
    return mp4::IoStatus::Ok;
  }
  uint64_t Size() override { return image.size(); }
  bool ReadAt(uint64_t offset, void* data, size_t size) override {
    if (offset > image.size() || size > image.size() - offset) return false;
    if (size > 0) std::memcpy(data, &image[offset], size);
    return true;
  }
  mp4::IoStatus Truncate(uint64_t size) override {
    image.resize(std::min<uint64_t>(size, image.size()));
    return mp4::IoStatus::Ok;
  }

  std::vector<uint8_t> image;
  size_t flushes = 0;
};

}  // namespace mp4test
