#include "frame/left_over_mp4.h"

#include <windows.h>

#include <algorithm>

#include "toolkit/handles.h"

namespace orvik {

namespace {

// The file as the repair reads and rewrites it, through one handle.
class WindowsRepairFile : public mp4::RepairFile {
 public:
  explicit WindowsRepairFile(tk::UniqueFile file) : file_(std::move(file)) {}

  uint64_t Size() override {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file_.get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
  }
  bool ReadAt(uint64_t offset, void* data, size_t size) override {
    auto* at = static_cast<uint8_t*>(data);
    while (size > 0) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
      OVERLAPPED where = At(offset);
      DWORD got = 0;
      if (!ReadFile(file_.get(), at, chunk, &got, &where) || got != chunk) return false;
      at += chunk, offset += chunk, size -= chunk;
    }
    return true;
  }
  mp4::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
    const auto* at = static_cast<const uint8_t*>(data);
    while (size > 0) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
      OVERLAPPED where = At(offset);
      DWORD put = 0;
      if (!WriteFile(file_.get(), at, chunk, &put, &where) || put != chunk)
        return GetLastError() == ERROR_DISK_FULL ? mp4::IoStatus::DiskFull : mp4::IoStatus::Failed;
      at += chunk, offset += chunk, size -= chunk;
    }
    return mp4::IoStatus::Ok;
  }
  mp4::IoStatus Flush() override {
    return FlushFileBuffers(file_.get()) ? mp4::IoStatus::Ok : mp4::IoStatus::Failed;
  }
  mp4::IoStatus Truncate(uint64_t size) override {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN) && SetEndOfFile(file_.get())
               ? mp4::IoStatus::Ok
               : mp4::IoStatus::Failed;
  }

 private:
  static OVERLAPPED At(uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
  }
  tk::UniqueFile file_;
};

}  // namespace

mp4::RepairReport RepairLeftOverMp4(const std::wstring& path) {
  // No sharing: nobody else may write the file while it is rewritten.
  tk::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  mp4::RepairReport report;
  if (!file) {
    report.result = mp4::RepairResult::Failed;
    return report;
  }
  WindowsRepairFile repairFile(std::move(file));
  return mp4::Repair(repairFile);
}

}  // namespace orvik
