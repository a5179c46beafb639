#include "recorder/left_over_mp4.h"

#include <windows.h>

#include "toolkit/files.h"

namespace orvik {

namespace {

mp4::IoStatus IoStatusOf(bool ok) {
  if (ok) return mp4::IoStatus::Ok;
  const DWORD error = GetLastError();
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? mp4::IoStatus::DiskFull
                                                                     : mp4::IoStatus::Failed;
}

// The repair's file over one we opened; it owns the handle.
class WindowsRepairFile : public mp4::RepairFile {
 public:
  explicit WindowsRepairFile(tk::File file) : file_(std::move(file)) {}
  uint64_t Size() override { return file_.Length().value_or(0); }
  bool ReadAt(uint64_t offset, void* data, size_t size) override {
    return file_.ReadAt(offset, data, size);
  }
  mp4::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
    return IoStatusOf(file_.WriteAt(offset, data, size));
  }
  mp4::IoStatus Flush() override { return IoStatusOf(FlushFileBuffers(file_.handle()) != 0); }
  mp4::IoStatus Truncate(uint64_t size) override { return IoStatusOf(file_.Truncate(size)); }

 private:
  tk::File file_;
};

}  // namespace

mp4::RepairReport RepairLeftOverMp4(const std::wstring& path, const mp4::RecordingId& ours,
                                    const mp4::RepairProgress& progress) {
  mp4::RepairReport report;
  if (!tk::FileExists(path)) return report;  // opening for writing would make it
  tk::File file = tk::File::Open(path, tk::FileMode::ReadWrite);
  if (!file.IsOpen()) {
    report.result = mp4::RepairResult::Failed;
    return report;
  }
  WindowsRepairFile repairFile(std::move(file));
  return mp4::Repair(repairFile, ours, progress);
}

}  // namespace orvik
