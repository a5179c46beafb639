#pragma once
// The disk a recording's file goes to, on Windows: the file is made beside the chosen name and
// takes that name only once it plays, so a start that fails leaves a file of that name as it
// was; flushes reach the disk (FlushFileBuffers); a write the disk had no room for says so.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "recorder/file/recording_disk.h"
#include "toolkit/files.h"

namespace orvik {

// The file a disk made, for its owner to note where a kill would leave it: set on the writer's
// thread by Create, read once the open has returned.
struct MadeFile {
  std::wstring partialPath;
  std::optional<tk::File::Identity> identity;
};

// What the last failed write on this thread says about the disk: full, or failed otherwise.
DiskStatus DiskStatusOfLastError();

class WindowsDisk : public RecordingDisk {
 public:
  explicit WindowsDisk(std::wstring path, std::shared_ptr<MadeFile> made = nullptr);

  bool Create() override;
  bool TakeName() override;
  DiskStatus WriteAt(uint64_t offset, const void* data, size_t size) override;
  DiskStatus Flush() override;
  void Close() override { file_.Close(); }
  void Remove() override;
  std::optional<uint64_t> FreeBytes() override;

 private:
  std::wstring path_, made_;  // the recording's name; the name the file has now
  tk::File file_;
  std::shared_ptr<MadeFile> note_;
};

}  // namespace orvik
