#include "recorder/file/windows_disk.h"

#include "toolkit/paths.h"

namespace orvik {

WindowsDisk::WindowsDisk(std::wstring path, std::shared_ptr<MadeFile> made)
    : path_(std::move(path)), note_(std::move(made)) {}

bool WindowsDisk::Create() {
  made_ = path_ + L"." + std::to_wstring(GetCurrentProcessId()) + L".partial";
  file_ = tk::File::Open(made_, tk::FileMode::CreateNew);
  if (note_) *note_ = MadeFile{made_, file_.Identify()};
  return file_.IsOpen();
}

bool WindowsDisk::TakeName() {
  if (!file_.IsOpen() || !file_.Rename(path_)) return false;
  made_ = path_;
  return true;
}

DiskStatus DiskStatusOfLastError() {
  const DWORD error = GetLastError();
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? DiskStatus::Full
                                                                     : DiskStatus::Failed;
}

DiskStatus WindowsDisk::WriteAt(uint64_t offset, const void* data, size_t size) {
  return file_.WriteAt(offset, data, size) ? DiskStatus::Ok : DiskStatusOfLastError();
}

DiskStatus WindowsDisk::Flush() {
  return FlushFileBuffers(file_.handle()) ? DiskStatus::Ok : DiskStatus::Failed;
}

void WindowsDisk::Remove() {
  file_.Close();
  if (!made_.empty()) tk::RemoveFile(made_);
}

std::optional<uint64_t> WindowsDisk::FreeBytes() {
  ULARGE_INTEGER available{};
  const std::wstring folder = tk::LongPath(tk::FolderOfFile(path_));
  if (!GetDiskFreeSpaceExW(folder.empty() ? nullptr : folder.c_str(), &available, nullptr, nullptr))
    return std::nullopt;
  return available.QuadPart;
}

}  // namespace orvik
