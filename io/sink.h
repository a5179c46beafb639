#pragma once
// Where a container writer's bytes go (our AVI and MP4 writers both write through it), so that
// one sink over the recording's disk, or one test file, serves either. No <windows.h>.
#include <cstddef>
#include <cstdint>

namespace io {

// How a write or a flush ended.
enum class IoStatus {
  Ok,
  DiskFull,  // the disk was full
  Failed,    // any other failure
};

// The writers only write at explicit offsets (they rewrite headers in place). Like an operating
// system's file cache, a sink may put writes on the disk in any order, partly or not at all until
// Flush returns Ok: a power cut keeps an unknown subset of the writes since the last flush. A
// flush that fails may have lost any of them for good (Linux drops the pages it could not write
// back and reports that once; the next flush then succeeds).
class Sink {
 public:
  virtual ~Sink() = default;
  virtual IoStatus WriteAt(uint64_t offset, const void* data, size_t size) = 0;
  // Returns Ok once everything written before it is on the disk.
  virtual IoStatus Flush() = 0;
};

}  // namespace io
