#pragma once
// The AVI writer's sink over a file of ours: flushes reach the disk (FlushFileBuffers), and a
// write the disk had no room for says so.
#include "avi/avi_writer.h"
#include "toolkit/files.h"

namespace orvik {

class FileSink : public avi::Sink {
 public:
  explicit FileSink(tk::File& file) : file_(file) {}  // borrowed
  avi::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override;
  avi::IoStatus Flush() override;

 private:
  tk::File& file_;
};

}  // namespace orvik
