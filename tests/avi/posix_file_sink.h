#pragma once
// The writer's sink over a POSIX file, for native tests and benches (the Windows side wraps its
// own file handle). Writes at explicit offsets with pwrite, so skipped ranges stay holes; a
// flush is an fsync.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "avi/avi_writer.h"

namespace avitest {

class PosixFileSink : public avi::Sink {
 public:
  explicit PosixFileSink(const std::string& path)
      : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {}
  ~PosixFileSink() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PosixFileSink(const PosixFileSink&) = delete;
  PosixFileSink& operator=(const PosixFileSink&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  avi::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n < 0 && errno == ENOSPC ? avi::IoStatus::DiskFull : avi::IoStatus::Failed;
      p += n;
      offset += static_cast<uint64_t>(n);
      size -= static_cast<size_t>(n);
    }
    return avi::IoStatus::Ok;
  }
  avi::IoStatus Flush() override {
    return ::fsync(fd_) == 0 ? avi::IoStatus::Ok : avi::IoStatus::Failed;
  }

 private:
  int fd_;
};

}  // namespace avitest
