#include "recorder/file_sink.h"

namespace orvik {

avi::IoStatus FileSink::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (file_.WriteAt(offset, data, size)) return avi::IoStatus::Ok;
  const DWORD error = GetLastError();
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? avi::IoStatus::DiskFull
                                                                     : avi::IoStatus::Failed;
}

avi::IoStatus FileSink::Flush() {
  return FlushFileBuffers(file_.handle()) ? avi::IoStatus::Ok : avi::IoStatus::Failed;
}

}  // namespace orvik
