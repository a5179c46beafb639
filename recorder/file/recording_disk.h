#pragma once
// The disk a recording's file goes to: the file itself (made under a name of its own, given the
// recording's name once it plays, written at offsets, flushed, closed or removed) and how much
// room is left. The Windows side gives the real one; tests give disks that fill up, fail or
// hang. No <windows.h>.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace orvik {

enum class DiskStatus {
  Ok,
  Full,    // the disk had no room for it
  Failed,  // any other failure
};

class RecordingDisk {
 public:
  virtual ~RecordingDisk() = default;
  // Makes a new, empty file; a file that has the recording's name stays as it is.
  virtual bool Create() = 0;
  // The new file takes the recording's name, replacing a file of that name (the user agreed to
  // that before the recording began).
  virtual bool TakeName() = 0;
  virtual DiskStatus WriteAt(uint64_t offset, const void* data, size_t size) = 0;
  // Returns once everything written before it is on the disk.
  virtual DiskStatus Flush() = 0;
  virtual void Close() = 0;
  // Closes the file and removes it: it never became a recording.
  virtual void Remove() = 0;
  // Bytes free on the file's disk; none when the system does not say.
  virtual std::optional<uint64_t> FreeBytes() = 0;
};

}  // namespace orvik
